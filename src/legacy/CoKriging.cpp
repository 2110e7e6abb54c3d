#include "legacy/CoKriging.h"

#include <memory>

#include "legacy/LegacyStages.h"
#include "methods/MethodCatalog.h"

CCoKriging::CCoKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
                       TRECTXYMINMAX Rect)
    : CKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect) {}

CCoKriging::~CCoKriging() = default;

void CCoKriging::CalculateKrigingValue(float** ppPoints, float* pGrid) {
    const std::unique_ptr<mosaro::NodeMethod> rules = mosaro::MakeRules(
        {mosaro::kCoKriging, m_fMethodParameter}, mosaro::RowsOf(*this, ppPoints), m_nNeighbourCount, 0);
    if (rules) mosaro::SweepGridOf(*this, ppPoints, pGrid, *rules);
}

void CCoKriging::CalculateVariogramValue(float** ppPoints) { CKriging::CalculateVariogramValue(ppPoints); }
