"""Sequential Gaussian simulation (mosaro_simulate): equally likely grids
that honour the samples and the variogram of their normal scores, and the
summaries taken over them (E-type mean and variance, exceedance)."""

import math
import numbers
import secrets
import warnings

import numpy as np

from . import _errors, _geometry, _models, _prediction, _results
from . import _mosaro


class ThresholdOutsideWarning(UserWarning):
    """A threshold lies outside the data's range: the share of realisations
    above it says more about the back-transform's tails than about the data."""


class Realisations(np.ndarray):
    """What mosaro.simulate returns: a float64 array (realisations, nodes_y,
    nodes_x), row 0 at the southern edge as in GridResult.estimate, that also
    knows its grid.

    grid       a GridResult without arrays: x, y, extent, cell, size, crs,
               crs_wkt, transform(), image_extent, and model and report of
               the run (also reachable as attributes of this array).
    seed       the seed that reproduces these realisations.
    data_range (smallest, largest) sample value, None when unconditional.

    An array of the same grid computed from it (sims.mean(axis=0), sims > t)
    keeps the grid; one of other nodes (a slice) forgets it.
    """

    _CARRIED = ("grid", "seed", "data_range")

    def __array_finalize__(self, source):
        grid = getattr(source, "grid", None)
        # Only an array over the same nodes keeps the georeferencing.
        keep = grid is not None and self.ndim >= 2 and self.shape[-2:] == (grid.size[1], grid.size[0])
        for name in self._CARRIED:
            setattr(self, name, getattr(source, name, None) if keep else None)

    def __getattr__(self, name):
        # Only reached for what the array lacks: the grid's attributes.
        if name in ("x", "y", "extent", "cell", "size", "crs", "crs_wkt", "model", "report", "image_extent",
                    "transform"):
            grid = self.__dict__.get("grid")
            if grid is None:
                raise AttributeError("%s: this array is not over the simulated grid" % name)
            return getattr(grid, name)
        raise AttributeError(name)

    def north_up(self):
        """A plain view with row 0 at the northern edge (images, rasters)."""
        return np.asarray(self)[..., ::-1, :]

    def to_xarray(self, *, north_up=True):
        """An xarray.DataArray with dimensions (realisation,) y, x and the
        georeferencing as rioxarray writes it (see GridResult.to_xarray)."""
        try:
            import xarray
        except ImportError as e:
            raise ImportError("to_xarray needs xarray (Debian: python3-xarray)") from e
        if self.grid is None:
            raise ValueError("this array is not over the simulated grid")
        coords = self.grid.coordinates(north_up)
        dims = ("y", "x")
        if self.ndim == 3:
            dims = ("realisation",) + dims
            coords["realisation"] = ("realisation", np.arange(self.shape[0]))
        elif self.ndim != 2:
            raise ValueError("to_xarray takes realisations (3-D) or one map of them (2-D), not %d-D" % self.ndim)
        attrs = {"engine": "simulation", "seed": self.seed, "grid_mapping": "spatial_ref"}
        if self.model is not None:
            attrs["model"] = str(self.model)
        array = self.north_up() if north_up else np.asarray(self)
        return xarray.DataArray(array, dims=dims, coords=coords, attrs=attrs)


def _seed(seed):
    if seed is None:
        # Drawn, not fixed: two runs without a seed differ, and the seed
        # drawn is kept on the result to repeat the run.
        return secrets.randbits(64)
    if isinstance(seed, bool) or not isinstance(seed, numbers.Integral) or not 0 <= seed < 2**64:
        raise ValueError("seed must be a whole number from 0 to 2^64 - 1 (got %r)" % (seed,))
    return int(seed)


def _optional(value, name, check):
    return check(value, name) if value is not None else None


