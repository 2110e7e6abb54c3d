// Seconds spent in each stage of a run, summed over its passes, for the
// benchmark; a clock without a target measures nothing.
#pragma once

#include <chrono>

#include "platform/Progress.h"

namespace mosaro {

class StageClock {
public:
    // `seconds` holds one entry per Stage, or is null.
    StageClock(double* seconds, Stage stage)
        : seconds_(seconds), stage_(stage), start_(std::chrono::steady_clock::now()) {}
    ~StageClock() {
        if (seconds_ == nullptr) return;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
        seconds_[static_cast<int>(stage_)] += took.count();
    }
    StageClock(const StageClock&) = delete;
    StageClock& operator=(const StageClock&) = delete;

private:
    double* seconds_;
    Stage stage_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace mosaro
