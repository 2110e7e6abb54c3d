#include "GridGeometry.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "ToolError.h"

namespace mosaro::tool {
namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// Nodes from the first node to the last one not beyond the extent's end; the
// small allowance keeps an extent that is an exact multiple of the cell from
// losing its last node to rounding.
int NodesAlong(double length, double cell, const char* axis) {
    const double nodes = std::floor(length / cell * (1 + 1e-9)) + 1;
    if (!(nodes <= std::numeric_limits<int>::max()))
        throw ToolError(std::string("a cell of ") + Number(cell) + " gives too many nodes along " + axis);
    return static_cast<int>(nodes);
}

}  // namespace

GridGeometry ChooseGrid(const GridChoice& choice, const std::vector<float>& x, const std::vector<float>& y) {
    double bounds[4];
    if (!choice.extent.empty()) {
        std::copy(choice.extent.begin(), choice.extent.end(), bounds);
    } else {
        if (x.empty()) throw ToolError("no samples to take the extent from");
        const auto [xLow, xHigh] = std::minmax_element(x.begin(), x.end());
        const auto [yLow, yHigh] = std::minmax_element(y.begin(), y.end());
        bounds[0] = *xLow; bounds[1] = *yLow; bounds[2] = *xHigh; bounds[3] = *yHigh;
    }
    const std::string extentText = "extent " + Number(bounds[0]) + " " + Number(bounds[1]) + " " +
                                   Number(bounds[2]) + " " + Number(bounds[3]);
    for (double b : bounds)
        if (!std::isfinite(b) || std::fabs(b) > 1e30) throw ToolError(extentText + " is not finite");
    const double width = bounds[2] - bounds[0], height = bounds[3] - bounds[1];
    if (width < 0 || height < 0) throw ToolError(extentText + " is inverted (give XMIN YMIN XMAX YMAX)");
    if (width == 0 && height == 0) throw ToolError(extentText + " is empty (give --extent)");
    if (!choice.cell.empty() && !choice.size.empty()) throw ToolError("give either --cell or --size, not both");

    GridGeometry grid;
    grid.x_min = static_cast<float>(bounds[0]);
    grid.y_min = static_cast<float>(bounds[1]);
    grid.x_max = static_cast<float>(bounds[2]);
    grid.y_max = static_cast<float>(bounds[3]);
    double dx, dy;
    if (!choice.size.empty()) {
        const int nx = choice.size[0], ny = choice.size[1];
        if (nx < 1 || ny < 1)
            throw ToolError("--size " + std::to_string(nx) + " " + std::to_string(ny) + ": at least 1 node each way");
        // One node along an axis: its spacing is the extent (or 1 when flat).
        dx = nx > 1 ? width / (nx - 1) : (width > 0 ? width : 1);
        dy = ny > 1 ? height / (ny - 1) : (height > 0 ? height : 1);
        if (nx > 1 && width == 0) throw ToolError(extentText + " has no width for " + std::to_string(nx) + " nodes");
        if (ny > 1 && height == 0) throw ToolError(extentText + " has no height for " + std::to_string(ny) + " nodes");
        grid.nodes_x = nx;
        grid.nodes_y = ny;
    } else {
        if (!choice.cell.empty()) {
            dx = choice.cell[0];
            dy = choice.cell.size() > 1 ? choice.cell[1] : dx;
        } else {
            dx = dy = std::max(width, height) / kDefaultCellsAlongLongerSide;
        }
        if (!(dx > 0 && dy > 0 && std::isfinite(dx) && std::isfinite(dy)))
            throw ToolError("cell size " + Number(dx) + " " + Number(dy) + " must be positive and finite");
        grid.nodes_x = NodesAlong(width, dx, "x");
        grid.nodes_y = NodesAlong(height, dy, "y");
    }
    grid.cell_x = static_cast<float>(dx);
    grid.cell_y = static_cast<float>(dy);
    if (!(grid.cell_x > 0 && grid.cell_y > 0))
        throw ToolError("cell size " + Number(dx) + " " + Number(dy) + " is too small for single precision");
    return grid;
}

void RequireMemoryFor(const GridGeometry& grid, int grids) {
    const double bytes = static_cast<double>(grid.NodeCount()) * sizeof(float) * grids;
    const double memory = static_cast<double>(::sysconf(_SC_PHYS_PAGES)) * static_cast<double>(::sysconf(_SC_PAGESIZE));
    const std::string size = std::to_string(grid.nodes_x) + " x " + std::to_string(grid.nodes_y) + " nodes";
    if (grid.NodeCount() > std::numeric_limits<int>::max())
        throw ToolError("a grid of " + size + " is too large (at most 2^31 - 1 nodes; give a coarser --cell)");
    if (memory > 0 && bytes > memory)
        throw ToolError("a grid of " + size + " needs " + Number(bytes / (1 << 30)) + " GiB, more than this machine's " +
                        Number(memory / (1 << 30)) + " GiB (give a coarser --cell or a smaller --extent)");
}

}  // namespace mosaro::tool
