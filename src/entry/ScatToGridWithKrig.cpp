// The library's entry point: normalises the arguments, builds the point
// arrays, runs the estimator the method code names, and keeps the legacy
// contract of returning 1 and reporting nothing.
//
// Arguments that would make the run read or write outside the caller's
// buffers, or that no estimator can honour, end the call before anything is
// written: the grid is left as the caller passed it. No exception leaves
// this file.
#include <climits>
#include <cmath>
#include <vector>

#include "EstimatorFactory.h"
#include "Kriging.h"
#include "PointArrays.h"

namespace mosaro {
namespace {

struct Request {
    const float* data;
    int valueColumn;
    int pointCount;
    int columnCount;
    TRECTXYMINMAX rect;
    TGRIDCELLXY grid;
    int neighbourCount;
    int method;
    float methodParameter;
    const float* methodArray;
    float* output;
};

bool IsKnownMethod(int code) { return code >= kOrdinary && code <= kCoKriging; }

bool IsColumn(int column, int columnCount) { return column >= 0 && column < columnCount; }

// trunc(value) as an int, or -1 when it is not a number or out of int range.
int TruncatedCount(float value) {
    const double t = std::trunc(f64(value));
    if (!(t >= 0.0 && t <= static_cast<double>(INT_MAX))) return -1;
    return static_cast<int>(t);
}

// The co-kriging value columns, or an empty list when one is not a column
// of the table.
std::vector<int> CoKrigingColumns(const Request& r, int variables) {
    std::vector<int> columns;
    for (int v = 0; v < variables; ++v) {
        const double column = std::trunc(f64(r.methodArray[v]));
        if (!(column >= 0.0 && column < static_cast<double>(r.columnCount))) return {};
        columns.push_back(static_cast<int>(column));
    }
    return columns;
}

void Run(Request r) {
    if (!IsKnownMethod(r.method)) return;
    if (r.output == nullptr || r.grid.nCellCountX < 0 || r.grid.nCellCountY < 0) return;
    if (r.pointCount < 0) return;
    if (r.pointCount > 0 && (r.data == nullptr || r.columnCount < 2)) return;

    PointArrays points;
    int sampleCount = r.pointCount;
    int neighbourCount = r.neighbourCount;
    if (r.method == kCoKriging) {
        const int variables = TruncatedCount(r.methodParameter);
        if (variables < 1 || r.methodArray == nullptr) return;
        const long long widened = static_cast<long long>(r.pointCount) * variables;
        if (widened > INT_MAX) return;
        const std::vector<int> columns = CoKrigingColumns(r, variables);
        if (columns.empty()) return;
        // A neighbour count beyond the table's rows means every row; capping
        // it first keeps the widened count within int.
        const int perVariable = neighbourCount < r.pointCount ? neighbourCount : r.pointCount;
        sampleCount = static_cast<int>(widened);
        neighbourCount = perVariable * variables;
        points = BuildBlockPointArrays(r.data, r.pointCount, r.columnCount, columns);
    } else {
        if (r.pointCount > 0 && !IsColumn(r.valueColumn, r.columnCount)) return;
        points = BuildPointArrays(r.data, r.pointCount, r.columnCount, r.valueColumn);
    }

    std::unique_ptr<CKriging> estimator = CreateEstimator(
        r.method, sampleCount, neighbourCount, r.methodParameter, r.grid, r.rect);
    if (!estimator) return;
    estimator->KrigingResultValue(points.Table(), r.output, r.grid);
}

}  // namespace
}  // namespace mosaro

extern "C" MOSARO_API int KARVO_ScatToGridWithKrig(
    const float* pData, int nValueColumn, int nPointCount, int nColumnCount, const float* pRect,
    float fCellSizeX, float fCellSizeY, int nCellCountX, int nCellCountY, int nNeighbourCount,
    int KrigingMethod, float fMethodParameter, const float* pMethodArray, float* pGrid) {
    try {
        if (pRect == nullptr) return 1;
        // Cell sizes that are not positive (NaN included) and neighbour
        // counts below one get fixed substitutes.
        if (!(fCellSizeX > 0.0f)) fCellSizeX = 1.0f;
        if (!(fCellSizeY > 0.0f)) fCellSizeY = 1.0f;
        if (nNeighbourCount < 1) nNeighbourCount = 1;

        mosaro::Request request;
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
        mosaro::Run(request);
    } catch (...) {
        // No error channel: an allocation failure (or a lag-class count no
        // memory could hold) ends the call. All working memory is taken
        // before the first node is written, so the grid is left as it was.
    }
    return 1;
}
