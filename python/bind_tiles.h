// mosaro.dask's compiled half (tiles, windows, variogram sums), registered on
// the module by _mosaro.cpp.
#pragma once

#include <pybind11/pybind11.h>

void BindTiles(pybind11::module_& m);
