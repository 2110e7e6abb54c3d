// Progress and cancellation of one run.
//
// The engine reports fine-grained progress from inside its stages; the host
// wants at most about a hundred monotone calls and a way to stop the run.
// The reporter turns the one into the other and remembers a request to
// stop, which the stages poll and turn into a Cancelled exception.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace mosaro {

// Stages of one pass of the pipeline, in the order they run.
enum class Stage { kVariograms = 0, kFit = 1, kSweep = 2 };

// Thrown out of the pipeline when the progress callback asked to stop. The
// entry points catch it; it never crosses the C boundary.
class Cancelled : public std::exception {
public:
    const char* what() const noexcept override { return "the run was cancelled"; }
};

// Receives progress as (stage, pass, overall fraction in [0, 1]) and returns
// true to go on, false to stop the run. `pass` is the threshold index of
// indicator kriging, 0 otherwise.
using ProgressCallback = std::function<bool(Stage stage, int pass, double fraction)>;

// Safe to call from several threads; the callback itself is never entered
// concurrently, and only from the thread that made the reporter (the host's
// calling thread): from any other thread a report is a cancellation check,
// so parallel loops may report as they go.
class ProgressReporter {
public:
    ProgressReporter() = default;
    explicit ProgressReporter(ProgressCallback callback) : callback_(std::move(callback)) {}

    // The run consists of `passes` passes of the pipeline (thresholds of
    // indicator kriging; 1 otherwise). Starts pass `pass`.
    void BeginPass(int pass, int passes);

    // Progress within the current pass: `fraction` of `stage` is done.
    // Throws Cancelled when the host asked to stop, now or before.
    void Report(Stage stage, double fraction);

    // Reports that the whole run is done (fraction exactly 1).
    void Finish();

    bool CancelRequested() const { return cancelled_.load(std::memory_order_relaxed); }
    void ThrowIfCancelled() const {
        if (CancelRequested()) throw Cancelled();
    }

private:
    void Emit(Stage stage, double overall, bool force);

    ProgressCallback callback_;
    std::thread::id owner_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::atomic<bool> cancelled_{false};
    int pass_ = 0;
    int passes_ = 1;
    double lastEmitted_ = -1.0;
};

}  // namespace mosaro
