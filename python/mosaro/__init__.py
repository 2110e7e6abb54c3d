"""Kriging of scattered samples onto a regular grid, at compiled speed.

    import mosaro
    r = mosaro.grid(x, y, zinc, method="lognormal", cell=40, variance=True)
    r.estimate          # 2-D float32 array, row 0 at the southern edge
    r.north_up()        # the same nodes with row 0 at the northern edge (a view)
    r.report[0]["x"]["model"]   # the fitted model along x

    cv = mosaro.cross_validate(x, y, zinc, method="lognormal", cell=40)
    cv.summary["root_mean_square_error"], cv.residual

Every method of the library: ordinary, universal (six drift forms),
lognormal, three-parameter lognormal, indicator kriging and co-kriging.
Estimates are the library's float32 arithmetic bit for bit.
"""

import warnings

import numpy as np

from . import _geometry, _progress
from . import _mosaro

__version__ = _mosaro.version()

__all__ = ["grid", "variogram", "cross_validate", "legacy_grid", "GridResult", "CrossValidation", "Cancelled",
           "NoFiniteModelWarning", "METHODS"]

# The library's names, as the command-line tool takes them, in code order
# (code = index + 1).
METHODS = _mosaro.method_names()
DEFAULT_NEIGHBOURS = _mosaro.DEFAULT_NEIGHBOUR_COUNT
_LOGNORMAL3 = 9
_INDICATOR = 10
_COKRIGING = 11
# Library status codes that are not a fault of the arguments.
_OUT_OF_MEMORY = -16
_CANCELLED = -17
_INTERNAL = -19


class Cancelled(Exception):
    """The progress function returned False and the run stopped."""


class NoFiniteModelWarning(RuntimeWarning):
    """The automatic fit gave no finite model: every node is 0, as in the
    legacy grid. Give a model (model=...) or a coarser cell."""


class GridResult:
    """The outcome of mosaro.grid.

    estimate   2-D float32 array (nodes_y, nodes_x); row 0 is the southern
               edge (y = y_min) and x runs along each row, as in the library.
               north_up() gives the image orientation.
    variance   the kriging variance in the same layout (variance=True), else
               None; NaN everywhere for indicator kriging.
    x, y       the node coordinates along each axis (float64).
    extent     (x_min, y_min, x_max, y_max) as the library received it.
    cell       (cell_x, cell_y); size: (nodes_x, nodes_y).
    report     one dict per pass (per threshold for indicator kriging): the
               directional models "x" and "y" (model, fit branch) and the
               sweep's constants; pass one back as model= to reproduce the grid.
    nodes      what the sweep met (arithmetic="accurate"; in the legacy
               arithmetic every count is 0 and the condition NaN): a dict of
               node_count, no_data (NaN nodes), ill_conditioned (reciprocal
               condition below 1e-10), minimum_norm (of those, singular
               systems given their minimum-norm solution) and
               smallest_reciprocal_condition. For indicator kriging the first
               threshold's; every pass of report has its own "nodes".
    reciprocal_condition  with condition=True, each node's reciprocal
               condition estimate in the estimate's layout (NaN where no
               system was solved), else None.
    status     0, or 1 when the fit gave no finite model (a warning is issued).
    message    the library's message for a nonzero status.
    """

    def __init__(self, estimate, variance, extent, cell, size, report, status, message, reciprocal_condition=None):
        self.estimate = estimate
        self.variance = variance
        self.reciprocal_condition = reciprocal_condition
        self.nodes = report[0]["nodes"] if report else None
        self.extent = extent
        self.cell = cell
        self.size = size
        self.report = report
        self.status = status
        self.message = message
        self.x = extent[0] + np.arange(size[0]) * cell[0]
        self.y = extent[1] + np.arange(size[1]) * cell[1]

    def north_up(self, array=None):
        """The estimate (or the given array of this grid) with row 0 at the
        northern edge, as images and rasters have it: a view, not a copy."""
        return (self.estimate if array is None else array)[::-1]

    @property
    def image_extent(self):
        """(left, right, bottom, top) of the cells centred on the nodes, for
        matplotlib's imshow(north_up(), extent=...)."""
        half_x, half_y = self.cell[0] / 2, self.cell[1] / 2
        return (self.extent[0] - half_x, self.x[-1] + half_x, self.extent[1] - half_y, self.y[-1] + half_y)

    def __repr__(self):
        return "<mosaro.GridResult %d x %d nodes, cell %g x %g, first node (%g, %g)>" % (
            self.size[0], self.size[1], self.cell[0], self.cell[1], self.extent[0], self.extent[1])


