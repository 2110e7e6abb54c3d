#include "EstimatorFactory.h"

namespace mosaro {

std::unique_ptr<CKriging> CreateEstimator(int code, int pointCount, int neighbourCount,
                                          float methodParameter, TGRIDCELLXY grid,
                                          TRECTXYMINMAX rect, const float* /*methodArray*/) {
    switch (code) {
        case kOrdinary:
            return std::make_unique<COrdinaryKriging>(pointCount, neighbourCount,
                                                      methodParameter, grid, rect);
        default:
            return nullptr;
    }
}

}  // namespace mosaro
