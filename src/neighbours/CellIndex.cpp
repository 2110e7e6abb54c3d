#include "neighbours/CellIndex.h"

#include "platform/FloatArith.h"

namespace mosaro {

CellIndex::CellIndex(const FinitePoints& points, const float* x, const float* y)
    : grid_(points.x.data(), points.y.data(), points.x.size(), 2.0) {
    for (const std::uint32_t i : grid_.Order()) {
        const int e = points.index[i];
        entry_.push_back(e), x_.push_back(x[e]), y_.push_back(y[e]);
    }
}

CellIndex::Outcome CellIndex::Within(double atX, double atY, double radius, std::size_t limit, std::size_t readingLimit,
                                     int* entry, float* x, float* y, std::size_t& count) const {
    count = 0;
    if (grid_.Empty()) return Outcome::kTooCostly;
    const CellGrid::Window w = grid_.Around(atX, atY, radius);
    if (grid_.Count(w) > readingLimit) return Outcome::kTooCostly;
    const double squaredRadius = radius * radius;
    for (std::size_t r = w.bottom; r <= w.top; ++r) {
        const std::size_t end = grid_.End(w, r);
        for (std::size_t k = grid_.Begin(w, r); k < end; ++k) {
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
