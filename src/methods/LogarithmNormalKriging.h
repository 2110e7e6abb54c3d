// Lognormal kriging: ordinary kriging of ln(v + shift), taken back with the
// exponential of the kriged logarithm plus half the kriging variance,
//   T = sum_a w_a (ln(v_a + shift) + Csum/2 - r_a/2 - mu/2),  z = exp(T) - shift,
// where r_a is the covariance of neighbour a to the node and mu the Lagrange
// multiplier. The two-parameter form has shift 0; the three-parameter form
// takes the caller's shift (the method parameter).
//
// Degenerate input: values (plus shift) of 0 or below give logarithms of
// -inf or NaN, which propagate by the floating-point rules into the
// variogram and the estimate; such nodes are stored as 0.
#pragma once

#include "legacy/Kriging.h"

class CLogarithmNormalKriging : public CKriging {
public:
    CLogarithmNormalKriging(int nPointCount, int nNeighbourCount, float fMethodParameter,
                            TGRIDCELLXY GridCell, TRECTXYMINMAX Rect);
    ~CLogarithmNormalKriging() override;

    void CalculateKrigingValue(float** ppPoints, float* pGrid) override;
    void CalculateVariogramValue(float** ppPoints) override;
};

class CLogarithmNormalKrigingThreeParameter : public CLogarithmNormalKriging {
public:
    CLogarithmNormalKrigingThreeParameter(int nPointCount, int nNeighbourCount,
                                          float fMethodParameter, TGRIDCELLXY GridCell,
                                          TRECTXYMINMAX Rect);
    ~CLogarithmNormalKrigingThreeParameter() override;

    void CalculateKrigingValue(float** ppPoints, float* pGrid) override;
    void CalculateVariogramValue(float** ppPoints) override;
};

namespace mosaro {

// Variogram tables of ln(v + shift), the sum and logarithm in double.
void BuildLogarithmVariograms(CKriging& estimator, float* const* ppPoints, float shift);

// The ordinary-kriging sweep with the lognormal back-transform.
void RunLogarithmNormalSweep(const CKriging& estimator, float* const* ppPoints, float* pGrid,
                             float shift);

}  // namespace mosaro
