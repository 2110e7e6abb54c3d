#include "methods/IndicatorKriging.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <stdexcept>
#include <vector>

#include "sweeps/FastNodeSweep.h"

namespace mosaro {
namespace {

float Indicator(float value, float threshold) {
    return f64(value) - f64(threshold) > 0.0 ? 0.0f : 1.0f;
}

// trunc(m_fMethodParameter); below 1 or NaN means no threshold, beyond int
// more than any indicator table holds (refused by the size check).
int ThresholdCount(float methodParameter) {
    const int count = TruncatedCount(methodParameter);
    if (count < 0) return f64(methodParameter) >= 1.0 ? INT_MAX : 0;
    return count;
}

class IndicatorEstimate : public NodeMethod {
public:
    explicit IndicatorEstimate(float threshold) : threshold_(threshold) {}

    // A sum of per-threshold estimates has no single kriging system.
    bool HasVariance() const override { return false; }

    float Estimate(const NodeSolution& s) const override {
        int atOrBelow = 0;
        float kriged = 0.0f;  // kriged indicator: weights of the samples at or below
        float total = 0.0f;   // sum of the values at or below the threshold
        for (int a = 0; a < s.neighbours; ++a) {
            const float indicator = Indicator(s.values[a], threshold_);
            if (indicator == 1.0f) ++atOrBelow;
            kriged = f32(f64(kriged) + f64(s.weights[a]) * f64(indicator));
            total = f32(f64(total) + f64(indicator) * f64(s.values[a]));
        }
        if (atOrBelow == 0) atOrBelow = 1;
        return f32(((1.0 - f64(kriged)) * f64(total)) / static_cast<double>(atOrBelow));
    }

    double AccurateEstimate(const AccurateSolution& s) const override {
        int atOrBelow = 0;
        double kriged = 0.0, total = 0.0;
        for (int a = 0; a < s.neighbours; ++a) {
            if (!(s.values[a] - f64(threshold_) > 0.0)) {
                ++atOrBelow;
                kriged += s.weights[a];
                total += s.values[a];
            }
        }
        return ((1.0 - kriged) * total) / static_cast<double>(std::max(atOrBelow, 1));
    }

private:
    float threshold_;
};

// Owns the indicator rows while the threshold loop runs and clears the
// member afterwards, also when a step throws.
class IndicatorTable {
public:
    IndicatorTable(CIndicatorKriging& owner, int thresholds, std::size_t samples)
        : owner_(owner), rows_(static_cast<std::size_t>(thresholds)) {
        pointers_.reserve(rows_.size());
        for (std::vector<float>& row : rows_) {
            row.assign(samples, 0.0f);
            pointers_.push_back(row.data());
        }
        owner_.m_ppIndicator = pointers_.data();
    }
    ~IndicatorTable() { owner_.m_ppIndicator = nullptr; }
    IndicatorTable(const IndicatorTable&) = delete;
    IndicatorTable& operator=(const IndicatorTable&) = delete;

private:
    CIndicatorKriging& owner_;
    std::vector<std::vector<float>> rows_;
    std::vector<float*> pointers_;
};

// The neighbour lists of the thresholds of the run in progress on this
// thread: every threshold sweeps the same samples over the same grid, so
// the neighbours are found once. Set for the length of the threshold loop.
thread_local SharedNeighbours* t_thresholdNeighbours = nullptr;

class ThresholdNeighboursScope {
public:
    explicit ThresholdNeighboursScope(SharedNeighbours& lists) : previous_(t_thresholdNeighbours) {
        t_thresholdNeighbours = &lists;
    }
    ~ThresholdNeighboursScope() { t_thresholdNeighbours = previous_; }
    ThresholdNeighboursScope(const ThresholdNeighboursScope&) = delete;
    ThresholdNeighboursScope& operator=(const ThresholdNeighboursScope&) = delete;

private:
    SharedNeighbours* previous_;
};

}  // namespace
}  // namespace mosaro

