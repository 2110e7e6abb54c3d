// The neighbour chain's radius queries over the cells of a grid (see
// CellGrid), about two points to a cell, each point kept with its entry and
// float coordinates in cell order: for the chain's short queries over
// evenly spread samples several times faster than the kd-tree. Where points
// cluster, a query may have to read many points outside its radius; it says
// so before reading any, and the caller asks its kd-tree instead.
#pragma once

#include <cstddef>
#include <vector>

#include "neighbours/CellGrid.h"
#include "neighbours/FinitePoints.h"

namespace mosaro {

class CellIndex {
public:
    // The finite points, whose entry e lies at (x[e], y[e]).
    CellIndex(const FinitePoints& points, const float* x, const float* y);

    enum class Outcome {
        kFound,       // every point within the radius, and no more than the limit
        kOverflowed,  // more than the limit within the radius
        kTooCostly,   // more than the reading limit to read; nothing written
    };

    // The points whose squared distance to (atX, atY), in double, is below
    // radius^2, in no particular order, written to entry, x and y (room for
    // limit + 1 each); `count` says how many.
    Outcome Within(double atX, double atY, double radius, std::size_t limit, std::size_t readingLimit, int* entry,
                   float* x, float* y, std::size_t& count) const;

private:
    CellGrid grid_;
    std::vector<int> entry_;  // in cell order
    std::vector<float> x_, y_;
};

}  // namespace mosaro
