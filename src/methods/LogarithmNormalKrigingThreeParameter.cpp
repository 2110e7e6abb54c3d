// Three-parameter lognormal kriging: lognormal kriging of v + shift, the
// shift being the method parameter, so values need only exceed -shift.
// A shift of 0 gives exactly the two-parameter grid.
#include "methods/LogarithmNormalKriging.h"

CLogarithmNormalKrigingThreeParameter::CLogarithmNormalKrigingThreeParameter(
    int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
    TRECTXYMINMAX Rect)
    : CLogarithmNormalKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect) {}

CLogarithmNormalKrigingThreeParameter::~CLogarithmNormalKrigingThreeParameter() = default;

void CLogarithmNormalKrigingThreeParameter::CalculateKrigingValue(float** ppPoints,
                                                                  float* pGrid) {
    mosaro::RunLogarithmNormalSweep(*this, ppPoints, pGrid, m_fMethodParameter);
}

void CLogarithmNormalKrigingThreeParameter::CalculateVariogramValue(float** ppPoints) {
    mosaro::BuildLogarithmVariograms(*this, ppPoints, m_fMethodParameter);
}
