// Counts (pairs, processor ticks) as doubles, with the same bits on every
// platform and without x87 arithmetic: 32-bit x86 converts an unsigned
// 64-bit integer by an x87 load and an x87 addition of 2^64, which the
// library keeps out of its code; the signed conversion is a load and one
// rounding store, the same rounding as elsewhere. Counts stay below 2^63.
#pragma once

#include <cstdint>

namespace mosaro {

inline double CountAsDouble(std::uint64_t count) { return static_cast<double>(static_cast<std::int64_t>(count)); }

}  // namespace mosaro