def _method_code(method):
    if isinstance(method, str):
        return _mosaro.method_code(method)
    # A whole number goes to the library as it is, which names a code it
    # does not know; int() would quietly turn 2.5 into a valid 2.
    if isinstance(method, (float, np.floating)) and not float(method).is_integer():
        raise ValueError("method code %r is not a whole number" % (method,))
    return int(method)


def _samples(values):
    # No copy when the array is already contiguous float32.
    return np.ascontiguousarray(values, dtype=np.float32)


def _models(model):
    """model= as (nugget, partial_sill, range) or its dict, once for both
    directions or a pair for x then y; also a pass of a report."""
    if model is None:
        return []
    if isinstance(model, dict) and "x" in model and "y" in model:
        model = (model["x"]["model"], model["y"]["model"])

    def one(m):
        if isinstance(m, dict):
            for key in ("nugget", "partial_sill", "range"):
                if key not in m:
                    raise ValueError("a model dict needs nugget, partial_sill and range; '%s' is missing" % key)
            return (float(m["nugget"]), float(m["partial_sill"]), float(m["range"]))
        numbers = [float(v) for v in m]
        if len(numbers) != 3:
            raise ValueError("a model is (nugget, partial_sill, range); got %d numbers" % len(numbers))
        return tuple(numbers)

    if isinstance(model, dict) or (not isinstance(model[0], dict) and np.ndim(model[0]) == 0):
        return [one(model)]
    if len(model) != 2:
        raise ValueError("model takes one model, or two (x, then y)")
    return [one(m) for m in model]


_FITS = {"legacy": 0, "robust": 1}
_ARITHMETICS = {"legacy": 0, "accurate": 1}


def _check_common(method, neighbours, shift, thresholds, extra_values, arithmetic, fit):
    """The refusals grid and cross_validate share; returns the method code."""
    if arithmetic not in _ARITHMETICS:
        raise ValueError("arithmetic must be 'legacy' or 'accurate' (got %r)" % (arithmetic,))
    if fit not in _FITS:
        raise ValueError("fit must be 'legacy' or 'robust' (got %r)" % (fit,))
    code = _method_code(method)
    if not -_geometry.INT_MAX - 1 <= neighbours <= _geometry.INT_MAX:
        raise ValueError("neighbours %d is outside the range of an int" % neighbours)
    if code == _LOGNORMAL3 and shift is None:
        raise ValueError("three-parameter lognormal kriging (lognormal3) needs shift=")
    if code != _LOGNORMAL3 and shift is not None:
        raise ValueError("shift is read only by three-parameter lognormal kriging (lognormal3)")
    if code != _INDICATOR and thresholds is not None:
        raise ValueError("thresholds are read only by indicator kriging")
    if code != _COKRIGING and extra_values is not None:
        raise ValueError("extra_values are read only by co-kriging")
    return code


def _call(binding, progress, *arguments, stacklevel):
    """Runs a binding (its last argument the progress function, its answer
    (status, message, ..., stopped_by_user at index 5, ...)) with the bar or
    the caller's function; raises for an error status, warns for a warning
    at the stack level that is the user's call."""
    bar = None
    if progress is True:
        bar = progress = _progress.Bar()
    elif progress is False:
        progress = None
    try:
        answer = binding(*arguments, progress)
    finally:
        if bar is not None:
            bar.close()
    status, message, stopped = answer[0], answer[1], answer[5]
    if status < 0:
        if status == _CANCELLED and stopped:
            raise Cancelled(message)
        if status == _OUT_OF_MEMORY:
            raise MemoryError(message)
        if status == _INTERNAL:
            raise RuntimeError(message)
        raise ValueError(message)
    if status > 0:
        warnings.warn(message, NoFiniteModelWarning, stacklevel=stacklevel + 1)
    return answer


def _run(x, y, values, method, extent, cell, size, neighbours, shift, thresholds, extra_values, model,
         variance, arithmetic, fit, threads, progress, tables, nodes=None, condition=False):
    code = _check_common(method, neighbours, shift, thresholds, extra_values, arithmetic, fit)
    if condition and arithmetic != "accurate":
        raise ValueError("condition=True needs arithmetic='accurate' (the legacy arithmetic estimates no condition)")
    x, y, values = _samples(x), _samples(y), _samples(values)
    extra = [_samples(v) for v in extra_values] if extra_values is not None else []
    extent, cell, grid_size = _geometry.choose(x, y, extent, cell, size)
    if nodes is not None:
        grid_size = nodes

    status, message, estimate, var, report, _, reciprocal = _call(
        _mosaro.grid, progress, x, y, values, extra, extent, cell, grid_size, neighbours, code,
        0.0 if shift is None else float(shift),
        None if thresholds is None else _samples(np.atleast_1d(thresholds)),
        _models(model), variance, tables, _FITS[fit], _ARITHMETICS[arithmetic], condition, threads,
        stacklevel=3)
    return GridResult(estimate, var, extent, cell, grid_size, report, status, message, reciprocal)


