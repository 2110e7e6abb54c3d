#include "neighbours/RankedNearest.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/WideKernels.h"

// The vector helpers are inlined within this file: the ABI GCC notes about
// for vector arguments never crosses a call.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace mosaro {
namespace {

// Four distances as one vector (GCC's and clang's vector extension; a build
// for a processor without wide vectors splits it), and a comparison's lanes.
typedef double Distances __attribute__((vector_size(32)));
typedef long long Counts __attribute__((vector_size(32)));

// How many of distance[0 .. padded) lie below each of distance[0 .. count)
// (padded: count rounded up to four, the padding +infinity, below none).
MOSARO_KERNEL_INLINE void CountNearerOf(const double* distance, std::size_t count, std::size_t padded,
                                        std::size_t* nearer) {
    for (std::size_t i = 0; i < count; ++i) {
        const Distances own = Distances{} + distance[i];
        Counts below{};
        for (std::size_t j = 0; j < padded; j += 4) {
            Distances other;
            std::memcpy(&other, distance + j, sizeof other);
            below += other < own;  // -1 where true
        }
        nearer[i] = static_cast<std::size_t>(-(below[0] + below[1] + below[2] + below[3]));
    }
}

#ifdef MOSARO_WIDE_KERNELS
__attribute__((target("avx2"))) void CountNearerWide(const double* distance, std::size_t count, std::size_t padded,
                                                     std::size_t* nearer) {
    CountNearerOf(distance, count, padded, nearer);
}
#endif

void CountNearer(const double* distance, std::size_t count, std::size_t padded, std::size_t* nearer) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return CountNearerWide(distance, count, padded, nearer);
#endif
    CountNearerOf(distance, count, padded, nearer);
}

}  // namespace

bool TakeNearestByRank(std::pair<double, std::uint32_t>* candidates, std::size_t count, std::size_t capacity) {
    if (count > kRankedAtMost) return false;
    const std::size_t padded = (count + 3) / 4 * 4;
    double distance[kRankedAtMost];
    for (std::size_t i = 0; i < count; ++i) distance[i] = candidates[i].first;
    std::fill(distance + count, distance + padded, std::numeric_limits<double>::infinity());
    std::size_t nearer[kRankedAtMost];
    CountNearer(distance, count, padded, nearer);
    // Distinct distances give every place from 0 to count - 1 once; equal
    // ones share a place, and a NaN is counted nearer than nothing.
    bool placed[kRankedAtMost] = {};
    for (std::size_t i = 0; i < count; ++i) {
        if (placed[nearer[i]]) return false;
        placed[nearer[i]] = true;
    }
    std::pair<double, std::uint32_t> nearest[kRankedAtMost];
    for (std::size_t i = 0; i < count; ++i) nearest[nearer[i]] = candidates[i];
    std::copy(nearest, nearest + std::min(capacity, count), candidates);
    return true;
}

}  // namespace mosaro
