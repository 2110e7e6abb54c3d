// The compiled half of the Python package: a thin layer over the modern C
// API (and the legacy entry point) that moves numpy arrays in and out and
// leaves every decision about arguments to the pure-Python half, except the
// checks that keep the library inside the caller's buffers.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "mosaro.h"

namespace py = pybind11;

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

const char* StageName(mosaro_stage stage) {
    switch (stage) {
        case MOSARO_STAGE_VARIOGRAMS: return "variograms";
        case MOSARO_STAGE_FIT: return "fit";
        case MOSARO_STAGE_SWEEP: return "sweep";
    }
    return "";
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

// The library calls back on the thread that called it, with the GIL
// released; the callback takes the GIL back for the few Python steps. A
// pending Ctrl-C, or an exception from the caller's function, stops the run
// and is raised once the library has returned.
struct Progress {
    py::object user;  // None, or user(stage, pass, fraction) -> False stops
    std::optional<py::error_already_set> error;
    bool stopped_by_user = false;

    static int Callback(void* self, mosaro_stage stage, int pass, double fraction) {
        auto& progress = *static_cast<Progress*>(self);
        py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0) {
            progress.error.emplace();
            return 0;
        }
        if (progress.user.is_none()) return 1;
        try {
            const py::object answer = progress.user(StageName(stage), pass, fraction);
            if (!answer.is_none() && !py::bool_(answer)) {
                progress.stopped_by_user = true;
                return 0;
            }
        } catch (py::error_already_set& error) {
            progress.error.emplace(std::move(error));
            return 0;
        }
        return 1;
    }
};

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
    {
        py::gil_scoped_release released;
        KARVO_ScatToGridWithKrig(data.data(), value_column, static_cast<int>(data.shape(0)),
                                 static_cast<int>(data.shape(1)), rect.data(), cell_size_x, cell_size_y, cell_count_x,
                                 cell_count_y, neighbours, method, method_parameter, array, grid.mutable_data());
    }
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
    m.def("legacy_grid", &LegacyGrid, py::arg("data"), py::arg("value_column"), py::arg("rect"), py::arg("cell_size_x"),
          py::arg("cell_size_y"), py::arg("cell_count_x"), py::arg("cell_count_y"), py::arg("neighbours"),
          py::arg("method"), py::arg("method_parameter"), py::arg("method_array").none(true));
}
