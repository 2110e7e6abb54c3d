// Experimental directional variograms: along x and along y, each within
// 10 degrees, in lag classes one cell size wide.
#pragma once

#include "variogram/PairKernels.h"
#include "variogram/RobustFit.h"
#include "variogram/VariogramPairLoops.h"
#include "mosaro.h"

namespace mosaro {

// Builds both variogram tables of `estimator` from the sample coordinates
// ppPoints[0], ppPoints[1] and the per-sample quantities `values` whose
// differences enter the semivariance (the sample values themselves, their
// logarithms or their indicators, each widened to double). The new tables
// replace the members' pointers; tables held before are not released.
//
// Semivariance of a class: sum(d * dv^2) / (2 * sum(d)) over its pairs, a
// distance-weighted mean of half the squared differences.
//
// Runs the plain pair loop when the current run context asks for the
// reference, else the blocked parallel one on the context's thread count;
// both give the same tables. Reports progress of Stage::kVariograms and
// throws Cancelled when the host asked to stop.
void BuildExperimentalVariograms(CKriging& estimator, float* const* ppPoints, const double* values);

// While one lives, BuildExperimentalVariograms on this thread also builds
// the omnidirectional variogram of the same quantities into `target` (the
// robust fit needs it; each method's variogram stage chooses the
// quantities, so it is built there). A null target builds nothing.
class OmnidirectionalScope {
public:
    explicit OmnidirectionalScope(OmnidirectionalInput* target);
    ~OmnidirectionalScope();
    OmnidirectionalScope(const OmnidirectionalScope&) = delete;
    OmnidirectionalScope& operator=(const OmnidirectionalScope&) = delete;

private:
    OmnidirectionalInput* previous_;
};

// The blocked path with the given pair kernels and blocking, whatever the
// context says (every choice must give the same tables).
void BuildExperimentalVariogramsWith(CKriging& estimator, float* const* ppPoints, const double* values,
                                     const PairKernelPath& kernels, PairBlocking blocking = {});

}  // namespace mosaro
