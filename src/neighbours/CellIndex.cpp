#include "neighbours/CellIndex.h"

#include <algorithm>
#include <cmath>

#include "platform/FloatArith.h"

namespace mosaro {
namespace {

// Cells per point aimed at, and the most cells along one side (a lattice of
// cells stays small whatever the points' spread).
constexpr double kCellsPerPoint = 0.5;
constexpr double kMostCellsPerSide = 4096.0;

std::size_t CellsAlong(double extent, double cellSide) {
    if (!(extent > 0.0) || !(cellSide > 0.0) || !std::isfinite(extent / cellSide)) return 1;
    return static_cast<std::size_t>(std::min(std::floor(extent / cellSide) + 1.0, kMostCellsPerSide));
}

double CellsPerUnit(std::size_t cells, double extent) {
    const double perUnit = static_cast<double>(cells) / extent;
    return extent > 0.0 && std::isfinite(perUnit) ? perUnit : 0.0;
}

}  // namespace

CellIndex::CellIndex(const float* x, const float* y, const std::vector<int>& entries) {
    const std::size_t n = entries.size();
    if (n == 0) {
        start_.assign(2, 0);
        return;
    }
    double maxX = f64(x[entries[0]]), maxY = f64(y[entries[0]]);
    minX_ = maxX, minY_ = maxY;
    for (int e : entries) {
        minX_ = std::min(minX_, f64(x[e])), maxX = std::max(maxX, f64(x[e]));
        minY_ = std::min(minY_, f64(y[e])), maxY = std::max(maxY, f64(y[e]));
    }
    const double width = maxX - minX_, height = maxY - minY_;
    const double cells = std::max(1.0, kCellsPerPoint * static_cast<double>(n));
    // Square cells over a box with area; along the line of collinear points.
    const double side = width > 0.0 && height > 0.0 ? std::sqrt(width * height / cells) : std::max(width, height) / cells;
    columns_ = CellsAlong(width, side);
    rows_ = CellsAlong(height, side);
    perCellX_ = CellsPerUnit(columns_, width);
    perCellY_ = CellsPerUnit(rows_, height);

    // A counting sort by cell.
    start_.assign(columns_ * rows_ + 1, 0);
    std::vector<std::size_t> cellOf(n);
    for (std::size_t k = 0; k < n; ++k) {
        const int e = entries[k];
        cellOf[k] = RowOf(f64(y[e])) * columns_ + ColumnOf(f64(x[e]));
        ++start_[cellOf[k] + 1];
    }
    for (std::size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
    std::vector<std::size_t> next(start_.begin(), start_.end() - 1);
    entry_.resize(n), x_.resize(n), y_.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t at = next[cellOf[k]]++;
        const int e = entries[k];
        entry_[at] = e, x_[at] = x[e], y_[at] = y[e];
    }
}

// Both are monotone in the coordinate (a difference, a product by a
// positive factor and a floor, each rounded monotonically), so a point
// lies in a cell between those of any two places it lies between.
std::size_t CellIndex::ColumnOf(double x) const {
    const double at = std::floor((x - minX_) * perCellX_);
    return at > 0.0 ? std::min(static_cast<std::size_t>(std::min(at, kMostCellsPerSide)), columns_ - 1) : 0;
}

std::size_t CellIndex::RowOf(double y) const {
    const double at = std::floor((y - minY_) * perCellY_);
    return at > 0.0 ? std::min(static_cast<std::size_t>(std::min(at, kMostCellsPerSide)), rows_ - 1) : 0;
}

CellIndex::Outcome CellIndex::Within(double atX, double atY, double radius, std::size_t limit,
                                     std::size_t readingLimit, int* entry, float* x, float* y,
                                     std::size_t& count) const {
    count = 0;
    // One more cell on each side covers every rounding of the bounds (a
    // cell is far wider than the coordinates' last bit).
    const std::size_t firstColumn = ColumnOf(atX - radius), lastColumn = ColumnOf(atX + radius);
    const std::size_t firstRow = RowOf(atY - radius), lastRow = RowOf(atY + radius);
    const std::size_t c0 = firstColumn > 0 ? firstColumn - 1 : 0, c1 = std::min(lastColumn + 1, columns_ - 1);
    const std::size_t r0 = firstRow > 0 ? firstRow - 1 : 0, r1 = std::min(lastRow + 1, rows_ - 1);
    std::size_t reading = 0;
    for (std::size_t r = r0; r <= r1; ++r) reading += start_[r * columns_ + c1 + 1] - start_[r * columns_ + c0];
    if (reading > readingLimit) return Outcome::kTooCostly;

    const double squaredRadius = radius * radius;
    for (std::size_t r = r0; r <= r1; ++r) {
        const std::size_t end = start_[r * columns_ + c1 + 1];
        for (std::size_t k = start_[r * columns_ + c0]; k < end; ++k) {
            const double dx = f64(x_[k]) - atX, dy = f64(y_[k]) - atY;
            // Written whatever the test says, kept when it passes.
            entry[count] = entry_[k], x[count] = x_[k], y[count] = y_[k];
            count += static_cast<std::size_t>(dx * dx + dy * dy < squaredRadius);
            if (count > limit) return Outcome::kOverflowed;
        }
    }
    return Outcome::kFound;
}

}  // namespace mosaro
