#include "ExperimentalVariogram.h"

#include <cmath>
#include <vector>

#include "FloatArith.h"
#include "LagClasses.h"
#include "VariogramTable.h"

namespace mosaro {
namespace {

// 10 degrees in radians, and the angle of a pair with equal x coordinates.
constexpr double kConeHalfWidth = 0.174532922;
constexpr double kRightAngle = 1.5707963;

// One direction's classes while the pairs are being collected.
class DirectionAccumulator {
public:
    DirectionAccumulator(int classCount, float cellSize)
        : classCount_(classCount),
          cellSize_(cellSize),
          maxDistance_((static_cast<double>(classCount) + 0.5) * f64(cellSize)),
          table_(AllocateVariogramTable(static_cast<std::size_t>(classCount))),
          distanceSum_(static_cast<std::size_t>(classCount), 0.0f),
          squaredDifferenceSum_(static_cast<std::size_t>(classCount), 0.0f) {
        for (int k = 1; k <= classCount_; ++k)
            table_[kLagRow][k - 1] = f32(static_cast<double>(k) * f64(cellSize_));
    }
    ~DirectionAccumulator() { ReleaseVariogramTable(table_); }
    DirectionAccumulator(const DirectionAccumulator&) = delete;
    DirectionAccumulator& operator=(const DirectionAccumulator&) = delete;

    bool WithinReach(float distance) const { return f64(distance) < maxDistance_; }

    // Class k collects the distances in [(k - 0.5), (k + 0.5)) cell sizes;
    // class 0 (closer than half a cell, coincident samples included) and,
    // through rounding at the far edge, class count + 1 collect nothing.
    void Add(float distance, double valueDifference) {
        const double position = f64(distance) / f64(cellSize_) + 0.5;
        if (!(position >= 1.0 && position < static_cast<double>(classCount_) + 1.0)) return;
        const std::size_t index = static_cast<std::size_t>(position) - 1;
        float* pairCount = table_[kPairCountRow];
        pairCount[index] = f32(f64(pairCount[index]) + 1.0);
        distanceSum_[index] = f32(f64(distanceSum_[index]) + f64(distance));
        squaredDifferenceSum_[index] = f32(f64(squaredDifferenceSum_[index]) +
                                           (valueDifference * f64(distance)) * valueDifference);
    }

    // Writes the semivariance row and hands the table over.
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
    int classCount_;
    float cellSize_;
    double maxDistance_;
    float** table_;
    std::vector<float> distanceSum_;
    std::vector<float> squaredDifferenceSum_;
};

}  // namespace

void BuildExperimentalVariograms(CKriging& estimator, float* const* ppPoints, const double* values) {
    const LagClassCounts counts = ComputeLagClassCounts(estimator.m_GridCell, estimator.m_Rect);
    DirectionAccumulator alongX(counts.x, estimator.m_GridCell.fCellSizeX);
    DirectionAccumulator alongY(counts.y, estimator.m_GridCell.fCellSizeY);

    const float* x = ppPoints[0];
    const float* y = ppPoints[1];
    const int n = estimator.m_nPointCount;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            const float ax = f32(std::fabs(f64(x[i]) - f64(x[j])));
            const float ay = f32(std::fabs(f64(y[i]) - f64(y[j])));
            const float distance = f32(std::sqrt(f64(ax) * f64(ax) + f64(ay) * f64(ay)));
            const float angle =
                ax == 0.0f ? f32(kRightAngle) : f32(std::atan(f64(ay) / f64(ax)));
            // The two cones are disjoint, so a pair is offered to one direction.
            if (f64(angle) <= kConeHalfWidth) {
                if (alongX.WithinReach(distance)) alongX.Add(distance, values[i] - values[j]);
            } else if (kRightAngle - f64(angle) <= kConeHalfWidth) {
                if (alongY.WithinReach(distance)) alongY.Add(distance, values[i] - values[j]);
            }
        }
    }

    float** tableX = alongX.Finish();
    float** tableY = alongY.Finish();
    estimator.m_ppVariogramX = tableX;
    estimator.m_ppVariogramY = tableY;
}

}  // namespace mosaro
