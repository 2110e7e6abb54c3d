// The legacy neighbour order: a partial exchange sort over a working copy
// of the samples whose order carries over from node to node.
//
// Per node the distance of every entry to the node is measured afresh, then
// pass a (a = 0 .. passes - 1) exchanges entry a with every later entry b
// that is strictly nearer, or whose comparison with it is unordered.
// Afterwards the first `passes` places hold the nearest entries in ascending
// distance; the exchange rule alone decides the order of ties, and what the
// passes leave behind shapes where the next node starts.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include "platform/FloatArith.h"
#include "platform/SampleRows.h"

namespace mosaro {

// Isotropic distance of a sample at (x, y) to the node (X, Y), as the sort
// measures it: differences and root in double, one rounding.
inline float MeasuredDistance(float x, float y, double nodeX, double nodeY) {
    const double dx = f64(x) - nodeX;
    const double dy = f64(y) - nodeY;
    return f32(std::sqrt(dx * dx + dy * dy));
}

// The working copy: scaled coordinates, value, and distance to the current
// node, reordered together by the sort.
struct WorkingSamples {
    std::vector<float> x;
    std::vector<float> y;
    std::vector<float> value;
    std::vector<float> distance;

    // Coordinates divided by `scale`, each rounded to float.
    void Load(const SampleRows& samples, float scale);
    int Count() const { return static_cast<int>(x.size()); }
    void MeasureFrom(float nodeX, float nodeY);
    void Swap(std::size_t a, std::size_t b);
};

// `passes` exchange passes over the whole working copy.
void SortNearest(WorkingSamples& samples, int passes);

// How a method's neighbour choice treats the working copy: `passes` passes
// over the first `perBlock` entries (block 0), each exchange applied alike
// to all `blocks` blocks of `perBlock` entries. Entries beyond the blocks
// never move. {1, count, m + 1} for every method but co-kriging.
struct NeighbourLayout {
    int blocks = 1;
    int perBlock = 0;
    int passes = 0;
};

// The passes of `layout` over the working copy, plainly.
void SortNearestInBlocks(WorkingSamples& samples, const NeighbourLayout& layout);

}  // namespace mosaro
