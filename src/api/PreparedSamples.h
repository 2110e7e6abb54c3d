// The prepared-samples handle of the modern API: the caller's arrays,
// checked once and copied into the point arrays the estimators read, so
// that one set of samples can be gridded many times.
#pragma once

#include <memory>

#include "api/PointArrays.h"
#include "mosaro.h"

struct mosaro_samples {
    int count = 0;      // samples per variable
    int variables = 1;  // 1 + the extra value arrays of co-kriging
    // x, y and the primary value, blanks filled as the legacy table's.
    mosaro::PointArrays primary;
    // Co-kriging: one block per variable, blanks filled over all blocks
    // together (the legacy block layout). Empty with one variable, where
    // the primary arrays are the single block.
    mosaro::PointArrays blocks;
};

namespace mosaro {

// Checks the arrays (throws ApiError naming the argument) and copies them.
std::unique_ptr<mosaro_samples> PrepareSamples(const float* x, const float* y, const float* value, int count,
                                               const float* const* extraValues, int extraValueCount);

}  // namespace mosaro
