#include "legacy/LogarithmNormalKriging.h"

#include <cstddef>
#include <vector>

#include "legacy/LegacyStages.h"
#include "methods/Lognormal.h"

namespace {

// Variogram tables of ln(v + shift), the sum and the logarithm in double.
void BuildLogarithmTables(CKriging& estimator, float** ppPoints, float shift) {
    const mosaro::SampleRows rows = mosaro::RowsOf(estimator, ppPoints);
    std::vector<double> logarithms(static_cast<std::size_t>(rows.count));
    for (std::size_t i = 0; i < logarithms.size(); ++i) logarithms[i] = mosaro::ShiftedLogarithm(rows.value[i], shift);
    mosaro::BuildTablesOf(estimator, ppPoints, logarithms);
}

}  // namespace

CLogarithmNormalKriging::CLogarithmNormalKriging(int nPointCount, int nNeighbourCount, float fMethodParameter,
                                                 TGRIDCELLXY GridCell, TRECTXYMINMAX Rect)
    : CKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect) {}

CLogarithmNormalKriging::~CLogarithmNormalKriging() = default;

void CLogarithmNormalKriging::CalculateKrigingValue(float** ppPoints, float* pGrid) {
    mosaro::SweepGridOf(*this, ppPoints, pGrid, *mosaro::MakeLognormal(0.0f));
}

void CLogarithmNormalKriging::CalculateVariogramValue(float** ppPoints) { BuildLogarithmTables(*this, ppPoints, 0.0f); }

CLogarithmNormalKrigingThreeParameter::CLogarithmNormalKrigingThreeParameter(int nPointCount, int nNeighbourCount,
                                                                             float fMethodParameter,
                                                                             TGRIDCELLXY GridCell, TRECTXYMINMAX Rect)
    : CLogarithmNormalKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect) {}

CLogarithmNormalKrigingThreeParameter::~CLogarithmNormalKrigingThreeParameter() = default;

void CLogarithmNormalKrigingThreeParameter::CalculateKrigingValue(float** ppPoints, float* pGrid) {
    mosaro::SweepGridOf(*this, ppPoints, pGrid, *mosaro::MakeLognormal(m_fMethodParameter));
}

void CLogarithmNormalKrigingThreeParameter::CalculateVariogramValue(float** ppPoints) {
    BuildLogarithmTables(*this, ppPoints, m_fMethodParameter);
}
