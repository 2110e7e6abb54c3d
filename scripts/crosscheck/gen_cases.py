#!/usr/bin/env python3
"""Write seeded random cross-check cases.

    gen_cases.py --seed S --count N --out DIR [--methods 1,2,...] [--budget SEC]
                 [--meuse CSV] [--tally]

Each case is DIR/case_<seed>_<index>_m<code>_<scenario>.case in the format
of case_io.  DIR/index.tsv lists the cases with the scenario, sample count,
neighbour count and node count of each.  --tally additionally runs the
variogram fit of every case in the model and prints how often each fit
branch (A spherical, B straight line, C through the origin) occurs.

The mix is deliberate: tiny and medium sample counts, samples on a lattice
(many equal distances, so neighbour-sort ties), duplicate locations, blank
and NaN values (also in the first record), extents on the coordinate-scale
boundaries, extents with more than 100 lag classes, anisotropic fields,
neighbour counts from 0 to above the sample count, grids from 1x1 to 41x41
nodes, values over many orders of magnitude and constant fields, cell sizes
that binary cannot hold exactly, zero and negative values for the
logarithmic codes, unsorted thresholds equal to sample values, and
co-kriging tables with two or three variables.
"""

import argparse
import csv
import math
import os
import random
import sys

sys.dont_write_bytecode = True   # leave no cache files next to the scripts

import case_io
import kriging_model as km
from kriging_model import f32

DEFAULT_MEUSE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "meuse.csv")

SCENARIOS = ("random", "lattice", "duplicates", "blanks", "scale_edge", "many_classes",
             "anisotropic", "magnitudes", "constant", "small", "inexact_cell",
             "bad_cell", "meuse")

# Extents whose larger side sits on or next to a coordinate-scale boundary.
EDGE_SIDES = (100.0, 100.5, 1000.0, 1000.5, 10000.0, 10001.0, 100000.0, 100004.0,
              150000.0, 250000.0, 99.5, 64.0)

CELL_CHOICES = (1.0, 0.5, 0.1, 0.3, 0.7, 2.0, 2.5, 3.0, 5.0, 10.0, 25.0, 100.0)


# ---------------------------------------------------------------------------
# Cost model: keeps each case's model run within the budget
# ---------------------------------------------------------------------------

def estimated_seconds(n, m, order, nodes, passes):
    """Rough model run time (seconds) of one case in the Python model."""
    per_node = 3.5e-8 * n * (m + 2) + 1.7e-7 * n + 4.5e-7 * m * m + 4e-8 * order ** 3 \
        + 7e-7 * order * order
    variogram = 1.2e-6 * n * n
    return passes * (nodes * per_node + variogram) + 0.01


# ---------------------------------------------------------------------------
# Drawing helpers
# ---------------------------------------------------------------------------

def draw_count(rng):
    r = rng.random()
    if r < 0.1:
        return rng.randint(2, 12)
    if r < 0.55:
        return rng.randint(13, 80)
    return rng.randint(81, 200)


def draw_grid_dims(rng):
    r = rng.random()
    if r < 0.1:
        return 0, 0
    if r < 0.3:
        return rng.randint(0, 6), rng.randint(0, 6)
    if r < 0.75:
        return rng.randint(5, 25), rng.randint(5, 25)
    return rng.randint(20, 40), rng.randint(20, 40)


def draw_neighbours(rng, n):
    r = rng.random()
    if r < 0.05:
        return rng.choice((0, -3))          # raised to 1
    if r < 0.15:
        return 1
    if r < 0.25:
        return rng.choice((n, n + 1, n + 5, max(n - 1, 1)))
    return rng.choice((2, 3, 4, 5, 6, 8, 10, 12, 16, 20))


