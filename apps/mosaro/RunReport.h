// The model part of the tool's report: per pass and direction the fitted (or
// given) spherical model, the branch of the fit, and the anisotropy used.
#pragma once

#include <cstdio>

#include "mosaro.h"

namespace mosaro::tool {

const char* BranchName(mosaro_fit_branch branch);

// Prints every pass of `report` (indicator kriging: one per threshold).
void PrintModels(std::FILE* out, const mosaro_report& report, mosaro_method method);

}  // namespace mosaro::tool
