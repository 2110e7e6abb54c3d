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


def library():
    lib = ctypes.CDLL(os.environ.get("MOSARO_LIBRARY", "libmosaro.so"))
    lib.mosaro_request_init_size.argtypes = [ctypes.POINTER(Request), ctypes.c_size_t]
    lib.mosaro_grid.argtypes = [ctypes.POINTER(Request)]
    lib.mosaro_last_message.restype = ctypes.c_char_p
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


def grid(lib, x, y, values, extent, cell, size, *, method=1, neighbours=16, shift=0.0, thresholds=None,
         extra_values=(), models=(), variance=False, threads=0, fit=0):
    """mosaro_grid with float32 arrays; returns (status, message, grid, variance)."""
    keep = [np.ascontiguousarray(a, dtype=np.float32) for a in (x, y, values)]
    extras = [np.ascontiguousarray(v, dtype=np.float32) for v in extra_values]
    estimate = np.full((size[1], size[0]), np.nan, dtype=np.float32)
    var = np.full_like(estimate, np.nan) if variance else None
    r = Request()
    lib.mosaro_request_init_size(ctypes.byref(r), ctypes.sizeof(r))
    r.x, r.y, r.value = (_pointer(a) for a in keep)
    r.sample_count = len(keep[0])
    if extras:
        column_pointers = (_float_p * len(extras))(*[_pointer(v) for v in extras])
        r.extra_values = column_pointers
        r.extra_value_count = len(extras)
    r.x_min, r.y_min, r.x_max, r.y_max = extent
    r.cell_size_x, r.cell_size_y = cell
    r.node_count_x, r.node_count_y = size
    r.neighbour_count = neighbours
    r.method = method
    r.method_parameter = shift
    if thresholds is not None:
        thresholds = np.ascontiguousarray(thresholds, dtype=np.float32)
        r.thresholds = _pointer(thresholds)
        r.threshold_count = len(thresholds)
    if models:
        given = (Model * len(models))(*[Model(n, n + p, a, p) for n, p, a in models])
        r.given_models = given
        r.given_model_count = len(models)
    r.thread_count = threads
    r.fit = fit
    r.grid = _pointer(estimate)
    r.variance = _pointer(var)
    status = lib.mosaro_grid(ctypes.byref(r))
    return status, lib.mosaro_last_message().decode(), estimate, var


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
