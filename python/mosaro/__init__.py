"""Kriging of scattered samples onto a grid or at points, at compiled speed.

    import mosaro
    r = mosaro.grid(x, y, zinc, method="lognormal", cell=40, variance=True, crs="EPSG:28992")
    r.estimate          # 2-D float64 array, row 0 at the southern edge
    print(r.model)      # the fitted model in gstat's notation: 0.05 Nug + 0.59 Sph(897)
    r.to_xarray()       # estimate, variance, log_estimate, ... with coordinates and CRS
    r.to_raster("zinc.tif")

    v = mosaro.variogram(x, y, np.log(zinc), directions=[0, 45, 90, 135])
    v.gamma, v.model

    sims = mosaro.simulate(x, y, zinc, cell=40, realisations=100, seed=1)   # (100, ny, nx)
    mean, variance = mosaro.etype(sims)
    above = mosaro.exceedance(sims, 500.0)

    p = mosaro.predict(x, y, zinc, [180000.0], [331000.0], method="lognormal", model="0.05 Nug + 0.59 Sph(897)",
                       kind="simple", mean=5.9)   # the mean of ln(zinc)

By default everything runs in double precision through the library's
prediction: an omnidirectional variogram with gstat's cutoff and width, a
fitted "Nug + Sph", and ordinary, simple, universal, external-drift,
lognormal and block kriging. legacy=True runs the legacy request instead:
the legacy float32 arithmetic, directional variograms and legacy fit, the
grids of the package before 0.5 bit for bit. Indicator kriging and
co-kriging always run on the legacy request (by default with its accurate
arithmetic and robust fit).
"""

import math

import numpy as np

from . import _errors, _geometry, _legacy, _models, _prediction, _results, _variograms
from . import _mosaro
from ._errors import Cancelled, NoFiniteModelWarning
from ._models import FAMILIES, Model, Structure
from ._results import GridResult, PointResult
from ._simulation import Realisations, ThresholdOutsideWarning, etype, exceedance, simulate
from ._variograms import Cloud, Direction, Variogram, VariogramMap

__version__ = _mosaro.version()

__all__ = ["grid", "predict", "variogram", "cross_validate", "legacy_grid", "simulate", "etype", "exceedance", "Model",
           "Structure", "GridResult", "PointResult", "Realisations", "Variogram", "Direction", "Cloud", "VariogramMap",
           "CrossValidation", "Cancelled", "NoFiniteModelWarning", "ThresholdOutsideWarning", "METHODS", "FAMILIES"]

# The library's names, as the command-line tool takes them, in code order
# (code = index + 1).
METHODS = _mosaro.method_names()
DEFAULT_NEIGHBOURS = _mosaro.DEFAULT_NEIGHBOUR_COUNT
_LOGNORMAL3 = _legacy._LOGNORMAL3

# Keywords only the prediction reads, with the value that means "not given".
_PREDICTION_ONLY = {"kind": None, "mean": None, "drift": None, "covariates": None, "block": None,
                    "block_points": None, "nmin": None, "maxdist": None, "anisotropic_search": False,
                    "sectors": None, "octants": None, "quadrants": None, "variogram": None, "fit_weights": None}


def _refuse_given(given, defaults, why):
    """Refuses a keyword the engine about to run does not read, rather than
    letting it pass unused."""
    for name, value in given.items():
        if value is not defaults[name]:
            raise ValueError("%s is %s" % (name, why))


def _legacy_neighbours(nmax, neighbours):
    if nmax is not None and neighbours is not None:
        raise ValueError("give nmax or neighbours (the same thing), not both")
    count = neighbours if neighbours is not None else nmax
    if count is None:
        return DEFAULT_NEIGHBOURS
    if isinstance(count, float) and math.isinf(count):
        raise ValueError("neighbours: the legacy request takes a number of neighbours, not every sample")
    return count


