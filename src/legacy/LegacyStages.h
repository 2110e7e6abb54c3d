// What the legacy estimator classes run: the pipeline's stages on an
// estimator's members, with the settings of a run nobody configured (the
// fast legacy path on the default workers). The classes keep their
// exported layout and virtual call order, so a host may subclass them; the
// engine itself never goes through them.
#pragma once

#include <vector>

#include "mosaro.h"
#include "platform/SampleRows.h"
#include "systems/NodeMethod.h"

namespace mosaro {

// The estimator's samples: its point arrays over its point count.
SampleRows RowsOf(const CKriging& estimator, float* const* ppPoints);

// Builds both experimental tables of the estimator's samples with the
// per-sample quantities whose differences enter the semivariance; the new
// tables replace the members' pointers (tables held before are not
// released).
void BuildTablesOf(CKriging& estimator, float* const* ppPoints, const std::vector<double>& quantities);

// The sample values widened to double (the quantities of every method that
// takes the values themselves).
std::vector<double> WidenedValues(const CKriging& estimator, float* const* ppPoints);

// Sweeps the estimator's grid with its models and the method's rules.
void SweepGridOf(const CKriging& estimator, float* const* ppPoints, float* pGrid, const NodeMethod& rules);

}  // namespace mosaro
