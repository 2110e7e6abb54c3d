#!/usr/bin/env python3
"""Reference model of Mosaro's gridding arithmetic, in plain Python.

This is a second, independent reading of the library's arithmetic, kept
deliberately slow and literal so that its grids can be compared with the
library's bit for bit.

Number model
------------
Every stored quantity is an IEEE single-precision float.  Python floats
are doubles, so each expression below is evaluated in double precision
from float operands and passed through f32() exactly where the library
stores it; running sums are rounded after every addition.  Products are
written left to right in the order the library forms them, and the
C library's sqrt/atan/log/exp/pow are reached through the math module.
Python raises where C returns inf or NaN (division by zero, log(0),
exp overflow, ...), so those calls go through the c_* helpers, which
give the IEEE results instead.

Choices of the library where the arithmetic alone does not decide:
- a blank or NaN value in the first record takes the first later value
  that is neither; with none, the values stay as they are;
- a sweep uses min(m, n) neighbours (co-kriging: q = min(q, P) per block,
  m = V q); a system has order m + border size;
- a lag-class quotient that is NaN or negative (here also one that is
  infinite) gives 0 classes, before the halving of long extents; a class
  number beyond the last class joins no class;
- the fit of a direction without retained class takes hmax as NaN
  (scale 10); the straight-line fallback needs two retained classes;
- indicator kriging with fewer than one threshold writes zeros; co-kriging
  with fewer than one variable (or a parameter that is not finite)
  leaves the grid untouched; a negative sample count counts as 0.

Used as a script, ``kriging_model.py CASE_FILE`` prints the model's grid,
one node per line as the float's bit pattern in 8 lower-case hex digits;
``kriging_model.py --dump CASE_FILE`` prints the experimental tables and
the fitted models of the case instead.

Unit-level entry points: variogram_tables(), fitted_models(),
fit_variogram_models(), solve_system(), case_intermediates().
"""

import math
import struct
import sys
from array import array

INF = float("inf")
NAN = float("nan")

_F32 = struct.Struct("<f")
_U32 = struct.Struct("<I")


# ---------------------------------------------------------------------------
# IEEE helpers
# ---------------------------------------------------------------------------

def f32(x):
    """Round a double to the nearest float (ties to even); +-inf on overflow."""
    try:
        return _F32.unpack(_F32.pack(x))[0]
    except OverflowError:
        # struct refuses values that round past FLT_MAX; C stores an infinity.
        return math.copysign(INF, x)


def f32_list(values):
    """f32() of every element; array('f') rounds with the C cast (inf on overflow)."""
    return array("f", values).tolist()


def float_bits(x):
    """Bit pattern of the float nearest to x, as an unsigned 32-bit integer."""
    return _U32.unpack(_F32.pack(f32(x)))[0]


def bits_to_float(b):
    return _F32.unpack(_U32.pack(b & 0xFFFFFFFF))[0]


def c_div(a, b):
    """a / b with IEEE results for a zero divisor."""
    try:
        return a / b
    except ZeroDivisionError:
        if a != a or a == 0.0:
            return NAN
        return math.copysign(INF, a) * math.copysign(1.0, b)


def c_sqrt(x):
    return NAN if x < 0.0 else math.sqrt(x)


def c_log(x):
    if x > 0.0:
        return math.log(x)
    if x == 0.0:
        return -INF
    return NAN  # negative or NaN


def c_exp(x):
    try:
        return math.exp(x)
    except OverflowError:
        return INF


def c_pow3(x):
    """pow(x, 3.0) of the C library."""
    try:
        return math.pow(x, 3.0)
    except OverflowError:
        return math.copysign(INF, x)


def c_trunc(x):
    """Cast of a finite double to int, toward zero; None when not finite."""
    if x != x or x in (INF, -INF):
        return None
    return math.trunc(x)


def is_nan(x):
    return x != x


# The blank marker of a sample or node without a value.
BLANK = f32(-1e38)          # bit pattern 0xFE967699

# Angular tolerance of the two directional variograms (10 degrees) and the
# right angle, both as the double literals of the library.
CONE = 0.174532922
RIGHT_ANGLE = 1.5707963
RIGHT_ANGLE_F = f32(RIGHT_ANGLE)

# Pivot guard of the solver.
PIVOT_GUARD = 1e-6

# Estimates below this (compared in double) are written as 0.
CUT_OFF = 0.01


# ---------------------------------------------------------------------------
# Experimental directional variograms
# ---------------------------------------------------------------------------

def _class_count(lo, hi, cell):
    """Lag classes over one side of the extent: trunc((hi - lo) / cell) in double.

    A quotient that is NaN, negative (or infinite) gives no class, so that
    nothing is allocated or indexed with a negative count.
    """
    k = c_trunc(c_div(hi - lo, cell))
    if k is None or k < 0:
        return 0
    return k


