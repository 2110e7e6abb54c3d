#!/usr/bin/env python3
"""Hand-calculable checks of the reference model; exits non-zero on failure.

Run: python3 selfcheck.py
"""

import math
import random
import sys

sys.dont_write_bytecode = True   # leave no cache files next to the scripts

import kriging_model as km
import case_io
from kriging_model import f32

FAILURES = []


def check(name, cond, detail=""):
    if cond:
        print("ok    " + name)
    else:
        print("FAIL  " + name + ("  " + detail if detail else ""))
        FAILURES.append(name)


def close(a, b, rel):
    return abs(a - b) <= rel * max(abs(b), 1e-30)


def check_fit_worked_case():
    # Classes at h = 1..9, one pair each, on an exact spherical model with
    # nugget 1, partial sill 2, range 10.
    lags = [f32(float(k) * 1.0) for k in range(1, 10)]
    gam = [f32(1.0 + 2.0 * (1.5 * h / 10.0 - 0.5 * (h / 10.0) ** 3)) for h in lags]
    table = [lags, [1.0] * 9, gam]
    trace = {}
    nugget, sill, rng, partial = km.fit_direction(table, 9, trace)
    check("fit: branch A", trace["branch"] == "A", str(trace))
    check("fit: b0 = 1", close(trace["b0"], 1.0, 1e-3), repr(trace["b0"]))
    check("fit: b1 = 0.3", close(trace["b1"], 0.3, 1e-3), repr(trace["b1"]))
    check("fit: b3 = -0.001", close(trace["b3"], -0.001, 1e-2), repr(trace["b3"]))
    check("fit: nugget 1", close(nugget, 1.0, 1e-3), repr(nugget))
    check("fit: range 10", close(rng, 10.0, 1e-3), repr(rng))
    check("fit: partial sill 2", close(partial, 2.0, 1e-3), repr(partial))
    check("fit: sill 3 = nugget + partial", sill == f32(nugget + partial) and close(sill, 3.0, 1e-3))
    check("fit: all results are floats", all(v == f32(v) for v in (nugget, sill, rng, partial)))


def check_fit_branches():
    # A variogram bending upward: b1 > 0 and b3 > 0 with b0 >= 0 -> B.
    lags = [f32(float(k)) for k in range(1, 8)]
    gam = [f32(0.5 + 0.1 * h + 0.01 * h * h * h) for h in lags]
    table = [list(lags), [3.0] * 7, list(gam)]
    trace = {}
    nugget, sill, rng, partial = km.fit_direction(table, 7, trace)
    slope = f32(f32(gam[1] - gam[0]) / f32(lags[1] - lags[0]))
    nug = max(f32(gam[0] - slope * lags[0]), 0.0)
    check("fit: upward-bending variogram takes branch B", trace["branch"] == "B", str(trace))
    check("fit: branch B constants", nugget == nug and rng == lags[5] and sill == gam[5]
          and partial == f32(gam[5] - nug), repr((nugget, sill, rng, partial)))

    # Steep start through a negative intercept -> C, nugget exactly 0.
    gam = [f32(0.1 * (h ** 1.5) - 0.5 + 0.0 * h) for h in lags]
    gam = [max(g, 0.0) for g in gam]
    gam = sorted(gam)
    table = [list(lags), [1.0] * 7, gam]
    trace = {}
    model = km.fit_direction(table, 7, trace)
    check("fit: negative intercept takes branch C with nugget +0.0",
          trace["branch"] == "C" and math.copysign(1.0, model[0]) == 1.0 and model[0] == 0.0,
          str(trace))

    # No pair at all: NaN means -> branch C, nugget 0 and the rest NaN.
    table = [list(lags), [0.0] * 7, [0.0] * 7]
    trace = {}
    model = km.fit_direction(table, 7, trace)
    check("fit: empty direction gives C, 0 nugget, NaN range",
          trace["branch"] == "C" and model[0] == 0.0 and all(v != v for v in model[1:]),
          repr(model))

    # Zero classes: hmax NaN -> S = 10.
    trace = {}
    km.fit_direction([[], [], []], 0, trace)
    check("fit: no class uses scale 10", trace["scale"] == 10.0 and trace["branch"] == "C")


