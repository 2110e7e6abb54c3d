// Indicator kriging (methods/Indicator.h): the whole pipeline runs once
// per threshold and the grid holds the sum of the per-threshold estimates.
//
// Degenerate input: fewer than one threshold (method parameter below 1)
// gives a grid of zeros. Running without thresholds set throws
// std::invalid_argument.
#pragma once

#include "mosaro.h"

class CIndicatorKriging : public CKriging {
public:
    CIndicatorKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
                      TRECTXYMINMAX Rect);
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
