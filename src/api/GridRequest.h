// One call of the entry point: its arguments after normalisation, and the
// checks and preparation that come before an estimator runs.
#pragma once

#include <optional>

#include "api/PointArrays.h"
#include "mosaro.h"
#include "pipeline/Pipeline.h"
#include "pipeline/RunSettings.h"

namespace mosaro {

struct GridRequest {
    const float* data = nullptr;
    int valueColumn = 0;
    int pointCount = 0;
    int columnCount = 0;
    TRECTXYMINMAX rect{};
    TGRIDCELLXY grid{};
    int neighbourCount = 1;
    int method = 0;
    float methodParameter = 0.0f;
    const float* methodArray = nullptr;
    float* output = nullptr;
};

// Replaces cell sizes that are not positive (NaN included) by 1 and a
// neighbour count below 1 by 1.
void Normalise(GridRequest& request);

// The point arrays and counts an estimator is constructed with.
struct PreparedRun {
    PointArrays points;
    int sampleCount = 0;
    int neighbourCount = 0;
};

// Builds the point arrays (co-kriging: one block per variable, counts
// widened by the number of variables), or nothing when the request names no
// method or would make the run read or write outside the caller's buffers.
std::optional<PreparedRun> Prepare(const GridRequest& request);

// The pipeline's run of a prepared request; it reads the arrays of
// `prepared`, which must outlive it.
PipelineRun PipelineRunOf(const GridRequest& request, const PreparedRun& prepared);

// Normalises, prepares and runs the request with `settings`, writing the
// grid to request.output and the other outputs where `outputs` asks (its
// grid is not read). Exceptions (allocation failures) propagate.
void RunGridRequest(GridRequest request, const RunSettings& settings, PipelineOutputs outputs = {});

}  // namespace mosaro
