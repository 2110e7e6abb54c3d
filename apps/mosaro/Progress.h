// The progress bar on standard error and Ctrl-C. The bar appears only on a
// terminal and only once a run has taken about a second. Ctrl-C is caught
// for the whole command, so that no press leaves a staging folder behind:
// during a library run the next progress callback stops it; before or after
// one, the command checks for it between steps (ThrowIfInterrupted).
#pragma once

#include <chrono>
#include <csignal>

#include "mosaro.h"

namespace mosaro::tool {

// Catches SIGINT for its lifetime and restores the handler it found; a
// SIGINT ignored at start (a job started in the background) stays ignored.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

private:
    bool installed_ = false;
    struct sigaction previous_ {};
};

// Throws ToolError("cancelled; no file written", kExitCancelled) once Ctrl-C
// was pressed.
void ThrowIfInterrupted();

class ProgressReporter {
public:
    explicit ProgressReporter(bool quiet);
    ~ProgressReporter();
    ProgressReporter(const ProgressReporter&) = delete;
    ProgressReporter& operator=(const ProgressReporter&) = delete;

    // For mosaro_request::progress and progress_user_data.
    static int Callback(void* self, mosaro_stage stage, int pass, double fraction);
    // Whether Ctrl-C was pressed while an InterruptCatcher was alive.
    static bool Interrupted();

private:
    void Draw(mosaro_stage stage, double fraction);
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace mosaro::tool