def field(kind, rng):
    """A random field f(u, v) over unit coordinates.

    Mostly a sum of a few cosine waves of short wavelength (a stationary
    field whose variogram levels off, the usual spherical fit); now and then
    a smooth trend (a variogram that keeps rising: the fallback fits).
    """
    base = rng.uniform(1.0, 50.0)
    if kind != "aniso" and rng.random() < 0.2:
        gx, gy = rng.uniform(-1, 1), rng.uniform(-1, 1)
        curv = rng.choice((0.0, 0.5, 2.0))
        amp = base * rng.uniform(0.1, 0.8)
        return lambda u, v: base + amp * (gx * u + gy * v + curv * (u - 0.5) * (v - 0.3))
    waves = []
    k = rng.randint(3, 8)
    for _ in range(k):
        f = rng.uniform(4.0, 20.0)
        ang = rng.uniform(0.0, 2.0 * math.pi)
        fx, fy = f * math.cos(ang), f * math.sin(ang)
        if kind == "aniso":
            fy *= rng.uniform(3.0, 8.0)
        waves.append((fx, fy, rng.uniform(0.0, 2.0 * math.pi), rng.uniform(0.3, 1.0)))
    amp = base * rng.uniform(0.1, 0.6) / math.sqrt(k)
    return lambda u, v: base + amp * sum(a * math.cos(fx * u + fy * v + ph)
                                         for (fx, fy, ph, a) in waves)


def sample_values(rng, coords, kind, unit):
    """Values at the sample coordinates; unit maps (x, y) to unit-square coordinates."""
    if kind == "constant":
        c = f32(rng.choice((0.0, 1.0, 5.5, 123.25, 0.005)))
        return [c] * len(coords)
    if kind == "magnitudes":
        return [f32(10 ** rng.uniform(-3, 6)) for _ in coords]
    f = field("aniso" if kind == "anisotropic" else "plain", rng)
    noise = rng.choice((0.0, 0.02, 0.1, 0.5))
    vals = []
    for (x, y) in coords:
        u, v = unit(x, y)
        vals.append(f32(f(u, v) * (1.0 + noise * rng.gauss(0, 1))))
    return vals