def _check_method_arguments(code, shift, thresholds, extra_values):
    if code == _LOGNORMAL3 and shift is None:
        raise ValueError("three-parameter lognormal kriging (lognormal3) needs shift=")
    if code != _LOGNORMAL3 and shift is not None:
        raise ValueError("shift is read only by three-parameter lognormal kriging (lognormal3)")
    if thresholds is not None:
        raise ValueError("thresholds are read only by indicator kriging")
    if extra_values is not None:
        raise ValueError("extra_values are read only by co-kriging")


def grid(x, y, values, *, method="ordinary", extent=None, cell=None, size=None, legacy=False, model=None, fit=None,
         fit_weights=None, variogram=None, kind=None, mean=None, drift=None, covariates=None, block=None,
         block_points=None, nmax=None, neighbours=None, nmin=None, maxdist=None, anisotropic_search=False,
         sectors=None, octants=None, quadrants=None, shift=None, thresholds=None, extra_values=None, variance=False,
         arithmetic=None, condition=False, crs=None, threads=0, progress=None, allow_empty=False):
    """Kriges the samples (x[i], y[i], values[i]) at the nodes of a grid;
    returns a GridResult.

    x, y, values   1-D arrays of equal length, any dtype (taken as float64; as
                   float32 by the legacy request). A NaN value leaves its
                   sample out (counted in result.samples_left_out).
    method         a name of mosaro.METHODS or its code: ordinary,
                   universal-x/-y/-xy/-xx/-yy/-xxyy (drift terms), lognormal
                   (of ln(value)), lognormal3 (of ln(value + shift)),
                   indicator and cokriging (the legacy request, below).
    extent, cell, size   the grid by the command-line tool's rules: extent
                   (x_min, y_min, x_max, y_max), default the samples'
                   bounding box, (x_min, y_min) the first node; cell dx or
                   (dx, dy), nodes every cell up to x_max, y_max; or size
                   (nodes_x, nodes_y); neither: 100 cells along the longer side.
    model          the variogram model: a mosaro.Model, a string in gstat's
                   notation ("0.05 Nug + 0.59 Sph(897)"), a list of dicts
                   ({"family": "Sph", "psill": ..., "range": ..., "kappa",
                   "azimuth", "ratio"} and {"family": "Nug", "psill": ...}) or
                   (nugget, partial_sill, range) of a spherical model.
                   None: fitted.
    fit, fit_weights, variogram   the fit when no model is given: a
                   template ("Nug + Sph" by default; "Nug + Exp",
                   "0.1 Nug + Sph(~900)", ...), gstat's weights (1, 2, 6 or
                   7, the default) and the experimental variogram's options as
                   a dict (cutoff, width, directions, tolerance, bandwidth,
                   estimator; gstat's cutoff and width by default). With a
                   drift, the variogram is of the residuals.
    kind, mean     "ordinary" (default) or "simple" kriging with its known
                   mean (of the logarithms for lognormal kriging).
    drift          polynomial drift terms, any of "x", "y", "xy", "x2", "y2"
                   (universal kriging with method="ordinary").
    covariates     external drift: {name: (at_samples, at_nodes)}, each an
                   array (1-D at the samples; at the nodes of the grid's
                   shape, in the estimate's layout) or a function f(x, y) of
                   the coordinates (2-D node coordinates for the grid).
    block, block_points   block kriging: blocks of dx or (dx, dy) centred
                   on the nodes, discretised by n or (nx, ny) points (4 x 4).
    nmax (or neighbours), nmin, maxdist, anisotropic_search   the search:
                   the nmax nearest samples (16; math.inf: every sample), at
                   least nmin within reach or no estimate, within maxdist,
                   distances in the model's anisotropy.
    sectors, octants, quadrants   (4 or 8, n) sectors of at most n samples
                   each; octants=n and quadrants=n for short.
    shift          the shift of lognormal3.
    variance       also the kriging variance (and, lognormal, log_variance).
    crs            the samples' coordinate reference system, carried to
                   to_xarray and to_raster: WKT, "EPSG:28992", or anything
                   rasterio or pyproj read.
    threads        0: every core; the results never depend on it.
    progress       True for a bar on stderr, or f(stage, pass_index,
                   fraction), whose False return stops the run (raising
                   mosaro.Cancelled). Ctrl-C stops it as well.
    allow_empty    a run in which no node can be estimated raises ValueError
                   unless this is True; then it returns the all-NaN grid
                   (the legacy request: its grid, zeros where the legacy fit
                   gave no finite model, with a NoFiniteModelWarning).
    legacy         True: the legacy request in its legacy float32
                   arithmetic, directional variograms and legacy fit, the
                   package's grids before 0.5 bit for bit. It reads method,
                   extent, cell, size, neighbours, shift, thresholds,
                   extra_values, model (spherical: (nugget, partial_sill,
                   range), a pair of them for x then y, a pass of a legacy
                   report, or a Model with one Sph structure), variance,
                   arithmetic ("legacy" or "accurate"), fit ("legacy" or
                   "robust"), condition (each node's reciprocal condition,
                   accurate arithmetic), crs, threads, progress and
                   allow_empty; blanks (NaN, -1e38) take the value of the
                   sample before them.
    thresholds, extra_values   indicator kriging and co-kriging, which run on
                   the legacy request with arithmetic="accurate" and
                   fit="robust" unless legacy=True (samples with a NaN value
                   in any variable are left out).

    Raises ValueError naming the argument for what cannot be run, with the
    library's message where the library refuses it; MemoryError when memory
    runs out. The GIL is released while the library runs.
    """
    code = _legacy.method_code(method)
    wkt = _results.crs_wkt(crs)
    given = dict(kind=kind, mean=mean, drift=drift, covariates=covariates, block=block, block_points=block_points,
                 nmin=nmin, maxdist=maxdist, anisotropic_search=anisotropic_search, sectors=sectors,
                 octants=octants, quadrants=quadrants, variogram=variogram, fit_weights=fit_weights)
    if legacy or _mosaro.method_prediction(code) is None:
        why = ("read by the prediction, not by the legacy request (legacy=True)" if legacy else
               "read by the prediction, not by the legacy request that runs %s" % (method,))
        _refuse_given(given, _PREDICTION_ONLY, why)
        if fit is not None and fit not in _legacy.FITS:
            raise ValueError("fit: the legacy request fits 'legacy' or 'robust' (got %r); a template such as "
                             "%r is the prediction's" % (fit, fit))
        return _legacy.run(
            x, y, values, code=code, extent=extent, cell=cell, size=size,
            neighbours=_legacy_neighbours(nmax, neighbours), shift=shift, thresholds=thresholds,
            extra_values=extra_values, model=model, variance=variance,
            arithmetic=arithmetic if arithmetic is not None else ("legacy" if legacy else "accurate"),
            fit=fit if fit is not None else ("legacy" if legacy else "robust"), threads=threads, progress=progress,
            tables=False, condition=condition, crs=crs, wkt=wkt, leave_out_missing=not legacy,
            allow_empty=allow_empty)
    if arithmetic not in (None, "accurate"):
        raise ValueError("arithmetic=%r: the prediction runs in double precision; the legacy arithmetic needs "
                         "legacy=True" % (arithmetic,))
    if condition:
        raise ValueError("condition=True is read by the legacy request (legacy=True); the prediction counts "
                         "ill-conditioned nodes in result.report")
    _check_method_arguments(code, shift, thresholds, extra_values)
    return _prediction.grid(x, y, values, extent=extent, cell=cell, size=size, progress=progress,
                            allow_empty=allow_empty, crs=crs, wkt=wkt, method=method, code=code, model=model,
                            fit=fit, fit_weights_=fit_weights, variogram=variogram, kind=kind, mean=mean,
                            drift=drift, covariates=covariates, block=block, block_points=block_points, nmax=nmax,
                            neighbours=neighbours, nmin=nmin, maxdist=maxdist,
                            anisotropic_search=anisotropic_search, sectors=sectors, octants=octants,
                            quadrants=quadrants, shift=shift, variance=variance, threads=threads)


