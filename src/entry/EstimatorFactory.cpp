#include "EstimatorFactory.h"

#include "CoKriging.h"
#include "IndicatorKriging.h"
#include "LogarithmNormalKriging.h"
#include "UniversalKriging.h"

namespace mosaro {
namespace {

template <class Estimator>
std::unique_ptr<CKriging> Make(int pointCount, int neighbourCount, float methodParameter,
                               TGRIDCELLXY grid, TRECTXYMINMAX rect) {
    return std::make_unique<Estimator>(pointCount, neighbourCount, methodParameter, grid, rect);
}

}  // namespace

std::unique_ptr<CKriging> CreateEstimator(int code, int pointCount, int neighbourCount,
                                          float methodParameter, TGRIDCELLXY grid,
                                          TRECTXYMINMAX rect, const float* methodArray) {
    const auto make = [&](auto* tag) {
        using Estimator = std::remove_pointer_t<decltype(tag)>;
        return Make<Estimator>(pointCount, neighbourCount, methodParameter, grid, rect);
    };
    switch (code) {
        case kOrdinary: return make(static_cast<COrdinaryKriging*>(nullptr));
        case kUniversalX: return make(static_cast<CUniversalKrigingXDirection*>(nullptr));
        case kUniversalY: return make(static_cast<CUniversalKrigingYDirection*>(nullptr));
        case kUniversalXY: return make(static_cast<CUniversalKrigingXYDirection*>(nullptr));
        case kUniversalXX: return make(static_cast<CUniversalKrigingXXDirection*>(nullptr));
        case kUniversalYY: return make(static_cast<CUniversalKrigingYYDirection*>(nullptr));
        case kUniversalXXYY: return make(static_cast<CUniversalKrigingXXYYDirection*>(nullptr));
        case kLognormal: return make(static_cast<CLogarithmNormalKriging*>(nullptr));
        case kLognormalThreeParameter:
            return make(static_cast<CLogarithmNormalKrigingThreeParameter*>(nullptr));
        case kIndicator: {
            auto estimator = std::make_unique<CIndicatorKriging>(pointCount, neighbourCount,
                                                                 methodParameter, grid, rect);
            // The estimator only reads the thresholds.
            estimator->SetThresholdValue(const_cast<float*>(methodArray));
            return estimator;
        }
        case kCoKriging: return make(static_cast<CCoKriging*>(nullptr));
        default: return nullptr;
    }
}

}  // namespace mosaro
