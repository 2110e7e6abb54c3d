// Universal kriging with a polynomial drift (methods/PolynomialDrift.h):
// an intermediate base and one class per drift form.
#pragma once

#include "mosaro.h"

// Intermediate base of the six drift forms; alone it estimates nothing.
class CUniversalKriging : public CKriging {
public:
    CUniversalKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
                      TRECTXYMINMAX Rect);
    ~CUniversalKriging() override;
};

// Declares one drift form: the constructor of the family and the sweep.
#define MOSARO_DECLARE_UNIVERSAL_DIRECTION(ClassName)                                                 \
    class ClassName : public CUniversalKriging {                                                      \
    public:                                                                                           \
        ClassName(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell, \
                  TRECTXYMINMAX Rect);                                                                \
        ~ClassName() override;                                                                        \
        void CalculateKrigingValue(float** ppPoints, float* pGrid) override;                          \
    }

MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingXDirection);     // f1 = x
MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingYDirection);     // f1 = y
MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingXYDirection);    // f1 = x, f2 = y
MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingXXDirection);    // f1 = x, f2 = x^2
MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingYYDirection);    // f1 = y, f2 = y^2
MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingXXYYDirection);  // x, x^2, y, y^2, x*y

#undef MOSARO_DECLARE_UNIVERSAL_DIRECTION
