// The lag classes of one direction and their running sums, shared by the
// plain pair loop and the blocked parallel one, so that both classify and add
// with the very same expressions.
#pragma once

#include <cstddef>
#include <vector>

#include "FloatArith.h"
#include "VariogramTable.h"

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

// The per-class float chains of one direction: pair count, distance sum and
// distance-weighted squared-difference sum, each rounded after every
// addition, so the order of the additions is part of the result.
class ClassSums {
public:
    ClassSums(int classCount, float cellSize)
        : table_(AllocateVariogramTable(static_cast<std::size_t>(classCount))),
          distanceSum_(static_cast<std::size_t>(classCount), 0.0f),
          squaredDifferenceSum_(static_cast<std::size_t>(classCount), 0.0f) {
        for (int k = 1; k <= classCount; ++k)
            table_[kLagRow][k - 1] = f32(static_cast<double>(k) * f64(cellSize));
    }
    ~ClassSums() { ReleaseVariogramTable(table_); }
    ClassSums(const ClassSums&) = delete;
    ClassSums& operator=(const ClassSums&) = delete;

    // `contribution` is (dv * d) * dv in double, dv the difference of the
    // pair's values; it is rounded only with the sum.
    void Add(std::size_t index, float distance, double contribution) {
        float* pairCount = table_[kPairCountRow];
        pairCount[index] = f32(f64(pairCount[index]) + 1.0);
        distanceSum_[index] = f32(f64(distanceSum_[index]) + f64(distance));
        squaredDifferenceSum_[index] = f32(f64(squaredDifferenceSum_[index]) + contribution);
    }

    // Writes the semivariance row, sum(d * dv^2) / (2 * sum(d)), and hands
    // the table over.
    float** Finish() {
        for (std::size_t c = 0; c < distanceSum_.size(); ++c) {
            table_[kSemivarianceRow][c] =
                distanceSum_[c] == 0.0f
                    ? 0.0f
                    : f32(f64(squaredDifferenceSum_[c]) / (2.0 * f64(distanceSum_[c])));
        }
        float** table = table_;
        table_ = nullptr;
        return table;
    }

private:
    float** table_;
    std::vector<float> distanceSum_;
    std::vector<float> squaredDifferenceSum_;
};

// The contribution of a pair to its class's squared-difference sum.
inline double PairContribution(double valueDifference, float distance) {
    return (valueDifference * f64(distance)) * valueDifference;
}

}  // namespace mosaro
