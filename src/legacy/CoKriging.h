// Co-kriging (methods/CoKriging.h): the method parameter is the number of
// variables, the point arrays hold one block per variable.
//
// Degenerate input: a method parameter that truncates below 1 names no
// variable; the sweep then leaves the grid untouched.
#pragma once

#include "mosaro.h"

class CCoKriging : public CKriging {
public:
    CCoKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell, TRECTXYMINMAX Rect);
    ~CCoKriging() override;

    void CalculateKrigingValue(float** ppPoints, float* pGrid) override;
    // The base computation over all entries of every block, pooled.
    void CalculateVariogramValue(float** ppPoints) override;
};
