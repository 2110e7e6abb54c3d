"""The library's C API through ctypes: the reference the module's grids are
compared with, called with the same arrays and fields but no binding code."""

import ctypes
import os

import numpy as np

_float_p = ctypes.POINTER(ctypes.c_float)
PROGRESS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_double)


class Model(ctypes.Structure):
    _fields_ = [("nugget", ctypes.c_float), ("sill", ctypes.c_float), ("range", ctypes.c_float),
                ("partial_sill", ctypes.c_float)]


class Request(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t),
        ("x", _float_p), ("y", _float_p), ("value", _float_p), ("sample_count", ctypes.c_int),
        ("extra_values", ctypes.POINTER(_float_p)), ("extra_value_count", ctypes.c_int),
        ("x_min", ctypes.c_float), ("y_min", ctypes.c_float), ("x_max", ctypes.c_float), ("y_max", ctypes.c_float),
        ("cell_size_x", ctypes.c_float), ("cell_size_y", ctypes.c_float),
        ("node_count_x", ctypes.c_int), ("node_count_y", ctypes.c_int),
        ("neighbour_count", ctypes.c_int), ("method", ctypes.c_int), ("method_parameter", ctypes.c_float),
        ("thresholds", _float_p), ("threshold_count", ctypes.c_int),
        ("thread_count", ctypes.c_int), ("implementation", ctypes.c_int),
        ("grid", _float_p), ("variance", _float_p),
        ("report", ctypes.POINTER(ctypes.c_void_p)), ("report_tables", ctypes.c_int),
        ("given_models", ctypes.POINTER(Model)), ("given_model_count", ctypes.c_int),
        ("progress", PROGRESS), ("progress_user_data", ctypes.c_void_p),
        ("fit", ctypes.c_int), ("arithmetic", ctypes.c_int),
        ("reciprocal_condition", ctypes.POINTER(ctypes.c_float)),
    ]


class Validation(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t), ("folds", ctypes.c_int), ("seed", ctypes.c_ulonglong),
        ("estimate", _float_p), ("variance", _float_p), ("residual", _float_p),
        ("standardised_residual", _float_p), ("fold", ctypes.POINTER(ctypes.c_int)),
    ]


class ValidationSummary(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t), ("estimated", ctypes.c_int), ("not_estimated", ctypes.c_int),
        ("mean_error", ctypes.c_double), ("mean_absolute_error", ctypes.c_double),
        ("root_mean_square_error", ctypes.c_double), ("mean_squared_deviation_ratio", ctypes.c_double),
        ("correlation", ctypes.c_double),
    ]


def library():
    lib = ctypes.CDLL(os.environ.get("MOSARO_LIBRARY", "libmosaro.so"))
    lib.mosaro_request_init_size.argtypes = [ctypes.POINTER(Request), ctypes.c_size_t]
    lib.mosaro_grid.argtypes = [ctypes.POINTER(Request)]
    lib.mosaro_last_message.restype = ctypes.c_char_p
    lib.mosaro_samples_create.argtypes = [_float_p, _float_p, _float_p, ctypes.c_int, ctypes.POINTER(_float_p),
                                          ctypes.c_int, ctypes.POINTER(ctypes.c_void_p)]
    lib.mosaro_samples_free.argtypes = [ctypes.c_void_p]
    lib.mosaro_cross_validate.argtypes = [ctypes.c_void_p, ctypes.POINTER(Request), ctypes.POINTER(Validation),
                                          ctypes.POINTER(ValidationSummary)]
    lib.KARVO_ScatToGridWithKrig.argtypes = [
        _float_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, _float_p, ctypes.c_float, ctypes.c_float,
        ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_float, _float_p, _float_p]
    # A field added to the C struct that this mirror lacks would shift every
    # field after it: refuse to compare against a misread request. The
    # library writes at most its own size, so a roomy buffer tells it.
    roomy = ctypes.create_string_buffer(4096)
    lib.mosaro_request_init_size(ctypes.cast(roomy, ctypes.POINTER(Request)), len(roomy))
    library_size = ctypes.c_size_t.from_buffer(roomy).value
    assert library_size == ctypes.sizeof(Request), (library_size, ctypes.sizeof(Request))
    return lib


def _pointer(array):
    return None if array is None else array.ctypes.data_as(_float_p)


