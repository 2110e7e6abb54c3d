// The nodes of a legacy grid layout: how many there are, how many a run
// takes on, and where each lies in the legacy arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mosaro.h"
#include "platform/FloatArith.h"

namespace mosaro {

// Node position in scaled units: ((index * cell) + origin) / scale, each step
// rounded to float.
inline float NodeCoordinate(long long index, float cellSize, float origin, float scale) {
    const float offset = f32(static_cast<double>(index) * f64(cellSize));
    const float position = f32(f64(offset) + f64(origin));
    return f32(f64(position) / f64(scale));
}

// Number of nodes of a grid layout; 0 when a cell count is negative.
inline std::size_t NodeCount(const TGRIDCELLXY& grid) {
    if (grid.nCellCountX < 0 || grid.nCellCountY < 0) return 0;
    return (static_cast<std::size_t>(grid.nCellCountX) + 1) * (static_cast<std::size_t>(grid.nCellCountY) + 1);
}

// Nodes of a layout with non-negative cell counts, in 64 bits: two int
// cell counts multiply beyond any narrower type.
inline std::uint64_t NodeCount64(const TGRIDCELLXY& grid) {
    return (static_cast<std::uint64_t>(grid.nCellCountX) + 1) * (static_cast<std::uint64_t>(grid.nCellCountY) + 1);
}

// Most nodes a run takes on: the caller's grid and the two scratch grids of
// indicator kriging must each be addressable in bytes.
constexpr std::uint64_t kMaxNodes = static_cast<std::uint64_t>(PTRDIFF_MAX) / (3 * sizeof(float));

}  // namespace mosaro
