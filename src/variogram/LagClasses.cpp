#include "variogram/LagClasses.h"

#include <climits>
#include <cmath>
#include <stdexcept>

#include "platform/FloatArith.h"

namespace mosaro {
namespace {

// trunc(extent / cell) computed in double; the conversion to an integer comes
// only after the range check, since an out-of-range conversion is undefined.
long long RawClassCount(float minimum, float maximum, float cellSize) {
    const double quotient = std::trunc((f64(maximum) - f64(minimum)) / f64(cellSize));
    if (!(quotient >= 0.0)) return 0;  // inverted extent, or not a number
    if (quotient > static_cast<double>(INT_MAX)) throw std::length_error("lag class count exceeds the supported range");
    return static_cast<long long>(quotient);
}

}  // namespace

LagClassCounts ComputeLagClassCounts(const TGRIDCELLXY& grid, const TRECTXYMINMAX& rect) {
    long long nx = RawClassCount(rect.fXMin, rect.fXMax, grid.fCellSizeX);
    long long ny = RawClassCount(rect.fYMin, rect.fYMax, grid.fCellSizeY);
    // Long lag tables are halved once, in both directions together.
    if (nx > 100 || ny > 100) {
        nx = nx / 2 + 1;
        ny = ny / 2 + 1;
    }
    if (nx > kMaxLagClasses || ny > kMaxLagClasses)
        throw std::length_error("lag class count exceeds the supported range");
    return {static_cast<int>(nx), static_cast<int>(ny)};
}

}  // namespace mosaro
