#include "neighbours/CellGrid.h"

#include <algorithm>
#include <cmath>

namespace mosaro {

CellGrid::CellGrid(const double* x, const double* y, std::size_t count, double perCell) {
    if (count == 0) return;
    double xMin = x[0], xMax = x[0], yMin = y[0], yMax = y[0];
    for (std::size_t i = 1; i < count; ++i) {
        xMin = std::min(xMin, x[i]), xMax = std::max(xMax, x[i]);
        yMin = std::min(yMin, y[i]), yMax = std::max(yMax, y[i]);
    }
    const double width = xMax - xMin, height = yMax - yMin;
    // Square cells; a box without area gets one row or column of them.
    const double cells = std::max(1.0, static_cast<double>(count) / perCell);
    const double side =
        width > 0.0 && height > 0.0 ? std::sqrt(width * height / cells) : std::max(width, height) / cells;
    if (!(side > 0.0) || !std::isfinite(side)) return;
    columns_ = static_cast<std::size_t>(std::min(width / side, cells)) + 1;
    rows_ = static_cast<std::size_t>(std::min(height / side, cells)) + 1;
    x0_ = xMin, y0_ = yMin, inverse_ = 1.0 / side;

    // A counting sort by cell.
    std::vector<std::size_t> cell(count);
    start_.assign(columns_ * rows_ + 1, 0);
    for (std::size_t i = 0; i < count; ++i) {
        cell[i] = Row(y[i]) * columns_ + Column(x[i]);
        ++start_[cell[i] + 1];
    }
    for (std::size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
    std::vector<std::size_t> next(start_.begin(), start_.end() - 1);
    order_.resize(count);
    for (std::size_t i = 0; i < count; ++i) order_[next[cell[i]]++] = static_cast<std::uint32_t>(i);
}

CellGrid::Window CellGrid::Around(double x, double y, double reach) const {
    // Cells come from one monotone rounding of the coordinates, so the cells
    // from x - reach to x + reach hold every point between; the reach is
    // widened beyond the roundings of x -/+ reach and of a search's
    // distances.
    const double wide = reach * (1.0 + 1e-9) + (std::fabs(x) + std::fabs(y) + std::fabs(x0_) + std::fabs(y0_)) * 1e-14;
    return {Column(x - wide), Column(x + wide), Row(y - wide), Row(y + wide)};
}

std::size_t CellGrid::Count(const Window& w) const {
    std::size_t count = 0;
    for (std::size_t r = w.bottom; r <= w.top; ++r) count += End(w, r) - Begin(w, r);
    return count;
}

}  // namespace mosaro
