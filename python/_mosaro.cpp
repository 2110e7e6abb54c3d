// The compiled half of the Python package: a thin layer over the modern C
// API (and the legacy entry point) that moves numpy arrays in and out and
// leaves every decision about arguments to the pure-Python half, except the
// checks that keep the library inside the caller's buffers.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bind_simulation.h"
#include "binding_support.h"
#include "bind_tiles.h"
#include "mosaro.h"

namespace py = pybind11;
using namespace mosaro_binding;

namespace {

// c_style | forcecast: an array that is already contiguous float32 is taken
// as it is; anything else is converted once, here.
using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;

int CountOf(const FloatArray& array, const char* name) {
    if (array.ndim() != 1) throw py::value_error(std::string(name) + " must be one-dimensional");
    if (array.size() > std::numeric_limits<int>::max())
        throw py::value_error(std::string(name) + " has more samples than the library can take (2^31 - 1)");
    return static_cast<int>(array.size());
}

const char* BranchName(mosaro_fit_branch branch) {
    switch (branch) {
        case MOSARO_FIT_SPHERICAL: return "spherical";
        case MOSARO_FIT_STRAIGHT_LINE: return "straight line";
        case MOSARO_FIT_THROUGH_ORIGIN: return "through origin";
        case MOSARO_FIT_GIVEN: return "given";
        case MOSARO_FIT_ROBUST_DIRECTIONAL: return "robust";
        case MOSARO_FIT_ROBUST_OMNIDIRECTIONAL: return "robust omnidirectional";
        case MOSARO_FIT_NOT_RUN: return "not run";
    }
    return "";
}


// A report the library made cannot refuse its own indices: a failure here
// is the library's, and says so.
void Check(mosaro_status status) {
    if (status != MOSARO_OK) throw std::runtime_error(std::string("mosaro: ") + mosaro_last_message());
}

py::dict ModelDict(const mosaro_variogram_model& m) {
    py::dict d;
    d["nugget"] = m.nugget;
    d["partial_sill"] = m.partial_sill;
    d["sill"] = m.sill;
    d["range"] = m.range;
    return d;
}

py::dict TableDict(const mosaro_report* report, int pass, int direction, int pruned) {
    const float *lag = nullptr, *pairs = nullptr, *semivariance = nullptr;
    int count = 0;
    Check(mosaro_report_table(report, pass, direction, pruned, &lag, &pairs, &semivariance, &count));
    auto copy = [count](const float* from) {
        py::array_t<float> to(count);
        if (count > 0) std::copy(from, from + count, to.mutable_data());
        return to;
    };
    py::dict d;
    d["lag"] = copy(lag);
    d["pairs"] = copy(pairs);
    d["semivariance"] = copy(semivariance);
    return d;
}

py::dict NodeDict(const mosaro_report* report, int pass) {
    mosaro_node_summary n{};
    n.struct_size = sizeof n;
    Check(mosaro_report_nodes(report, pass, &n));
    py::dict d;
    d["node_count"] = n.node_count;
    d["no_data"] = n.no_data_count;
    d["ill_conditioned"] = n.ill_conditioned_count;
    d["minimum_norm"] = n.minimum_norm_count;
    d["smallest_reciprocal_condition"] = n.smallest_reciprocal_condition;
    return d;
}

// One dict per pass: plain Python data that outlives the report.
py::list ReportList(const mosaro_report* report, bool tables, bool indicator) {
    py::list passes;
    for (int p = 0; p < mosaro_report_pass_count(report); ++p) {
        mosaro_pass_info r{};
        r.struct_size = sizeof r;
        Check(mosaro_report_pass_info(report, p, &r));
        py::dict pass;
        pass["threshold"] = indicator ? py::object(py::float_(r.threshold)) : py::object(py::none());
        static const char* const kDirections[3] = {"x", "y", "omnidirectional"};
        for (int d = 0; d < 3; ++d) {
            mosaro_direction_fit fit{};
            fit.struct_size = sizeof fit;
            Check(mosaro_report_fit(report, p, d, &fit));
            // Only a robust run has an omnidirectional variogram.
            if (d == 2 && fit.fit != MOSARO_FIT_ROBUST) continue;
            py::dict direction;
            direction["model"] = ModelDict(d < 2 ? r.models[d] : fit.model);
            direction["branch"] = BranchName(d < 2 ? r.branches[d] : fit.branch);
            direction["reason"] = fit.reason != nullptr ? fit.reason : "";
            if (d < 2) {
                direction["legacy_model"] = ModelDict(fit.legacy_model);
                direction["legacy_branch"] = BranchName(fit.legacy_branch);
            }
            if (tables) {
                direction["experimental"] = TableDict(report, p, d, 0);
                if (d < 2) direction["pruned"] = TableDict(report, p, d, 1);
            }
            pass[kDirections[d]] = direction;
        }
        pass["partial_sill"] = r.partial_sill;
        pass["nugget"] = r.nugget;
        pass["sill"] = r.sill;
        pass["scale"] = r.scale;
        pass["scaled_range"] = r.scaled_range;
        pass["anisotropy"] = r.anisotropy;
        pass["anisotropy_reset"] = r.anisotropy_reset != 0;
        pass["nodes"] = NodeDict(report, p);
        passes.append(pass);
    }
    return passes;
}

struct ReportOwner {
    mosaro_report* report = nullptr;
    ~ReportOwner() { mosaro_report_free(report); }
};

// The samples as the library takes them, checked to be of one length so
// that it never reads past an array.
struct SampleColumns {
    int count = 0;
    std::vector<const float*> extra;
};

SampleColumns CheckSamples(const FloatArray& x, const FloatArray& y, const FloatArray& value,
                           const std::vector<FloatArray>& extra_values) {
    SampleColumns s;
    s.count = CountOf(x, "x");
    if (CountOf(y, "y") != s.count || CountOf(value, "values") != s.count)
        throw py::value_error("x, y and values must have the same length (got " + std::to_string(x.size()) + ", " +
                              std::to_string(y.size()) + ", " + std::to_string(value.size()) + ")");
    for (const FloatArray& column : extra_values) {
        if (CountOf(column, "extra_values") != s.count)
            throw py::value_error("every extra_values column must have one value per sample (got " +
                                  std::to_string(column.size()) + " for " + std::to_string(s.count) + ")");
        s.extra.push_back(column.data());
    }
    return s;
}

// What grid and cross_validate put into a request alike. `given` and
// `progress` must outlive the request.
struct RunArguments {
    std::array<float, 4> extent;
    std::array<float, 2> cell;
    int neighbours;
    int method;
    float method_parameter;
    std::vector<mosaro_variogram_model> given;
    int fit;
    int arithmetic;
    int threads;
};

void FillRequest(mosaro_request& r, const FloatArray& x, const FloatArray& y, const FloatArray& value,
                 const SampleColumns& samples, const RunArguments& a, Progress& progress, mosaro_report** report) {
    mosaro_request_init(&r);
    r.x = x.data();
    r.y = y.data();
    r.value = value.data();
    r.sample_count = samples.count;
    r.extra_values = samples.extra.empty() ? nullptr : samples.extra.data();
    r.extra_value_count = static_cast<int>(samples.extra.size());
    r.x_min = a.extent[0];
    r.y_min = a.extent[1];
    r.x_max = a.extent[2];
    r.y_max = a.extent[3];
    r.cell_size_x = a.cell[0];
    r.cell_size_y = a.cell[1];
    r.neighbour_count = a.neighbours;
    r.method = static_cast<mosaro_method>(a.method);
    r.method_parameter = a.method_parameter;
    r.thread_count = a.threads;
    r.fit = static_cast<mosaro_fit>(a.fit);
    r.arithmetic = static_cast<mosaro_arithmetic>(a.arithmetic);
    r.given_models = a.given.empty() ? nullptr : a.given.data();
    r.given_model_count = static_cast<int>(a.given.size());
    r.report = report;
    r.progress = &Progress::Callback;
    r.progress_user_data = &progress;
}

RunArguments Arguments(std::array<float, 4> extent, std::array<float, 2> cell, int neighbours, int method,
                       float method_parameter, const std::vector<std::array<float, 3>>& models, int fit, int arithmetic,
                       int threads) {
    RunArguments a{extent, cell, neighbours, method, method_parameter, {}, fit, arithmetic, threads};
    for (const auto& m : models) a.given.push_back({m[0], m[0] + m[1], m[2], m[1]});
    return a;
}

// Returns (status, message, grid, variance, report, stopped_by_user,
// reciprocal_condition); the pure-Python half turns a status into an
// exception or a warning.
py::tuple Grid(const FloatArray& x, const FloatArray& y, const FloatArray& value,
               const std::vector<FloatArray>& extra_values, std::array<float, 4> extent, std::array<float, 2> cell,
               std::array<int, 2> nodes, int neighbours, int method, float method_parameter,
               const std::optional<FloatArray>& thresholds, const std::vector<std::array<float, 3>>& models,
               bool want_variance, bool report_tables, int fit, int arithmetic, bool want_condition, int threads,
               py::object progress_function) {
    const SampleColumns samples = CheckSamples(x, y, value, extra_values);
    if (nodes[0] < 1 || nodes[1] < 1)
        throw py::value_error("a grid needs at least one node each way (got " + std::to_string(nodes[0]) + " x " +
                              std::to_string(nodes[1]) + ")");
    const RunArguments arguments =
        Arguments(extent, cell, neighbours, method, method_parameter, models, fit, arithmetic, threads);

    const auto shape = std::vector<py::ssize_t>{nodes[1], nodes[0]};
    py::array_t<float> grid(shape);
    std::optional<py::array_t<float>> variance, condition;
    if (want_variance) variance.emplace(shape);
    if (want_condition) condition.emplace(shape);

    Progress progress;
    progress.user = std::move(progress_function);
    ReportOwner owner;
    mosaro_request r;
    FillRequest(r, x, y, value, samples, arguments, progress, &owner.report);
    r.node_count_x = nodes[0];
    r.node_count_y = nodes[1];
    if (thresholds) {
        r.thresholds = thresholds->data();
        r.threshold_count = CountOf(*thresholds, "thresholds");
    }
    r.grid = grid.mutable_data();
    r.variance = variance ? variance->mutable_data() : nullptr;
    r.reciprocal_condition = condition ? condition->mutable_data() : nullptr;
    r.report_tables = report_tables ? 1 : 0;

    mosaro_status status;
    {
        py::gil_scoped_release released;
        status = mosaro_grid(&r);
    }
    if (progress.error) throw std::move(*progress.error);
    const std::string message = mosaro_last_message();
    if (status < 0)
        return py::make_tuple(static_cast<int>(status), message, py::none(), py::none(), py::none(),
                              progress.stopped_by_user, py::none());
    return py::make_tuple(static_cast<int>(status), message, grid,
                          variance ? py::object(*variance) : py::object(py::none()),
                          ReportList(owner.report, report_tables, method == MOSARO_METHOD_INDICATOR), false,
                          condition ? py::object(*condition) : py::object(py::none()));
}

struct SamplesOwner {
    mosaro_samples* samples = nullptr;
    ~SamplesOwner() { mosaro_samples_free(samples); }
};

// Returns (status, message, outputs, summary, report, stopped_by_user):
// outputs a dict of per-sample arrays, summary a dict, both None on an error.
py::tuple CrossValidate(const FloatArray& x, const FloatArray& y, const FloatArray& value,
                        const std::vector<FloatArray>& extra_values, std::array<float, 4> extent,
                        std::array<float, 2> cell, int neighbours, int method, float method_parameter,
                        const std::vector<std::array<float, 3>>& models, int fit, int arithmetic, int folds,
                        unsigned long long seed, int threads, py::object progress_function) {
    const SampleColumns samples = CheckSamples(x, y, value, extra_values);
    const RunArguments arguments =
        Arguments(extent, cell, neighbours, method, method_parameter, models, fit, arithmetic, threads);
    const py::ssize_t count = samples.count;
    py::array_t<float> estimate(count), variance(count), residual(count), standardised(count);
    py::array_t<int> fold(count);

    Progress progress;
    progress.user = std::move(progress_function);
    ReportOwner owner;
    mosaro_request r;
    FillRequest(r, x, y, value, samples, arguments, progress, &owner.report);
    mosaro_validation validation{};
    validation.struct_size = sizeof validation;
    validation.folds = folds;
    validation.seed = seed;
    validation.estimate = estimate.mutable_data();
    validation.variance = variance.mutable_data();
    validation.residual = residual.mutable_data();
    validation.standardised_residual = standardised.mutable_data();
    validation.fold = fold.mutable_data();
    mosaro_validation_summary summary{};
    summary.struct_size = sizeof summary;

    mosaro_status status;
    {
        py::gil_scoped_release released;
        SamplesOwner prepared;
        status = mosaro_samples_create(r.x, r.y, r.value, r.sample_count, r.extra_values, r.extra_value_count,
                                       &prepared.samples);
        if (status == MOSARO_OK) status = mosaro_cross_validate(prepared.samples, &r, &validation, &summary);
    }
    if (progress.error) throw std::move(*progress.error);
    const std::string message = mosaro_last_message();
    if (status < 0)
        return py::make_tuple(static_cast<int>(status), message, py::none(), py::none(), py::none(),
                              progress.stopped_by_user);
    py::dict outputs;
    outputs["estimate"] = estimate;
    outputs["variance"] = variance;
    outputs["residual"] = residual;
    outputs["standardised_residual"] = standardised;
    outputs["fold"] = fold;
    py::dict s;
    s["estimated"] = summary.estimated;
    s["not_estimated"] = summary.not_estimated;
    s["mean_error"] = summary.mean_error;
    s["mean_absolute_error"] = summary.mean_absolute_error;
    s["root_mean_square_error"] = summary.root_mean_square_error;
    s["mean_squared_deviation_ratio"] = summary.mean_squared_deviation_ratio;
    s["correlation"] = summary.correlation;
    return py::make_tuple(static_cast<int>(status), message, outputs, s, ReportList(owner.report, false, false), false);
}

// The legacy entry point as a legacy host calls it. The library already
// refuses a value column outside the row and negative counts; what it cannot
// know is the length of the method array, so that is checked here.
py::array_t<float> LegacyGrid(const FloatArray& data, int value_column, const FloatArray& rect, float cell_size_x,
                              float cell_size_y, int cell_count_x, int cell_count_y, int neighbours, int method,
                              float method_parameter, const std::optional<FloatArray>& method_array) {
    if (data.ndim() != 2) throw py::value_error("data must be a two-dimensional table (one row per sample)");
    if (data.shape(0) > std::numeric_limits<int>::max() || data.shape(1) > std::numeric_limits<int>::max())
        throw py::value_error("data has more rows or columns than the library can take (2^31 - 1)");
    if (rect.ndim() != 1 || rect.size() != 4)
        throw py::value_error("rect must hold four numbers: xmin, ymin, xmax, ymax");
    if (method == MOSARO_METHOD_INDICATOR || method == MOSARO_METHOD_COKRIGING) {
        // The library reads trunc(method_parameter) floats of the array.
        const double wanted = std::isfinite(method_parameter) ? std::trunc(static_cast<double>(method_parameter)) : 0;
        const py::ssize_t given = method_array ? method_array->size() : 0;
        if (wanted > 0 && method_array && static_cast<double>(given) < wanted)
            throw py::value_error("method_array holds " + std::to_string(given) + " values but method_parameter " +
                                  "asks for " + std::to_string(static_cast<long long>(wanted)));
    }
    // Negative counts make the library return without writing: an empty grid.
    const py::ssize_t rows = cell_count_y >= 0 ? py::ssize_t{cell_count_y} + 1 : 0;
    const py::ssize_t columns = cell_count_x >= 0 ? py::ssize_t{cell_count_x} + 1 : 0;
    py::array_t<float> grid(std::vector<py::ssize_t>{rows, columns});
    std::fill(grid.mutable_data(), grid.mutable_data() + grid.size(), 0.0f);
    const float* array = method_array ? method_array->data() : nullptr;
    int returned;
    {
        py::gil_scoped_release released;
        returned = KARVO_ScatToGridWithKrig(data.data(), value_column, static_cast<int>(data.shape(0)),
                                            static_cast<int>(data.shape(1)), rect.data(), cell_size_x, cell_size_y,
                                            cell_count_x, cell_count_y, neighbours, method, method_parameter, array,
                                            grid.mutable_data());
    }
    // The legacy call promises 1 whatever it is given; anything else means
    // the library is not the one this module was built against.
    if (returned != 1)
        throw std::runtime_error("mosaro: the legacy entry point returned " + std::to_string(returned) + ", not 1");
    return grid;
}

// The library's grid layout of (extent or samples, cell or node counts):
// ((x_min, y_min, x_max, y_max), (cell_x, cell_y), (nodes_x, nodes_y)).
py::tuple Layout(std::optional<std::array<double, 4>> extent, const std::vector<double>& x,
                 const std::vector<double>& y, double cell_x, double cell_y, int nodes_x, int nodes_y) {
    if (x.size() != y.size()) throw py::value_error("x and y must have the same length");
    if (x.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw py::value_error("x has more samples than the library can take (2^31 - 1)");
    mosaro_grid_layout g{};
    g.struct_size = sizeof g;
    if (mosaro_grid_layout_choose(extent ? extent->data() : nullptr, x.data(), y.data(), static_cast<int>(x.size()),
                                  cell_x, cell_y, nodes_x, nodes_y, &g) != MOSARO_OK)
        throw py::value_error(mosaro_last_message());
    return py::make_tuple(py::make_tuple(g.x_min, g.y_min, g.x_max, g.y_max),
                          py::make_tuple(g.cell_size_x, g.cell_size_y), py::make_tuple(g.node_count_x, g.node_count_y));
}

// ---------------------------------------------------------------------------
// The double-precision half: models, experimental variograms, prediction.
// Refusals come back as (status, message) for the pure-Python half, which
// knows which of its arguments a status concerns.

// (status, message, model): the model read from the notation.
py::tuple ModelParse(const std::string& text) {
    mosaro_model m;
    mosaro_model_init(&m);
    const mosaro_status status = mosaro_model_parse(text.c_str(), &m);
    if (status != MOSARO_OK) return py::make_tuple(static_cast<int>(status), mosaro_last_message(), py::none());
    return py::make_tuple(0, "", FromModel(m));
}

// (status, message, text): the model in the notation. The library checks
// every parameter here, so this is also how a model made from parts is
// validated.
py::tuple ModelFormat(const ModelTuple& parts) {
    const mosaro_model m = ToModel(parts);
    std::vector<char> text(4096);
    mosaro_status status = mosaro_model_format(&m, text.data(), text.size());
    if (status == MOSARO_ERROR_TOO_LARGE) {
        text.resize(1 << 16);
        status = mosaro_model_format(&m, text.data(), text.size());
    }
    if (status != MOSARO_OK) return py::make_tuple(static_cast<int>(status), mosaro_last_message(), py::none());
    return py::make_tuple(0, "", std::string(text.data()));
}

// gamma(dx, dy) with numpy's broadcasting; NaN for a model the library
// cannot use (Python only hands it checked models).
py::object ModelSemivariance(const ModelTuple& parts, py::object dx, py::object dy) {
    const mosaro_model m = ToModel(parts);
    auto gamma = [m](double along_x, double along_y) { return mosaro_model_semivariance(&m, along_x, along_y); };
    return py::vectorize(gamma)(std::move(dx), std::move(dy));
}

// The families' short names by code (index k - 1).
py::tuple FamilyNames() {
    py::list names;
    for (int code = MOSARO_FAMILY_SPHERICAL; mosaro_family_name(code) != nullptr; ++code)
        names.append(mosaro_family_name(code));
    return py::tuple(names);
}

struct VariogramOwner {
    mosaro_variogram* variogram = nullptr;
    ~VariogramOwner() { mosaro_variogram_free(variogram); }
};

// (status, message, result): the classes of every direction, each with its
// fit when `fit` is true ((status, message, model, sse) per direction), and
// the cloud and the map when the options ask for them. A refusal of the
// computation comes back as its status; a fit that fails is its direction's.
py::tuple Variogram(const DoubleArray& x, const DoubleArray& y, const DoubleArray& value, const py::dict& options,
                    bool fit, const std::optional<std::string>& fit_template, int fit_weights) {
    const int count = DoubleSamples(x, y, value);
    mosaro_variogram_options o;
    std::vector<double> azimuths;
    FillVariogramOptions(options, o, azimuths);

    VariogramOwner owner;
    struct Fitted {
        mosaro_status status;
        std::string message;
        mosaro_model model;
        double sse;
    };
    std::vector<Fitted> fits;
    mosaro_status status;
    {
        py::gil_scoped_release released;
        status = mosaro_variogram_compute(x.data(), y.data(), value.data(), count, &o, &owner.variogram);
        const int directions = status == MOSARO_OK ? mosaro_variogram_direction_count(owner.variogram) : 0;
        for (int d = 0; fit && d < directions; ++d) {
            Fitted f{};
            mosaro_model_init(&f.model);
            f.sse = std::numeric_limits<double>::quiet_NaN();
            f.status = mosaro_variogram_fit(owner.variogram, d, fit_template ? fit_template->c_str() : nullptr,
                                            fit_weights, &f.model, &f.sse);
            if (f.status != MOSARO_OK) f.message = mosaro_last_message();
            fits.push_back(std::move(f));
        }
    }
    if (status != MOSARO_OK) return py::make_tuple(static_cast<int>(status), mosaro_last_message(), py::none());

    py::list directions;
    for (int d = 0; d < mosaro_variogram_direction_count(owner.variogram); ++d) {
        mosaro_lag_classes c{};
        c.struct_size = sizeof c;
        const mosaro_status classes = mosaro_variogram_classes(owner.variogram, d, &c);
        if (classes != MOSARO_OK) return Refusal(classes) + py::make_tuple(py::none());
        py::dict direction = ClassesDict(c);
        if (fit) {
            const Fitted& f = fits[static_cast<std::size_t>(d)];
            direction["fit"] = f.status == MOSARO_OK
                                   ? py::make_tuple(0, "", FromModel(f.model), f.sse)
                                   : py::make_tuple(static_cast<int>(f.status), f.message, py::none(), py::none());
        }
        directions.append(direction);
    }
    py::dict result;
    result["directions"] = directions;
    result["cloud"] = py::none();
    result["map"] = py::none();
    if (o.cloud != 0) {
        long long pairs = 0;
        const int *i = nullptr, *j = nullptr;
        const double *distance = nullptr, *gamma = nullptr;
        const mosaro_status cloud = mosaro_variogram_cloud(owner.variogram, &pairs, &i, &j, &distance, &gamma);
        if (cloud != MOSARO_OK) return Refusal(cloud) + py::make_tuple(py::none());
        const auto n = static_cast<py::ssize_t>(pairs);
        py::array_t<int> first(n), second(n);
        if (n > 0) {
            std::copy(i, i + n, first.mutable_data());
            std::copy(j, j + n, second.mutable_data());
        }
        py::dict c;
        c["i"] = first;
        c["j"] = second;
        c["distance"] = Copy(distance, n);
        c["gamma"] = Copy(gamma, n);
        result["cloud"] = c;
    }
    if (o.map != 0) {
        int size = 0;
        double first = 0.0, width = 0.0;
        const double *pairs = nullptr, *gamma = nullptr;
        const mosaro_status map = mosaro_variogram_map(owner.variogram, &size, &first, &width, &pairs, &gamma);
        if (map != MOSARO_OK) return Refusal(map) + py::make_tuple(py::none());
        const auto n = static_cast<py::ssize_t>(size);
        py::dict m;
        m["first"] = first;
        m["width"] = width;
        m["pairs"] = Copy(pairs, n * n).reshape({n, n});
        m["gamma"] = Copy(gamma, n * n).reshape({n, n});
        result["map"] = m;
    }
    return py::make_tuple(0, "", result);
}

// The arrays a prediction is handed, kept alive for the call: pybind11
// converts a list or a float32 array into a new array that must outlive
// the library's use of its pointer.
struct PredictionInputs {
    std::vector<DoubleArray> keep;
    std::vector<const double*> sample_covariates, target_covariates;
    std::vector<double> azimuths;
    mosaro_variogram_options variogram;
    mosaro_model model;
    std::string fit_template;
};

// Returns (status, message, outputs, report, model_used, stopped_by_user),
// like grid: outputs a dict of arrays (estimate, and variance, log_estimate,
// log_variance when asked), shaped (rows, columns) for a grid.
py::tuple Predict(const DoubleArray& x, const DoubleArray& y, const DoubleArray& value, const py::dict& a,
                  py::object progress_function) {
    const int count = DoubleSamples(x, y, value);
    PredictionInputs in;
    mosaro_prediction p;
    mosaro_prediction_init(&p);
    p.x = x.data();
    p.y = y.data();
    p.value = value.data();
    p.sample_count = count;

    // Targets first: the covariates at the targets are counted against them.
    std::vector<py::ssize_t> shape;
    const py::object grid = a["grid"];
    if (!grid.is_none()) {
        const auto g = grid.cast<std::tuple<double, double, double, double, int, int>>();
        p.target = MOSARO_TARGET_GRID;
        p.grid_x = std::get<0>(g);
        p.grid_y = std::get<1>(g);
        p.cell_size_x = std::get<2>(g);
        p.cell_size_y = std::get<3>(g);
        p.node_count_x = std::get<4>(g);
        p.node_count_y = std::get<5>(g);
        if (p.node_count_x < 1 || p.node_count_y < 1) throw py::value_error("a grid needs at least one node each way");
        shape = {p.node_count_y, p.node_count_x};
    } else {
        in.keep.push_back(Get<DoubleArray>(a, "targets_x"));
        in.keep.push_back(Get<DoubleArray>(a, "targets_y"));
        const DoubleArray &tx = in.keep[in.keep.size() - 2], &ty = in.keep.back();
        if (tx.ndim() != 1 || ty.ndim() != 1 || tx.size() != ty.size())
            throw py::value_error("targets_x and targets_y must be one-dimensional and of one length (got " +
                                  std::to_string(tx.size()) + " and " + std::to_string(ty.size()) + ")");
        p.target = MOSARO_TARGET_POINTS;
        p.target_x = tx.data();
        p.target_y = ty.data();
        p.target_count = static_cast<long long>(tx.size());
        shape = {static_cast<py::ssize_t>(tx.size())};
    }
    py::ssize_t targets = 1;
    for (py::ssize_t extent : shape) targets *= extent;

    const auto sample_covariates = Get<std::vector<DoubleArray>>(a, "sample_covariates");
    const auto target_covariates = Get<std::vector<DoubleArray>>(a, "target_covariates");
    if (sample_covariates.size() != target_covariates.size() ||
        sample_covariates.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw py::value_error("covariates: one array at the samples and one at the targets each");
    for (std::size_t c = 0; c < sample_covariates.size(); ++c) {
        if (sample_covariates[c].size() != count || target_covariates[c].size() != targets)
            throw py::value_error("covariates: covariate " + std::to_string(c) + " has " +
                                  std::to_string(sample_covariates[c].size()) + " values at the samples and " +
                                  std::to_string(target_covariates[c].size()) + " at the targets (wanted " +
                                  std::to_string(count) + " and " + std::to_string(targets) + ")");
        in.keep.push_back(sample_covariates[c]);
        in.sample_covariates.push_back(sample_covariates[c].data());
        in.keep.push_back(target_covariates[c]);
        in.target_covariates.push_back(target_covariates[c].data());
    }
    p.covariate_count = static_cast<int>(in.sample_covariates.size());
    p.sample_covariates = in.sample_covariates.empty() ? nullptr : in.sample_covariates.data();
    p.target_covariates = in.target_covariates.empty() ? nullptr : in.target_covariates.data();

    p.kind = Get<int>(a, "kind") == 1 ? MOSARO_KIND_SIMPLE : MOSARO_KIND_ORDINARY;
    p.mean = Get<double>(a, "mean");
    p.drift_terms = Get<unsigned>(a, "drift_terms");
    p.lognormal = Get<bool>(a, "lognormal") ? 1 : 0;
    p.shift = Get<double>(a, "shift");

    const py::object model = a["model"];
    if (!model.is_none()) {
        in.model = ToModel(model.cast<ModelTuple>());
        p.model = &in.model;
    }
    FillVariogramOptions(Get<py::dict>(a, "variogram"), in.variogram, in.azimuths);
    p.variogram = &in.variogram;
    const py::object fit_template = a["fit_template"];
    if (!fit_template.is_none()) {
        in.fit_template = fit_template.cast<std::string>();
        p.fit_template = in.fit_template.c_str();
    }
    p.fit_weights = Get<int>(a, "fit_weights");
    mosaro_model used;
    mosaro_model_init(&used);
    p.model_used = &used;

    FillNeighbourhood(a, p);

    py::dict outputs;
    auto output = [&](const char* name) {
        py::array_t<double> array(shape);
        outputs[name] = array;
        return array.mutable_data();
    };
    p.estimate = output("estimate");
    if (Get<bool>(a, "variance")) p.variance = output("variance");
    if (p.lognormal != 0 && Get<bool>(a, "log_outputs")) {
        p.log_estimate = output("log_estimate");
        if (p.variance != nullptr) p.log_variance = output("log_variance");
    }

    Progress progress;
    progress.user = std::move(progress_function);
    p.progress = &Progress::Callback;
    p.progress_user_data = &progress;
    mosaro_prediction_report report{};
    report.struct_size = sizeof report;
    mosaro_status status;
    {
        py::gil_scoped_release released;
        status = mosaro_predict(&p, &report);
    }
    if (progress.error) throw std::move(*progress.error);
    const std::string message = mosaro_last_message();
    if (status != MOSARO_OK)
        return py::make_tuple(static_cast<int>(status), message, py::none(), py::none(), py::none(),
                              progress.stopped_by_user);
    py::dict r;
    r["model_fitted"] = report.model_fitted != 0;
    r["weighted_squared_error"] = report.weighted_squared_error;
    r["samples_used"] = report.samples_used;
    r["samples_left_out"] = report.samples_left_out;
    r["targets"] = report.targets;
    r["no_data"] = report.no_data;
    r["too_few_neighbours"] = report.too_few_neighbours;
    r["ill_conditioned"] = report.ill_conditioned;
    r["minimum_norm"] = report.minimum_norm;
    r["smallest_reciprocal_condition"] = report.smallest_reciprocal_condition;
    r["variogram_cutoff"] = report.variogram_cutoff;
    r["variogram_width"] = report.variogram_width;
    return py::make_tuple(0, message, outputs, r, FromModel(used), false);
}

// What the prediction makes of a legacy method code: its drift terms and
// whether it is lognormal; None for the methods the prediction does not
// run (indicator kriging, co-kriging).
py::object MethodPrediction(int method) {
    unsigned drift = 0;
    int lognormal = 0;
    if (mosaro_method_prediction(method, &drift, &lognormal) != MOSARO_OK) return py::none();
    return py::make_tuple(drift, lognormal != 0);
}

// The methods' names in code order (code k at index k - 1).
py::tuple MethodNames() {
    py::list names;
    for (int code = 1; mosaro_method_name(code) != nullptr; ++code) names.append(mosaro_method_name(code));
    return py::tuple(names);
}

int MethodCode(const std::string& name) {
    mosaro_method method = MOSARO_METHOD_ORDINARY;
    if (mosaro_method_from_name(name.c_str(), &method) != MOSARO_OK) throw py::value_error(mosaro_last_message());
    return static_cast<int>(method);
}

}  // namespace


PYBIND11_MODULE(_mosaro, m) {
    m.doc() = "Compiled part of mosaro; use the functions of the mosaro package.";
    m.def("version", &mosaro_version);
    m.attr("DEFAULT_NEIGHBOUR_COUNT") = MOSARO_DEFAULT_NEIGHBOUR_COUNT;
    m.def("layout", &Layout, py::arg("extent").none(true), py::arg("x"), py::arg("y"), py::arg("cell_x"),
          py::arg("cell_y"), py::arg("nodes_x"), py::arg("nodes_y"));
    m.def("method_names", &MethodNames);
    m.def("method_code", &MethodCode, py::arg("name"));
    m.def("grid", &Grid, py::arg("x"), py::arg("y"), py::arg("value"), py::arg("extra_values"), py::arg("extent"),
          py::arg("cell"), py::arg("nodes"), py::arg("neighbours"), py::arg("method"), py::arg("method_parameter"),
          py::arg("thresholds").none(true), py::arg("models"), py::arg("variance"), py::arg("report_tables"),
          py::arg("fit"), py::arg("arithmetic"), py::arg("condition"), py::arg("threads"),
          py::arg("progress").none(true));
    m.def("cross_validate", &CrossValidate, py::arg("x"), py::arg("y"), py::arg("value"), py::arg("extra_values"),
          py::arg("extent"), py::arg("cell"), py::arg("neighbours"), py::arg("method"), py::arg("method_parameter"),
          py::arg("models"), py::arg("fit"), py::arg("arithmetic"), py::arg("folds"), py::arg("seed"),
          py::arg("threads"), py::arg("progress").none(true));
    m.def("model_parse", &ModelParse, py::arg("text"));
    m.def("model_format", &ModelFormat, py::arg("model"));
    m.def("model_semivariance", &ModelSemivariance, py::arg("model"), py::arg("dx"), py::arg("dy"));
    m.def("family_names", &FamilyNames);
    m.def("variogram", &Variogram, py::arg("x"), py::arg("y"), py::arg("value"), py::arg("options"), py::arg("fit"),
          py::arg("fit_template").none(true), py::arg("fit_weights"));
    m.def("predict", &Predict, py::arg("x"), py::arg("y"), py::arg("value"), py::arg("arguments"),
          py::arg("progress").none(true));
    m.def("method_prediction", &MethodPrediction, py::arg("method"));
    py::dict drift;
    drift["x"] = MOSARO_DRIFT_X;
    drift["x2"] = MOSARO_DRIFT_XX;
    drift["y"] = MOSARO_DRIFT_Y;
    drift["y2"] = MOSARO_DRIFT_YY;
    drift["xy"] = MOSARO_DRIFT_XY;
    m.attr("DRIFT_TERMS") = drift;
    m.attr("FAMILY_SPHERICAL") = static_cast<int>(MOSARO_FAMILY_SPHERICAL);
    m.attr("MAX_STRUCTURES") = MOSARO_MAX_STRUCTURES;
    m.attr("ERROR_OUT_OF_MEMORY") = static_cast<int>(MOSARO_ERROR_OUT_OF_MEMORY);
    m.attr("ERROR_CANCELLED") = static_cast<int>(MOSARO_ERROR_CANCELLED);
    m.attr("ERROR_INTERNAL") = static_cast<int>(MOSARO_ERROR_INTERNAL);
    m.attr("ERROR_COVARIATES") = static_cast<int>(MOSARO_ERROR_COVARIATES);
    m.attr("ERROR_TARGETS") = static_cast<int>(MOSARO_ERROR_TARGETS);
    m.attr("ERROR_THREAD_COUNT") = static_cast<int>(MOSARO_ERROR_THREAD_COUNT);
    m.attr("ERROR_FIT") = static_cast<int>(MOSARO_ERROR_FIT);
    m.attr("ERROR_MODEL") = static_cast<int>(MOSARO_ERROR_MODEL);
    m.attr("WARNING_NO_FINITE_MODEL") = static_cast<int>(MOSARO_WARNING_NO_FINITE_MODEL);
    m.def("legacy_grid", &LegacyGrid, py::arg("data"), py::arg("value_column"), py::arg("rect"), py::arg("cell_size_x"),
          py::arg("cell_size_y"), py::arg("cell_count_x"), py::arg("cell_count_y"), py::arg("neighbours"),
          py::arg("method"), py::arg("method_parameter"), py::arg("method_array").none(true));
    BindTiles(m);
    BindSimulation(m);
}
