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
// Four rows of four turned into four columns: v[l][i] becomes v[i][l].
inline void Transpose(V (&v)[kW]) {
    const __m256d t0 = _mm256_unpacklo_pd(__m256d(v[0]), __m256d(v[1]));  // entries 0 and 2 of rows 0, 1
    const __m256d t1 = _mm256_unpackhi_pd(__m256d(v[0]), __m256d(v[1]));  // entries 1 and 3
    const __m256d t2 = _mm256_unpacklo_pd(__m256d(v[2]), __m256d(v[3]));
    const __m256d t3 = _mm256_unpackhi_pd(__m256d(v[2]), __m256d(v[3]));
    v[0] = V(_mm256_permute2f128_pd(t0, t2, 0x20));
    v[1] = V(_mm256_permute2f128_pd(t1, t3, 0x20));
    v[2] = V(_mm256_permute2f128_pd(t0, t2, 0x31));
    v[3] = V(_mm256_permute2f128_pd(t1, t3, 0x31));
}

#include "systems/LaneLuSteps.inc"

}  // namespace avx2
#include "platform/Avx2RegionEnd.inc"

#include "platform/Avx512RegionBegin.inc"
namespace avx512 {

constexpr std::size_t kW = 8;
typedef double V __attribute__((vector_size(64)));
using M = decltype(V{} < V{});
inline bool AnyZero(V v) { return _mm512_cmp_pd_mask(v, _mm512_setzero_pd(), _CMP_EQ_OQ) != 0; }
// Eight rows of eight turned into eight columns: v[l][i] becomes v[i][l].
// Each stage exchanges one bit of the entry's place with the same bit of
// its row's: 1 (unpack), then 2 and 4 (two-source permutes).
inline void Transpose(V (&v)[kW]) {
    __m512d t[kW];
    for (std::size_t l = 0; l < kW; l += 2) {
        t[l] = _mm512_unpacklo_pd(__m512d(v[l]), __m512d(v[l + 1]));
        t[l + 1] = _mm512_unpackhi_pd(__m512d(v[l]), __m512d(v[l + 1]));
    }
    const __m512i lowPairs = _mm512_setr_epi64(0, 1, 8, 9, 4, 5, 12, 13);
    const __m512i highPairs = _mm512_setr_epi64(2, 3, 10, 11, 6, 7, 14, 15);
    __m512d u[kW];
    for (std::size_t l : {0, 1, 4, 5}) {
        u[l] = _mm512_permutex2var_pd(t[l], lowPairs, t[l + 2]);
        u[l + 2] = _mm512_permutex2var_pd(t[l], highPairs, t[l + 2]);
    }
    const __m512i lowHalves = _mm512_setr_epi64(0, 1, 2, 3, 8, 9, 10, 11);
    const __m512i highHalves = _mm512_setr_epi64(4, 5, 6, 7, 12, 13, 14, 15);
    for (std::size_t l = 0; l < 4; ++l) {
        v[l] = V(_mm512_permutex2var_pd(u[l], lowHalves, u[l + 4]));
        v[l + 4] = V(_mm512_permutex2var_pd(u[l], highHalves, u[l + 4]));
    }
}

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