def check_scale_divisor():
    check("scale: hmax 10 -> 1000", km.scale_divisor(10.0) == 1000.0)
    check("scale: hmax 9.99 -> 10", km.scale_divisor(f32(9.99)) == 10.0)
    check("scale: hmax 1e6 -> f32(1e30)", km.scale_divisor(1e6) == f32(1e30))
    check("scale: 1e11 held as 99999997952", km.scale_divisor(1000.0) == 99999997952.0)
    check("scale: 1e15 held as 999999986991104", km.scale_divisor(10000.0) == 999999986991104.0)


def check_pruning():
    table = [[1.0, 2.0, 3.0, 4.0, 5.0], [1.0] * 5, [1.0, 3.0, 2.0, 2.5, 4.0]]
    m = km.prune_classes(table, 5)
    check("prune: 1,3,2,2.5,4 keeps 1,3,4", m == 3 and table[2] == [1.0, 3.0, 4.0]
          and table[0] == [1.0, 2.0, 5.0], repr(table))
    table = [[1.0, 2.0, 3.0], [1.0] * 3, [1.0, 1.0, 2.0]]
    check("prune: equal semivariances stay", km.prune_classes(table, 3) == 3)


def check_class_counts():
    check("classes: 150 x 20 -> 76, 11",
          km.lag_class_counts([0.0, 0.0, 150.0, 20.0], 1.0, 1.0) == (76, 11))
    check("classes: 5 / 0.1f -> 49",
          km.lag_class_counts([0.0, 0.0, 5.0, 5.0], f32(0.1), f32(0.1)) == (49, 49))
    check("classes: reversed extent -> 0",
          km.lag_class_counts([10.0, 0.0, 0.0, 5.0], 1.0, 1.0) == (0, 5))


def check_semivariance():
    # Two x pairs: distance 1.0 with difference 2, distance 1.4 with difference 1.
    xs = [0.0, 1.0, 0.0, f32(1.4)]
    ys = [0.0, 0.0, 10.0, 10.0]
    vs = [0.0, 2.0, 0.0, 1.0]
    tx, ty = km.experimental_variograms(xs, ys, vs, 1.0, 1.0, [0.0, 0.0, 5.0, 5.0])
    check("variogram: pair count 2 in class 1", tx[1][0] == 2.0, repr(tx))
    check("variogram: semivariance 1.125", close(tx[2][0], 1.125, 1e-6), repr(tx[2][0]))
    check("variogram: lags k*dx", tx[0] == [1.0, 2.0, 3.0, 4.0, 5.0])
    check("variogram: nothing else counted", sum(tx[1]) == 2.0 and sum(ty[1]) == 0.0)

    # Same place: no class.  Same x: y direction.
    tx, ty = km.experimental_variograms([0.0, 0.0, 0.0], [0.0, 0.0, 2.0], [1.0, 5.0, 3.0],
                                        1.0, 1.0, [0.0, 0.0, 5.0, 5.0])
    check("variogram: duplicates join no class, same x goes to y",
          sum(tx[1]) == 0.0 and ty[1][1] == 2.0, repr((tx, ty)))

    # Cone limits.
    check("cone: 10 degrees is an x pair", float(f32(0.1745329201221466)) <= km.CONE)
    check("cone: 80 degrees is not a y pair",
          not (km.RIGHT_ANGLE - f32(1.3962633609771729) <= km.CONE))
    check("cone: 1.3962634801864624 is a y pair",
          km.RIGHT_ANGLE - f32(1.3962634801864624) <= km.CONE)
    check("cone: same x gives f32(1.5707963)", km.RIGHT_ANGLE_F == f32(1.5707963))


