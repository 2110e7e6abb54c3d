// Single-precision storage, double-precision evaluation.
//
// Every quantity the engine stores is a float; every expression is evaluated
// in double from float operands and rounded once where it is stored. These
// two helpers make each widening and each rounding explicit, so that no
// conversion is left for the compiler to choose.
#pragma once

namespace mosaro {

// Rounds a double to the nearest float (overflow gives an infinity).
inline float f32(double value) { return static_cast<float>(value); }

// Widens a float to double (exact).
inline double f64(float value) { return static_cast<double>(value); }

// The blank value: marks a sample or node without a value.
constexpr float kBlankValue = -1e38f;

}  // namespace mosaro
