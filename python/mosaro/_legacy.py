"""The legacy request (mosaro_grid): every method in the library's float32
arithmetic, legacy or accurate, with its directional variograms and its
legacy or robust fit. mosaro.grid(legacy=True) runs it exactly as the
package did before the prediction came, and indicator kriging and
co-kriging always run here."""

import numpy as np

from . import _errors, _geometry, _models, _prediction
from . import _mosaro
from ._results import GridResult

_LOGNORMAL3 = 9
_INDICATOR = 10
_COKRIGING = 11

FITS = {"legacy": 0, "robust": 1}
ARITHMETICS = {"legacy": 0, "accurate": 1}


def method_code(method):
    if isinstance(method, str):
        return _mosaro.method_code(method)
    # A whole number goes to the library as it is, which names a code it
    # does not know; int() would quietly turn 2.5 into a valid 2.
    if isinstance(method, (float, np.floating)) and not float(method).is_integer():
        raise ValueError("method code %r is not a whole number" % (method,))
    if isinstance(method, bool) or not isinstance(method, (int, float, np.integer, np.floating)):
        raise ValueError("method must be a name of mosaro.METHODS or its code (got %r)" % (method,))
    return int(method)


def samples(values):
    # No copy when the array is already contiguous float32.
    return np.ascontiguousarray(values, dtype=np.float32)


def check_common(code, neighbours, shift, thresholds, extra_values, arithmetic, fit):
    """The refusals grid and cross_validate share."""
    if arithmetic not in ARITHMETICS:
        raise ValueError("arithmetic must be 'legacy' or 'accurate' (got %r)" % (arithmetic,))
    if fit not in FITS:
        raise ValueError("fit must be 'legacy' or 'robust' (got %r)" % (fit,))
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


def _left_out(values, extra_values):
    """The samples with a NaN value in any variable: the prediction leaves
    such samples out, while the legacy request would give each the value of
    the sample before it."""
    missing = np.isnan(values)
    for column in extra_values:
        # A column of another length is the library's to refuse.
        if column.shape == missing.shape:
            missing |= np.isnan(column)
    return missing


def run(x, y, values, *, code, extent, cell, size, neighbours, shift, thresholds, extra_values, model, variance,
        arithmetic, fit, threads, progress, tables, condition=False, nodes=None, crs=None, wkt=None,
        leave_out_missing=False, allow_empty=True, stacklevel=3):
    """One run of the legacy request; returns a GridResult. With
    leave_out_missing, samples whose value is NaN are left out (and counted)
    rather than filled from the sample before them; without allow_empty, a
    run that estimates no node raises ValueError."""
    check_common(code, neighbours, shift, thresholds, extra_values, arithmetic, fit)
    threads = _prediction.threads_of(threads)
    if condition and arithmetic != "accurate":
        raise ValueError("condition=True needs arithmetic='accurate' (the legacy arithmetic estimates no condition)")
    given = _models.legacy_models(model)
    # As float32 before the layout: a coordinate beyond float32's range is
    # refused as the sample's, not as an extent's.
    x, y, values = samples(x), samples(y), samples(values)
    extra = [samples(v) for v in extra_values] if extra_values is not None else []
    extent, cell, grid_size = _geometry.choose(x, y, extent, cell, size)
    if nodes is not None:
        grid_size = nodes
    left_out = 0
    if leave_out_missing:
        missing = _left_out(values, extra)
        if missing.shape == x.shape and missing.any():
            keep = ~missing
            left_out = int(missing.sum())
            x, y, values = (samples(a[keep]) for a in (x, y, values))
            extra = [samples(v[keep]) for v in extra]

    status, message, estimate, var, report, _, reciprocal = _errors.call(
        _mosaro.grid, progress, x, y, values, extra, extent, cell, grid_size, neighbours, code,
        0.0 if shift is None else _prediction.number(shift, "shift"),
        None if thresholds is None else samples(np.atleast_1d(thresholds)),
        given, variance, tables, FITS[fit], ARITHMETICS[arithmetic], condition, threads,
        warn=allow_empty, stacklevel=stacklevel)
    result = GridResult({"estimate": estimate, "variance": var, "reciprocal_condition": reciprocal}, extent, cell,
                        grid_size, engine="legacy request", report=report, crs=crs, wkt=wkt, status=status,
                        message=message, samples_left_out=left_out)
    if not allow_empty:
        if status > 0:
            raise ValueError(message + " (allow_empty=True returns the grid of zeros)")
        node_count = result.nodes["node_count"] if result.nodes else 0
        if node_count > 0 and result.nodes["no_data"] == node_count:
            raise ValueError("no node could be estimated (%d nodes without an estimate); allow_empty=True returns "
                             "the grid of NaN" % node_count)
    return result
