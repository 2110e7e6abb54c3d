#include "api/GridLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "api/ApiStatus.h"

namespace mosaro {
namespace {

// Nodes from the first node to the last one not beyond the extent's end; the
// small allowance keeps an extent that is an exact multiple of the cell from
// losing its last node to rounding.
int NodesAlong(double length, double cell, const char* axis) {
    const double nodes = std::floor(length / cell * (1 + 1e-9)) + 1;
    if (!(nodes <= std::numeric_limits<int>::max()))
        Refuse(MOSARO_ERROR_TOO_LARGE, FormatMessage("a cell of %.9g gives too many nodes along %s", cell, axis));
    return static_cast<int>(nodes);
}

void BoundingBox(const double* x, const double* y, int count, double (&bounds)[4]) {
    if (count < 1 || x == nullptr || y == nullptr)
        Refuse(MOSARO_ERROR_EXTENT, "no extent and no samples to take it from");
    bounds[0] = bounds[2] = x[0];
    bounds[1] = bounds[3] = y[0];
    for (int i = 0; i < count; ++i) {
        // A coordinate that is not finite would surface as an extent that is
        // not finite, naming neither the array nor the sample.
        if (!std::isfinite(x[i])) Refuse(MOSARO_ERROR_EXTENT, FormatMessage("x[%d] must be finite (got %g)", i, x[i]));
        if (!std::isfinite(y[i])) Refuse(MOSARO_ERROR_EXTENT, FormatMessage("y[%d] must be finite (got %g)", i, y[i]));
        bounds[0] = std::min(bounds[0], x[i]);
        bounds[1] = std::min(bounds[1], y[i]);
        bounds[2] = std::max(bounds[2], x[i]);
        bounds[3] = std::max(bounds[3], y[i]);
    }
}

}  // namespace

mosaro_grid_layout ChooseGridLayout(const double* extent, const double* x, const double* y, int sampleCount,
                                    double cellSizeX, double cellSizeY, int nodeCountX, int nodeCountY) {
    double b[4];
    if (extent != nullptr) std::copy(extent, extent + 4, b);
    else BoundingBox(x, y, sampleCount, b);
    const std::string text = FormatMessage("extent %.9g %.9g %.9g %.9g", b[0], b[1], b[2], b[3]);
    for (double v : b)
        if (!std::isfinite(v) || std::fabs(v) > 1e30) Refuse(MOSARO_ERROR_EXTENT, text + " is not finite");
    const double width = b[2] - b[0], height = b[3] - b[1];
    if (width < 0 || height < 0) Refuse(MOSARO_ERROR_EXTENT, text + " is inverted (give x_min y_min x_max y_max)");
    if (width == 0 && height == 0) Refuse(MOSARO_ERROR_EXTENT, text + " is empty (give an extent)");
    const bool cellGiven = cellSizeX != 0.0 || cellSizeY != 0.0;
    const bool sizeGiven = nodeCountX != 0 || nodeCountY != 0;
    if (cellGiven && sizeGiven) Refuse(MOSARO_ERROR_CELL_SIZE, "give either a cell size or node counts, not both");

    mosaro_grid_layout g{};
    g.struct_size = sizeof g;
    g.x_min = b[0];
    g.y_min = b[1];
    g.x_max = b[2];
    g.y_max = b[3];
    double dx, dy;
    if (sizeGiven) {
        const int nx = nodeCountX, ny = nodeCountY;
        if (nx < 1 || ny < 1)
            Refuse(MOSARO_ERROR_NODE_COUNT, FormatMessage("node counts %d %d: at least 1 node each way", nx, ny));
        if (nx > 1 && width == 0)
            Refuse(MOSARO_ERROR_NODE_COUNT, FormatMessage("%s has no width for %d nodes", text.c_str(), nx));
        if (ny > 1 && height == 0)
            Refuse(MOSARO_ERROR_NODE_COUNT, FormatMessage("%s has no height for %d nodes", text.c_str(), ny));
        // One node along an axis: its spacing is the extent (or 1 when flat).
        dx = nx > 1 ? width / (nx - 1) : (width > 0 ? width : 1);
        dy = ny > 1 ? height / (ny - 1) : (height > 0 ? height : 1);
        g.node_count_x = nx;
        g.node_count_y = ny;
    } else {
        if (cellGiven) {
            dx = cellSizeX;
            dy = cellSizeY != 0.0 ? cellSizeY : dx;
        } else {
            dx = dy = std::max(width, height) / MOSARO_DEFAULT_CELLS_ALONG_LONGER_SIDE;
        }
        if (!(dx > 0 && dy > 0 && std::isfinite(dx) && std::isfinite(dy)))
            Refuse(MOSARO_ERROR_CELL_SIZE, FormatMessage("cell size %.9g %.9g must be positive and finite", dx, dy));
        g.node_count_x = NodesAlong(width, dx, "x");
        g.node_count_y = NodesAlong(height, dy, "y");
    }
    if (static_cast<long long>(g.node_count_x) * g.node_count_y > std::numeric_limits<int>::max())
        Refuse(MOSARO_ERROR_TOO_LARGE,
               FormatMessage("a grid of %d x %d nodes is too large (at most 2^31 - 1 nodes; give a coarser cell)",
                             g.node_count_x, g.node_count_y));
    // The request takes its cell sizes as floats.
    if (!(static_cast<float>(dx) > 0.0f && static_cast<float>(dy) > 0.0f))
        Refuse(MOSARO_ERROR_CELL_SIZE, FormatMessage("cell size %.9g %.9g is too small for single precision", dx, dy));
    g.cell_size_x = dx;
    g.cell_size_y = dy;
    return g;
}

}  // namespace mosaro

extern "C" MOSARO_API mosaro_status mosaro_grid_layout_choose(const double* extent, const double* x, const double* y,
                                                              int sample_count, double cell_size_x, double cell_size_y,
                                                              int node_count_x, int node_count_y,
                                                              mosaro_grid_layout* layout) {
    return mosaro::GuardedEntry([&] {
        if (layout == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "layout is null");
        mosaro::RequireStructSize("layout", "mosaro_grid_layout", layout->struct_size,
                                  offsetof(mosaro_grid_layout, node_count_y) + sizeof layout->node_count_y,
                                  sizeof(mosaro_grid_layout));
        const mosaro_grid_layout chosen =
            mosaro::ChooseGridLayout(extent, x, y, sample_count, cell_size_x, cell_size_y, node_count_x, node_count_y);
        mosaro::CopyOut(chosen, layout);
        return MOSARO_OK;
    });
}
