// Method codes of the entry point and the estimator each one names.
#pragma once

#include <memory>

#include "mosaro.h"

namespace mosaro {

enum MethodCode {
    kOrdinary = 1,
    kUniversalX = 2,
    kUniversalY = 3,
    kUniversalXY = 4,
    kUniversalXX = 5,
    kUniversalYY = 6,
    kUniversalXXYY = 7,
    kLognormal = 8,
    kLognormalThreeParameter = 9,
    kIndicator = 10,
    kCoKriging = 11,
};

// The estimator for `code`, ready to run, or null for a code that names
// none. The method array is handed to the estimators that read it (the
// thresholds of indicator kriging); it is never written.
std::unique_ptr<CKriging> CreateEstimator(int code, int pointCount, int neighbourCount,
                                          float methodParameter, TGRIDCELLXY grid,
                                          TRECTXYMINMAX rect, const float* methodArray);

}  // namespace mosaro
