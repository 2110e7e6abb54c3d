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

}  // namespace mosaro_binding
