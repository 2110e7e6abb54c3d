// mosaro.simulate's compiled half, registered on the module by _mosaro.cpp.
#pragma once

#include <pybind11/pybind11.h>

void BindSimulation(pybind11::module_& m);
