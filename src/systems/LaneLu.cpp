#include "systems/LaneLu.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "platform/WideKernels.h"
#ifdef MOSARO_WIDE_KERNELS
#include <immintrin.h>
#endif

// The vectors stay within this file: the ABI GCC warns about for vector
// arguments never crosses a call out of it.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace mosaro {
namespace {

#ifdef MOSARO_WIDE_KERNELS

#include "platform/Avx2RegionBegin.inc"
namespace avx2 {

constexpr std::size_t kW = 4;
typedef double V __attribute__((vector_size(32)));
using M = decltype(V{} < V{});
inline bool AnyZero(V v) { return _mm256_movemask_pd(_mm256_cmp_pd(v, _mm256_setzero_pd(), _CMP_EQ_OQ)) != 0; }

#include "systems/LaneLuSteps.inc"

}  // namespace avx2
#include "platform/Avx2RegionEnd.inc"

#include "platform/Avx512RegionBegin.inc"
namespace avx512 {

constexpr std::size_t kW = 8;
typedef double V __attribute__((vector_size(64)));
using M = decltype(V{} < V{});
inline bool AnyZero(V v) { return _mm512_cmp_pd_mask(v, _mm512_setzero_pd(), _CMP_EQ_OQ) != 0; }

#include "systems/LaneLuSteps.inc"

}  // namespace avx512
#include "platform/Avx512RegionEnd.inc"

#endif

}  // namespace

bool LaneLu::Solve(const double* matrices, int order, const double* rightSides, int lanes, LaneLuOutcome* outcomes) {
#ifdef MOSARO_WIDE_KERNELS
    if (order < 1 || Width(lanes == 8 ? SolverLanes::kAvx512 : SolverLanes::kAvx2) != lanes) return false;
    const std::size_t n = static_cast<std::size_t>(order), w = static_cast<std::size_t>(lanes);
    lanes_ = lanes;
    lu_.resize(n * n * w);
    pivot_.resize(n * w);
    exchanges_.resize(2 * n * w);
    work_.resize(4 * n * w);
    solution_.resize(n * w);
    if (lanes == 8)
        avx512::Run(matrices, n, rightSides, lu_.data(), pivot_.data(), exchanges_.data(), work_.data(),
                    solution_.data(), outcomes);
    else
        avx2::Run(matrices, n, rightSides, lu_.data(), pivot_.data(), exchanges_.data(), work_.data(), solution_.data(),
                  outcomes);
    return true;
#else
    (void)matrices, (void)order, (void)rightSides, (void)lanes, (void)outcomes;
    return false;
#endif
}

}  // namespace mosaro
