#include "systems/LaneSolver.h"

#include <cstddef>
#include <cstring>

#include "platform/WideKernels.h"
#ifdef MOSARO_WIDE_KERNELS
#include <immintrin.h>
#endif

namespace mosaro {
namespace {

// The guard's limit, as in Solver.cpp.
constexpr double kGuardLimit = 1e-6;
// The float bits of the NaN x86 arithmetic makes (negative, quiet, no
// payload).
constexpr int kDefaultNaNBits = static_cast<int>(0xFFC00000u);

#ifdef MOSARO_WIDE_KERNELS

// clang reads no GCC target pragmas: it takes the attribute per function.
#include "platform/Avx2RegionBegin.inc"
namespace avx2 {

// Four systems: floats in a 128-bit vector, widened to four doubles.
struct Lanes {
    static constexpr std::size_t kCount = 4;
    using V = __m256d;
    using Mask = __m256d;  // all ones in a lane where true
    static V Load(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
    static void Store(float* p, V v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v)); }
    static V Rounded(V v) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(v)); }
    static V Zero() { return _mm256_setzero_pd(); }
    static V Add(V a, V b) { return _mm256_add_pd(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static V Mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static V Div(V a, V b) { return _mm256_div_pd(a, b); }
    // f32(f64(target) - (factor * f64(pivotRowEntry)) / pivot), rounded by the store.
    static V Eliminated(V target, V factor, V entry, V pivot) { return Sub(target, Div(Mul(factor, entry), pivot)); }
    static bool Any(Mask m) { return _mm256_movemask_pd(m) != 0; }
    // Whether one of the four floats at p is a NaN other than the default.
    static bool ForeignNaN(const float* p) {
        const __m128 v = _mm_loadu_ps(p);
        const __m128 usual = _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_castps_si128(v), _mm_set1_epi32(kDefaultNaNBits)));
        return _mm_movemask_ps(_mm_andnot_ps(usual, _mm_cmpunord_ps(v, v))) != 0;
    }
    // |p| < 1e-6 (false for NaN, as std::fabs(p) < 1e-6 is).
    static Mask NeedsGuard(V p) {
        const V magnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), p);
        return _mm256_cmp_pd(magnitude, _mm256_set1_pd(kGuardLimit), _CMP_LT_OQ);
    }
    // f32(p < 0 ? p - 1e-6 : p + 1e-6) where the guard acts, p elsewhere.
    static V Guard(V p) {
        const V limit = _mm256_set1_pd(kGuardLimit);
        const V negative = _mm256_cmp_pd(p, _mm256_setzero_pd(), _CMP_LT_OQ);
        const V moved = Rounded(_mm256_blendv_pd(_mm256_add_pd(p, limit), _mm256_sub_pd(p, limit), negative));
        return _mm256_blendv_pd(p, moved, NeedsGuard(p));
    }
};

#include "systems/LaneElimination.inc"

}  // namespace avx2
#include "platform/Avx2RegionEnd.inc"

#include "platform/Avx512RegionBegin.inc"
namespace avx512 {

// Eight systems: floats in a 256-bit vector, widened to eight doubles.
struct Lanes {
    static constexpr std::size_t kCount = 8;
    using V = __m512d;
    using Mask = __mmask8;
    // The conversions are the zero-masked forms with every lane selected:
    // the same instructions, and the unmasked intrinsics trip a false
    // uninitialised-value warning in GCC 12's headers.
    static V Widened(__m256 f) { return _mm512_maskz_cvtps_pd(0xFF, f); }
    static __m256 Narrowed(V v) { return _mm512_maskz_cvtpd_ps(0xFF, v); }
    static V Load(const float* p) { return Widened(_mm256_loadu_ps(p)); }
    static void Store(float* p, V v) { _mm256_storeu_ps(p, Narrowed(v)); }
    static V Rounded(V v) { return Widened(Narrowed(v)); }
    static V Zero() { return _mm512_setzero_pd(); }
    static V Add(V a, V b) { return _mm512_add_pd(a, b); }
    static V Sub(V a, V b) { return _mm512_sub_pd(a, b); }
    static V Mul(V a, V b) { return _mm512_mul_pd(a, b); }
    static V Div(V a, V b) { return _mm512_div_pd(a, b); }
    static V Eliminated(V target, V factor, V entry, V pivot) { return Sub(target, Div(Mul(factor, entry), pivot)); }
    static bool Any(Mask m) { return m != 0; }
    static bool ForeignNaN(const float* p) {
        const __m256 v = _mm256_loadu_ps(p);
        const __m256 usual =
            _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_castps_si256(v), _mm256_set1_epi32(kDefaultNaNBits)));
        return _mm256_movemask_ps(_mm256_andnot_ps(usual, _mm256_cmp_ps(v, v, _CMP_UNORD_Q))) != 0;
    }
    static Mask NeedsGuard(V p) {
        return _mm512_cmp_pd_mask(_mm512_abs_pd(p), _mm512_set1_pd(kGuardLimit), _CMP_LT_OQ);
    }
    static V Guard(V p) {
        const V limit = _mm512_set1_pd(kGuardLimit);
        const Mask negative = _mm512_cmp_pd_mask(p, _mm512_setzero_pd(), _CMP_LT_OQ);
        const V moved = Rounded(_mm512_mask_blend_pd(negative, _mm512_add_pd(p, limit), _mm512_sub_pd(p, limit)));
        return _mm512_mask_blend_pd(NeedsGuard(p), p, moved);
    }
};

#include "systems/LaneElimination.inc"

}  // namespace avx512
#include "platform/Avx512RegionEnd.inc"

#endif

}  // namespace

int SolverLaneCount(SolverLanes requested) {
#ifdef MOSARO_WIDE_KERNELS
    const bool wide = requested == SolverLanes::kBest || requested == SolverLanes::kAvx512;
    if (wide && ProcessorHasAvx512()) return 8;
    if (requested != SolverLanes::kScalar && ProcessorHasAvx2()) return 4;
#else
    (void)requested;
#endif
    return 1;
}

bool SolveLanesGuardedInPlace(float* augmented, int order, float* solution, int lanes) {
    if (order < 1) return true;
#ifdef MOSARO_WIDE_KERNELS
    if (lanes == 8 && ProcessorHasAvx512()) return avx512::Solve(augmented, order, solution);
    if (lanes == 4 && ProcessorHasAvx2()) return avx2::Solve(augmented, order, solution);
#else
    (void)augmented, (void)solution, (void)lanes;
#endif
    return false;
}

}  // namespace mosaro
