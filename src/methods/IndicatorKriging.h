// Indicator kriging: for each threshold t the samples become indicators
// I = 1 where v <= t (a difference that is not a number counts as 1) and 0
// above; the whole pipeline (variogram of the indicators, fit, sweep) runs
// once per threshold, and each node finally holds the sum over the
// thresholds, in array order, of
//   z_t = (1 - sum_a w_a I_a) * (sum_a I_a v_a) / c,
// c being the number of the node's neighbours at or below t (at least 1).
//
// Degenerate input: fewer than one threshold (method parameter below 1)
// gives a grid of zeros. Running without thresholds set throws
// std::invalid_argument; the entry point never does.
#pragma once

#include "legacy/Kriging.h"

namespace mosaro {

// Largest indicator table the estimator takes on (thresholds times samples,
// at least one entry per threshold); beyond it the run throws
// std::length_error before allocating.
constexpr double kMaxIndicatorEntries = 1 << 28;

}  // namespace mosaro

class CIndicatorKriging : public CKriging {
public:
    CIndicatorKriging(int nPointCount, int nNeighbourCount, float fMethodParameter,
                      TGRIDCELLXY GridCell, TRECTXYMINMAX Rect);
    ~CIndicatorKriging() override;

    // Keeps the caller's array of trunc(m_fMethodParameter) thresholds; it is
    // neither copied nor released and must outlive KrigingResultValue.
    void SetThresholdValue(float* pThreshold);
    // Fills m_ppIndicator, threshold by threshold.
    void CalculateIndicatorValue(float** ppPoints);

    // The threshold loop. Like the base pipeline it uses the object's own
    // grid layout; the third argument is not read.
    void KrigingResultValue(float** ppPoints, float* pGrid, TGRIDCELLXY GridCell) override;
    void CalculateKrigingValue(float** ppPoints, float* pGrid) override;
    void CalculateVariogramValue(float** ppPoints) override;

    int m_nThresholdIndex;
    float** m_ppIndicator;
    float* m_pThreshold;
};
