// A cheap clock for timing short stretches many times over: the processor's
// time-stamp counter where there is one (a few nanoseconds a reading, where
// the steady clock costs tens), the steady clock elsewhere. Ticks become
// seconds through a calibration against the steady clock over a whole run.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/Counts.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <x86intrin.h>
#endif

namespace mosaro {

inline std::uint64_t Ticks() {
#if defined(__x86_64__) && defined(__GNUC__)
    return __rdtsc();
#else
    return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

// Seconds per tick, measured between construction and Calibrate().
class TickCalibration {
public:
    TickCalibration() : seconds_(std::chrono::steady_clock::now()), ticks_(Ticks()) {}
    double SecondsPerTick() const {
        const std::uint64_t ticks = Ticks() - ticks_;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - seconds_;
        return ticks > 0 ? took.count() / CountAsDouble(ticks) : 0.0;
    }

private:
    std::chrono::steady_clock::time_point seconds_;
    std::uint64_t ticks_;
};

}  // namespace mosaro