def lag_class_counts(rect, cell_x, cell_y):
    """Class counts (nx, ny); both halved once when either exceeds 100."""
    nx = _class_count(rect[0], rect[2], cell_x)
    ny = _class_count(rect[1], rect[3], cell_y)
    if nx > 100 or ny > 100:
        nx = nx // 2 + 1
        ny = ny // 2 + 1
    return nx, ny


def plain_terms(values):
    """Per-sample quantity whose pair differences feed the variogram: the value."""
    return list(values)


def log_terms(values, shift=0.0):
    """Natural logarithm of value (+ shift), the sum and the log in double."""
    if shift == 0.0:
        return [c_log(v) for v in values]
    return [c_log(v + shift) for v in values]


def indicator(value, threshold):
    """1.0 unless the value lies above the threshold (a NaN difference gives 1.0)."""
    return 0.0 if (value - threshold) > 0.0 else 1.0


def indicator_terms(values, threshold):
    return [indicator(v, threshold) for v in values]


def _add_pair(cnt, dist, sq, n_classes, cell, d, diff):
    """Adds a pair at distance d to its lag class. Class 0 (closer than half
    a lag, duplicates) joins nothing; so does a class pushed past the last
    one by rounding."""
    k = c_trunc(c_div(d, cell) + 0.5)
    if k is not None and 1 <= k <= n_classes:
        c = k - 1
        cnt[c] = f32(cnt[c] + 1.0)
        dist[c] = f32(dist[c] + d)
        sq[c] = f32(sq[c] + (diff * d) * diff)


def experimental_variograms(xs, ys, terms, cell_x, cell_y, rect):
    """Experimental variograms along x and along y (each within 10 degrees).

    terms[i] is the per-sample quantity whose differences are squared (the
    value, its logarithm or its indicator).  Returns (table_x, table_y),
    each a list of three rows: lag distance, pair count, semivariance.
    """
    n = len(xs)
    nx, ny = lag_class_counts(rect, cell_x, cell_y)

    # Largest accepted distance of each direction, kept in double.
    reach_x = (nx + 0.5) * cell_x
    reach_y = (ny + 0.5) * cell_y

    tab_x = [[f32(float(k) * cell_x) for k in range(1, nx + 1)], [0.0] * nx, [0.0] * nx]
    tab_y = [[f32(float(k) * cell_y) for k in range(1, ny + 1)], [0.0] * ny, [0.0] * ny]
    dist_x, sq_x = [0.0] * nx, [0.0] * nx
    dist_y, sq_y = [0.0] * ny, [0.0] * ny
    cnt_x, cnt_y = tab_x[1], tab_y[1]

    for i in range(n):
        xi, yi, ti = xs[i], ys[i], terms[i]
        for j in range(i + 1, n):
            ax = f32(abs(xi - xs[j]))
            ay = f32(abs(yi - ys[j]))
            d = f32(c_sqrt(ax * ax + ay * ay))
            if ax == 0.0:
                theta = RIGHT_ANGLE_F
            else:
                theta = f32(math.atan(ay / ax))

            if theta <= CONE and d < reach_x:
                _add_pair(cnt_x, dist_x, sq_x, nx, cell_x, d, ti - terms[j])
            elif RIGHT_ANGLE - theta <= CONE and d < reach_y:
                _add_pair(cnt_y, dist_y, sq_y, ny, cell_y, d, ti - terms[j])

    # Distance-weighted mean of half the squared differences.
    for tab, dist, sq in ((tab_x, dist_x, sq_x), (tab_y, dist_y, sq_y)):
        gam = tab[2]
        for c in range(len(gam)):
            gam[c] = 0.0 if dist[c] == 0.0 else f32(c_div(sq[c], 2.0 * dist[c]))
    return tab_x, tab_y


# ---------------------------------------------------------------------------
# Spherical model fit
# ---------------------------------------------------------------------------

def prune_classes(table, count):
    """Drop every class whose semivariance falls below the retained class before it.

    Works in place on the three rows (they shrink to the retained classes)
    and returns the number of retained classes.
    """
    m = min(count, len(table[2]))
    for row in table:
        del row[m:]
    gam = table[2]
    i = 0
    while i < m - 1:
        if gam[i] > gam[i + 1]:
            for row in table:
                del row[i + 1]
            m -= 1
        else:
            i += 1
    return m


def scale_divisor(hmax):
    """Divisor that keeps the sums of high powers of the lag within float range."""
    s = 10.0
    if hmax >= 10.0:
        s = 1000.0
    if hmax >= 100.0:
        s = 1e7
    if hmax >= 1000.0:
        s = f32(1e11)
    if hmax >= 10000.0:
        s = f32(1e15)
    if hmax >= 100000.0:
        s = f32(1e20)
    if hmax >= 1000000.0:
        s = f32(1e30)
    return s


def _spherical_from_cubic(b1, b3):
    """Range and partial sill of b1*h + b3*h^3: a = sqrt(-b1/(3 b3)), C = 2 a b1 / 3."""
    root = c_sqrt(c_div(-b1, 3.0 * b3))
    return f32(root), f32((root * (2.0 * b1)) / 3.0)


