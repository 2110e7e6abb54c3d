// The one engine path of both entry points: the estimator a method code
// names, built over prepared point arrays and run over the grid. The legacy
// entry point and the modern API both end here, so that the same arguments
// give the same bits through either.
#pragma once

#include "mosaro.h"

namespace mosaro {

struct EngineRun {
    float** points = nullptr;  // x, y and value rows of sampleCount entries
    int sampleCount = 0;       // co-kriging: variables times samples
    int neighbourCount = 0;    // co-kriging: variables times neighbours per variable
    int method = 0;
    float methodParameter = 0.0f;        // as the estimator reads it
    const float* thresholds = nullptr;   // indicator kriging
    TGRIDCELLXY grid{};
    TRECTXYMINMAX rect{};
    float* output = nullptr;
};

// Runs the estimator under the calling thread's run context; returns false
// when the method code names no estimator (nothing is written). A run that
// completes reports the final progress. Exceptions propagate.
bool RunEngine(const EngineRun& run);

}  // namespace mosaro