def predict(x, y, values, targets_x, targets_y, *, method="ordinary", model=None, fit=None, fit_weights=None,
            variogram=None, kind=None, mean=None, drift=None, covariates=None, block=None, block_points=None,
            nmax=None, neighbours=None, nmin=None, maxdist=None, anisotropic_search=False, sectors=None,
            octants=None, quadrants=None, shift=None, variance=False, threads=0, progress=None, allow_empty=False):
    """Kriges the samples at the points (targets_x[i], targets_y[i]) (1-D,
    float64); returns a PointResult with one estimate per point, in order.

    Every keyword is grid's, for the prediction's methods (ordinary,
    universal-*, lognormal, lognormal3); covariates take their values at the
    targets as 1-D arrays, or a function f(x, y). A run in which no target
    can be estimated raises ValueError unless allow_empty=True.
    """
    code = _legacy.method_code(method)
    if _mosaro.method_prediction(code) is None:
        raise ValueError("method %r: predict runs ordinary, universal and lognormal kriging (indicator kriging and "
                         "co-kriging grid through mosaro.grid)" % (method,))
    _check_method_arguments(code, shift, None, None)
    return _prediction.points(x, y, values, targets_x, targets_y, progress=progress, allow_empty=allow_empty,
                              method=method, code=code, model=model, fit=fit, fit_weights_=fit_weights,
                              variogram=variogram, kind=kind, mean=mean, drift=drift, covariates=covariates,
                              block=block, block_points=block_points, nmax=nmax, neighbours=neighbours, nmin=nmin,
                              maxdist=maxdist, anisotropic_search=anisotropic_search, sectors=sectors,
                              octants=octants, quadrants=quadrants, shift=shift, variance=variance, threads=threads)


