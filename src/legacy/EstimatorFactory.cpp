#include "legacy/EstimatorFactory.h"

#include "methods/CoKriging.h"
#include "methods/IndicatorKriging.h"
#include "methods/LogarithmNormalKriging.h"
#include "methods/UniversalKriging.h"

namespace mosaro {
namespace {

// The constructor arguments every estimator takes, in their order.
struct EstimatorArguments {
    int pointCount;
    int neighbourCount;
    float methodParameter;
    TGRIDCELLXY grid;
    TRECTXYMINMAX rect;

    template <class Estimator>
    std::unique_ptr<Estimator> Make() const {
        return std::make_unique<Estimator>(pointCount, neighbourCount, methodParameter, grid, rect);
    }
};

}  // namespace

std::unique_ptr<CKriging> CreateEstimator(int code, int pointCount, int neighbourCount,
                                          float methodParameter, TGRIDCELLXY grid,
                                          TRECTXYMINMAX rect, const float* methodArray) {
    const EstimatorArguments a{pointCount, neighbourCount, methodParameter, grid, rect};
    switch (code) {
        case kOrdinary: return a.Make<COrdinaryKriging>();
        case kUniversalX: return a.Make<CUniversalKrigingXDirection>();
        case kUniversalY: return a.Make<CUniversalKrigingYDirection>();
        case kUniversalXY: return a.Make<CUniversalKrigingXYDirection>();
        case kUniversalXX: return a.Make<CUniversalKrigingXXDirection>();
        case kUniversalYY: return a.Make<CUniversalKrigingYYDirection>();
        case kUniversalXXYY: return a.Make<CUniversalKrigingXXYYDirection>();
        case kLognormal: return a.Make<CLogarithmNormalKriging>();
        case kLognormalThreeParameter: return a.Make<CLogarithmNormalKrigingThreeParameter>();
        case kIndicator: {
            std::unique_ptr<CIndicatorKriging> estimator = a.Make<CIndicatorKriging>();
            // The estimator only reads the thresholds.
            estimator->SetThresholdValue(const_cast<float*>(methodArray));
            return estimator;
        }
        case kCoKriging: return a.Make<CCoKriging>();
        default: return nullptr;
    }
}

}  // namespace mosaro