using mosaro::f32;
using mosaro::f64;

CIndicatorKriging::CIndicatorKriging(int nPointCount, int nNeighbourCount, float fMethodParameter,
                                     TGRIDCELLXY GridCell, TRECTXYMINMAX Rect)
    : CKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect),
      m_nThresholdIndex(0),
      m_ppIndicator(nullptr),
      m_pThreshold(nullptr) {}

CIndicatorKriging::~CIndicatorKriging() = default;

void CIndicatorKriging::SetThresholdValue(float* pThreshold) { m_pThreshold = pThreshold; }

void CIndicatorKriging::CalculateIndicatorValue(float** ppPoints) {
    const int thresholds = mosaro::ThresholdCount(m_fMethodParameter);
    for (int t = 0; t < thresholds; ++t)
        for (int i = 0; i < m_nPointCount; ++i)
            m_ppIndicator[t][i] = mosaro::Indicator(ppPoints[2][i], m_pThreshold[t]);
}

void CIndicatorKriging::KrigingResultValue(float** ppPoints, float* pGrid, TGRIDCELLXY) {
    const std::size_t nodes = mosaro::NodeCount(m_GridCell);
    const int thresholds = mosaro::ThresholdCount(m_fMethodParameter);
    m_nThresholdIndex = 0;
    if (thresholds == 0) {
        std::fill(pGrid, pGrid + nodes, 0.0f);
        return;
    }
    if (m_pThreshold == nullptr)
        throw std::invalid_argument("indicator kriging needs its thresholds before it runs");
    const std::size_t samples = m_nPointCount > 0 ? static_cast<std::size_t>(m_nPointCount) : 0;
    // Every threshold costs a row and a full pipeline even without samples.
    const double rows = static_cast<double>(thresholds);
    if (rows * static_cast<double>(std::max<std::size_t>(samples, 1)) > mosaro::kMaxIndicatorEntries)
        throw std::length_error("indicator table exceeds the supported size");

    mosaro::IndicatorTable table(*this, thresholds, samples);
    // Each threshold's estimates go to a scratch grid and are summed in
    // threshold order; the caller's grid is written once, at the end, so a
    // failure part way leaves it as it was.
    std::vector<float> sum(nodes, 0.0f);
    std::vector<float> estimate(nodes, 0.0f);
    CalculateIndicatorValue(ppPoints);
    const mosaro::RunContext& context = mosaro::CurrentRunContext();
    mosaro::SharedNeighbours neighbours;
    const mosaro::ThresholdNeighboursScope shareNeighbours(neighbours);
    for (m_nThresholdIndex = 0; m_nThresholdIndex < thresholds; ++m_nThresholdIndex) {
        // Each threshold is one pass of the progress and one entry of the
        // model report.
        if (context.progress != nullptr) context.progress->BeginPass(m_nThresholdIndex, thresholds);
        // Variogram of this threshold's indicators, fit, sweep, release.
        CKriging::KrigingResultValue(ppPoints, estimate.data(), m_GridCell);
        if (context.report != nullptr) context.report->back().threshold = m_pThreshold[m_nThresholdIndex];
        for (std::size_t k = 0; k < nodes; ++k) sum[k] = f32(f64(sum[k]) + f64(estimate[k]));
    }
    std::copy(sum.begin(), sum.end(), pGrid);
}

void CIndicatorKriging::CalculateKrigingValue(float** ppPoints, float* pGrid) {
    mosaro::RunNodeSweep(*this, ppPoints, pGrid, mosaro::IndicatorEstimate(m_pThreshold[m_nThresholdIndex]),
                         mosaro::t_thresholdNeighbours);
}

void CIndicatorKriging::CalculateVariogramValue(float** ppPoints) {
    const float* indicators = m_ppIndicator[m_nThresholdIndex];
    std::vector<double> values(indicators, indicators + std::max(m_nPointCount, 0));
    mosaro::BuildExperimentalVariograms(*this, ppPoints, values.data());
}