def sprinkle_blanks(rng, vals, leading):
    vals = list(vals)
    n = len(vals)
    for _ in range(rng.randint(1, max(1, n // 6))):
        i = rng.randrange(n)
        run = rng.randint(1, 3)
        for k in range(i, min(n, i + run)):
            vals[k] = km.BLANK if rng.random() < 0.6 else km.NAN
    if leading:
        vals[0] = km.BLANK if rng.random() < 0.5 else km.NAN
        if n > 1 and rng.random() < 0.5:
            vals[1] = km.NAN
    return vals


# ---------------------------------------------------------------------------
# Geometry
# ---------------------------------------------------------------------------

def draw_geometry(rng, scenario):
    """Cell sizes, cell counts and extent rectangle."""
    ncx, ncy = draw_grid_dims(rng)
    cx = f32(rng.choice(CELL_CHOICES))
    cy = cx if rng.random() < 0.7 else f32(rng.choice(CELL_CHOICES))
    x0 = f32(rng.choice((0.0, 0.0, -50.0, 1000.0, 12.5, 181000.0)))
    y0 = f32(rng.choice((0.0, 0.0, -20.0, 500.0, 3.75, 330000.0)))

    if scenario == "scale_edge":
        side = rng.choice(EDGE_SIDES)
        ncx = rng.randint(5, 40)
        ncy = rng.randint(1, 30)
        cx = f32(side / ncx)
        other = f32(side * rng.uniform(0.2, 1.0))
        cy = f32(other / ncy)
        if rng.random() < 0.5:
            rect = [x0, y0, f32(x0 + side), f32(y0 + other)]
        else:   # the y side is the larger one
            ncx, ncy = ncy, ncx
            cx, cy = f32(other / ncx), f32(side / ncy)
            rect = [x0, y0, f32(x0 + other), f32(y0 + side)]
        return cx, cy, ncx, ncy, rect

    if scenario == "many_classes":
        if rng.random() < 0.5:
            # Consistent long thin grid with more than 100 cells along x or y.
            ncx = rng.randint(101, 140)
            ncy = rng.randint(0, 3) if rng.random() < 0.2 else rng.randint(8, 11)
            if rng.random() < 0.5:
                ncx, ncy = ncy, ncx
            rect = [x0, y0, f32(x0 + ncx * cx), f32(y0 + ncy * cy)]
        else:
            # Small grid, extent far wider than the grid covers.
            ncx, ncy = rng.randint(0, 15), rng.randint(0, 15)
            ex = f32(cx * rng.randint(101, 260))
            ey = f32(cy * rng.randint(20, 120))
            rect = [x0, y0, f32(x0 + ex), f32(y0 + ey)]
        return cx, cy, ncx, ncy, rect

    if scenario == "inexact_cell":
        cx = f32(rng.choice((0.1, 0.3, 0.7, 0.01, 1.1, 0.2)))
        cy = cx if rng.random() < 0.6 else f32(rng.choice((0.1, 0.3, 0.7, 1.1)))
        ncx, ncy = rng.randint(3, 40), rng.randint(3, 40)

    if scenario == "bad_cell":
        # Not positive (or NaN) cell sizes are replaced by 1.0.
        bad = rng.choice((0.0, -2.5, -1.0, km.NAN))
        ncx, ncy = rng.randint(2, 30), rng.randint(2, 30)
        rect = [x0, y0, f32(x0 + ncx), f32(y0 + ncy)]
        if rng.random() < 0.5:
            return bad, bad, ncx, ncy, rect
        return bad, f32(1.0), ncx, ncy, rect

    if scenario == "meuse":
        ncx, ncy = rng.randint(5, 40), rng.randint(5, 40)
        cx = f32(rng.choice((100.0, 80.0, 50.0, 120.0)))
        cy = cx
        rect = [f32(178500.0), f32(329600.0), f32(178500.0 + ncx * cx),
                f32(329600.0 + ncy * cy)]
        return cx, cy, ncx, ncy, rect

    if rng.random() < 0.25 or (ncx == 0 and ncy == 0) or \
            (min(ncx, ncy) < 3 and rng.random() < 0.8):
        # Extent wider than the grid: lag classes exist even for a 1x1 grid.
        ex = f32(cx * rng.randint(max(ncx, 3), max(ncx, 3) + 12))
        ey = f32(cy * rng.randint(max(ncy, 3), max(ncy, 3) + 12))
        rect = [x0, y0, f32(x0 + ex), f32(y0 + ey)]
    else:
        rect = [x0, y0, f32(x0 + ncx * cx), f32(y0 + ncy * cy)]
    return cx, cy, ncx, ncy, rect


def draw_coords(rng, scenario, n, rect, lag_x, lag_y):
    x0, y0, x1, y1 = rect
    wx = x1 - x0 if x1 > x0 else 1.0
    wy = y1 - y0 if y1 > y0 else 1.0

    if scenario == "lattice":
        # A lattice whose step is a whole number of lag widths (or half of
        # one), spanning most of the extent: whole classes of pairs share one
        # distance and nodes meet samples at equal distances.
        kx = max(1, int(math.ceil(wx / lag_x / 13.0)))
        ky = max(1, int(math.ceil(wy / lag_y / 13.0)))
        if rng.random() < 0.2:
            kx, ky = 0.5, 0.5
        sx = f32(lag_x * kx)
        sy = f32(lag_y * ky) if rng.random() < 0.8 else f32(wy / 7.0)
        cols = max(2, min(14, int(wx / sx) + 1))
        rows = max(1, min(14, int(wy / sy) + 1, 200 // cols))
        if rng.random() < 0.3:
            rows = max(1, min(rows, n // cols))
        return [(f32(x0 + c * sx), f32(y0 + r * sy)) for r in range(rows) for c in range(cols)]

    margin = 0.1 if rng.random() < 0.3 else 0.0
    layout = rng.random()
    if layout < 0.5:
        # Transects: samples along a few lines of constant y and of constant x,
        # so both directional variograms get many pairs.
        rows = [f32(y0 + wy * rng.uniform(0, 1)) for _ in range(rng.randint(1, 4))]
        cols = [f32(x0 + wx * rng.uniform(0, 1)) for _ in range(rng.randint(1, 4))]
        coords = []
        for i in range(n):
            if i % 2 == 0:
                coords.append((f32(x0 + wx * rng.uniform(-margin, 1 + margin)), rng.choice(rows)))
            else:
                coords.append((rng.choice(cols), f32(y0 + wy * rng.uniform(-margin, 1 + margin))))
    elif layout < 0.75:
        # Jittered lattice.
        side = max(2, int(math.sqrt(n)))
        jit = rng.choice((0.0, 0.05, 0.3))
        coords = [(f32(x0 + wx * (i % side + jit * rng.uniform(-1, 1)) / (side - 1)),
                   f32(y0 + wy * (i // side + jit * rng.uniform(-1, 1)) / (side - 1)))
                  for i in range(n)]
    else:
        coords = [(f32(x0 + wx * rng.uniform(-margin, 1 + margin)),
                   f32(y0 + wy * rng.uniform(-margin, 1 + margin))) for _ in range(n)]
    if scenario == "duplicates":
        for _ in range(rng.randint(1, max(1, n // 3))):
            i, j = rng.randrange(n), rng.randrange(n)
            coords[j] = coords[i]
    if scenario in ("random", "small") and rng.random() < 0.15:
        # Samples sharing one x or one y (pairs along the axes).
        xs = sorted({c[0] for c in coords})[:3]
        coords = [(rng.choice(xs), y) if rng.random() < 0.5 else (x, y) for (x, y) in coords]
    return coords


def load_meuse(path):
    rows = []
    with open(path, newline="") as fh:
        reader = csv.reader(fh)
        header = next(reader)
        for rec in reader:
            rows.append([km.BLANK if tok.strip() == "" else f32(float(tok)) for tok in rec])
    return header, rows


# ---------------------------------------------------------------------------
# One case
# ---------------------------------------------------------------------------

def draw_case(rng, method, scenario, meuse):
    cx, cy, ncx, ncy, rect = draw_geometry(rng, scenario)

    if scenario == "meuse":
        _header, rows = meuse
        n = rng.randint(20, len(rows))
        picked = rng.sample(rows, n) if n < len(rows) else list(rows)
        coords = [(r[0], r[1]) for r in picked]
        columns = [[r[c] for r in picked] for c in range(2, len(picked[0]))]
    else:
        n = 2 + rng.randint(0, 4) if scenario == "small" else draw_count(rng)
        lag_x = cx if cx > 0 else 1.0
        lag_y = cy if cy > 0 else 1.0
        coords = draw_coords(rng, scenario, n, rect, lag_x, lag_y)
        n = len(coords)
        x0, y0, x1, y1 = rect
        wx = (x1 - x0) or 1.0
        wy = (y1 - y0) or 1.0

        def unit(x, y):
            return (x - x0) / wx, (y - y0) / wy

        kind = scenario if scenario in ("constant", "magnitudes", "anisotropic") else "plain"
        if rng.random() < 0.1:
            kind = "magnitudes"
        nvar = 3 if method == 11 else 1
        columns = []
        for _ in range(nvar + rng.randint(0, 1)):
            columns.append(sample_values(rng, coords, kind, unit))

    # Method-specific values.
    if method in (8, 9) and scenario != "meuse" and rng.random() < 0.15:
        col = columns[0]
        for _ in range(rng.randint(1, 3)):
            col[rng.randrange(len(col))] = f32(rng.choice((0.0, -1.0, -0.25, 0.5)))
    if scenario == "blanks" or (scenario == "meuse" and rng.random() < 0.3):
        for c in range(len(columns)):
            columns[c] = sprinkle_blanks(rng, columns[c], leading=rng.random() < 0.6)

    parameter = 0.0
    marray = []
    value_col = 2
    ncols = 2 + len(columns)
    if method == 9:
        parameter = f32(rng.choice((0.0, 0.5, 1.0, 2.5, 10.0, -0.25, 100.0)))
    elif method == 10:
        vals = [v for v in columns[0] if not km._is_missing(v)] or [1.0]
        nt = rng.choice((1, 1, 2, 3, 4, 5, 0))
        parameter = f32(nt + rng.choice((0.0, 0.0, 0.7)))
        if nt == 0:
            parameter = f32(rng.choice((0.0, 0.5, -1.0)))
        for _ in range(max(nt, 1)):
            if rng.random() < 0.5:
                marray.append(rng.choice(vals))            # equal to a sample value
            else:
                lo, hi = min(vals), max(vals)
                marray.append(f32(rng.uniform(lo, hi) if hi > lo else lo))
    elif method == 11:
        nv = rng.choice((2, 2, 3, 1))
        parameter = f32(nv + rng.choice((0.0, 0.0, 0.9)))
        avail = list(range(2, ncols))
        cols = [rng.choice(avail) for _ in range(nv)]
        marray = [f32(c + rng.choice((0.0, 0.0, 0.5, 0.99))) for c in cols]
    if method not in (11,) and len(columns) > 1:
        value_col = rng.randrange(2, ncols)

    # Extra unread columns now and then.
    extra = rng.randint(0, 2) if rng.random() < 0.3 else 0
    ncols += extra
    data = []
    for i, (x, y) in enumerate(coords):
        data += [x, y] + [col[i] for col in columns] + [f32(rng.uniform(-9, 9))] * extra

    neighbours = draw_neighbours(rng, n)
    grid_init = rng.choice((0.0, km.BLANK, f32(123.5), f32(-7.25)))

    case = {
        "args": {"n_value_column": value_col, "n_point_count": n, "n_column_count": ncols,
                 "cell_x": cx, "cell_y": cy, "n_cell_x": ncx, "n_cell_y": ncy,
                 "n_neighbour": neighbours, "method": method,
                 "method_parameter": parameter},
        "rect": rect,
        "method_array": marray,
        "grid_init": grid_init,
        "data": data,
    }
    return case


def case_cost(case):
    a = case["args"]
    n = a["n_point_count"]
    m = max(a["n_neighbour"], 1)
    method = a["method"]
    nodes = (a["n_cell_x"] + 1) * (a["n_cell_y"] + 1)
    passes = 1
    if method == 10:
        passes = max(0, math.trunc(a["method_parameter"]) if a["method_parameter"] == a["method_parameter"] else 0)
    if method == 11:
        v = math.trunc(a["method_parameter"])
        if v < 1:
            return 0.01
        q = min(m, n)
        n, m = n * v, v * q
        order = m + v
    else:
        m = min(m, n)
        order = m + {2: 2, 3: 2, 4: 3, 5: 3, 6: 3, 7: 6}.get(method, 1)
    if method < 1 or method > 11:
        return 0.01
    return estimated_seconds(n, m, order, nodes, max(passes, 1))


def generate(seed, count, out, methods, budget, meuse_path, keep_degenerate=0.3):
    os.makedirs(out, exist_ok=True)
    meuse = None
    if meuse_path and os.path.exists(meuse_path):
        meuse = load_meuse(meuse_path)
    scenarios = [s for s in SCENARIOS if s != "meuse" or meuse is not None]
    index = ["file\tmethod\tscenario\tsamples\tneighbours\tnodes\test_seconds"]
    names = []
    for c in range(count):
        rng = random.Random("mosaro-crosscheck-%d-%d" % (seed, c))
        method = methods[c % len(methods)]
        scenario = scenarios[(c // len(methods) + c) % len(scenarios)]
        if rng.random() < 0.15:
            scenario = rng.choice(scenarios)
        for _attempt in range(200):
            case = draw_case(rng, method, scenario, meuse)
            cost = case_cost(case)
            if cost > budget:
                continue
            # Keep some cases whose fitted model is not a number (the whole
            # grid then goes to 0), but prefer ones that exercise the systems.
            if rng.random() < keep_degenerate or model_usable(case):
                break
        name = "case_%d_%04d_m%d_%s.case" % (seed, c, method, scenario)
        path = os.path.join(out, name)
        case_io.write_case(path, case)
        a = case["args"]
        index.append("%s\t%d\t%s\t%d\t%d\t%d\t%.2f" % (
            name, method, scenario, a["n_point_count"], a["n_neighbour"],
            (a["n_cell_x"] + 1) * (a["n_cell_y"] + 1), cost))
        names.append(path)
    with open(os.path.join(out, "index.tsv"), "w") as fh:
        fh.write("\n".join(index) + "\n")
    return names


def model_usable(case):
    """True when every variogram pass of the case yields finite node constants."""
    rect = [f32(v) for v in case["rect"]]
    for inter in km.case_intermediates(case):
        c = km.NodeConstants(inter["models"], rect)
        if not (math.isfinite(c.csum) and math.isfinite(c.cp) and math.isfinite(c.range)):
            return False
    return True


def fit_branches(case):
    """Branches the model's variogram fit takes for a case (per direction and pass)."""
    a = case["args"]
    method = a["method"]
    if method < 1 or method > 11:
        return []
    rect = [f32(v) for v in case["rect"]]
    cx, cy = f32(a["cell_x"]), f32(a["cell_y"])
    cx = cx if cx > 0 else 1.0
    cy = cy if cy > 0 else 1.0
    if method == 11:
        v = km.c_trunc(f32(a["method_parameter"]))
        if v is None or v < 1:
            return []
    xs, ys, vs = km.case_points(case)
    if method == 10:
        nt = km.c_trunc(f32(a["method_parameter"]))
        terms_list = [km.indicator_terms(vs, f32(case["method_array"][t]))
                      for t in range(max(nt or 0, 0))]
    else:
        terms_list = [km.variogram_terms(method, vs, f32(a["method_parameter"]))]
    out = []
    for terms in terms_list:
        tx, ty = km.experimental_variograms(xs, ys, terms, cx, cy, rect)
        trace = {}
        km.fit_variogram_models(tx, ty, cx, cy, rect, trace)
        for t in trace["fits"][0]:
            out.append(t["branch"])
    return out


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--seed", type=int, required=True)
    ap.add_argument("--count", type=int, required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--methods", default="1,2,3,4,5,6,7,8,9,10,11,1,8,10,11,0,12",
                    help="comma-separated method codes, used in turn")
    ap.add_argument("--budget", type=float, default=10.0,
                    help="largest estimated model run time of a case, seconds")
    ap.add_argument("--meuse", default=DEFAULT_MEUSE, help="demo CSV used by one scenario")
    ap.add_argument("--tally", action="store_true", help="tally the fit branches")
    args = ap.parse_args(argv)
    methods = [int(t) for t in args.methods.split(",") if t.strip()]
    paths = generate(args.seed, args.count, args.out, methods, args.budget, args.meuse)
    print("wrote %d cases to %s" % (len(paths), args.out))
    if args.tally:
        tally = {}
        for p in paths:
            case = case_io.read_case(p)
            for b in fit_branches(case):
                key = (case["args"]["method"], b)
                tally[key] = tally.get(key, 0) + 1
        total = {}
        for (m, b), k in sorted(tally.items()):
            total[b] = total.get(b, 0) + k
            print("method %2d branch %s: %d" % (m, b, k))
        print("all methods: " + ", ".join("%s %d" % kv for kv in sorted(total.items())))
    return 0


if __name__ == "__main__":
    sys.exit(main())
