// What the binding's halves (_mosaro.cpp, bind_simulation.cpp,
// bind_tiles.cpp) share: the array types, the model as Python holds it, the
// dict reader and the sample checks that keep the library inside the
// caller's buffers.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
// Every half converts lists to vectors the same way: a caster missing from
// one unit would make its casts fail (and break the one-definition rule).
#include <pybind11/stl.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "mosaro.h"

namespace mosaro_binding {

namespace py = pybind11;

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// A model as Python holds it: (nugget, [(family, psill, range, shape,
// azimuth, ratio), ...]).
using StructureTuple = std::tuple<int, double, double, double, double, double>;
using ModelTuple = std::pair<double, std::vector<StructureTuple>>;

mosaro_model ToModel(const ModelTuple& parts);
py::tuple FromModel(const mosaro_model& m);

// (status, message): a refusal as the pure-Python half reads it.
py::tuple Refusal(mosaro_status status);

template <class T>
T Get(const py::dict& d, const char* key) {
    if (!d.contains(key)) throw std::runtime_error(std::string("mosaro: the binding was not given '") + key + "'");
    return d[key].cast<T>();
}

// The variogram options of a dict of cutoff, width, azimuths (None or a
// list), tolerance, bandwidth, estimator, threads and, where given, cloud
// and map; 0 leaves a number to the library's default. `azimuths` keeps the
// directions alive for the call.
void FillVariogramOptions(const py::dict& d, mosaro_variogram_options& o, std::vector<double>& azimuths);

// The sample count of x, y and values: one-dimensional, of one length, and
// within what the library takes.
int DoubleCount(const DoubleArray& array, const char* name);
int DoubleSamples(const DoubleArray& x, const DoubleArray& y, const DoubleArray& value);

py::array_t<double> Copy(const double* from, py::ssize_t count);

// The neighbourhood, block and thread fields of a prediction from the
// arguments dict the pure-Python half builds.
void FillNeighbourhood(const py::dict& a, mosaro_prediction& p);

// One direction's lag classes as the pure-Python half reads them.
py::dict ClassesDict(const mosaro_lag_classes& c);

const char* StageName(mosaro_stage stage);

// The library calls back on the thread that called it, with the GIL
// released; the callback takes the GIL back for the few Python steps. A
// pending Ctrl-C, or an exception from the caller's function, stops the run
// and is raised once the library has returned.
struct Progress {
    py::object user;              // None, or user(stage, pass, fraction) -> False stops
    const char* stage = nullptr;  // given: every call names this one stage, pass 0
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
            const py::object answer = progress.stage ? progress.user(progress.stage, 0, fraction)
                                                     : progress.user(StageName(stage), pass, fraction);
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

}  // namespace mosaro_binding
