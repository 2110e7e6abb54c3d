"""The prediction (mosaro_predict): kriging in double precision at the nodes
of a grid or at points, with the keyword arguments of mosaro.grid and
mosaro.predict turned into the library's fields.

Python's None stands for "the library's default" wherever the C API takes
0 or NaN for it, so a 0 the caller writes (maxdist=0, block=0, nmax=0)
is refused here rather than read as "none" or "the default"."""

import math
import numbers
from collections.abc import Mapping

import numpy as np

from . import _errors, _geometry, _models
from . import _mosaro
from ._results import GridResult, PointResult

_KINDS = {"ordinary": 0, "simple": 1}
_ESTIMATORS = {"classic": 0, "cressie": 1}
VARIOGRAM_OPTIONS = ("cutoff", "width", "directions", "tolerance", "bandwidth", "estimator")


def whole(value, name, minimum):
    if isinstance(value, bool) or not isinstance(value, numbers.Integral) or not value >= minimum:
        raise ValueError("%s must be a whole number of at least %d (got %r)" % (name, minimum, value))
    if value > 2**31 - 1:
        raise ValueError("%s %d is outside the range of an int" % (name, value))
    return int(value)


def positive(value, name, what="a positive finite number"):
    if isinstance(value, bool) or not isinstance(value, numbers.Real) or not (0 < value < math.inf):
        raise ValueError("%s must be %s (got %r)" % (name, what, value))
    return float(value)


def _pair(value, name, each):
    """One value for both axes, or two (x, then y), each checked by `each`."""
    items = [value] if np.ndim(value) == 0 else list(np.ravel(value))
    if len(items) not in (1, 2):
        raise ValueError("%s takes one value or two (x, then y); got %d" % (name, len(items)))
    checked = [each(v.item() if isinstance(v, np.generic) else v, name) for v in items]
    return (checked[0], checked[-1])


def variogram_options(cutoff=None, width=None, directions=None, tolerance=None, bandwidth=None, estimator=None,
                      cloud=False, map=False, threads=0):
    """The binding's options dict; 0 leaves a number to the library."""
    if directions is not None:
        azimuths = [directions] if np.ndim(directions) == 0 else list(np.ravel(directions))
        try:
            azimuths = [float(a) for a in azimuths]
        except (TypeError, ValueError):
            raise ValueError("directions must be azimuths in degrees (got %r)" % (directions,)) from None
        if not azimuths:
            raise ValueError("directions must hold at least one azimuth (None: omnidirectional)")
    else:
        azimuths = None
    if estimator is None:
        estimator = "classic"
    if estimator not in _ESTIMATORS:
        raise ValueError("estimator must be 'classic' or 'cressie' (got %r)" % (estimator,))
    return {
        "cutoff": 0.0 if cutoff is None else positive(cutoff, "cutoff"),
        "width": 0.0 if width is None else positive(width, "width"),
        "azimuths": azimuths,
        "tolerance": 0.0 if tolerance is None else positive(tolerance, "tolerance", "a positive angle in degrees"),
        "bandwidth": 0.0 if bandwidth is None else positive(bandwidth, "bandwidth"),
        "estimator": _ESTIMATORS[estimator],
        "cloud": bool(cloud),
        "map": bool(map),
        "threads": threads,
    }


def fit_template(fit):
    """fit= of the prediction: None (the library's default template) or a template."""
    if fit is None:
        return None
    if fit in ("legacy", "robust"):
        raise ValueError("fit=%r names a fit of the legacy request (legacy=True, indicator or co-kriging); the "
                         "prediction fits a template such as 'Nug + Sph'" % (fit,))
    if not isinstance(fit, str):
        raise ValueError("fit must be a template in gstat's notation such as 'Nug + Sph' (got %r)" % (fit,))
    return fit


def fit_weights(weights):
    return 0 if weights is None else whole(weights, "fit_weights", 1)


def _covariate(value, name, where, at, shape):
    """A covariate's values at the samples or the targets: an array of the
    targets' shape, or a function of the coordinates (`at()` gives them)."""
    if value is None:
        raise ValueError("covariates[%r] has no values at the %s" % (name, where))
    if callable(value):
        value = value(*at())
    array = np.ascontiguousarray(value, dtype=np.float64)
    if array.shape != shape:
        raise ValueError("covariates[%r] at the %s must have shape %s (got %s)" % (name, where, shape, array.shape))
    return array.ravel()


