"""The library's C API through ctypes: the reference the module's results are
compared with, called with the same arrays and fields but no binding code."""

import ctypes
import math
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


# ---------------------------------------------------------------------------
# The double-precision API: models, experimental variograms, prediction.

_double_p = ctypes.POINTER(ctypes.c_double)
MAX_STRUCTURES = 8


class Structure(ctypes.Structure):
    _fields_ = [("family", ctypes.c_int), ("partial_sill", ctypes.c_double), ("range", ctypes.c_double),
                ("shape", ctypes.c_double), ("azimuth", ctypes.c_double), ("ratio", ctypes.c_double)]


class NestedModel(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("nugget", ctypes.c_double), ("structure_count", ctypes.c_int),
                ("structures", Structure * MAX_STRUCTURES)]


class VariogramOptions(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("cutoff", ctypes.c_double), ("width", ctypes.c_double),
                ("azimuths", _double_p), ("direction_count", ctypes.c_int), ("tolerance", ctypes.c_double),
                ("bandwidth", ctypes.c_double), ("estimator", ctypes.c_int), ("cloud", ctypes.c_int),
                ("map", ctypes.c_int), ("thread_count", ctypes.c_int)]


class LagClasses(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("omnidirectional", ctypes.c_int), ("azimuth", ctypes.c_double),
                ("tolerance", ctypes.c_double), ("cutoff", ctypes.c_double), ("width", ctypes.c_double),
                ("class_count", ctypes.c_int), ("lower", _double_p), ("upper", _double_p), ("pairs", _double_p),
                ("distance", _double_p), ("gamma", _double_p)]


class Prediction(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t),
        ("x", _double_p), ("y", _double_p), ("value", _double_p), ("sample_count", ctypes.c_int),
        ("covariate_count", ctypes.c_int), ("sample_covariates", ctypes.POINTER(_double_p)),
        ("target_covariates", ctypes.POINTER(_double_p)),
        ("kind", ctypes.c_int), ("mean", ctypes.c_double), ("drift_terms", ctypes.c_uint),
        ("lognormal", ctypes.c_int), ("shift", ctypes.c_double),
        ("model", ctypes.POINTER(NestedModel)), ("variogram", ctypes.POINTER(VariogramOptions)),
        ("fit_template", ctypes.c_char_p), ("fit_weights", ctypes.c_int), ("model_used", ctypes.POINTER(NestedModel)),
        ("nmax", ctypes.c_int), ("nmin", ctypes.c_int), ("max_distance", ctypes.c_double),
        ("anisotropic_search", ctypes.c_int), ("sectors", ctypes.c_int), ("max_per_sector", ctypes.c_int),
        ("target", ctypes.c_int),
        ("grid_x", ctypes.c_double), ("grid_y", ctypes.c_double), ("cell_size_x", ctypes.c_double),
        ("cell_size_y", ctypes.c_double), ("node_count_x", ctypes.c_int), ("node_count_y", ctypes.c_int),
        ("window_column", ctypes.c_int), ("window_row", ctypes.c_int), ("window_columns", ctypes.c_int),
        ("window_rows", ctypes.c_int),
        ("target_x", _double_p), ("target_y", _double_p), ("target_count", ctypes.c_longlong),
        ("block_size_x", ctypes.c_double), ("block_size_y", ctypes.c_double), ("block_points_x", ctypes.c_int),
        ("block_points_y", ctypes.c_int),
        ("estimate", _double_p), ("variance", _double_p), ("log_estimate", _double_p), ("log_variance", _double_p),
        ("thread_count", ctypes.c_int), ("progress", PROGRESS), ("progress_user_data", ctypes.c_void_p),
        ("frame", _double_p), ("reciprocal_condition", _double_p),
    ]


class PredictionReport(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("model_fitted", ctypes.c_int),
                ("weighted_squared_error", ctypes.c_double), ("samples_used", ctypes.c_int),
                ("samples_left_out", ctypes.c_int), ("targets", ctypes.c_longlong), ("no_data", ctypes.c_longlong),
                ("too_few_neighbours", ctypes.c_longlong), ("ill_conditioned", ctypes.c_longlong),
                ("minimum_norm", ctypes.c_longlong), ("smallest_reciprocal_condition", ctypes.c_double),
                ("variogram_cutoff", ctypes.c_double), ("variogram_width", ctypes.c_double)]


def _check_size(lib, init, struct):
    # As for the request: a mirror that lacks a field would misread every
    # field after it, so its size must be the library's.
    roomy = ctypes.create_string_buffer(4096)
    init(roomy, len(roomy))
    assert ctypes.c_size_t.from_buffer(roomy).value == ctypes.sizeof(struct), struct.__name__