def fit_direction(table, count, trace=None):
    """Fit one direction's spherical model to its (pruned) experimental table.

    Returns (nugget, sill, range, partial_sill).  When trace is a dict it
    receives the branch taken ('A', 'B' or 'C') and the coefficients.
    """
    m = prune_classes(table, count)
    lag, cnt, gam = table

    # Pair-count weighted means of h, h^3 and gamma.
    w = 0.0
    for c in range(m):
        w = f32(w + cnt[c])
    hbar = h3bar = gbar = 0.0
    for c in range(m):
        n, h, g = cnt[c], lag[c], gam[c]
        hbar = f32(hbar + c_div(n * h, w))
        h3bar = f32(h3bar + c_div(((n * h) * h) * h, w))
        gbar = f32(gbar + c_div(n * g, w))

    s = scale_divisor(lag[m - 1] if m > 0 else NAN)

    # Centred normal equations of gamma = b0 + b1 h + b3 h^3.
    s11 = s13 = s33 = s1g = s3g = 0.0
    for c in range(m):
        n, h, g = cnt[c], lag[c], gam[c]
        h3 = (h * h) * h
        nh3 = ((n * h) * h) * h
        s11 = f32(s11 + ((n * h) * (h - hbar)) / s)
        s13 = f32(s13 + (nh3 * (h - hbar)) / s)
        s33 = f32(s33 + (nh3 * (h3 - h3bar)) / s)
        s1g = f32(s1g + ((n * g) * (h - hbar)) / s)
        s3g = f32(s3g + ((n * g) * (h3 - h3bar)) / s)

    # The determinant is never stored: it lives inside each quotient.
    b1 = f32(c_div(s1g * s33 - s3g * s13, s11 * s33 - s13 * s13))
    b3 = f32(c_div(s11 * s3g - s1g * s13, s11 * s33 - s13 * s13))
    b0 = f32((gbar - b1 * hbar) - b3 * h3bar)
    b1b3 = f32(b1 * b3)

    if b0 < 0.0 or is_nan(b0):
        branch = "C"
    elif b1b3 < 0.0:
        branch = "A"
    elif m >= 2:
        branch = "B"
    else:
        # Unreachable: with fewer than two classes b1 and b3 are NaN, so b0 is.
        branch = "C"

    if branch == "A":
        # Spherical constants straight from the cubic.
        nugget = b0
        rng, partial = _spherical_from_cubic(b1, b3)
        sill = f32(nugget + partial)
    elif branch == "B":
        # Cubic of the wrong shape: a line through the first two classes,
        # levelling off at the last class but one.
        slope = f32(c_div(f32(gam[1] - gam[0]), f32(lag[1] - lag[0])))
        nugget = f32(gam[0] - slope * lag[0])
        if nugget < 0.0:
            nugget = 0.0
        rng = lag[m - 2]
        sill = gam[m - 2]
        partial = f32(gam[m - 2] - nugget)
    else:
        # Negative intercept: refit b1 h + b3 h^3 through the origin.
        a11 = a13 = a33 = r1 = r3 = 0.0
        for c in range(m):
            n, h, g = cnt[c], lag[c], gam[c]
            nh2 = (n * h) * h
            nh3 = nh2 * h
            a11 = f32(a11 + nh2 / s)
            a13 = f32(a13 + (nh3 * h) / s)
            a33 = f32(a33 + (((nh3 * h) * h) * h) / s)
            r1 = f32(r1 + ((n * h) * g) / s)
            r3 = f32(r3 + (nh3 * g) / s)
        b1 = f32(c_div(r1 * a33 - r3 * a13, a11 * a33 - a13 * a13))
        b3 = f32(c_div(a11 * r3 - r1 * a13, a11 * a33 - a13 * a13))
        nugget = 0.0
        rng, partial = _spherical_from_cubic(b1, b3)
        sill = f32(nugget + partial)

    if trace is not None:
        trace.update(branch=branch, retained=m, scale=s, b0=b0, b1=b1, b3=b3,
                     hbar=hbar, h3bar=h3bar, gbar=gbar)
    return (nugget, sill, rng, partial)


def fit_variogram_models(table_x, table_y, cell_x, cell_y, rect, trace=None):
    """Fit the x direction then the y direction; prunes both tables in place.

    Returns [model_x, model_y], each (nugget, sill, range, partial_sill).
    """
    nx, ny = lag_class_counts(rect, cell_x, cell_y)
    tx = {} if trace is not None else None
    ty = {} if trace is not None else None
    mx = fit_direction(table_x, nx, tx)
    my = fit_direction(table_y, ny, ty)
    if trace is not None:
        trace.setdefault("fits", []).append((tx, ty))
    return [mx, my]


# ---------------------------------------------------------------------------
# Kriging system solver
# ---------------------------------------------------------------------------