def _covariates(covariates, samples_at, targets_at, targets_shape):
    if covariates is None:
        return [], [], []
    if not isinstance(covariates, Mapping):
        raise ValueError("covariates must be a dict {name: (at_samples, at_targets)} (got %r)" % (covariates,))
    names, at_samples, at_targets = [], [], []
    for name, pair in covariates.items():
        if not isinstance(pair, (tuple, list)) or len(pair) != 2:
            raise ValueError("covariates[%r] must be (at_samples, at_targets)" % (name,))
        names.append(name)
        at_samples.append(_covariate(pair[0], name, "samples", lambda: samples_at, samples_at[0].shape))
        at_targets.append(_covariate(pair[1], name, "targets", targets_at, targets_shape))
    return names, at_samples, at_targets


def _neighbourhood(nmax, neighbours, nmin, maxdist, sectors, octants, quadrants):
    if nmax is not None and neighbours is not None:
        raise ValueError("give nmax or neighbours (the same thing), not both")
    name, count = ("neighbours", neighbours) if neighbours is not None else ("nmax", nmax)
    if count is None:
        count = 0
    elif isinstance(count, numbers.Real) and not isinstance(count, bool) and count == math.inf:
        count = -1
    else:
        count = whole(count, name, 1)
    given = [(n, v) for n, v in (("sectors", sectors), ("octants", octants), ("quadrants", quadrants)) if v is not None]
    if len(given) > 1:
        raise ValueError("give one of sectors, octants and quadrants (got %s)" % ", ".join(n for n, _ in given))
    sector_count = per_sector = 0
    if octants is not None:
        sector_count, per_sector = 8, whole(octants, "octants", 1)
    elif quadrants is not None:
        sector_count, per_sector = 4, whole(quadrants, "quadrants", 1)
    elif sectors is not None:
        if not isinstance(sectors, (tuple, list)) or len(sectors) != 2:
            raise ValueError("sectors must be (4 or 8, samples per sector) (got %r)" % (sectors,))
        sector_count, per_sector = whole(sectors[0], "sectors[0]", 1), whole(sectors[1], "sectors[1]", 1)
    return {
        "nmax": count,
        "nmin": 0 if nmin is None else whole(nmin, "nmin", 0),
        "max_distance": 0.0 if maxdist is None else positive(maxdist, "maxdist"),
        "sectors": sector_count,
        "max_per_sector": per_sector,
    }


def _drift(drift, method_drift, method):
    if drift is None:
        return method_drift
    if method_drift:
        raise ValueError("drift: method %r has its own drift; give method='ordinary' with drift=, or the method "
                         "alone" % (method,))
    terms = [drift] if isinstance(drift, str) else list(drift)
    bits = 0
    for term in terms:
        if term not in _mosaro.DRIFT_TERMS:
            raise ValueError("drift: unknown term %r; known: %s" % (term, ", ".join(_mosaro.DRIFT_TERMS)))
        bits |= _mosaro.DRIFT_TERMS[term]
    return bits


def number(value, name):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise ValueError("%s must be a number (got %r)" % (name, value))
    return float(value)


def threads_of(threads):
    """The thread count as the library reads it (its range is the library's)."""
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral):
        raise ValueError("threads must be a whole number, 0 for every core (got %r)" % (threads,))
    return int(threads)


def samples(x, y, values):
    return tuple(np.ascontiguousarray(a, dtype=np.float64) for a in (x, y, values))


