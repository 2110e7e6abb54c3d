// Ordinary kriging: the weights of the m nearest samples sum to one (a
// single unbiasedness row borders the covariance system) and the estimate
// is their weighted sum, z = sum(w[a] * v[a]).
#include "legacy/LegacyStages.h"
#include "mosaro.h"

COrdinaryKriging::COrdinaryKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
                                   TRECTXYMINMAX Rect)
    : CKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect) {}

COrdinaryKriging::COrdinaryKriging(const COrdinaryKriging& other) = default;
COrdinaryKriging& COrdinaryKriging::operator=(const COrdinaryKriging& other) = default;
COrdinaryKriging::~COrdinaryKriging() = default;

void COrdinaryKriging::CalculateKrigingValue(float** ppPoints, float* pGrid) {
    mosaro::SweepGridOf(*this, ppPoints, pGrid, mosaro::NodeMethod());
}
