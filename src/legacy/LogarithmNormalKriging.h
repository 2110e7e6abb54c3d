// Lognormal kriging (methods/Lognormal.h): the two-parameter form and, as
// its subclass, the three-parameter form whose shift is the method
// parameter.
#pragma once

#include "mosaro.h"

class CLogarithmNormalKriging : public CKriging {
public:
    CLogarithmNormalKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
                            TRECTXYMINMAX Rect);
    ~CLogarithmNormalKriging() override;

    void CalculateKrigingValue(float** ppPoints, float* pGrid) override;
    void CalculateVariogramValue(float** ppPoints) override;
};

class CLogarithmNormalKrigingThreeParameter : public CLogarithmNormalKriging {
public:
    CLogarithmNormalKrigingThreeParameter(int nPointCount, int nNeighbourCount, float fMethodParameter,
                                          TGRIDCELLXY GridCell, TRECTXYMINMAX Rect);
    ~CLogarithmNormalKrigingThreeParameter() override;

    void CalculateKrigingValue(float** ppPoints, float* pGrid) override;
    void CalculateVariogramValue(float** ppPoints) override;
};