_VARIOGRAM_ONLY = {"cutoff": None, "width": None, "directions": None, "tolerance": None, "bandwidth": None,
                   "estimator": None, "fit_weights": None, "cloud": False, "map": False}
_LEGACY_VARIOGRAM_ONLY = {"method": None, "extent": None, "cell": None, "size": None, "shift": None,
                          "thresholds": None, "extra_values": None, "arithmetic": None, "progress": None}


def variogram(x, y, values, *, cutoff=None, width=None, directions=None, tolerance=None, bandwidth=None,
              estimator=None, fit=None, fit_weights=None, cloud=False, map=False, threads=0, legacy=False,
              method=None, extent=None, cell=None, size=None, shift=None, thresholds=None, extra_values=None,
              arithmetic=None, progress=None):
    """The experimental variogram of the values, as gstat's variogram()
    forms it, and the model fitted to it; returns a Variogram.

    cutoff, width  the classes: pairs at distance d with k width < d <=
                   (k + 1) width up to the cutoff; defaults a third of the
                   bounding box's diagonal and cutoff / 15.
    directions     azimuths in degrees clockwise from north (None:
                   omnidirectional); tolerance (default 90 / count) and
                   bandwidth (largest distance from the direction's axis).
    estimator      "classic" (Matheron, default) or "cressie".
    fit            the template fitted to each direction ("Nug + Sph" by
                   default; "Nug + Sph + Exp", "0.1 Nug + Sph(~900)", ...),
                   False for none; fit_weights gstat's fit.method (7 default).
    cloud, map     also the variogram cloud and the variogram map.
    threads        0: every core; the result never depends on it.

    NaN values are left out. Raises ValueError naming the argument, also
    when a fit gives no model (fit=False gives the classes alone).

    legacy=True: the legacy request's directional tables and fits, exactly
    as grid(legacy=True) computes them for the same method, extent, cell,
    size, shift, thresholds, extra_values, arithmetic, fit ("legacy" or
    "robust") and progress; returns a dict: "extent", "cell", and "passes",
    one per pass (per threshold of indicator kriging), each with
    "threshold", "x" and "y" (each with "experimental" and "pruned" tables
    of numpy arrays "lag", "pairs", "semivariance", the fitted "model", its
    "branch" and "reason", and what the legacy fit gave), and the sweep's
    constants; with fit="robust" also "omnidirectional".
    """
    modern = dict(cutoff=cutoff, width=width, directions=directions, tolerance=tolerance, bandwidth=bandwidth,
                  estimator=estimator, fit_weights=fit_weights, cloud=cloud, map=map)
    old = dict(method=method, extent=extent, cell=cell, size=size, shift=shift, thresholds=thresholds,
               extra_values=extra_values, arithmetic=arithmetic, progress=progress)
    if not legacy:
        _refuse_given(old, _LEGACY_VARIOGRAM_ONLY, "read by the legacy variogram (legacy=True) only")
        return _variograms.compute(x, y, values, threads=threads, fit=fit, **modern)
    _refuse_given(modern, _VARIOGRAM_ONLY, "read by the variogram in double precision, not with legacy=True")
    if fit is not None and fit not in _legacy.FITS:
        raise ValueError("fit: the legacy request fits 'legacy' or 'robust' (got %r)" % (fit,))
    # The tables depend on the extent and the cell size, not on the node
    # counts, so one node is enough to have the library compute them.
    r = _legacy.run(x, y, values, code=_legacy.method_code("ordinary" if method is None else method), extent=extent,
                    cell=cell, size=size, neighbours=DEFAULT_NEIGHBOURS, shift=shift, thresholds=thresholds,
                    extra_values=extra_values, model=None, variance=False,
                    arithmetic="legacy" if arithmetic is None else arithmetic,
                    fit="legacy" if fit is None else fit, threads=threads, progress=progress, tables=True,
                    nodes=(1, 1))
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