def _guard(p):
    """Move a pivot of magnitude below 1e-6 away from zero (an exact 0 moves up)."""
    if abs(p) < PIVOT_GUARD:
        return f32(p - PIVOT_GUARD) if p < 0.0 else f32(p + PIVOT_GUARD)
    return p


def solve_system(matrix, rhs):
    """Gaussian elimination without exchanges, pivot guard before every update.

    matrix: list of rows (floats), rhs: list of floats; neither is changed.
    Returns the solution as a list of floats.
    """
    n = len(rhs)
    a = [list(matrix[i][:n]) + [rhs[i]] for i in range(n)]

    for k in range(n):
        row_k = a[k]
        for i in range(k + 1, n):
            row_i = a[i]
            aik = row_i[k]
            j = k + 1
            while j <= n:
                p = row_k[k]
                if abs(p) < PIVOT_GUARD:
                    # The guard runs before every single update, so a pivot
                    # left below 1e-6 by one move is moved again next time.
                    p = _guard(p)
                    row_k[k] = p
                    row_i[j] = f32(row_i[j] - (aik * row_k[j]) / p)
                    j += 1
                else:
                    # Settled pivot (or NaN): the guard changes nothing for
                    # the rest of the row, so finish it in one go.
                    row_i[j:] = f32_list([aij - (aik * akj) / p
                                          for aij, akj in zip(row_i[j:], row_k[j:])])
                    break

    x = [0.0] * n
    last = a[n - 1]
    last[n - 1] = _guard(last[n - 1])
    x[n - 1] = f32(last[n] / last[n - 1])
    for i in range(n - 2, -1, -1):
        row = a[i]
        s = 0.0
        for j in range(i + 1, n):
            s = f32(s + row[j] * x[j])
        row[i] = _guard(row[i])
        x[i] = f32((row[n] - s) / row[i])
    return x


# ---------------------------------------------------------------------------
# Node procedure shared by the estimators
# ---------------------------------------------------------------------------

class NodeConstants:
    """Quantities fixed once per sweep from the fitted models and the extent."""

    def __init__(self, models, rect):
        (nug_x, _sill_x, range_x, part_x) = models[0]
        (nug_y, _sill_y, range_y, part_y) = models[1]
        # The two directions' models are averaged; the sills are not read.
        self.cp = f32((part_x + part_y) / 2.0)
        self.c0 = f32((nug_x + nug_y) / 2.0)
        self.csum = f32(self.cp + self.c0)

        # Coordinate scale from the larger side of the extent (strict tests).
        ext = f32(rect[2] - rect[0])
        ext_y = f32(rect[3] - rect[1])
        if ext_y > ext:
            ext = ext_y
        if ext > 100000.0:
            self.scale = 100000.0
        elif ext > 10000.0:
            self.scale = 10000.0
        elif ext > 1000.0:
            self.scale = 1000.0
        elif ext > 100.0:
            self.scale = 100.0
        else:
            self.scale = 1.0

        self.range = f32(range_x / self.scale)
        k = f32(c_div(range_x, range_y))
        # A large ratio with a short scaled range is not trusted.
        if k > 5.0 and self.range < 2.0:
            k = 1.0
        if k < 0.5 or is_nan(k):
            k = 1.0
        self.aniso = k
        self.aniso2 = k * k   # k^2 in double, as it enters the distance

    def cov(self, h):
        """Spherical covariance of a (scaled, anisotropic) distance h."""
        if h == 0.0 or is_nan(h):
            return self.csum
        a = self.range
        if h <= a:
            gamma = f32(self.cp * ((h * 1.5) / a - 0.5 * c_pow3(h / a)) + self.c0)
            return f32(self.csum - gamma)
        return 0.0


def _node_position(i, j, cell_x, cell_y, rect, scale):
    """Scaled node position; product, sum and quotient each stored as float."""
    x = f32(f32(f32(float(j) * cell_x) + rect[0]) / scale)
    y = f32(f32(f32(float(i) * cell_y) + rect[1]) / scale)
    return x, y


def _node_distances(wx, wy, x, y):
    """Isotropic distance of every working entry to the node (neighbour choice)."""
    return f32_list([math.sqrt((px - x) * (px - x) + (py - y) * (py - y))
                     for px, py in zip(wx, wy)])


def neighbour_sort(work, passes, count=None):
    """Partial exchange sort of the working arrays by their distance row.

    work = [x, y, value, distance] (lists swapped together).  Pass a runs
    over b = a+1 .. count-1 and swaps when d[b] < d[a] or the comparison is
    unordered; equal distances never swap with each other.  The order left
    behind is where the next node starts.
    """
    wx, wy, wv, wd = work
    n = len(wd) if count is None else count
    for a in range(passes):
        da = wd[a] if a < n else 0.0
        for b in range(a + 1, n):
            db = wd[b]
            if not (db >= da):
                wd[a], wd[b] = db, da
                wx[a], wx[b] = wx[b], wx[a]
                wy[a], wy[b] = wy[b], wy[a]
                wv[a], wv[b] = wv[b], wv[a]
                da = db


