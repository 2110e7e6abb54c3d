// The model report handle of the modern API: one entry per pass of the
// pipeline, as the engine recorded it.
#pragma once

#include <vector>

#include "pipeline/PassReport.h"
#include "mosaro.h"

struct mosaro_report {
    std::vector<mosaro::PassReport> passes;
};

namespace mosaro {

// The status of a finished run from its passes: a warning when a pass's
// sweep ran on a model that is not finite (its nodes all came out 0), with
// the message set on the calling thread.
mosaro_status WarnOnNonFiniteModel(const std::vector<PassReport>& passes);

}  // namespace mosaro
