#include "legacy/IndicatorKriging.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <vector>

#include "legacy/LegacyStages.h"
#include "methods/Indicator.h"
#include "methods/MethodCatalog.h"
#include "platform/FloatArith.h"
#include "sweeps/GridNodes.h"

namespace {

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

}  // namespace

using mosaro::f32;
using mosaro::f64;

CIndicatorKriging::CIndicatorKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
                                     TRECTXYMINMAX Rect)
    : CKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect),
      m_nThresholdIndex(0),
      m_ppIndicator(nullptr),
      m_pThreshold(nullptr) {}

CIndicatorKriging::~CIndicatorKriging() = default;

void CIndicatorKriging::SetThresholdValue(float* pThreshold) { m_pThreshold = pThreshold; }

void CIndicatorKriging::CalculateIndicatorValue(float** ppPoints) {
    const int thresholds = mosaro::PassCount({mosaro::kIndicator, m_fMethodParameter});
    for (int t = 0; t < thresholds; ++t)
        for (int i = 0; i < m_nPointCount; ++i)
            m_ppIndicator[t][i] = mosaro::Indicator(ppPoints[2][i], m_pThreshold[t]);
}

void CIndicatorKriging::KrigingResultValue(float** ppPoints, float* pGrid, TGRIDCELLXY) {
    const std::size_t nodes = mosaro::NodeCount(m_GridCell);
    const int thresholds = mosaro::PassCount({mosaro::kIndicator, m_fMethodParameter});
    m_nThresholdIndex = 0;
    if (thresholds == 0) {
        std::fill(pGrid, pGrid + nodes, 0.0f);
        return;
    }
    if (m_pThreshold == nullptr) throw std::invalid_argument("indicator kriging needs its thresholds before it runs");
    const std::size_t samples = m_nPointCount > 0 ? static_cast<std::size_t>(m_nPointCount) : 0;
    // Every threshold costs a row and a full pipeline even without samples.
    const double rows = static_cast<double>(thresholds);
    if (rows * static_cast<double>(std::max<std::size_t>(samples, 1)) > mosaro::kMaxIndicatorEntries)
        throw std::length_error("indicator table exceeds the supported size");

    IndicatorTable table(*this, thresholds, samples);
    // Each threshold's estimates go to a scratch grid and are summed in
    // threshold order; the caller's grid is written once, at the end, so a
    // failure part way leaves it as it was.
    std::vector<float> sum(nodes, 0.0f);
    std::vector<float> estimate(nodes, 0.0f);
    CalculateIndicatorValue(ppPoints);
    for (m_nThresholdIndex = 0; m_nThresholdIndex < thresholds; ++m_nThresholdIndex) {
        // Variogram of this threshold's indicators, fit, sweep, release.
        CKriging::KrigingResultValue(ppPoints, estimate.data(), m_GridCell);
        for (std::size_t k = 0; k < nodes; ++k) sum[k] = f32(f64(sum[k]) + f64(estimate[k]));
    }
    std::copy(sum.begin(), sum.end(), pGrid);
}

void CIndicatorKriging::CalculateKrigingValue(float** ppPoints, float* pGrid) {
    mosaro::SweepGridOf(*this, ppPoints, pGrid, *mosaro::MakeIndicator(m_pThreshold[m_nThresholdIndex]));
}

void CIndicatorKriging::CalculateVariogramValue(float** ppPoints) {
    const float* indicators = m_ppIndicator[m_nThresholdIndex];
    mosaro::BuildTablesOf(*this, ppPoints, std::vector<double>(indicators, indicators + std::max(m_nPointCount, 0)));
}
