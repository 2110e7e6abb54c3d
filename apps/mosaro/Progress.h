// The progress bar on standard error and Ctrl-C, both through the library's
// progress callback: the bar appears only on a terminal and only once a run
// has taken about a second; Ctrl-C makes the next callback stop the run, so
// the library returns cancelled and the tool writes nothing.
#pragma once

#include <chrono>

#include "mosaro.h"

namespace mosaro::tool {

class ProgressReporter {
public:
    explicit ProgressReporter(bool quiet);
    ~ProgressReporter();
    ProgressReporter(const ProgressReporter&) = delete;
    ProgressReporter& operator=(const ProgressReporter&) = delete;

    // For mosaro_request::progress and progress_user_data.
    static int Callback(void* self, mosaro_stage stage, int pass, double fraction);
    // Whether Ctrl-C was pressed since this reporter began.
    static bool Interrupted();

private:
    void Draw(mosaro_stage stage, double fraction);
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace mosaro::tool
