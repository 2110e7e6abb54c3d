// The lag classes of one direction and their running sums, shared by the
// plain pair loop and the blocked parallel one, so that both classify and add
// with the very same expressions.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/FloatArith.h"
#include "variogram/VariogramTable.h"

namespace mosaro {

// Which lag class of one direction a pair at a given distance joins.
class LagClassifier {
public:
    LagClassifier(int classCount, float cellSize)
        : classCount_(classCount),
          cellSize_(cellSize),
          maxDistance_((static_cast<double>(classCount) + 0.5) * f64(cellSize)) {}

    int ClassCount() const { return classCount_; }
    float CellSize() const { return cellSize_; }
    // Pairs at this distance or farther are out of reach (compared in double).
    double MaxDistance() const { return maxDistance_; }

    // Class index (0-based) of a pair at `distance`, or -1 when it joins none.
    // Class k collects the distances in [(k - 0.5), (k + 0.5)) cell sizes;
    // class 0 (closer than half a cell, coincident samples included) and,
    // through rounding at the far edge, class count + 1 collect nothing. A
    // distance that is not finite is never within reach.
    int ClassOf(float distance) const {
        if (!(f64(distance) < maxDistance_)) return -1;
        const double position = f64(distance) / f64(cellSize_) + 0.5;
        if (!(position >= 1.0 && position < static_cast<double>(classCount_) + 1.0)) return -1;
        return static_cast<int>(position) - 1;
    }

private:
    int classCount_;
    float cellSize_;
    double maxDistance_;
};

// The running sums of one class: the distance sum and the distance-weighted
// squared-difference sum are float chains, each rounded after every
// addition, so the order of the additions is part of the result.
//
// The pair count is a float chain too, but of additions of 1: it is exact up
// to 2^24, where 2^24 + 1 rounds back to 2^24 (to even) and the count stays
// there for good. So it is kept as an integer and read through that rule,
// which saves a dependent rounding per pair.
struct ClassChains {
    std::uint64_t pairs = 0;
    float distanceSum = 0.0f;
    float squaredDifferenceSum = 0.0f;

    // `contribution` is (dv * d) * dv in double, dv the difference of the
    // pair's values; it is rounded only with the sum.
    void Add(float distance, double contribution) {
        ++pairs;
        distanceSum = f32(f64(distanceSum) + f64(distance));
        squaredDifferenceSum = f32(f64(squaredDifferenceSum) + contribution);
    }

    float PairCount() const { return static_cast<float>(std::min<std::uint64_t>(pairs, kLastCountedPair)); }

    static constexpr std::uint64_t kLastCountedPair = std::uint64_t{1} << 24;
};

// The chains of every class of one direction, and the table they end in.
class ClassSums {
public:
    // The chains come first: if the table's allocation fails they are
    // released as a finished member, whereas a table taken first would leak
    // when the chains' allocation fails (no destructor runs for an object
    // whose constructor threw).
    ClassSums(int classCount, float cellSize)
        : chains_(static_cast<std::size_t>(classCount)),
          table_(AllocateVariogramTable(static_cast<std::size_t>(classCount))) {
        for (int k = 1; k <= classCount; ++k) table_[kLagRow][k - 1] = f32(static_cast<double>(k) * f64(cellSize));
    }
    ~ClassSums() { ReleaseVariogramTable(table_); }
    ClassSums(const ClassSums&) = delete;
    ClassSums& operator=(const ClassSums&) = delete;

    ClassChains& operator[](std::size_t index) { return chains_[index]; }

    // Writes the pair count and semivariance rows, the semivariance being
    // sum(d * dv^2) / (2 * sum(d)), and hands the table over.
    float** Finish() {
        for (std::size_t c = 0; c < chains_.size(); ++c) {
            const ClassChains& chains = chains_[c];
            table_[kPairCountRow][c] = chains.PairCount();
            table_[kSemivarianceRow][c] = chains.distanceSum == 0.0f
                                              ? 0.0f
                                              : f32(f64(chains.squaredDifferenceSum) / (2.0 * f64(chains.distanceSum)));
        }
        float** table = table_;
        table_ = nullptr;
        return table;
    }

private:
    std::vector<ClassChains> chains_;
    float** table_;
};

// The contribution of a pair to its class's squared-difference sum.
inline double PairContribution(double valueDifference, float distance) {
    return (valueDifference * f64(distance)) * valueDifference;
}

}  // namespace mosaro