def _arguments(conditional, *, model, fit, fit_weights, variogram, mean, lower_tail, upper_tail, realisations, seed,
               nmax, nmax_simulated, maxdist, threads):
    if model is not None:
        for name, value in (("fit", fit), ("fit_weights", fit_weights), ("variogram", variogram)):
            if value is not None:
                raise ValueError("%s is read when the model is fitted, but model= is given" % name)
    elif not conditional:
        raise ValueError("model: an unconditional simulation (no samples) needs a model")
    if conditional and mean is not None:
        raise ValueError("mean is read by an unconditional simulation only; samples were given")
    if variogram is not None and not isinstance(variogram, dict):
        raise ValueError("variogram must be a dict of %s (got %r)" % (", ".join(_prediction.VARIOGRAM_OPTIONS),
                                                                      variogram))
    unknown = sorted(set(variogram or {}) - set(_prediction.VARIOGRAM_OPTIONS))
    if unknown:
        raise ValueError("variogram: unknown options %s" % ", ".join(map(repr, unknown)))
    if nmax_simulated == -1:
        simulated = -1
    else:
        simulated = 0 if nmax_simulated is None else _prediction.whole(nmax_simulated, "nmax_simulated", 1)
    threads = _prediction.threads_of(threads)
    return {
        "model": None if model is None else _models.as_model(model)._parts,
        "variogram": _prediction.variogram_options(**(variogram or {}), threads=threads),
        "fit_template": _prediction.fit_template(fit),
        "fit_weights": _prediction.fit_weights(fit_weights),
        "mean": 0.0 if mean is None else _prediction.number(mean, "mean"),
        "lower_tail": math.nan if lower_tail is None else _prediction.number(lower_tail, "lower_tail"),
        "upper_tail": math.nan if upper_tail is None else _prediction.number(upper_tail, "upper_tail"),
        "realisations": _prediction.whole(realisations, "realisations", 1),
        "seed": _seed(seed),
        "nmax": 0 if nmax is None else _prediction.whole(nmax, "nmax", 1),
        "nmax_simulated": simulated,
        "max_distance": 0.0 if maxdist is None else _prediction.positive(maxdist, "maxdist"),
        "threads": threads,
    }


def simulate(x=None, y=None, values=None, *, model=None, extent=None, cell=None, size=None, realisations=1,
             seed=None, nmax=None, nmax_simulated=None, maxdist=None, mean=None, fit=None, fit_weights=None,
             variogram=None, lower_tail=None, upper_tail=None, crs=None, threads=0, progress=None):
    """Sequential Gaussian simulation: `realisations` equally likely grids
    that honour the samples (x[i], y[i], values[i]) and the variogram of
    their normal scores; returns Realisations, a float64 array
    (realisations, nodes_y, nodes_x) that carries its grid.

    x, y, values   the conditioning samples (NaN values are left out); all
                   None: an unconditional simulation of mean (default 0)
                   plus a Gaussian field of the model, which must be given,
                   on a grid that needs extent.
    model          the model of the normal scores, in any form grid takes;
                   None: fitted (fit, fit_weights and variogram as for grid).
    extent, cell, size   the grid, as for grid.
    realisations   how many maps; each needs memory for one grid.
    seed           a whole number from 0 to 2^64 - 1; the same seed gives
                   the same bits at any thread count and on every platform.
                   None: a fresh one, kept in result.seed.
    nmax, nmax_simulated   the nearest samples and nearest nodes simulated
                   before (16 each); nmax_simulated=-1: the nmax nearest of
                   both together, as R's gstat counts; maxdist the reach
                   (default three times the model's largest range).
    lower_tail, upper_tail   the values reached at probability 0 and 1 by
                   the back-transform (default the data's smallest and
                   largest value: no simulated value leaves their range).
    crs, threads, progress   as for grid.

    Raises ValueError naming the argument for what cannot be run.
    """
    given = [v is None for v in (x, y, values)]
    if any(given) and not all(given):
        raise ValueError("x, y and values: give all three (conditional) or none (unconditional)")
    conditional = not any(given)
    if conditional:
        x, y, values = _prediction.samples(x, y, values)
    else:
        if extent is None:
            raise ValueError("extent: an unconditional simulation has no samples to take the grid from")
        x = y = values = np.zeros(0)
    a = _arguments(conditional, model=model, fit=fit, fit_weights=fit_weights, variogram=variogram, mean=mean,
                   lower_tail=lower_tail, upper_tail=upper_tail, realisations=realisations, seed=seed, nmax=nmax,
                   nmax_simulated=nmax_simulated, maxdist=maxdist, threads=threads)
    wkt = _results.crs_wkt(crs)
    bounds, cells, nodes = _geometry.choose_double(x, y, extent, cell, size)
    a["grid"] = (bounds[0], bounds[1], cells[0], cells[1], nodes[0], nodes[1])
    _, _, maps, report, used, _ = _errors.call(
        _mosaro.simulate, progress, x, y, values, a, warn=False, stacklevel=2,
        arguments_named={_mosaro.ERROR_THREAD_COUNT: "threads", _mosaro.ERROR_REALISATIONS: "realisations"})
    grid = _results.GridResult({}, bounds, cells, nodes, engine="simulation", report=report,
                               model=_models.from_parts(used), crs=crs, wkt=wkt,
                               samples_left_out=report["samples_left_out"])
    result = maps.view(Realisations)
    result.grid = grid
    result.seed = a["seed"]
    finite = values[~np.isnan(values)]
    result.data_range = (float(finite.min()), float(finite.max())) if finite.size else None
    return result


