#include "pipeline/EngineRun.h"

#include <memory>

#include "legacy/EstimatorFactory.h"
#include "pipeline/RunContext.h"

namespace mosaro {

bool RunEngine(const EngineRun& run) {
    std::unique_ptr<CKriging> estimator =
        CreateEstimator(run.method, run.sampleCount, run.neighbourCount, run.methodParameter,
                        run.grid, run.rect, run.thresholds);
    if (!estimator) return false;
    estimator->KrigingResultValue(run.points, run.output, run.grid);
    if (ProgressReporter* progress = CurrentRunContext().progress) progress->Finish();
    return true;
}

}  // namespace mosaro
