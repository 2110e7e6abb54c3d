#include "methods/UniversalKriging.h"

CUniversalKriging::CUniversalKriging(int nPointCount, int nNeighbourCount,
                                     float fMethodParameter, TGRIDCELLXY GridCell,
                                     TRECTXYMINMAX Rect)
    : CKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect) {}

CUniversalKriging::~CUniversalKriging() = default;