def _aniso_distance(dx, dy, k2):
    return f32(math.sqrt(dx * dx + k2 * (dy * dy)))


def _cut_off(z):
    return 0.0 if (z < CUT_OFF or is_nan(z)) else z


# Drift functions of the universal estimators, after the constant term.
def _drift_x(x, y):
    return x


def _drift_y(x, y):
    return y


def _drift_xx(x, y):
    return f32(x * x)


def _drift_yy(x, y):
    return f32(y * y)


def _drift_xy(x, y):
    return f32(x * y)


def _drift_one(x, y):
    return 1.0


DRIFTS = {
    1: (_drift_one,),
    2: (_drift_one, _drift_x),
    3: (_drift_one, _drift_y),
    4: (_drift_one, _drift_x, _drift_y),
    5: (_drift_one, _drift_x, _drift_xx),
    6: (_drift_one, _drift_y, _drift_yy),
    7: (_drift_one, _drift_x, _drift_xx, _drift_y, _drift_yy, _drift_xy),
}


def estimate_weighted_sum(w, r, values, m, consts):
    """Ordinary and universal estimate: sum of weight times value."""
    z = 0.0
    for a in range(m):
        z = f32(z + w[a] * values[a])
    return z


def make_lognormal_estimate(shift):
    """Back-transform with half the kriging variance (shift 0: two-parameter form)."""
    def estimate(w, r, values, m, consts):
        half_c = 0.5 * consts.csum
        half_mult = 0.5 * w[m]
        t = 0.0
        for a in range(m):
            lv = c_log(values[a]) if shift == 0.0 else c_log(values[a] + shift)
            t = f32(t + w[a] * (((lv + half_c) - 0.5 * r[a]) - half_mult))
        if shift == 0.0:
            return f32(c_exp(t))
        return f32(c_exp(t) - shift)
    return estimate


def make_indicator_estimate(threshold):
    """(1 - kriged indicator) times the mean of the nearby values at or below the threshold.

    The mean divides by the count of such neighbours (at least 1).
    """
    def estimate(w, r, values, m, consts):
        c = 0
        p = 0.0
        v = 0.0
        for a in range(m):
            ind = indicator(values[a], threshold)
            if ind == 1.0:
                c += 1
            p = f32(p + w[a] * ind)
            v = f32(v + ind * values[a])
        if c == 0:
            c = 1
        return f32(((1.0 - p) * v) / float(c))
    return estimate


def _covariance_block(kmat, rhs, wx, wy, m, nx_, ny_, consts):
    """Covariances of the first m working entries among themselves and to the
    node (anisotropic distances), the sill on the diagonal."""
    cov, k2 = consts.cov, consts.aniso2
    for a in range(m):
        row_a = kmat[a]
        row_a[a] = consts.csum
        xa, ya = wx[a], wy[a]
        for b in range(a + 1, m):
            c = cov(_aniso_distance(xa - wx[b], ya - wy[b], k2))
            row_a[b] = c
            kmat[b][a] = c
        rhs[a] = cov(_aniso_distance(xa - nx_, ya - ny_, k2))


def _write_empty_neighbourhood(grid, row_len, rows):
    """No neighbour to estimate from (no samples): every node is 0, whatever
    the method (the lognormal back-transform of an empty sum would be 1)."""
    for k in range(row_len * rows):
        grid[k] = 0.0


def kriging_sweep(xs, ys, vs, neighbours, models, cell_x, cell_y, n_cell_x, n_cell_y,
                  rect, grid, drifts, estimate):
    """Estimate every node: nearest samples, covariance system with drift border, solve.

    drifts: drift functions (the constant term first); estimate: turns the
    weights into the node's value.  Writes grid in row order from the
    lowest row, x fastest.
    """
    n = len(xs)
    m = min(neighbours, n)
    nd = len(drifts)
    order = m + nd
    consts = NodeConstants(models, rect)
    scale = consts.scale

    # Working copy in scaled units; its order carries from node to node.
    wx = [f32(x / scale) for x in xs]
    wy = [f32(y / scale) for y in ys]
    wv = list(vs)
    work = [wx, wy, wv, [0.0] * n]

    kmat = [[0.0] * order for _ in range(order)]
    rhs = [0.0] * order
    row_len = n_cell_x + 1
    if m == 0:
        _write_empty_neighbourhood(grid, row_len, n_cell_y + 1)
        return
    for i in range(n_cell_y + 1):
        for j in range(n_cell_x + 1):
            nx_, ny_ = _node_position(i, j, cell_x, cell_y, rect, scale)
            work[3] = _node_distances(wx, wy, nx_, ny_)
            neighbour_sort(work, m + 1)

            _covariance_block(kmat, rhs, wx, wy, m, nx_, ny_, consts)

            # Drift border: unbiasedness and the polynomial trend terms.
            for t, f in enumerate(drifts):
                row_t = kmat[m + t]
                for a in range(m):
                    val = f(wx[a], wy[a])
                    row_t[a] = val
                    kmat[a][m + t] = val
                for u in range(nd):
                    row_t[m + u] = 0.0
                rhs[m + t] = f(nx_, ny_)

            w = solve_system(kmat, rhs)
            grid[i * row_len + j] = _cut_off(estimate(w, rhs, wv, m, consts))