def grid(x, y, values, *, method="ordinary", extent=None, cell=None, size=None, neighbours=DEFAULT_NEIGHBOURS, shift=None,
         thresholds=None, extra_values=None, model=None, variance=False, arithmetic="legacy", fit="legacy",
         condition=False, threads=0, progress=None):
    """Grids the samples (x[i], y[i], values[i]) by kriging; returns a GridResult.

    x, y, values   1-D arrays of equal length; float32 C-contiguous arrays are
                   used in place, anything else is converted once. A value of
                   -1e38 or NaN is a blank: it takes the value of the sample
                   before it.
    method         a name of mosaro.METHODS or its code 1 to 11.
    extent         (x_min, y_min, x_max, y_max); default the samples' bounding
                   box. (x_min, y_min) is the first node. The extent also sets
                   the variogram's lag classes and the coordinate scale.
    cell           dx, or (dx, dy): nodes every dx from x_min up to x_max.
    size           (nodes_x, nodes_y) instead of cell: the extent is divided
                   into nodes_x - 1 cells. With neither, the longer side gets
                   100 square cells. These are the command-line tool's rules, so
                   the same arguments give the same grid from both.
    neighbours     nearest samples per node (per variable for co-kriging).
    shift          the shift of three-parameter lognormal kriging (lognormal3).
    thresholds     indicator kriging: the thresholds, one pass each.
    extra_values   co-kriging: further variables at the same samples, a list
                   of 1-D arrays (values is the primary variable).
    model          instead of the automatic fit: (nugget, partial_sill, range)
                   or a dict with those keys, once or as a pair (x, then y);
                   a pass of a report (result.report[0]) is taken too.
    variance       also return the kriging variance.
    arithmetic     "legacy" (the legacy grids bit for bit) or "accurate": the
                   m nearest samples by exact distance, each node's system
                   solved in double with pivoting, no 0.01 cut-off; a node
                   that cannot be estimated is NaN. result.nodes counts them.
    fit            the automatic variogram fit: "legacy" (the legacy grids bit
                   for bit) or "robust" (weighted least squares, finite whenever
                   two lag classes hold pairs; see the README).
    condition      also return each node's reciprocal condition estimate
                   (arithmetic="accurate" only).
    threads        0 for every core; the result never depends on it.
    progress       True for a bar on stderr, or a function
                   f(stage, pass_index, fraction) whose False return stops the
                   run (raising mosaro.Cancelled). Ctrl-C stops it as well.

    Raises ValueError with the library's message for arguments it refuses,
    MemoryError when memory runs out. The GIL is released while the library runs.
    """
    return _run(x, y, values, method, extent, cell, size, neighbours, shift, thresholds, extra_values, model,
                variance, arithmetic, fit, threads, progress, tables=False, condition=condition)


def variogram(x, y, values, *, method="ordinary", extent=None, cell=None, size=None, shift=None,
              thresholds=None, extra_values=None, arithmetic="legacy", fit="legacy", threads=0, progress=None):
    """The experimental directional variograms and the models fitted to them,
    exactly as mosaro.grid computes them for the same arguments (the lag
    classes are one cell wide, so they depend on extent and cell).

    Returns a dict: "extent", "cell", and "passes", one per pass (per
    threshold for indicator kriging), each a dict with "threshold" (None but
    for indicator kriging), "x" and "y" (each with "experimental" and
    "pruned" tables of numpy arrays "lag", "pairs", "semivariance"; the
    "model" fitted to the pruned table, a dict of nugget, partial_sill, sill
    and range; the fit "branch" and the "reason"; "legacy_model" and
    "legacy_branch", what the legacy fit gave), and the sweep's averaged
    constants. With fit="robust" a pass also has "omnidirectional" (its
    table and robust model), and the x and y models are the robust ones.
    Warns with NoFiniteModelWarning when the fit gives no finite model.
    """
    # The tables depend on the extent and the cell size, not on the node
    # counts, so one node is enough to have the library compute them.
    r = _run(x, y, values, method, extent, cell, size, DEFAULT_NEIGHBOURS, shift, thresholds, extra_values, None, False,
             arithmetic, fit, threads, progress, tables=True, nodes=(1, 1))
    return {"extent": r.extent, "cell": r.cell, "passes": r.report}