def double_library():
    lib = library()
    for name, struct in (("mosaro_model_init_size", NestedModel),
                         ("mosaro_variogram_options_init_size", VariogramOptions),
                         ("mosaro_prediction_init_size", Prediction)):
        getattr(lib, name).argtypes = [ctypes.c_void_p, ctypes.c_size_t]
        _check_size(lib, getattr(lib, name), struct)
    lib.mosaro_model_parse.argtypes = [ctypes.c_char_p, ctypes.POINTER(NestedModel)]
    lib.mosaro_model_format.argtypes = [ctypes.POINTER(NestedModel), ctypes.c_char_p, ctypes.c_size_t]
    lib.mosaro_model_semivariance.argtypes = [ctypes.POINTER(NestedModel), ctypes.c_double, ctypes.c_double]
    lib.mosaro_model_semivariance.restype = ctypes.c_double
    lib.mosaro_variogram_compute.argtypes = [_double_p, _double_p, _double_p, ctypes.c_int,
                                             ctypes.POINTER(VariogramOptions), ctypes.POINTER(ctypes.c_void_p)]
    lib.mosaro_variogram_free.argtypes = [ctypes.c_void_p]
    lib.mosaro_variogram_direction_count.argtypes = [ctypes.c_void_p]
    lib.mosaro_variogram_classes.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.POINTER(LagClasses)]
    lib.mosaro_variogram_cloud.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_longlong),
                                           ctypes.POINTER(ctypes.POINTER(ctypes.c_int)),
                                           ctypes.POINTER(ctypes.POINTER(ctypes.c_int)),
                                           ctypes.POINTER(_double_p), ctypes.POINTER(_double_p)]
    lib.mosaro_variogram_map.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int), _double_p, _double_p,
                                         ctypes.POINTER(_double_p), ctypes.POINTER(_double_p)]
    lib.mosaro_variogram_fit.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_int,
                                         ctypes.POINTER(NestedModel), _double_p]
    lib.mosaro_predict.argtypes = [ctypes.POINTER(Prediction), ctypes.POINTER(PredictionReport)]
    return lib


def new_model(lib):
    m = NestedModel()
    lib.mosaro_model_init_size(ctypes.byref(m), ctypes.sizeof(m))
    return m


def parse_model(lib, text):
    """The library's struct of a model in the notation (asserting it parses)."""
    m = new_model(lib)
    assert lib.mosaro_model_parse(text.encode(), ctypes.byref(m)) == 0, lib.mosaro_last_message()
    return m


def format_model(lib, m):
    text = ctypes.create_string_buffer(4096)
    assert lib.mosaro_model_format(ctypes.byref(m), text, len(text)) == 0, lib.mosaro_last_message()
    return text.value.decode()


def model_fields(m):
    """(nugget, [(family, psill, range, shape, azimuth, ratio), ...]) of a struct."""
    return m.nugget, [tuple(getattr(s, f) for f, _ in Structure._fields_) for s in m.structures[:m.structure_count]]


def _doubles(array):
    return None if array is None else np.ascontiguousarray(array, dtype=np.float64)


def _dp(array):
    return None if array is None else array.ctypes.data_as(_double_p)


def _copy(pointer, count):
    return np.array(pointer[:count], dtype=np.float64) if count else np.zeros(0)


def variogram_options(lib, *, cutoff=0.0, width=0.0, azimuths=None, tolerance=0.0, bandwidth=0.0, estimator=0,
                      cloud=False, map=False, threads=0):
    """The options struct and the array it points into."""
    o = VariogramOptions()
    lib.mosaro_variogram_options_init_size(ctypes.byref(o), ctypes.sizeof(o))
    azimuths = _doubles(azimuths)
    o.cutoff, o.width, o.tolerance, o.bandwidth = cutoff, width, tolerance, bandwidth
    if azimuths is not None:
        o.azimuths, o.direction_count = _dp(azimuths), len(azimuths)
    o.estimator, o.cloud, o.map, o.thread_count = estimator, int(cloud), int(map), threads
    return o, azimuths


def variogram(lib, x, y, values, *, fit=None, weights=0, **options):
    """mosaro_variogram_compute and its accessors; returns (status, message,
    dict of directions (each with its fit when fit is not None: a template
    or "" for the library's default), cloud and map)."""
    x, y, values = (_doubles(a) for a in (x, y, values))
    o, keep = variogram_options(lib, **options)
    handle = ctypes.c_void_p()
    status = lib.mosaro_variogram_compute(_dp(x), _dp(y), _dp(values), len(x), ctypes.byref(o), ctypes.byref(handle))
    if status != 0:
        return status, lib.mosaro_last_message().decode(), None
    try:
        directions = []
        for d in range(lib.mosaro_variogram_direction_count(handle)):
            c = LagClasses()
            c.struct_size = ctypes.sizeof(c)
            assert lib.mosaro_variogram_classes(handle, d, ctypes.byref(c)) == 0
            entry = {name: _copy(getattr(c, name), c.class_count)
                     for name in ("lower", "upper", "pairs", "distance", "gamma")}
            entry.update(omnidirectional=bool(c.omnidirectional), azimuth=c.azimuth, tolerance=c.tolerance,
                         cutoff=c.cutoff, width=c.width)
            if fit is not None:
                m, sse = new_model(lib), ctypes.c_double()
                fitted = lib.mosaro_variogram_fit(handle, d, fit.encode() if fit else None, weights, ctypes.byref(m),
                                                  ctypes.byref(sse))
                entry["fit"] = (fitted, lib.mosaro_last_message().decode(), model_fields(m), sse.value)
            directions.append(entry)
        result = {"directions": directions, "cloud": None, "map": None}
        if options.get("cloud"):
            count = ctypes.c_longlong()
            i, j = ctypes.POINTER(ctypes.c_int)(), ctypes.POINTER(ctypes.c_int)()
            distance, gamma = _double_p(), _double_p()
            assert lib.mosaro_variogram_cloud(handle, ctypes.byref(count), ctypes.byref(i), ctypes.byref(j),
                                              ctypes.byref(distance), ctypes.byref(gamma)) == 0
            n = count.value
            result["cloud"] = {"i": np.array(i[:n], dtype=np.int32), "j": np.array(j[:n], dtype=np.int32),
                               "distance": _copy(distance, n), "gamma": _copy(gamma, n)}
        if options.get("map"):
            size, first, width = ctypes.c_int(), ctypes.c_double(), ctypes.c_double()
            pairs, gamma = _double_p(), _double_p()
            assert lib.mosaro_variogram_map(handle, ctypes.byref(size), ctypes.byref(first), ctypes.byref(width),
                                            ctypes.byref(pairs), ctypes.byref(gamma)) == 0
            n = size.value
            result["map"] = {"first": first.value, "width": width.value,
                             "pairs": _copy(pairs, n * n).reshape(n, n), "gamma": _copy(gamma, n * n).reshape(n, n)}
        return 0, "", result
    finally:
        lib.mosaro_variogram_free(handle)