def cokriging_sweep(xs, ys, vs, n_vars, neighbours, models, cell_x, cell_y, n_cell_x,
                    n_cell_y, rect, grid):
    """Co-kriging sweep over V aligned blocks of P samples each.

    The neighbour sort runs over the locations (block 0 distances) and moves
    every block alike; system column s is working entry s read straight
    through, grouped by q per variable for the unbiasedness rows.
    """
    n = len(xs)
    nv = n_vars
    p_rows = n // nv
    q = min(neighbours // nv, p_rows)
    m = nv * q
    order = m + nv
    consts = NodeConstants(models, rect)
    scale = consts.scale

    wx = [f32(x / scale) for x in xs]
    wy = [f32(y / scale) for y in ys]
    wv = list(vs)
    wd = [0.0] * n

    kmat = [[0.0] * order for _ in range(order)]
    rhs = [0.0] * order
    row_len = n_cell_x + 1
    if m == 0:
        _write_empty_neighbourhood(grid, row_len, n_cell_y + 1)
        return
    for i in range(n_cell_y + 1):
        for j in range(n_cell_x + 1):
            nx_, ny_ = _node_position(i, j, cell_x, cell_y, rect, scale)
            wd = _node_distances(wx, wy, nx_, ny_)

            # Sort the locations; every block is swapped alike so the
            # blocks stay aligned on the same locations.
            for a in range(q):
                for b in range(a + 1, p_rows):
                    if not (wd[b] >= wd[a]):
                        for v in range(nv):
                            ea = v * p_rows + a
                            eb = v * p_rows + b
                            wx[ea], wx[eb] = wx[eb], wx[ea]
                            wy[ea], wy[eb] = wy[eb], wy[ea]
                            wv[ea], wv[eb] = wv[eb], wv[ea]
                            wd[ea], wd[eb] = wd[eb], wd[ea]

            _covariance_block(kmat, rhs, wx, wy, m, nx_, ny_, consts)

            # One unbiasedness row per variable over its group of q columns.
            for v in range(nv):
                row_v = kmat[m + v]
                lo, hi = v * q, (v + 1) * q
                for s in range(order):
                    val = 1.0 if lo <= s < hi else 0.0
                    row_v[s] = val
                    kmat[s][m + v] = val
            rhs[m] = 1.0
            for v in range(1, nv):
                rhs[m + v] = 0.0

            w = solve_system(kmat, rhs)
            z = 0.0
            for s in range(m):
                z = f32(z + w[s] * wv[s])
            grid[i * row_len + j] = _cut_off(z)


# ---------------------------------------------------------------------------
# Estimator pipelines
# ---------------------------------------------------------------------------

def variogram_terms(method, values, parameter):
    """Per-sample variogram quantity of the estimators of codes 1-9 and 11."""
    if method == 8:
        return log_terms(values)
    if method == 9:
        return log_terms(values, parameter)
    return plain_terms(values)


def run_estimator(method, points, neighbours, parameter, method_array,
                  cell_x, cell_y, n_cell_x, n_cell_y, rect, grid, trace=None):
    """Experimental variograms, model fit, sweep, for one method code."""
    xs, ys, vs = points

    if method == 10:
        run_indicator(points, neighbours, parameter, method_array, cell_x, cell_y,
                      n_cell_x, n_cell_y, rect, grid, trace)
        return

    terms = variogram_terms(method, vs, parameter)
    tab_x, tab_y = experimental_variograms(xs, ys, terms, cell_x, cell_y, rect)
    models = fit_variogram_models(tab_x, tab_y, cell_x, cell_y, rect, trace)
    if trace is not None:
        trace.setdefault("models", []).append(models)

    if method == 11:
        n_vars = c_trunc(parameter)
        cokriging_sweep(xs, ys, vs, n_vars, neighbours, models, cell_x, cell_y,
                        n_cell_x, n_cell_y, rect, grid)
    elif method in DRIFTS:
        kriging_sweep(xs, ys, vs, neighbours, models, cell_x, cell_y, n_cell_x, n_cell_y,
                      rect, grid, DRIFTS[method], estimate_weighted_sum)
    elif method == 8:
        kriging_sweep(xs, ys, vs, neighbours, models, cell_x, cell_y, n_cell_x, n_cell_y,
                      rect, grid, DRIFTS[1], make_lognormal_estimate(0.0))
    elif method == 9:
        kriging_sweep(xs, ys, vs, neighbours, models, cell_x, cell_y, n_cell_x, n_cell_y,
                      rect, grid, DRIFTS[1], make_lognormal_estimate(parameter))


def run_indicator(points, neighbours, parameter, method_array, cell_x, cell_y,
                  n_cell_x, n_cell_y, rect, grid, trace=None):
    """One full pipeline per threshold; the node values are summed over thresholds."""
    xs, ys, vs = points
    n_nodes = (n_cell_x + 1) * (n_cell_y + 1)
    nt = c_trunc(parameter)
    if nt is None or nt < 1:
        nt = 0
    buffers = []
    for t in range(nt):
        threshold = f32(method_array[t])
        terms = indicator_terms(vs, threshold)
        tab_x, tab_y = experimental_variograms(xs, ys, terms, cell_x, cell_y, rect)
        models = fit_variogram_models(tab_x, tab_y, cell_x, cell_y, rect, trace)
        if trace is not None:
            trace.setdefault("models", []).append(models)
        kriging_sweep(xs, ys, vs, neighbours, models, cell_x, cell_y, n_cell_x, n_cell_y,
                      rect, grid, DRIFTS[1], make_indicator_estimate(threshold))
        buffers.append(grid[:n_nodes])

    # Sum in ascending threshold order, rounding after every addition.
    for k in range(max(n_nodes, 0)):
        grid[k] = 0.0
    for buf in buffers:
        for k in range(n_nodes):
            grid[k] = f32(grid[k] + buf[k])


# ---------------------------------------------------------------------------
# Entry point
# ---------------------------------------------------------------------------

def _is_missing(v):
    return v == BLANK or v != v


def substitute_blanks(values):
    """A blank or NaN value takes the value before it (a run takes the last good one).

    The first value has no predecessor: it takes the first later value that
    is neither blank nor NaN, and stays as it is when there is none.
    """
    n = len(values)
    if n == 0:
        return
    if _is_missing(values[0]):
        for v in values[1:]:
            if not _is_missing(v):
                values[0] = v
                break
    for i in range(1, n):
        if _is_missing(values[i]):
            values[i] = values[i - 1]


def build_points(data, n_value_column, n_rows, n_column_count, method, n_vars,
                 method_array):
    """Point arrays (x, y, value) from the row table, blanks substituted.

    Co-kriging repeats the table's coordinates once per variable, each block
    carrying the values of that variable's column.
    """
    xs, ys, vs = [], [], []
    blocks = n_vars if method == 11 else 1
    for v in range(blocks):
        col = c_trunc(f32(method_array[v])) if method == 11 else n_value_column
        for k in range(n_rows):
            base = k * n_column_count
            xs.append(f32(data[base]))
            ys.append(f32(data[base + 1]))
            vs.append(f32(data[base + col]))
    substitute_blanks(vs)
    return xs, ys, vs


def _scat_to_grid(data, n_value_column, n_point_count, n_column_count, rect,
                  cell_x, cell_y, n_cell_x, n_cell_y, n_neighbour, method,
                  method_parameter, method_array, grid, trace=None):
    cell_x = f32(cell_x)
    cell_y = f32(cell_y)
    if not (cell_x > 0.0):
        cell_x = 1.0
    if not (cell_y > 0.0):
        cell_y = 1.0
    if n_neighbour < 1:
        n_neighbour = 1
    parameter = f32(method_parameter)
    rect = [f32(v) for v in rect[:4]]
    n_rows = max(int(n_point_count), 0)

    n_vars = 1
    if method == 11:
        n_vars = c_trunc(parameter)
        if n_vars is None or n_vars < 1:
            return 1   # no variable to estimate: the grid is left untouched
        n_neighbour *= n_vars

    if method < 1 or method > 11:
        return 1       # unknown code: nothing is constructed

    method_array = list(method_array or [])
    points = build_points(data, n_value_column, n_rows, n_column_count, method, n_vars,
                          method_array)
    run_estimator(method, points, n_neighbour, parameter, method_array,
                  cell_x, cell_y, int(n_cell_x), int(n_cell_y), rect, grid, trace)
    return 1


def scat_to_grid(data, n_value_column, n_point_count, n_column_count, rect,
                 cell_x, cell_y, n_cell_x, n_cell_y, n_neighbour, method,
                 method_parameter, method_array, grid):
    """Grid the samples in data onto grid (overwritten in place); returns 1."""
    return _scat_to_grid(data, n_value_column, n_point_count, n_column_count, rect,
                         cell_x, cell_y, n_cell_x, n_cell_y, n_neighbour, method,
                         method_parameter, method_array, grid)


# ---------------------------------------------------------------------------
# Unit-level helpers for cross-checks of the intermediate results
# ---------------------------------------------------------------------------

def case_points(case):
    """Point arrays (x, y, value) of a case as the estimator sees them."""
    a = case["args"]
    method = a["method"]
    n_vars = 1
    if method == 11:
        n_vars = c_trunc(f32(a["method_parameter"]))
    return build_points(case["data"], a["n_value_column"], max(a["n_point_count"], 0),
                        a["n_column_count"], method, n_vars, case["method_array"])


def variogram_tables(xs, ys, values, cell_x, cell_y, rect, method=1, parameter=0.0,
                     threshold=None):
    """Experimental tables of a point set as the estimator of `method` builds them.

    Codes 8 and 9 use logarithms (9 with parameter as the shift), code 10
    the indicators of `threshold`, the others the values.  Returns
    (table_x, table_y), three rows each: lag, pair count, semivariance.
    """
    xs = [f32(v) for v in xs]
    ys = [f32(v) for v in ys]
    values = [f32(v) for v in values]
    if method == 10:
        terms = indicator_terms(values, f32(threshold))
    else:
        terms = variogram_terms(method, values, f32(parameter))
    return experimental_variograms(xs, ys, terms, f32(cell_x), f32(cell_y),
                                   [f32(v) for v in rect])


def fitted_models(xs, ys, values, cell_x, cell_y, rect, method=1, parameter=0.0,
                  threshold=None):
    """Fitted spherical models [x, y], each (nugget, sill, range, partial_sill)."""
    tx, ty = variogram_tables(xs, ys, values, cell_x, cell_y, rect, method, parameter,
                              threshold)
    return fit_variogram_models(tx, ty, f32(cell_x), f32(cell_y), [f32(v) for v in rect])


def case_intermediates(case):
    """Per variogram pass of a case (one, or one per threshold): tables and models.

    Returns a list of dicts with 'table_x', 'table_y' (before pruning),
    'models' and 'branches'.  Empty for codes that construct nothing.
    """
    a = case["args"]
    method = a["method"]
    if method < 1 or method > 11:
        return []
    cell_x = f32(a["cell_x"])
    cell_y = f32(a["cell_y"])
    cell_x = cell_x if cell_x > 0.0 else 1.0
    cell_y = cell_y if cell_y > 0.0 else 1.0
    rect = [f32(v) for v in case["rect"]]
    parameter = f32(a["method_parameter"])
    if method == 11:
        nv = c_trunc(parameter)
        if nv is None or nv < 1:
            return []
    xs, ys, vs = case_points(case)
    if method == 10:
        nt = c_trunc(parameter)
        passes = [indicator_terms(vs, f32(case["method_array"][t]))
                  for t in range(nt if nt is not None and nt > 0 else 0)]
    else:
        passes = [variogram_terms(method, vs, parameter)]
    out = []
    for terms in passes:
        tx, ty = experimental_variograms(xs, ys, terms, cell_x, cell_y, rect)
        saved = ([list(r) for r in tx], [list(r) for r in ty])
        trace = {}
        models = fit_variogram_models(tx, ty, cell_x, cell_y, rect, trace)
        out.append({"table_x": saved[0], "table_y": saved[1], "models": models,
                    "branches": [t["branch"] for t in trace["fits"][0]]})
    return out


def run_case(case, trace=None):
    """Run a case dict (see case_io.read_case); returns the grid as floats."""
    a = case["args"]
    n_nodes = (a["n_cell_x"] + 1) * (a["n_cell_y"] + 1)
    grid = [case["grid_init"]] * max(n_nodes, 0)
    _scat_to_grid(case["data"], a["n_value_column"], a["n_point_count"],
                  a["n_column_count"], case["rect"], a["cell_x"], a["cell_y"],
                  a["n_cell_x"], a["n_cell_y"], a["n_neighbour"], a["method"],
                  a["method_parameter"], case["method_array"], grid, trace)
    return grid


def grid_lines(grid):
    return ["%08x" % float_bits(v) for v in grid]


def _dump(case, out):
    """Intermediate results of a case, bit patterns with decimal values."""
    def row(name, values):
        out.write("%s %s\n" % (name, " ".join("%08x(%r)" % (float_bits(v), v)
                                              for v in values)))
    for p, inter in enumerate(case_intermediates(case)):
        out.write("pass %d branches %s\n" % (p, " ".join(inter["branches"])))
        for d in ("x", "y"):
            tab = inter["table_" + d]
            row("  %s.lag  " % d, tab[0])
            row("  %s.pairs" % d, tab[1])
            row("  %s.gamma" % d, tab[2])
        for d, model in zip("xy", inter["models"]):
            row("  %s.model(nugget,sill,range,partial)" % d, model)


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    if len(args) != 1:
        sys.stderr.write("usage: kriging_model.py [--dump] CASE_FILE\n"
                         "  prints the grid (8 hex digits per node); --dump prints the\n"
                         "  experimental tables and fitted models instead\n")
        return 2
    sys.dont_write_bytecode = True
    import case_io
    case = case_io.read_case(args[0])
    out = sys.stdout
    if "--dump" in argv:
        _dump(case, out)
        return 0
    for line in grid_lines(run_case(case)):
        out.write(line + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
