// Experimental directional variograms: along x and along y, each within
// 10 degrees, in lag classes one cell size wide.
#pragma once

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
void BuildExperimentalVariograms(CKriging& estimator, float* const* ppPoints, const double* values);

}  // namespace mosaro
