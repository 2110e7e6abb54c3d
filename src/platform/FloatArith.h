// Single-precision storage, double-precision evaluation.
//
// Every quantity the engine stores is a float; every expression is evaluated
// in double from float operands and rounded once where it is stored. These
// two helpers make each widening and each rounding explicit, so that no
// conversion is left for the compiler to choose.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace mosaro {

// Rounds a double to the nearest float (overflow gives an infinity).
inline float f32(double value) { return static_cast<float>(value); }

// Widens a float to double (exact).
inline double f64(float value) { return static_cast<double>(value); }

// The bits of a float, and the float of bits: for hashing a float exactly,
// and for moving floats through integer vector lanes.
inline std::uint32_t FloatBits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline float FloatFromBits(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A float argument truncated toward zero to a count or index, or -1 when
// that is not a number, negative or beyond int. The range is checked before
// the conversion, since converting an out-of-range double is undefined.
inline int TruncatedCount(float value) {
    const double t = std::trunc(f64(value));
    if (!(t >= 0.0 && t <= static_cast<double>(INT_MAX))) return -1;
    return static_cast<int>(t);
}

// The blank value: marks a sample or node without a value.
constexpr float kBlankValue = -1e38f;

}  // namespace mosaro

namespace mosaro {

// A value evaluated in double, stored in the arithmetic's type: rounded to
// float in the legacy arithmetic, kept in the accurate one. Code written
// once for both arithmetics stores through it.
template <class T>
inline T Stored(double value) {
    return static_cast<T>(value);
}

}  // namespace mosaro
