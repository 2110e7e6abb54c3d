// The library's entry point. It keeps the legacy contract: it returns 1 and
// reports nothing, whatever happens.
//
// Arguments that would make the run read or write outside the caller's
// buffers, or that no estimator can honour, end the call before anything is
// written, so the grid is left as the caller passed it. No exception leaves
// this function.
#include "api/GridRequest.h"
#include "mosaro.h"

extern "C" MOSARO_API int KARVO_ScatToGridWithKrig(const float* pData, int nValueColumn, int nPointCount,
                                                   int nColumnCount, const float* pRect, float fCellSizeX,
                                                   float fCellSizeY, int nCellCountX, int nCellCountY,
                                                   int nNeighbourCount, int KrigingMethod, float fMethodParameter,
                                                   const float* pMethodArray, float* pGrid) {
    try {
        if (pRect == nullptr) return 1;
        mosaro::GridRequest request;
        request.data = pData;
        request.valueColumn = nValueColumn;
        request.pointCount = nPointCount;
        request.columnCount = nColumnCount;
        request.rect = TRECTXYMINMAX{pRect[0], pRect[1], pRect[2], pRect[3]};
        request.grid = TGRIDCELLXY{fCellSizeX, fCellSizeY, nCellCountX, nCellCountY};
        request.neighbourCount = nNeighbourCount;
        request.method = KrigingMethod;
        request.methodParameter = fMethodParameter;
        request.methodArray = pMethodArray;
        request.output = pGrid;
        mosaro::RunGridRequest(request, mosaro::DefaultSettings());
    } catch (...) {
        // An allocation failure, or a lag-class count no memory could hold,
        // ends the call. Every working array is taken before the first node
        // is written, so the grid is left as it was.
    }
    return 1;
}
