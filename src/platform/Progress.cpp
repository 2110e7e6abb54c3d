#include "platform/Progress.h"

#include <algorithm>

namespace mosaro {
namespace {

// Share of one pass that each stage stands for in the overall fraction. The
// fit is instantaneous; the variograms (quadratic in the samples) and the
// sweep (linear in the nodes) trade places with the data, so these are only
// a fair middle.
constexpr double kStageStart[] = {0.0, 0.3, 0.3};
constexpr double kStageShare[] = {0.3, 0.0, 0.7};

// Emitting on every hundredth keeps the host's callback to about a hundred
// calls, whatever the number of passes and stages.
constexpr double kEmitStep = 0.01;

}  // namespace

void ProgressReporter::BeginPass(int pass, int passes) {
    std::lock_guard<std::mutex> lock(mutex_);
    passes_ = std::max(passes, 1);
    pass_ = std::clamp(pass, 0, passes_ - 1);
}

void ProgressReporter::Report(Stage stage, double fraction) {
    ThrowIfCancelled();
    if (!callback_ || std::this_thread::get_id() != owner_) return;
    const int s = static_cast<int>(stage);
    double overall;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const double within = kStageStart[s] + kStageShare[s] * std::clamp(fraction, 0.0, 1.0);
        overall = (static_cast<double>(pass_) + within) / static_cast<double>(passes_);
    }
    Emit(stage, std::min(overall, 1.0), false);
    ThrowIfCancelled();
}

void ProgressReporter::Finish() {
    if (!callback_) return;
    Emit(Stage::kSweep, 1.0, true);
    ThrowIfCancelled();
}

void ProgressReporter::Emit(Stage stage, double overall, bool force) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_.load(std::memory_order_relaxed)) return;
    // Monotone: a report behind the last one emitted (another thread's, or
    // an earlier stage's) is never passed on; 1 is passed on once, by Finish.
    if (overall <= lastEmitted_) return;
    if (!force && (overall >= 1.0 || overall < lastEmitted_ + kEmitStep)) return;
    lastEmitted_ = overall;
    if (!callback_(stage, pass_, overall)) cancelled_.store(true, std::memory_order_relaxed);
}

}  // namespace mosaro