class CrossValidation:
    """The outcome of mosaro.cross_validate: per sample, in sample order,

    estimate               float32 array; NaN where the sample could not be
                           estimated.
    variance               the kriging variance (of the logarithms for the
                           lognormal methods).
    residual               observed - estimate.
    standardised_residual  residual / sqrt(variance).
    fold                   int32 array: the fold the sample was left out in
                           (its own index for leave-one-out).

    summary   dict over the estimated samples: estimated, not_estimated,
              mean_error, mean_absolute_error, root_mean_square_error,
              mean_squared_deviation_ratio (ideally 1) and correlation (of
              observed and estimated).
    report    the model used, as GridResult.report has it.
    status, message   as in GridResult.
    """

    def __init__(self, outputs, summary, report, status, message):
        self.estimate = outputs["estimate"]
        self.variance = outputs["variance"]
        self.residual = outputs["residual"]
        self.standardised_residual = outputs["standardised_residual"]
        self.fold = outputs["fold"]
        self.summary = summary
        self.report = report
        self.status = status
        self.message = message

    def __repr__(self):
        return "<mosaro.CrossValidation of %d samples, RMSE %g>" % (
            len(self.estimate), self.summary["root_mean_square_error"])


def cross_validate(x, y, values, *, method="ordinary", folds=0, seed=0, neighbours=DEFAULT_NEIGHBOURS, extent=None, cell=None,
                   model=None, fit="legacy", arithmetic="legacy", shift=None, extra_values=None, threads=0,
                   progress=None):
    """Estimates every sample from the others, to see how well a method (and
    model, neighbours, arithmetic) predicts where it has no sample; returns a
    CrossValidation.

    folds          0: leave-one-out; k >= 2: the samples are dealt into k
                   folds by a shuffle seeded with seed, and each fold is
                   estimated from the others.
    seed           the shuffle's seed (a whole number from 0 to 2^64 - 1); the
                   same seed gives the same folds on every platform.
    neighbours     nearest other samples per estimate, by exact distance.
    extent, cell   as for grid: they set the lag classes of the variogram fit
                   (the model is fitted once from all samples, or given).
    method, model, fit, arithmetic, shift, extra_values, threads, progress
                   as for grid; every method but indicator kriging.

    Raises ValueError with the library's message for arguments it refuses.
    The GIL is released while the library runs.
    """
    code = _check_common(method, neighbours, shift, None, extra_values, arithmetic, fit)
    if isinstance(seed, bool) or not isinstance(seed, (int, np.integer)) or not 0 <= seed < 2**64:
        raise ValueError("seed must be a whole number from 0 to 2^64 - 1 (got %r)" % (seed,))
    if isinstance(folds, bool) or not isinstance(folds, (int, np.integer)):
        raise ValueError("folds must be a whole number (got %r)" % (folds,))
    if not -_geometry.INT_MAX - 1 <= folds <= _geometry.INT_MAX:
        raise ValueError("folds %d is outside the range of an int" % folds)
    x, y, values = _samples(x), _samples(y), _samples(values)
    extra = [_samples(v) for v in extra_values] if extra_values is not None else []
    extent, cell, _ = _geometry.choose(x, y, extent, cell, None)
    status, message, outputs, summary, report, _ = _call(
        _mosaro.cross_validate, progress, x, y, values, extra, extent, cell, neighbours, code,
        0.0 if shift is None else float(shift), _models(model), _FITS[fit], _ARITHMETICS[arithmetic], int(folds),
        int(seed), threads, stacklevel=2)
    return CrossValidation(outputs, summary, report, status, message)


def legacy_grid(data, value_column, rect, cell_size_x, cell_size_y, cell_count_x, cell_count_y, neighbours,
                method, method_parameter=0.0, method_array=None):
    """The legacy entry point, argument for argument, for hosts that port
    legacy code: its grids and its silent substitutes (a cell size that is
    not positive becomes 1, a neighbour count below 1 becomes 1, a value
    column outside the row or an unknown method grids nothing, ...).

    data           2-D table, one row per sample: x in column 0, y in column 1,
                   the value in column value_column (the point and column
                   counts are its shape).
    rect           (x_min, y_min, x_max, y_max).
    cell_count_x/y cells, not nodes: the grid has cell_count + 1 nodes.
    method         code 1 to 11; method_parameter and method_array as the
                   legacy call reads them (thresholds of indicator kriging,
                   value columns of co-kriging).

    Returns the (cell_count_y + 1, cell_count_x + 1) float32 grid, row 0 at
    y_min; nodes the call does not write stay 0. Nothing is raised for what
    the legacy call accepts; only a method_array shorter than
    method_parameter promises is refused (ValueError), since the library
    would read past it.
    """
    return _mosaro.legacy_grid(
        _samples(data), int(value_column), _samples(rect), float(cell_size_x), float(cell_size_y),
        int(cell_count_x), int(cell_count_y), int(neighbours), int(method), float(method_parameter),
        None if method_array is None else _samples(np.atleast_1d(method_array)))