def predict(lib, x, y, values, *, grid=None, targets=None, model=None, covariates=(), kind=0, mean=math.nan,
            drift_terms=0, lognormal=False, shift=0.0, variogram=None, fit_template=None, fit_weights=0, nmax=0,
            nmin=0, max_distance=0.0, anisotropic_search=False, sectors=0, max_per_sector=0, block=(0.0, 0.0),
            block_points=(0, 0), variance=True, threads=0):
    """mosaro_predict over float64 copies; grid = (x0, y0, dx, dy, nx, ny) or
    targets = (tx, ty); model a string in the notation or None (fitted);
    covariates [(at_samples, at_targets)]; variogram a dict of
    variogram_options' keywords. Returns (status, message, outputs, report
    dict, model_used fields)."""
    x, y, values = (_doubles(a) for a in (x, y, values))
    keep = [x, y, values]
    p = Prediction()
    lib.mosaro_prediction_init_size(ctypes.byref(p), ctypes.sizeof(p))
    p.x, p.y, p.value, p.sample_count = _dp(x), _dp(y), _dp(values), len(x)
    if grid is not None:
        p.target = 0
        p.grid_x, p.grid_y, p.cell_size_x, p.cell_size_y, p.node_count_x, p.node_count_y = grid
        shape = (grid[5], grid[4])
    else:
        tx, ty = _doubles(targets[0]), _doubles(targets[1])
        keep += [tx, ty]
        p.target, p.target_x, p.target_y, p.target_count = 1, _dp(tx), _dp(ty), len(tx)
        shape = (len(tx),)
    if covariates:
        at_samples = [_doubles(c[0]).ravel() for c in covariates]
        at_targets = [_doubles(c[1]).ravel() for c in covariates]
        keep += at_samples + at_targets
        p.covariate_count = len(covariates)
        p.sample_covariates = (_double_p * len(covariates))(*[_dp(a) for a in at_samples])
        p.target_covariates = (_double_p * len(covariates))(*[_dp(a) for a in at_targets])
    p.kind, p.mean, p.drift_terms, p.lognormal, p.shift = kind, mean, drift_terms, int(lognormal), shift
    if model is not None:
        given = parse_model(lib, model)
        p.model = ctypes.pointer(given)
    if variogram is not None:
        options, azimuths = variogram_options(lib, **variogram)
        keep.append(azimuths)
        p.variogram = ctypes.pointer(options)
    if fit_template is not None:
        p.fit_template = fit_template.encode()
    p.fit_weights = fit_weights
    used = new_model(lib)
    p.model_used = ctypes.pointer(used)
    p.nmax, p.nmin, p.max_distance, p.anisotropic_search = nmax, nmin, max_distance, int(anisotropic_search)
    p.sectors, p.max_per_sector = sectors, max_per_sector
    p.block_size_x, p.block_size_y = block
    p.block_points_x, p.block_points_y = block_points
    outputs = {"estimate": np.full(shape, np.nan)}
    if variance:
        outputs["variance"] = np.full(shape, np.nan)
    if lognormal:
        outputs["log_estimate"] = np.full(shape, np.nan)
        if variance:
            outputs["log_variance"] = np.full(shape, np.nan)
    for name, array in outputs.items():
        setattr(p, name, _dp(array))
    p.thread_count = threads
    report = PredictionReport()
    report.struct_size = ctypes.sizeof(report)
    status = lib.mosaro_predict(ctypes.byref(p), ctypes.byref(report))
    return (status, lib.mosaro_last_message().decode(), outputs,
            {name: getattr(report, name) for name, _ in PredictionReport._fields_[1:]}, model_fields(used))