def arguments(x, y, method, code, *, targets_at, targets_shape, model, fit, fit_weights_, variogram, kind, mean,
              drift, covariates, block, block_points, nmax, neighbours, nmin, maxdist, anisotropic_search, sectors,
              octants, quadrants, shift, variance, threads):
    """The binding's dict of one prediction, every keyword checked; returns
    it and the covariates' names (in the library's order)."""
    method_drift, lognormal = _mosaro.method_prediction(code)
    if kind is None:
        kind = "ordinary"
    if kind not in _KINDS:
        raise ValueError("kind must be 'ordinary' or 'simple' (got %r)" % (kind,))
    if mean is not None:
        mean = float(mean) if isinstance(mean, numbers.Real) and not isinstance(mean, bool) else math.nan
        if not math.isfinite(mean):
            raise ValueError("mean must be a finite number")
    a = {"kind": _KINDS[kind], "mean": math.nan if mean is None else mean,
         "drift_terms": _drift(drift, method_drift, method), "lognormal": lognormal,
         "shift": 0.0 if shift is None else number(shift, "shift")}
    if model is not None:
        for name, value in (("fit", fit), ("fit_weights", fit_weights_), ("variogram", variogram)):
            if value is not None:
                raise ValueError("%s is read when the model is fitted, but model= is given" % name)
        a["model"] = _models.as_model(model)._parts
    else:
        a["model"] = None
    if variogram is not None and not isinstance(variogram, Mapping):
        raise ValueError("variogram must be a dict of %s (got %r)" % (", ".join(VARIOGRAM_OPTIONS), variogram))
    unknown = sorted(set(variogram or {}) - set(VARIOGRAM_OPTIONS))
    if unknown:
        raise ValueError("variogram: unknown options %s; known: %s" % (", ".join(map(repr, unknown)),
                                                                      ", ".join(VARIOGRAM_OPTIONS)))
    a["variogram"] = variogram_options(**(variogram or {}), threads=threads_of(threads))
    a["fit_template"] = fit_template(fit)
    a["fit_weights"] = fit_weights(fit_weights_)
    a.update(_neighbourhood(nmax, neighbours, nmin, maxdist, sectors, octants, quadrants))
    a["anisotropic_search"] = bool(anisotropic_search)
    a["block_x"], a["block_y"] = (0.0, 0.0) if block is None else _pair(block, "block", positive)
    a["block_points_x"], a["block_points_y"] = (0, 0) if block_points is None else _pair(
        block_points, "block_points", lambda v, n: whole(v, n, 1))
    names, a["sample_covariates"], a["target_covariates"] = _covariates(covariates, (x, y), targets_at,
                                                                        targets_shape)
    a["variance"] = bool(variance)
    a["log_outputs"] = True
    a["threads"] = threads_of(threads)
    return a, names


def _run(x, y, values, a, names, progress, allow_empty):
    # The library's messages name its fields; these statuses concern a
    # Python argument of another name.
    status_names = {_mosaro.ERROR_COVARIATES: "covariates (in order: %s)" % ", ".join(map(repr, names)),
                    _mosaro.ERROR_THREAD_COUNT: "threads"}
    try:
        _, _, outputs, report, model, _ = _errors.call(_mosaro.predict, progress, x, y, values, a,
                                                       arguments_named=status_names, stacklevel=4)
    except ValueError as e:
        # A point the library cannot place is one of the targets given.
        if str(e).startswith("target "):
            raise ValueError("targets_x, targets_y: %s" % e) from None
        raise
    if report["targets"] > 0 and report["no_data"] == report["targets"] and not allow_empty:
        why = []
        if report["too_few_neighbours"]:
            why.append("%d with fewer than nmin samples within reach" % report["too_few_neighbours"])
        raise ValueError("no target could be estimated (%d targets%s); allow_empty=True returns the all-NaN result"
                         % (report["targets"], ": " + ", ".join(why) if why else ""))
    return outputs, report, _models.from_parts(model)


def grid(x, y, values, *, extent, cell, size, progress, allow_empty, crs, wkt, **options):
    bounds, cells, nodes = _geometry.choose_double(x, y, extent, cell, size)
    x, y, values = samples(x, y, values)
    shape = (nodes[1], nodes[0])

    def node_coordinates():
        # Made only for a covariate given as a function: two arrays of the
        # grid's size.
        return np.meshgrid(bounds[0] + np.arange(nodes[0]) * cells[0], bounds[1] + np.arange(nodes[1]) * cells[1])

    a, names = arguments(x, y, targets_at=node_coordinates, targets_shape=shape, **options)
    a["grid"] = (bounds[0], bounds[1], cells[0], cells[1], nodes[0], nodes[1])
    outputs, report, model = _run(x, y, values, a, names, progress, allow_empty)
    return GridResult(outputs, bounds, cells, nodes, engine="prediction", report=report, model=model, crs=crs,
                      wkt=wkt, samples_left_out=report["samples_left_out"])


def points(x, y, values, targets_x, targets_y, *, progress, allow_empty, **options):
    x, y, values = samples(x, y, values)
    tx = np.ascontiguousarray(targets_x, dtype=np.float64)
    ty = np.ascontiguousarray(targets_y, dtype=np.float64)
    if tx.ndim != 1 or tx.shape != ty.shape:
        raise ValueError("targets_x and targets_y must be one-dimensional and of one length (got shapes %s and %s)"
                         % (tx.shape, ty.shape))
    a, names = arguments(x, y, targets_at=lambda: (tx, ty), targets_shape=tx.shape, **options)
    a["grid"] = None
    a["targets_x"], a["targets_y"] = tx, ty
    outputs, report, model = _run(x, y, values, a, names, progress, allow_empty)
    return PointResult(tx, ty, outputs, report=report, model=model)
