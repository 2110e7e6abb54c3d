#include "api/HostProgress.h"

namespace mosaro {

std::unique_ptr<ProgressReporter> HostProgress(mosaro_progress_fn callback, void* userData) {
    if (callback == nullptr) return nullptr;
    return std::make_unique<ProgressReporter>([callback, userData](Stage stage, int pass, double fraction) {
        return callback(userData, static_cast<mosaro_stage>(stage), pass, fraction) != 0;
    });
}

}  // namespace mosaro
