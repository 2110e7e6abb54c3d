"""Experimental variograms in double precision (mosaro_variogram_compute)
and the models fitted to them."""

import collections

import numpy as np

from . import _errors, _models, _prediction
from . import _mosaro

Cloud = collections.namedtuple("Cloud", "i j distance gamma")
Cloud.__doc__ = """The variogram cloud: every pair (i, j), i > j, of samples (indices into
the arrays given) within the cutoff, its distance and half the squared
difference of its values."""


class VariogramMap:
    """The variogram map: size x size cells of the class width over lag
    vectors, row 0 at the most southern lag. pairs and gamma are 2-D
    (NaN where no pair falls); dx and dy the cells' centres along x (the
    columns) and y (the rows)."""

    def __init__(self, first, width, pairs, gamma):
        self.width = width
        self.pairs = pairs
        self.gamma = gamma
        self.dx = first + np.arange(pairs.shape[1]) * width
        self.dy = first + np.arange(pairs.shape[0]) * width

    def __repr__(self):
        return "<mosaro.VariogramMap %d x %d cells of %g>" % (self.pairs.shape[1], self.pairs.shape[0], self.width)


class Direction:
    """The lag classes of one direction: azimuth and tolerance (degrees;
    omnidirectional: 0 and 90), and arrays of one entry per class: lower
    and upper edge (a pair at distance d is in the class when lower < d <=
    upper, the first class from 0), pairs, distance (the pairs' mean) and
    gamma (NaN without pairs). model and weighted_squared_error: the fit to
    these classes (None when not fitted)."""

    def __init__(self, d):
        self.omnidirectional = d["omnidirectional"]
        self.azimuth = d["azimuth"]
        self.tolerance = d["tolerance"]
        for name in ("lower", "upper", "pairs", "distance", "gamma"):
            setattr(self, name, d[name])
        self.model = None
        self.weighted_squared_error = None

    def __repr__(self):
        where = "omnidirectional" if self.omnidirectional else "azimuth %g +- %g" % (self.azimuth, self.tolerance)
        return "<mosaro.Direction %s, %d classes>" % (where, len(self.gamma))


class Variogram:
    """The outcome of mosaro.variogram.

    directions   one Direction per azimuth asked for (one, omnidirectional,
                 by default); also v[k] and iteration.
    lower, upper, pairs, distance, gamma   the same classes as 2-D arrays,
                 row k the direction k (every direction has the same classes).
    azimuth      1-D, per direction.
    cutoff, width   of the classes, as the library chose them.
    model, weighted_squared_error   the fit to the first direction (a
                 mosaro.Model), None with fit=False; models: every direction's.
    cloud        a Cloud (cloud=True), else None.
    map          a VariogramMap (map=True), else None.
    """

    def __init__(self, result, cutoff, width):
        self.directions = tuple(Direction(d) for d in result["directions"])
        self.cutoff = cutoff
        self.width = width
        for name in ("lower", "upper", "pairs", "distance", "gamma"):
            setattr(self, name, np.array([getattr(d, name) for d in self.directions]))
        self.azimuth = np.array([d.azimuth for d in self.directions])
        self.cloud = Cloud(**result["cloud"]) if result["cloud"] is not None else None
        m = result["map"]
        self.map = VariogramMap(m["first"], m["width"], m["pairs"], m["gamma"]) if m is not None else None

    @property
    def models(self):
        return tuple(d.model for d in self.directions)

    @property
    def model(self):
        return self.directions[0].model

    @property
    def weighted_squared_error(self):
        return self.directions[0].weighted_squared_error

    def __len__(self):
        return len(self.directions)

    def __getitem__(self, index):
        return self.directions[index]

    def __iter__(self):
        return iter(self.directions)

    def __repr__(self):
        return "<mosaro.Variogram %d direction%s, %d classes of %g to %g%s>" % (
            len(self.directions), "" if len(self.directions) == 1 else "s", self.gamma.shape[1], self.width,
            self.cutoff, ", model %s" % self.model if self.model is not None else "")


def compute(x, y, values, *, cutoff, width, directions, tolerance, bandwidth, estimator, fit, fit_weights, cloud,
            map, threads):
    x, y, values = _prediction.samples(x, y, values)
    options = _prediction.variogram_options(cutoff, width, directions, tolerance, bandwidth, estimator, cloud, map,
                                            _prediction.threads_of(threads))
    fitting = fit is not False
    template = _prediction.fit_template(fit) if fitting else None
    weights = _prediction.fit_weights(fit_weights) if fitting else 0
    if not fitting and fit_weights is not None:
        raise ValueError("fit_weights is read by the fit, but fit=False")
    status, message, result = _mosaro.variogram(x, y, values, options, fitting, template, weights)
    if status != 0:
        _errors.raise_for(status, message, "threads" if status == _mosaro.ERROR_THREAD_COUNT else None)
    return finish(result, fitting)


def finish(result, fitting):
    """The Variogram of the binding's result (of mosaro.variogram or of
    reduced block sums), with each direction's fit."""
    first = result["directions"][0]
    v = Variogram(result, first["cutoff"], first["width"])
    for direction, d in zip(v.directions, result["directions"]):
        if not fitting:
            continue
        status, message, parts, sse = d["fit"]
        if status != 0:
            # A fit that gives no model is the caller's to know about, not a
            # variogram without one.
            if status == _mosaro.ERROR_FIT or status == _mosaro.ERROR_MODEL:
                raise ValueError("fit: %s%s (fit=False gives the classes without a model)"
                                 % ("" if direction.omnidirectional else "direction %g: " % direction.azimuth,
                                    message))
            _errors.raise_for(status, message)
        direction.model = _models.from_parts(parts)
        direction.weighted_squared_error = sse
    return v
