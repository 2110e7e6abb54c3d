// Lag classes of the two directional experimental variograms.
#pragma once

#include "mosaro.h"

namespace mosaro {

// Largest number of lag classes one direction may have after the joint
// reduction. A count beyond it (an absurd extent for the cell size) cannot be
// honoured in memory; the run is refused with std::length_error instead.
constexpr int kMaxLagClasses = 1 << 24;

struct LagClassCounts {
    int x;
    int y;
};

// Class counts of the x and y directions: trunc(extent / cell size) each, in
// double, then both halved (plus one) when either exceeds 100. An extent that
// is inverted or not a number gives 0 classes.
LagClassCounts ComputeLagClassCounts(const TGRIDCELLXY& grid, const TRECTXYMINMAX& rect);

}  // namespace mosaro
