#include "legacy/UniversalKriging.h"

#include "legacy/LegacyStages.h"
#include "methods/MethodCatalog.h"

CUniversalKriging::CUniversalKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
                                     TRECTXYMINMAX Rect)
    : CKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect) {}

CUniversalKriging::~CUniversalKriging() = default;

// Defines one drift form: its constructor, destructor and sweep.
#define MOSARO_DEFINE_UNIVERSAL_DIRECTION(ClassName, Code)                                                   \
    ClassName::ClassName(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell, \
                         TRECTXYMINMAX Rect)                                                                 \
        : CUniversalKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect) {}               \
    ClassName::~ClassName() = default;                                                                       \
    void ClassName::CalculateKrigingValue(float** ppPoints, float* pGrid) {                                  \
        mosaro::SweepGridOf(*this, ppPoints, pGrid, *mosaro::MakeRules({Code}, {}, 0, 0));                   \
    }

MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingXDirection, mosaro::kUniversalX)
MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingYDirection, mosaro::kUniversalY)
MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingXYDirection, mosaro::kUniversalXY)
MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingXXDirection, mosaro::kUniversalXX)
MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingYYDirection, mosaro::kUniversalYY)
MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingXXYYDirection, mosaro::kUniversalXXYY)
