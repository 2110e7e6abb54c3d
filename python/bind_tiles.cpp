// The compiled half of mosaro.dask: one window (tile) of a grid, the
// samples a window needs, and the block sums of an experimental variogram.
// Like _mosaro.cpp it moves arrays and leaves the checks of arguments to the
// pure-Python half; refusals come back as (status, message). The dicts it
// reads are the ones mosaro._prediction builds for mosaro.predict, so a
// tile reads every keyword exactly as the one-call prediction does.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
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

#include "bind_tiles.h"
#include "binding_support.h"
#include "mosaro.h"

namespace py = pybind11;
using namespace mosaro_binding;

namespace {

using RankArray = py::array_t<long long, py::array::c_style | py::array::forcecast>;

// A window of a grid, or a list of points, with a given model and the
// whole set's frame: what a tile needs for the whole set's bits. `inputs`
// keeps the arrays taken from the dict alive for the call.
struct WindowInputs {
    mosaro_model model;
    std::array<double, 4> frame{};
    std::vector<DoubleArray> keep;
};

void FillWindow(const DoubleArray& x, const DoubleArray& y, const DoubleArray& value, const py::dict& a,
                mosaro_prediction& p, WindowInputs& in) {
    mosaro_prediction_init(&p);
    p.x = x.data();
    p.y = y.data();
    p.value = value.data();
    p.sample_count = DoubleSamples(x, y, value);
    if (a.contains("targets_x") && !a["targets_x"].is_none()) {
        in.keep.push_back(Get<DoubleArray>(a, "targets_x"));
        in.keep.push_back(Get<DoubleArray>(a, "targets_y"));
        if (in.keep[0].ndim() != 1 || in.keep[1].ndim() != 1 || in.keep[0].size() != in.keep[1].size())
            throw py::value_error("targets_x and targets_y must be one-dimensional and of one length");
        p.target = MOSARO_TARGET_POINTS;
        p.target_x = in.keep[0].data();
        p.target_y = in.keep[1].data();
        p.target_count = static_cast<long long>(in.keep[0].size());
    } else {
        p.target = MOSARO_TARGET_GRID;
        std::tie(p.grid_x, p.grid_y, p.cell_size_x, p.cell_size_y, p.node_count_x, p.node_count_y) =
            Get<std::tuple<double, double, double, double, int, int>>(a, "grid");
        std::tie(p.window_column, p.window_row, p.window_columns, p.window_rows) =
            Get<std::tuple<int, int, int, int>>(a, "window");
        if (p.window_columns < 1 || p.window_rows < 1)
            throw py::value_error("a window needs at least one node each way");
    }
    in.frame = Get<std::array<double, 4>>(a, "frame");
    p.frame = in.frame.data();
    in.model = ToModel(Get<ModelTuple>(a, "model"));
    p.model = &in.model;
    p.kind = Get<int>(a, "kind") == 1 ? MOSARO_KIND_SIMPLE : MOSARO_KIND_ORDINARY;
    p.mean = Get<double>(a, "mean");
    p.drift_terms = Get<unsigned>(a, "drift_terms");
    p.lognormal = Get<bool>(a, "lognormal") ? 1 : 0;
    p.shift = Get<double>(a, "shift");
    FillNeighbourhood(a, p);
}

// (status, message, indices): the samples (ascending indices into the
// arrays given) that the window of `a` needs.
py::tuple TileSamples(const DoubleArray& x, const DoubleArray& y, const DoubleArray& value, const py::dict& a) {
    mosaro_prediction p;
    WindowInputs in;
    FillWindow(x, y, value, a, p, in);
    std::vector<long long> indices(static_cast<std::size_t>(p.sample_count));
    long long count = 0;
    mosaro_status status;
    {
        py::gil_scoped_release released;
        status = mosaro_tile_samples(&p, indices.data(), &count);
    }
    if (status != MOSARO_OK) return Refusal(status) + py::make_tuple(py::none());
    py::array_t<long long> out(static_cast<py::ssize_t>(count));
    std::copy(indices.begin(), indices.begin() + count, out.mutable_data());
    return py::make_tuple(0, "", out);
}

// (status, message, outputs, report): the estimate (and variance when
// asked) of the window, shaped (rows, columns) with row 0 at its southern
// edge, or of the points.
py::tuple PredictWindow(const DoubleArray& x, const DoubleArray& y, const DoubleArray& value, const py::dict& a) {
    mosaro_prediction p;
    WindowInputs in;
    FillWindow(x, y, value, a, p, in);
    const std::vector<py::ssize_t> shape = p.target == MOSARO_TARGET_POINTS
                                               ? std::vector<py::ssize_t>{static_cast<py::ssize_t>(p.target_count)}
                                               : std::vector<py::ssize_t>{p.window_rows, p.window_columns};
    py::dict outputs;
    auto output = [&](const char* name) {
        py::array_t<double> array(shape);
        outputs[name] = array;
        return array.mutable_data();
    };
    p.estimate = output("estimate");
    if (Get<bool>(a, "variance")) p.variance = output("variance");
    mosaro_prediction_report report{};
    report.struct_size = sizeof report;
    mosaro_status status;
    {
        py::gil_scoped_release released;
        status = mosaro_predict(&p, &report);
    }
    if (status != MOSARO_OK) return Refusal(status) + py::make_tuple(py::none(), py::none());
    py::dict r;
    r["samples_used"] = report.samples_used;
    r["targets"] = report.targets;
    r["no_data"] = report.no_data;
    r["too_few_neighbours"] = report.too_few_neighbours;
    r["ill_conditioned"] = report.ill_conditioned;
    return py::make_tuple(0, "", outputs, r);
}

// (status, message, pairs, distance, statistic): one block's sums, arrays
// of (directions, classes).
py::tuple VariogramSums(const DoubleArray& x, const DoubleArray& y, const DoubleArray& value, const RankArray& rank,
                        int owned, const py::dict& options) {
    const int count = DoubleSamples(x, y, value);
    if (rank.ndim() != 1 || rank.size() != count) throw py::value_error("rank must hold one rank per sample");
    mosaro_variogram_options o;
    std::vector<double> azimuths;
    FillVariogramOptions(options, o, azimuths);
    const py::ssize_t directions = std::max(o.direction_count, 1);
    const double classes = std::floor(o.cutoff / o.width) + 1.0;
    if (!(classes <= 1048576.0)) throw py::value_error("more than 2^20 lag classes: choose a larger width");
    const std::vector<py::ssize_t> shape{directions, static_cast<py::ssize_t>(classes)};
    py::array_t<double> pairs(shape), distance(shape), statistic(shape);
    mosaro_status status;
    {
        py::gil_scoped_release released;
        status = mosaro_variogram_sums(x.data(), y.data(), value.data(), rank.data(), count, owned, &o,
                                       pairs.mutable_data(), distance.mutable_data(), statistic.mutable_data());
    }
    if (status != MOSARO_OK) return Refusal(status) + py::make_tuple(py::none(), py::none(), py::none());
    return py::make_tuple(0, "", pairs, distance, statistic);
}

struct VariogramOwner {
    mosaro_variogram* variogram = nullptr;
    ~VariogramOwner() { mosaro_variogram_free(variogram); }
};

// (status, message, result): the variogram of the reduced sums in the form
// _mosaro.variogram returns (directions with their classes and fits), so
// that mosaro.Variogram wraps either alike.
py::tuple VariogramFromSums(const py::dict& options, const DoubleArray& pairs, const DoubleArray& distance,
                            const DoubleArray& statistic, bool fit, const std::optional<std::string>& fit_template,
                            int fit_weights) {
    mosaro_variogram_options o;
    std::vector<double> azimuths;
    FillVariogramOptions(options, o, azimuths);
    const double classes = std::floor(o.cutoff / o.width) + 1.0;
    const double cells = static_cast<double>(std::max(o.direction_count, 1)) * classes;
    if (static_cast<double>(pairs.size()) != cells || pairs.size() != distance.size() ||
        pairs.size() != statistic.size())
        throw py::value_error("the sums must hold directions x classes values each");
    VariogramOwner owner;
    mosaro_status status =
        mosaro_variogram_from_sums(&o, pairs.data(), distance.data(), statistic.data(), &owner.variogram);
    if (status != MOSARO_OK) return Refusal(status) + py::make_tuple(py::none());
    py::list directions;
    for (int d = 0; d < mosaro_variogram_direction_count(owner.variogram); ++d) {
        mosaro_lag_classes c{};
        c.struct_size = sizeof c;
        status = mosaro_variogram_classes(owner.variogram, d, &c);
        if (status != MOSARO_OK) return Refusal(status) + py::make_tuple(py::none());
        py::dict direction = ClassesDict(c);
        if (fit) {
            mosaro_model model;
            mosaro_model_init(&model);
            double sse = std::numeric_limits<double>::quiet_NaN();
            const mosaro_status fitted = mosaro_variogram_fit(
                owner.variogram, d, fit_template ? fit_template->c_str() : nullptr, fit_weights, &model, &sse);
            direction["fit"] = fitted == MOSARO_OK ? py::make_tuple(0, "", FromModel(model), sse)
                                                   : py::make_tuple(static_cast<int>(fitted), mosaro_last_message(),
                                                                    py::none(), py::none());
        }
        directions.append(direction);
    }
    py::dict result;
    result["directions"] = directions;
    result["cloud"] = py::none();
    result["map"] = py::none();
    return py::make_tuple(0, "", result);
}

}  // namespace

void BindTiles(py::module_& m) {
    m.def("tile_samples", &TileSamples, py::arg("x"), py::arg("y"), py::arg("value"), py::arg("arguments"));
    m.def("predict_window", &PredictWindow, py::arg("x"), py::arg("y"), py::arg("value"), py::arg("arguments"));
    m.def("variogram_sums", &VariogramSums, py::arg("x"), py::arg("y"), py::arg("value"), py::arg("rank"),
          py::arg("owned"), py::arg("options"));
    m.def("variogram_from_sums", &VariogramFromSums, py::arg("options"), py::arg("pairs"), py::arg("distance"),
          py::arg("statistic"), py::arg("fit"), py::arg("fit_template").none(true), py::arg("fit_weights"));
}
