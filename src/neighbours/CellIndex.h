// Points bucketed in a grid of cells over their bounding box (about two
// points a cell), stored cell by cell, row of cells after row of cells,
// with their coordinates. The points within a radius of a place then lie
// in a few contiguous stretches, one per row of cells the radius touches,
// read in order instead of found by walking a tree: for the neighbour
// chain's short queries over evenly spread samples that is several times
// faster than the kd-tree. Where points cluster, a query may have to read
// many points outside its radius; it says so before reading any, and the
// caller asks its kd-tree instead.
#pragma once

#include <cstddef>
#include <vector>

namespace mosaro {

class CellIndex {
public:
    // The points (x[e], y[e]) for e in `entries`; every coordinate finite.
    CellIndex(const float* x, const float* y, const std::vector<int>& entries);

    enum class Outcome {
        kFound,       // every point within the radius, and no more than the limit
        kOverflowed,  // more than the limit within the radius
        kTooCostly,   // more than the reading limit to read; nothing written
    };

    // The points whose squared distance to (atX, atY), in double, is below
    // radius^2 (a few more may come, from the edge of the radius), in no
    // particular order, written to entry, x and y (room for limit + 1
    // each); `count` says how many.
    Outcome Within(double atX, double atY, double radius, std::size_t limit, std::size_t readingLimit, int* entry,
                   float* x, float* y, std::size_t& count) const;

private:
    std::size_t ColumnOf(double x) const;
    std::size_t RowOf(double y) const;

    double minX_ = 0.0, minY_ = 0.0, perCellX_ = 0.0, perCellY_ = 0.0;  // cells per unit
    std::size_t columns_ = 1, rows_ = 1;
    std::vector<std::size_t> start_;  // first point of each cell, and the end
    std::vector<int> entry_;
    std::vector<float> x_, y_;
};

}  // namespace mosaro
