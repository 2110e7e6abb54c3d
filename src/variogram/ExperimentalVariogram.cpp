#include "variogram/ExperimentalVariogram.h"

#include "variogram/LagClasses.h"
#include "pipeline/RunContext.h"
#include "variogram/VariogramPairLoops.h"

namespace mosaro {
namespace {

thread_local OmnidirectionalInput* t_omnidirectional = nullptr;

// The run's choice: the plain loop when the reference is asked for, else the
// blocked one with `kernels`.
void BuildTables(CKriging& estimator, float* const* ppPoints, const double* values,
                 const PairKernelPath* kernels, PairBlocking blocking) {
    const LagClassCounts counts = ComputeLagClassCounts(estimator.m_GridCell, estimator.m_Rect);
    const LagClassifier classifierX(counts.x, estimator.m_GridCell.fCellSizeX);
    const LagClassifier classifierY(counts.y, estimator.m_GridCell.fCellSizeY);
    ClassSums sumsX(counts.x, estimator.m_GridCell.fCellSizeX);
    ClassSums sumsY(counts.y, estimator.m_GridCell.fCellSizeY);

    const PairSamples samples{ppPoints[0], ppPoints[1], values, estimator.m_nPointCount};
    const RunContext& context = CurrentRunContext();
    if (kernels == nullptr) {
        CollectPairsInOrder(samples, {classifierX, sumsX}, {classifierY, sumsY});
    } else {
        CollectPairsBlocked(samples, {classifierX, sumsX}, {classifierY, sumsY}, *kernels,
                            ResolveThreadCount(context), blocking);
    }

    float** tableX = sumsX.Finish();
    float** tableY = sumsY.Finish();
    estimator.m_ppVariogramX = tableX;
    estimator.m_ppVariogramY = tableY;

    if (t_omnidirectional != nullptr) {
        OmnidirectionalInput& input = *t_omnidirectional;
        input.x = ppPoints[0];
        input.y = ppPoints[1];
        input.values.assign(values, values + estimator.m_nPointCount);
        input.classes = ComputeOmnidirectionalClasses(estimator.m_GridCell, estimator.m_Rect);
        input.threads = ResolveThreadCount(context);
    }
}

}  // namespace

OmnidirectionalScope::OmnidirectionalScope(OmnidirectionalInput* target) : previous_(t_omnidirectional) {
    t_omnidirectional = target;
}

OmnidirectionalScope::~OmnidirectionalScope() { t_omnidirectional = previous_; }

void BuildExperimentalVariograms(CKriging& estimator, float* const* ppPoints, const double* values) {
    BuildTables(estimator, ppPoints, values,
                CurrentRunContext().reference ? nullptr : &PreferredPairKernels(), PairBlocking{});
}

void BuildExperimentalVariogramsWith(CKriging& estimator, float* const* ppPoints, const double* values,
                                     const PairKernelPath& kernels, PairBlocking blocking) {
    BuildTables(estimator, ppPoints, values, &kernels, blocking);
}

}  // namespace mosaro