def check_solver():
    x = km.solve_system([[0.0, 1.0], [1.0, 1.0]], [1.0, 2.0])
    check("solver: (0,1),(1,1) -> about (250000, 0.5)",
          close(x[0], 250000.0, 1e-4) and close(x[1], 0.5, 1e-5), repr(x))
    a = [[1.0, 1.0], [1.0, 1.0]]
    b = [1.0, 2.0]
    x = km.solve_system(a, b)
    check("solver: (1,1),(1,1) -> about (-999999, 1000000)",
          close(x[0], -999999.0, 1e-5) and close(x[1], 1000000.0, 1e-5), repr(x))
    check("solver: inputs unchanged", a == [[1.0, 1.0], [1.0, 1.0]] and b == [1.0, 2.0])
    x = km.solve_system([[0.0]], [1.0])
    check("solver: order 1 with 0 pivot -> b / f32(1e-6)", x[0] == f32(1.0 / f32(1e-6)))
    check("solver: guard 5e-7 -> 1.5e-6", km._guard(f32(5e-7)) == f32(f32(5e-7) + 1e-6)
          and close(km._guard(f32(5e-7)), 1.5e-6, 1e-6))
    check("solver: guard -5e-7 -> -1.5e-6", close(km._guard(f32(-5e-7)), -1.5e-6, 1e-6))
    check("solver: guard 0 twice -> about 2e-6",
          km._guard(0.0) == 9.999999974752427e-07
          and km._guard(km._guard(0.0)) == 1.9999999949504854e-06)
    x = km.solve_system([[2.0, 0.0, 0.0], [0.0, 4.0, 0.0], [0.0, 0.0, f32(3.0)]],
                        [1.0, 1.0, 1.0])
    check("solver: diagonal", x == [0.5, 0.25, f32(1.0 / 3.0)], repr(x))


def check_neighbour_sort():
    names = ["A", "B", "C", "D"]
    work = [list(names), [0.0] * 4, [0.0] * 4, [4.0, 3.0, 3.0, 1.0]]
    km.neighbour_sort(work, 2 + 1)
    check("sort: 4,3,3,1 with m = 2 ends D,C,B,A", work[0] == ["D", "C", "B", "A"], repr(work[0]))
    work = [list(names), [0.0] * 4, [0.0] * 4, [2.0, float("nan"), 1.0, 0.5]]
    km.neighbour_sort(work, 1)
    check("sort: an unordered comparison swaps", work[0][0] == "D" and work[3][0] == 0.5,
          repr(work))


def check_node_constants():
    def consts(rect, rx=1.0, ry=1.0):
        return km.NodeConstants([(0.0, 1.0, rx, 1.0), (0.0, 1.0, ry, 1.0)], rect)
    check("scale: extent 100 -> 1", consts([0.0, 0.0, 100.0, 50.0]).scale == 1.0)
    check("scale: extent 100.5 -> 100", consts([0.0, 0.0, 100.5, 50.0]).scale == 100.0)
    check("scale: extent 1000 -> 100", consts([0.0, 0.0, 10.0, 1000.0]).scale == 100.0)
    check("scale: extent 250000 -> 100000", consts([0.0, 0.0, 250000.0, 5.0]).scale == 100000.0)
    check("scale: negative extent -> 1", consts([5.0, 5.0, 0.0, 0.0]).scale == 1.0)
    check("aniso: 12/2 at scale 100 -> 1", consts([0.0, 0.0, 150.0, 1.0], 12.0, 2.0).aniso == 1.0)
    check("aniso: 12/2 at scale 1 -> 6", consts([0.0, 0.0, 50.0, 1.0], 12.0, 2.0).aniso == 6.0)
    check("aniso: 0.4 -> 1", consts([0.0, 0.0, 50.0, 1.0], 2.0, 5.0).aniso == 1.0)
    check("aniso: exactly 5 and 0.5 stay",
          consts([0.0, 0.0, 50.0, 1.0], 1.0, 0.2).aniso == f32(1.0 / f32(0.2))
          and consts([0.0, 0.0, 50.0, 1.0], 1.0, 2.0).aniso == 0.5)
    c = consts([0.0, 0.0, 50.0, 1.0], 10.0, 10.0)
    check("cov: 0 and NaN give Csum", c.cov(0.0) == c.csum and c.cov(float("nan")) == c.csum)
    check("cov: beyond the range gives 0", c.cov(10.5) == 0.0)
    check("cov: at the range gives ~0", abs(c.cov(10.0)) < 1e-6)


