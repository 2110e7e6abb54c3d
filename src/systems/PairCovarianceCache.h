// Covariances of the pairs of a node's columns for a sweep that visits
// nodes in order. A covariance depends only on the two samples, so a pair
// the previous node also had is copied from it (neighbouring nodes share
// most neighbours: at 10^4 and 10^5 uniform samples one or two columns in
// 16 are new to a node). A new column gets its covariances to every column
// at once, computed as covariances to a node at its own place: the
// distance of a pair is the same whichever sample comes first. Both steps
// run in AVX-512 lanes when asked and the processor has them (the same
// bits either way).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "systems/KrigingConstants.h"

namespace mosaro {

class PairCovarianceCache {
public:
    // Nodes of `m` columns drawn from `entries` samples.
    PairCovarianceCache(int m, std::size_t entries, bool lanes);

    // Forgets the previous node.
    void Reset();

    // Covariances of every pair of the columns `ids` (load indices), whose
    // samples lie at (x[a], y[a]).
    void Fill(const int* ids, const float* x, const float* y, const KrigingConstants& c);

    // Covariance of columns a and b of the node last filled.
    float At(int a, int b) const { return previous_[static_cast<std::size_t>(a) * m_ + static_cast<std::size_t>(b)]; }

private:
    bool lanes_;
    std::size_t m_;
    std::vector<int> previousIds_;
    std::size_t previousCount_ = 0;
    std::vector<float> previous_, current_;  // m x m, symmetric
    std::vector<std::uint32_t> from_;        // column of this node -> column of the previous (any, if new)
    std::vector<std::size_t> fresh_;         // the columns the previous node did not have
    std::vector<float> column_;              // a new column's covariances
    std::vector<int> slotOf_;                // load index -> column of the previous node, or -1
};

}  // namespace mosaro
