#include "AxisTicks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mosaro::tool {
namespace {

// Guards against a step so small against the values that the tick loop
// would run on for ever.
constexpr int kMostTicks = 100;

std::string Printed(const char* format, int precision, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, precision, value);
    return text;
}

}  // namespace

AxisTicks NiceTicks(double lo, double hi, int target_count) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || hi < lo) return {};
    if (hi == lo) return {0, {lo}};
    const double raw_step = (hi - lo) / std::max(target_count, 1);
    if (!std::isfinite(raw_step)) return {};
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw_step)));
    double step = 10 * magnitude;
    for (const double multiple : {1.0, 2.0, 5.0}) {
        if (multiple * magnitude >= raw_step) {
            step = multiple * magnitude;
            break;
        }
    }
    AxisTicks ticks{step, {}};
    // Multiples are computed from their index rather than by adding steps, so
    // rounding does not accumulate along the axis; the slack admits ends that
    // are multiples but came out a hair off.
    const double first = std::ceil(lo / step - 1e-9);
    const double last = std::floor(hi / step + 1e-9);
    for (double k = first; k <= last && ticks.values.size() < kMostTicks; ++k) {
        const double value = k * step;
        ticks.values.push_back(std::fabs(value) < step * 1e-6 ? 0.0 : value);
    }
    return ticks;
}

std::string TickLabel(double value, double step) {
    if (value == 0) return "0";
    if (!(step > 0)) return ValueLabel(value);
    const int step_exponent = static_cast<int>(std::floor(std::log10(step)));
    const int value_exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    if (step_exponent >= -4 && value_exponent < 7) return Printed("%.*f", std::max(0, -step_exponent), value);
    return Printed("%.*g", std::clamp(value_exponent - step_exponent + 1, 1, 17), value);
}

std::string ValueLabel(double value) { return Printed("%.*g", 5, value); }

}  // namespace mosaro::tool
