#include "ColourRamp.h"

#include <algorithm>
#include <cstddef>

namespace mosaro::tool {
namespace {

// The ramp at t = 0, 0.1, ..., 1. Linear steps between these points stay
// within a shade of the full 256-entry table, which is not worth carrying.
constexpr unsigned char kControlPoints[][3] = {
    {0x44, 0x01, 0x54}, {0x48, 0x25, 0x76}, {0x41, 0x44, 0x87}, {0x35, 0x60, 0x8D},
    {0x2A, 0x78, 0x8E}, {0x21, 0x90, 0x8C}, {0x22, 0xA8, 0x84}, {0x43, 0xBF, 0x71},
    {0x7A, 0xD1, 0x51}, {0xBB, 0xDF, 0x27}, {0xFD, 0xE7, 0x25},
};

// Dark blue through near-white at the middle to dark red, at t = 0, 1/6,
// ..., 1: both ends equally dark, so neither sign looks larger.
constexpr unsigned char kDivergingPoints[][3] = {
    {0x21, 0x66, 0xAC}, {0x67, 0xA9, 0xCF}, {0xD1, 0xE5, 0xF0}, {0xF7, 0xF7, 0xF7},
    {0xFD, 0xDB, 0xC7}, {0xEF, 0x8A, 0x62}, {0xB2, 0x18, 0x2B},
};

template <std::size_t Count>
Rgb Interpolate(const unsigned char (&points)[Count][3], double t) {
    constexpr std::size_t intervals = Count - 1;
    // NaN fails both comparisons and so lands at the low end, not out of bounds.
    t = t > 0 ? std::min(t, 1.0) : 0.0;
    const double position = t * intervals;
    const std::size_t below = std::min(static_cast<std::size_t>(position), intervals - 1);
    const double above_weight = position - static_cast<double>(below);
    const auto channel = [&](int c) {
        return ((1 - above_weight) * points[below][c] + above_weight * points[below + 1][c]) / 255.0;
    };
    return {channel(0), channel(1), channel(2)};
}

}  // namespace

Rgb RampColour(double t) { return Interpolate(kControlPoints, t); }

Rgb DivergingColour(double t) { return Interpolate(kDivergingPoints, t); }

}  // namespace mosaro::tool
