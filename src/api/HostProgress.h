// A host's progress callback as the engine's progress reporter, for every
// modern call that takes one.
#pragma once

#include <memory>

#include "mosaro.h"
#include "platform/Progress.h"

namespace mosaro {

// Null when the host gave no callback; else a reporter that hands each
// report to the callback and asks for a stop when it returns 0.
std::unique_ptr<ProgressReporter> HostProgress(mosaro_progress_fn callback, void* userData);

}  // namespace mosaro