def check_entry():
    blank = km.BLANK
    check("blank: bit pattern 0xFE967699", km.float_bits(blank) == 0xFE967699)
    v = [5.0, blank, blank]
    km.substitute_blanks(v)
    check("blank: 5, blank, blank -> 5, 5, 5", v == [5.0, 5.0, 5.0])
    v = [2.0, float("nan")]
    km.substitute_blanks(v)
    check("blank: 2, NaN -> 2, 2", v == [2.0, 2.0])
    v = [blank, float("nan"), 3.0, blank]
    km.substitute_blanks(v)
    check("blank: leading blank takes the first later value", v == [3.0, 3.0, 3.0, 3.0])
    v = [blank, blank]
    km.substitute_blanks(v)
    check("blank: all blank stays blank", v == [blank, blank])

    # Seven columns, value column 4.
    data = []
    for r in range(3):
        data += [float(r), float(2 * r), 0.0, 0.0, 10.0 + r, 0.0, 0.0]
    pts = km.build_points(data, 4, 3, 7, 1, 1, [])
    check("entry: value column 4 of 7", pts == ([0.0, 1.0, 2.0], [0.0, 2.0, 4.0],
                                                [10.0, 11.0, 12.0]))

    # Co-kriging layout: V = trunc(2.9) = 2, 10 rows.
    data = []
    for r in range(10):
        data += [float(r), float(r + 1), 100.0 + r, 200.0 + r]
    pts = km.build_points(data, 0, 10, 4, 11, 2, [f32(3.7), 2.0])
    check("entry: co-kriging blocks", len(pts[0]) == 20 and pts[0][10:] == pts[0][:10]
          and pts[2][:10] == [200.0 + r for r in range(10)]
          and pts[2][10:] == [100.0 + r for r in range(10)])

    # Unknown code leaves the grid as it was; the return value is 1.
    grid = [7.0] * 4
    rc = km.scat_to_grid(data, 2, 10, 4, [0.0, 0.0, 1.0, 1.0], 1.0, 1.0, 1, 1, 3, 12, 0.0,
                         [], grid)
    check("entry: code 12 returns 1 and leaves the grid", rc == 1 and grid == [7.0] * 4)
    grid = [7.0] * 4
    km.scat_to_grid(data, 2, 10, 4, [0.0, 0.0, 1.0, 1.0], 1.0, 1.0, 1, 1, 3, 11, 0.5, [],
                    grid)
    check("entry: co-kriging with V < 1 leaves the grid", grid == [7.0] * 4)
    grid = [7.0] * 4
    km.scat_to_grid(data, 2, 10, 4, [0.0, 0.0, 1.0, 1.0], 1.0, 1.0, 1, 1, 3, 10, 0.0, [],
                    grid)
    check("entry: indicator with no threshold writes zeros", grid == [0.0] * 4)

    # One neighbour: the node takes (about) the nearest sample's value.
    data = []
    for r in range(6):
        for c in range(6):
            data += [2.0 * c, 2.0 * r, 5.0 + ((7 * c + 3 * r) % 5) * 0.5]
    grid = [0.0]
    km.scat_to_grid(data, 2, 36, 3, [0.0, 0.0, 10.0, 10.0], 1.0, 1.0, 0, 0, 1, 1, 0.0, [],
                    grid)
    check("ordinary: one neighbour gives about the nearest value", close(grid[0], 5.0, 1e-5),
          repr(grid))