def etype(realisations):
    """The E-type estimate: the mean and the variance (over the count) of
    the realisations at each node, each keeping the grid of Realisations.
    Formed as the library forms them (Welford's running mean and squared
    deviations in realisation order): the same bits as its E-type, and a
    node every realisation agrees on (a sample's) has exactly its value and
    variance 0."""
    maps = np.asarray(_maps(realisations, "realisations"), dtype=np.float64)
    mean = np.zeros(maps.shape[1:])
    squares = np.zeros(maps.shape[1:])
    for count, values in enumerate(maps, start=1):
        delta = values - mean
        mean += delta / count
        squares += delta * (values - mean)
    return _on_grid_of(realisations, mean), _on_grid_of(realisations, squares / len(maps))


def exceedance(realisations, threshold):
    """The share of realisations above the threshold at each node: a map,
    or one map per threshold for a sequence of them. Warns
    (ThresholdOutsideWarning) for a threshold outside the data's range."""
    maps = _maps(realisations, "realisations")
    thresholds = np.atleast_1d(np.asarray(threshold, dtype=np.float64))
    if thresholds.ndim != 1 or thresholds.size == 0 or not np.all(np.isfinite(thresholds)):
        raise ValueError("threshold must be a finite number or a sequence of them (got %r)" % (threshold,))
    low, high = getattr(maps, "data_range", None) or (float(np.nanmin(maps)), float(np.nanmax(maps)))
    for t in thresholds:
        if not low <= t <= high:
            warnings.warn("threshold %g lies outside the data's range [%g, %g]" % (t, low, high),
                          ThresholdOutsideWarning, stacklevel=2)
    shares = np.stack([np.mean(np.asarray(maps) > t, axis=0) for t in thresholds])
    return _on_grid_of(maps, shares[0] if np.ndim(threshold) == 0 else shares)


def _on_grid_of(source, array):
    """The array of a summary over Realisations, with their grid."""
    if not isinstance(source, Realisations):
        return array
    out = np.asarray(array).view(Realisations)
    for name in Realisations._CARRIED:
        setattr(out, name, getattr(source, name))
    return out


def _maps(realisations, name):
    maps = realisations if isinstance(realisations, Realisations) else np.asarray(realisations, dtype=np.float64)
    if maps.ndim != 3 or maps.shape[0] < 1:
        raise ValueError("%s must be an array (realisations, nodes_y, nodes_x) with at least one realisation "
                         "(got shape %s)" % (name, maps.shape))
    return maps