def cross_validate(x, y, values, *, method="ordinary", folds=0, seed=0, neighbours=DEFAULT_NEIGHBOURS, extent=None,
                   cell=None, model=None, fit="legacy", arithmetic="legacy", shift=None, extra_values=None, threads=0,
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
                   as for grid(legacy=True): cross-validation runs on the
                   legacy request (its float32 arithmetic and legacy fit by
                   default); every method but indicator kriging.

    Raises ValueError with the library's message for arguments it refuses.
    The GIL is released while the library runs.
    """
    code = _legacy.method_code(method)
    _legacy.check_common(code, neighbours, shift, None, extra_values, arithmetic, fit)
    if isinstance(seed, bool) or not isinstance(seed, (int, np.integer)) or not 0 <= seed < 2**64:
        raise ValueError("seed must be a whole number from 0 to 2^64 - 1 (got %r)" % (seed,))
    if isinstance(folds, bool) or not isinstance(folds, (int, np.integer)):
        raise ValueError("folds must be a whole number (got %r)" % (folds,))
    if not -_geometry.INT_MAX - 1 <= folds <= _geometry.INT_MAX:
        raise ValueError("folds %d is outside the range of an int" % folds)
    given = _models.legacy_models(model)
    x, y, values = _legacy.samples(x), _legacy.samples(y), _legacy.samples(values)
    extra = [_legacy.samples(v) for v in extra_values] if extra_values is not None else []
    extent, cell, _ = _geometry.choose(x, y, extent, cell, None)
    status, message, outputs, summary, report, _ = _errors.call(
        _mosaro.cross_validate, progress, x, y, values, extra, extent, cell, neighbours, code,
        0.0 if shift is None else float(shift), given, _legacy.FITS[fit], _legacy.ARITHMETICS[arithmetic],
        int(folds), int(seed), threads, stacklevel=2)
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
        _legacy.samples(data), int(value_column), _legacy.samples(rect), float(cell_size_x), float(cell_size_y),
        int(cell_count_x), int(cell_count_y), int(neighbours), int(method), float(method_parameter),
        None if method_array is None else _legacy.samples(np.atleast_1d(method_array)))
