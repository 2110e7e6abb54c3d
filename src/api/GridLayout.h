// The grid a front-end lays out from what users give (an extent or the
// samples' bounding box; a cell size, node counts or neither): one rule,
// kept by the library so that the tool, the Python package and C hosts lay
// out the same grid from the same arguments.
#pragma once

#include "mosaro.h"

namespace mosaro {

// Throws ApiError naming the argument for an extent that is inverted, empty
// or not finite, a cell size not positive or too small for single
// precision, fewer than one node, more than 2^31 - 1 nodes, or both a cell
// size and node counts.
mosaro_grid_layout ChooseGridLayout(const double* extent, const double* x, const double* y, int sampleCount,
                                    double cellSizeX, double cellSizeY, int nodeCountX, int nodeCountY);

}  // namespace mosaro
