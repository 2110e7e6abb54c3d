#include "api/GridRequest.h"

#include <climits>
#include <memory>
#include <vector>

#include "methods/MethodCatalog.h"
#include "platform/FloatArith.h"
#include "sweeps/GridNodes.h"

namespace mosaro {
namespace {

bool IsKnownMethod(int code) { return code >= kOrdinary && code <= kCoKriging; }

std::optional<PreparedRun> PrepareCoKriging(const GridRequest& r) {
    const int variables = TruncatedCount(r.methodParameter);
    if (variables < 1 || r.methodArray == nullptr) return std::nullopt;
    const long long widened = static_cast<long long>(r.pointCount) * variables;
    if (widened > INT_MAX) return std::nullopt;

    std::vector<int> columns;
    for (int v = 0; v < variables; ++v) {
        const int column = TruncatedCount(r.methodArray[v]);
        if (column < 0 || column >= r.columnCount) return std::nullopt;
        columns.push_back(column);
    }

    PreparedRun run;
    run.sampleCount = static_cast<int>(widened);
    // More neighbours than rows means every row; capping before widening
    // keeps the product within int and changes nothing else.
    const int perVariable = r.neighbourCount < r.pointCount ? r.neighbourCount : r.pointCount;
    run.neighbourCount = perVariable * variables;
    run.points = BuildBlockPointArrays(r.data, r.pointCount, r.columnCount, columns);
    return run;
}

}  // namespace

void Normalise(GridRequest& request) {
    if (!(request.grid.fCellSizeX > 0.0f)) request.grid.fCellSizeX = 1.0f;
    if (!(request.grid.fCellSizeY > 0.0f)) request.grid.fCellSizeY = 1.0f;
    if (request.neighbourCount < 1) request.neighbourCount = 1;
}

std::optional<PreparedRun> Prepare(const GridRequest& r) {
    if (!IsKnownMethod(r.method)) return std::nullopt;
    if (r.output == nullptr || r.grid.nCellCountX < 0 || r.grid.nCellCountY < 0) return std::nullopt;
    // No host holds a grid beyond what can be addressed; a count that large
    // is a wrong argument, and the node index and count would overflow.
    if (NodeCount64(r.grid) > kMaxNodes) return std::nullopt;
    if (r.pointCount < 0) return std::nullopt;
    if (r.pointCount > 0 && (r.data == nullptr || r.columnCount < 2)) return std::nullopt;

    if (r.method == kCoKriging) return PrepareCoKriging(r);

    if (r.pointCount > 0 && !(r.valueColumn >= 0 && r.valueColumn < r.columnCount)) return std::nullopt;
    if (r.method == kIndicator && r.methodArray == nullptr && TruncatedCount(r.methodParameter) >= 1)
        return std::nullopt;
    PreparedRun run;
    run.sampleCount = r.pointCount;
    run.neighbourCount = r.neighbourCount;
    run.points = BuildPointArrays(r.data, r.pointCount, r.columnCount, r.valueColumn);
    return run;
}

PipelineRun PipelineRunOf(const GridRequest& request, const PreparedRun& prepared) {
    PipelineRun run;
    run.samples = prepared.points.Rows();
    run.samples.count = prepared.sampleCount;
    run.neighbours = prepared.neighbourCount;
    run.method = MethodSpec{request.method, request.methodParameter, request.methodArray};
    run.grid = request.grid;
    run.rect = request.rect;
    return run;
}

void RunGridRequest(GridRequest request, const RunSettings& settings, PipelineOutputs outputs) {
    Normalise(request);
    const std::optional<PreparedRun> prepared = Prepare(request);
    if (!prepared) return;
    outputs.grid = request.output;
    RunPipeline(PipelineRunOf(request, *prepared), settings, outputs);
}

}  // namespace mosaro
