// The model part of the tool's report: per pass and direction the fitted (or
// given) spherical model, the branch of the fit, and the anisotropy used.
#pragma once

#include <cstdio>

#include "mosaro.h"

namespace mosaro::tool {

const char* BranchName(mosaro_fit_branch branch);

// Prints every pass of `report` (indicator kriging: one per threshold):
// per direction the model used and why.
void PrintModels(std::FILE* out, const mosaro_report& report, mosaro_method method);

// Per pass: the nodes the accurate arithmetic could not estimate, the
// ill-conditioned and minimum-norm ones, and the smallest reciprocal
// condition met. Prints nothing for a legacy run.
void PrintNodeSummaries(std::FILE* out, const mosaro_report& report);

// How a direction of a pass got its model, and what each fit gave; false
// when the report has no such direction.
bool DirectionFit(const mosaro_report& report, int pass, int direction, mosaro_direction_fit& fit);

}  // namespace mosaro::tool