def _request(lib, x, y, values, extent, cell, *, method, neighbours, shift, extra_values, models, threads, fit,
             arithmetic):
    """A request over float32 copies of the arrays; returns it and what it points into."""
    keep = [np.ascontiguousarray(a, dtype=np.float32) for a in (x, y, values)]
    keep += [np.ascontiguousarray(v, dtype=np.float32) for v in extra_values]
    r = Request()
    lib.mosaro_request_init_size(ctypes.byref(r), ctypes.sizeof(r))
    r.x, r.y, r.value = (_pointer(a) for a in keep[:3])
    r.sample_count = len(keep[0])
    if extra_values:
        column_pointers = (_float_p * len(extra_values))(*[_pointer(v) for v in keep[3:]])
        r.extra_values = column_pointers
        r.extra_value_count = len(extra_values)
        keep.append(column_pointers)
    r.x_min, r.y_min, r.x_max, r.y_max = extent
    r.cell_size_x, r.cell_size_y = cell
    r.neighbour_count = neighbours
    r.method = method
    r.method_parameter = shift
    if models:
        given = (Model * len(models))(*[Model(n, n + p, a, p) for n, p, a in models])
        r.given_models = given
        r.given_model_count = len(models)
        keep.append(given)
    r.thread_count = threads
    r.fit = fit
    r.arithmetic = arithmetic
    return r, keep


def grid(lib, x, y, values, extent, cell, size, *, method=1, neighbours=16, shift=0.0, thresholds=None,
         extra_values=(), models=(), variance=False, threads=0, fit=0, arithmetic=0, condition=False):
    """mosaro_grid with float32 arrays; returns (status, message, grid, variance),
    and the reciprocal conditions after them when condition is true."""
    r, keep = _request(lib, x, y, values, extent, cell, method=method, neighbours=neighbours, shift=shift,
                       extra_values=extra_values, models=models, threads=threads, fit=fit, arithmetic=arithmetic)
    estimate = np.full((size[1], size[0]), np.nan, dtype=np.float32)
    var = np.full_like(estimate, np.nan) if variance else None
    reciprocal = np.full_like(estimate, np.nan) if condition else None
    r.node_count_x, r.node_count_y = size
    if thresholds is not None:
        thresholds = np.ascontiguousarray(thresholds, dtype=np.float32)
        r.thresholds = _pointer(thresholds)
        r.threshold_count = len(thresholds)
    r.grid = _pointer(estimate)
    r.variance = _pointer(var)
    r.reciprocal_condition = _pointer(reciprocal)
    status = lib.mosaro_grid(ctypes.byref(r))
    result = (status, lib.mosaro_last_message().decode(), estimate, var)
    return result + (reciprocal,) if condition else result


def cross_validate(lib, x, y, values, extent, cell, *, folds=0, seed=0, method=1, neighbours=16, shift=0.0,
                   extra_values=(), models=(), threads=0, fit=0, arithmetic=0):
    """mosaro_cross_validate; returns (status, message, outputs dict, summary dict)."""
    r, keep = _request(lib, x, y, values, extent, cell, method=method, neighbours=neighbours, shift=shift,
                       extra_values=extra_values, models=models, threads=threads, fit=fit, arithmetic=arithmetic)
    samples = ctypes.c_void_p()
    status = lib.mosaro_samples_create(r.x, r.y, r.value, r.sample_count, r.extra_values, r.extra_value_count,
                                       ctypes.byref(samples))
    assert status == 0, lib.mosaro_last_message()
    count = r.sample_count
    outputs = {name: np.full(count, np.nan, dtype=np.float32)
               for name in ("estimate", "variance", "residual", "standardised_residual")}
    outputs["fold"] = np.full(count, -1, dtype=np.int32)
    v = Validation(ctypes.sizeof(Validation), folds, seed, *(_pointer(outputs[name]) for name in (
        "estimate", "variance", "residual", "standardised_residual")),
        outputs["fold"].ctypes.data_as(ctypes.POINTER(ctypes.c_int)))
    summary = ValidationSummary()
    summary.struct_size = ctypes.sizeof(summary)
    status = lib.mosaro_cross_validate(samples, ctypes.byref(r), ctypes.byref(v), ctypes.byref(summary))
    message = lib.mosaro_last_message().decode()
    lib.mosaro_samples_free(samples)
    return status, message, outputs, {name: getattr(summary, name) for name, _ in ValidationSummary._fields_[1:]}


def legacy_grid(lib, table, value_column, rect, cell_x, cell_y, cells_x, cells_y, neighbours, method,
                parameter=0.0, method_array=None):
    table = np.ascontiguousarray(table, dtype=np.float32)
    rect = np.ascontiguousarray(rect, dtype=np.float32)
    array = None if method_array is None else np.ascontiguousarray(method_array, dtype=np.float32)
    out = np.zeros((cells_y + 1, cells_x + 1), dtype=np.float32)
    lib.KARVO_ScatToGridWithKrig(_pointer(table), value_column, table.shape[0], table.shape[1], _pointer(rect),
                                 cell_x, cell_y, cells_x, cells_y, neighbours, method, parameter,
                                 _pointer(array), _pointer(out))
    return out
