// Where the nodes go: the extent, the node spacing and the node counts a
// run asks the library for, from the command line's --extent, --cell and
// --size (or their defaults) and the samples' bounding box.
#pragma once

#include <cstdint>
#include <vector>

#include "mosaro.h"

namespace mosaro::tool {

// The legacy request takes the layout rounded to float; the prediction API
// takes it as the library chose it, in double.
struct GridGeometry {
    double x_min = 0, y_min = 0, x_max = 0, y_max = 0;
    double cell_x = 0, cell_y = 0;
    int nodes_x = 0, nodes_y = 0;

    std::int64_t NodeCount() const { return std::int64_t{nodes_x} * nodes_y; }
};

struct GridChoice {
    std::vector<double> extent;  // empty, or x_min y_min x_max y_max
    std::vector<double> cell;    // empty, dx, or dx dy
    std::vector<int> size;       // empty, or node counts nx ny
};

// The library's layout (mosaro_grid_layout_choose) of what the options
// give, every number rounded to float when `single` (the legacy request);
// throws ToolError with its message.
GridGeometry ChooseGrid(const GridChoice& choice, const std::vector<double>& x, const std::vector<double>& y,
                        bool single);

// Bytes of `grids` float grids of this geometry, and a refusal (ToolError)
// when that exceeds the machine's memory; checked before any allocation.
void RequireMemoryFor(const GridGeometry& grid, int grids);

}  // namespace mosaro::tool