def check_method_relations():
    # Random samples (no distance ties): co-kriging of one variable is
    # ordinary kriging, and a zero shift reproduces lognormal kriging.
    rnd = random.Random(11)
    n = 40
    data = []
    for _ in range(n):
        x, y = f32(rnd.uniform(0, 30)), f32(rnd.uniform(0, 30))
        data += [x, y, f32(5 + 3 * math.sin(x / 3.0) * math.cos(y / 4.0) + rnd.random())]
    rect = [0.0, 0.0, 30.0, 30.0]

    def run(method, parameter, marray):
        grid = [0.0] * 49
        km.scat_to_grid(data, 2, n, 3, rect, 5.0, 5.0, 6, 6, 6, method, parameter, marray, grid)
        return grid

    ok = run(1, 0.0, [])
    check("relation: the test field gives a non-trivial grid", sum(1 for v in ok if v > 0) > 40)
    check("relation: co-kriging with V = 1 is ordinary kriging", run(11, 1.0, [2.0]) == ok)
    check("relation: shift 0 reproduces lognormal kriging", run(9, 0.0, []) == run(8, 0.0, []))
    ind = run(10, 2.0, [f32(6.0), f32(4.5)])
    parts = [run(10, 1.0, [f32(6.0)]), run(10, 1.0, [f32(4.5)])]
    check("relation: indicator grid is the float sum of the per-threshold grids",
          ind == [f32(f32(0.0 + a) + b) for a, b in zip(*parts)])


def check_f32_paths():
    rnd = random.Random(7)
    ok = True
    fmax = 3.4028234663852886e+38
    samples = [fmax, fmax * (1 + 2 ** -25), fmax * (1 + 2 ** -24), -fmax * (1 + 2 ** -23),
               1e-46, 7e-46, -1e-39, 0.1, 1.0 / 3.0]
    samples += [rnd.uniform(-1, 1) * 10 ** rnd.randint(-45, 39) for _ in range(2000)]
    for v in samples:
        a = km.f32(v)
        b = km.f32_list([v])[0]
        if km.float_bits(a) != km.float_bits(b):
            ok = False
    check("f32: struct and array roundings agree (inf on overflow)", ok)
    check("f32: overflow gives inf", km.f32(1e39) == km.INF and km.f32(-1e39) == -km.INF)


def check_parse():
    ok = True
    rnd = random.Random(3)
    for _ in range(2000):
        v = km.f32(rnd.uniform(-1, 1) * 10 ** rnd.randint(-40, 38))
        if km.float_bits(case_io.parse_f32(case_io.format_f32(v))) != km.float_bits(v):
            ok = False
    check("parse: repr round-trips every float", ok)
    check("parse: 0.1 is f32(0.1)", case_io.parse_f32("0.1") == f32(0.1))
    check("parse: -1e38 is the blank", km.float_bits(case_io.parse_f32("-1e38")) == 0xFE967699)
    check("parse: 1e39 is inf", case_io.parse_f32("1e39") == km.INF)
    # A decimal just below a float midpoint whose nearest double is the
    # midpoint itself: strtof rounds down, a detour through double would not.
    mid = 1 + 3 * 2 ** -24          # midpoint between 1 + 2**-23 and 1 + 2**-22
    s = "1.000000178813934326171874999999"  # just below it
    check("parse: no double rounding", case_io.parse_f32(s) == 1 + 2 ** -23
          and km.f32(float(s)) == 1 + 2 ** -22 and float(s) == mid)


def main():
    check_fit_worked_case()
    check_fit_branches()
    check_scale_divisor()
    check_pruning()
    check_class_counts()
    check_semivariance()
    check_solver()
    check_neighbour_sort()
    check_node_constants()
    check_entry()
    check_method_relations()
    check_f32_paths()
    check_parse()
    print()
    if FAILURES:
        print("%d check(s) failed" % len(FAILURES))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
