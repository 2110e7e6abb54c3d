// The compiled half of mosaro.simulate: sequential Gaussian simulation
// through mosaro_simulate, every realisation written into one numpy array.
// Like the rest of the module it only moves data; the pure-Python half
// (mosaro/_simulation.py) checks the arguments and names them in errors.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bind_simulation.h"
#include "binding_support.h"
#include "mosaro.h"

namespace py = pybind11;
using namespace mosaro_binding;

namespace {


template <class T>
T Field(const py::dict& d, const char* key) {
    if (!d.contains(key)) throw std::runtime_error(std::string("mosaro: the binding was not given '") + key + "'");
    return d[key].cast<T>();
}

// Returns (status, message, realisations, report, model_used,
// stopped_by_user): realisations shaped (realisations, rows, columns), row
// 0 at the southern edge.
py::tuple Simulate(const DoubleArray& x, const DoubleArray& y, const DoubleArray& value, const py::dict& a,
                   py::object progress_function) {
    if (x.ndim() != 1 || y.ndim() != 1 || value.ndim() != 1 || x.size() != y.size() || x.size() != value.size())
        throw py::value_error("x, y and values must be one-dimensional and of one length (got " +
                              std::to_string(x.size()) + ", " + std::to_string(y.size()) + ", " +
                              std::to_string(value.size()) + ")");
    if (x.size() > std::numeric_limits<int>::max())
        throw py::value_error("x has more samples than the library can take (2^31 - 1)");
    mosaro_simulation s;
    mosaro_simulation_init(&s);
    s.x = x.data();
    s.y = y.data();
    s.value = value.data();
    s.sample_count = static_cast<int>(x.size());
    s.mean = Field<double>(a, "mean");

    mosaro_model given;
    const py::object model = a["model"];
    if (!model.is_none()) {
        given = ToModel(model.cast<ModelTuple>());
        s.model = &given;
    }
    mosaro_variogram_options options;
    mosaro_variogram_options_init(&options);
    const auto variogram = Field<py::dict>(a, "variogram");
    options.cutoff = Field<double>(variogram, "cutoff");
    options.width = Field<double>(variogram, "width");
    const py::object given_azimuths = variogram["azimuths"];
    const std::vector<double> azimuths =
        given_azimuths.is_none() ? std::vector<double>{} : given_azimuths.cast<std::vector<double>>();
    if (azimuths.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw py::value_error("variogram: too many directions");
    options.azimuths = azimuths.empty() ? nullptr : azimuths.data();
    options.direction_count = static_cast<int>(azimuths.size());
    options.tolerance = Field<double>(variogram, "tolerance");
    options.bandwidth = Field<double>(variogram, "bandwidth");
    options.estimator = Field<int>(variogram, "estimator") == 1 ? MOSARO_ESTIMATOR_CRESSIE : MOSARO_ESTIMATOR_CLASSIC;
    options.thread_count = Field<int>(variogram, "threads");
    s.variogram = &options;
    std::string fit_template;
    const py::object fit = a["fit_template"];
    if (!fit.is_none()) {
        fit_template = fit.cast<std::string>();
        s.fit_template = fit_template.c_str();
    }
    s.fit_weights = Field<int>(a, "fit_weights");
    mosaro_model used;
    mosaro_model_init(&used);
    s.model_used = &used;
    s.lower_tail = Field<double>(a, "lower_tail");
    s.upper_tail = Field<double>(a, "upper_tail");

    const auto grid = Field<std::tuple<double, double, double, double, int, int>>(a, "grid");
    s.grid_x = std::get<0>(grid);
    s.grid_y = std::get<1>(grid);
    s.cell_size_x = std::get<2>(grid);
    s.cell_size_y = std::get<3>(grid);
    s.node_count_x = std::get<4>(grid);
    s.node_count_y = std::get<5>(grid);
    s.nmax = Field<int>(a, "nmax");
    s.nmax_simulated = Field<int>(a, "nmax_simulated");
    s.max_distance = Field<double>(a, "max_distance");
    s.realisations = Field<int>(a, "realisations");
    s.seed = Field<unsigned long long>(a, "seed");
    s.thread_count = Field<int>(a, "threads");

    // Python checked the counts; these keep the buffer in bounds whatever it
    // is given.
    if (s.realisations < 1 || s.node_count_x < 1 || s.node_count_y < 1)
        throw py::value_error("realisations and node counts must be at least 1");
    const double values = static_cast<double>(s.realisations) * s.node_count_x * s.node_count_y;
    if (values > static_cast<double>(std::numeric_limits<py::ssize_t>::max() / 8))
        throw py::value_error("realisations x nodes is more than memory can hold");
    py::array_t<double> realisations({static_cast<py::ssize_t>(s.realisations),
                                      static_cast<py::ssize_t>(s.node_count_y),
                                      static_cast<py::ssize_t>(s.node_count_x)});
    s.values = realisations.mutable_data();

    Progress progress;
    progress.user = std::move(progress_function);
    progress.stage = "simulation";  // one stage, whatever the library calls it
    s.progress = &Progress::Callback;
    s.progress_user_data = &progress;
    mosaro_simulation_report report{};
    report.struct_size = sizeof report;
    mosaro_status status;
    {
        py::gil_scoped_release released;
        status = mosaro_simulate(&s, &report);
    }
    if (progress.error) throw std::move(*progress.error);
    const std::string message = mosaro_last_message();
    if (status < MOSARO_OK)
        return py::make_tuple(static_cast<int>(status), message, py::none(), py::none(), py::none(),
                              progress.stopped_by_user);
    py::dict r;
    r["model_fitted"] = report.model_fitted != 0;
    r["samples_used"] = report.samples_used;
    r["samples_left_out"] = report.samples_left_out;
    r["realisations"] = report.realisations;
    return py::make_tuple(static_cast<int>(status), message, realisations, r, FromModel(used), false);
}

}  // namespace

void BindSimulation(pybind11::module_& m) {
    m.def("simulate", &Simulate, py::arg("x"), py::arg("y"), py::arg("value"), py::arg("arguments"),
          py::arg("progress").none(true));
    m.attr("ERROR_REALISATIONS") = static_cast<int>(MOSARO_ERROR_REALISATIONS);
}
