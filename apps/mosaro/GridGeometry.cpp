#include "GridGeometry.h"

#include <unistd.h>

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

}  // namespace

GridGeometry ChooseGrid(const GridChoice& choice, const std::vector<double>& sx, const std::vector<double>& sy,
                        bool single) {
    // The library lays the grid out; the tool only says what was given.
    const double cellX = choice.cell.empty() ? 0.0 : choice.cell[0];
    const double cellY = choice.cell.size() > 1 ? choice.cell[1] : 0.0;
    const int nodesX = choice.size.empty() ? 0 : choice.size[0], nodesY = choice.size.empty() ? 0 : choice.size[1];
    // A zero the user typed must not read as "not given".
    if ((!choice.cell.empty() && (cellX == 0.0 || (choice.cell.size() > 1 && cellY == 0.0))))
        throw ToolError("cell size " + Number(cellX) + " " + Number(choice.cell.size() > 1 ? cellY : cellX) +
                        " must be positive and finite");
    if (!choice.size.empty() && (nodesX == 0 || nodesY == 0))
        throw ToolError("--size " + std::to_string(nodesX) + " " + std::to_string(nodesY) +
                        ": at least 1 node each way");
    mosaro_grid_layout layout{};
    layout.struct_size = sizeof layout;
    if (mosaro_grid_layout_choose(choice.extent.empty() ? nullptr : choice.extent.data(), sx.data(), sy.data(),
                                  static_cast<int>(sx.size()), cellX, cellY, nodesX, nodesY, &layout) != MOSARO_OK)
        throw ToolError(mosaro_last_message());
    const auto round = [single](double v) { return single ? static_cast<double>(static_cast<float>(v)) : v; };
    GridGeometry grid;
    grid.x_min = round(layout.x_min);
    grid.y_min = round(layout.y_min);
    grid.x_max = round(layout.x_max);
    grid.y_max = round(layout.y_max);
    grid.cell_x = round(layout.cell_size_x);
    grid.cell_y = round(layout.cell_size_y);
    grid.nodes_x = layout.node_count_x;
    grid.nodes_y = layout.node_count_y;
    return grid;
}

void RequireMemoryFor(const GridGeometry& grid, int grids) {
    const double bytes = static_cast<double>(grid.NodeCount()) * sizeof(float) * grids;
    const double memory = static_cast<double>(::sysconf(_SC_PHYS_PAGES)) * static_cast<double>(::sysconf(_SC_PAGESIZE));
    const std::string size = std::to_string(grid.nodes_x) + " x " + std::to_string(grid.nodes_y) + " nodes";
    if (grid.NodeCount() > std::numeric_limits<int>::max())
        throw ToolError("a grid of " + size + " is too large (at most 2^31 - 1 nodes; give a coarser --cell)");
    if (memory > 0 && bytes > memory)
        throw ToolError("a grid of " + size + " needs " + Number(bytes / (1 << 30)) +
                        " GiB, more than this machine's " + Number(memory / (1 << 30)) +
                        " GiB (give a coarser --cell or a smaller --extent)");
}

}  // namespace mosaro::tool
