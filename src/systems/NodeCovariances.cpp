#include "systems/NodeCovariances.h"

#include <algorithm>

#include "platform/FloatArith.h"
#include "platform/WideKernels.h"
#ifdef MOSARO_WIDE_KERNELS
#include <immintrin.h>
#endif

namespace mosaro {
namespace {

void PlainCovariances(const KrigingConstants& c, const float* x, const float* y, std::size_t count, float nodeX,
                      float nodeY, float* out) {
    for (std::size_t a = 0; a < count; ++a) out[a] = c.Covariance(c.AnisotropicDistance(x[a], y[a], nodeX, nodeY));
}

#ifdef MOSARO_WIDE_KERNELS

#include "platform/Avx512RegionBegin.inc"
namespace avx512 {

using V = __m512d;

// The unmasked conversions trip GCC 12's header warning: the zero-masked
// forms with every lane selected are the same instructions.
V Widened(__m256 f) { return _mm512_maskz_cvtps_pd(0xFF, f); }
__m256 Narrowed(V v) { return _mm512_maskz_cvtpd_ps(0xFF, v); }
V RoundedToFloat(V v) { return Widened(Narrowed(v)); }

// An unevaluated sum hi + lo.
struct Pair {
    V hi, lo;
};

Pair TwoSum(V a, V b) {
    const V s = _mm512_add_pd(a, b);
    const V bb = _mm512_sub_pd(s, a);
    return {s, _mm512_add_pd(_mm512_sub_pd(a, _mm512_sub_pd(s, bb)), _mm512_sub_pd(b, bb))};
}

Pair FastTwoSum(V a, V b) {
    const V s = _mm512_add_pd(a, b);
    return {s, _mm512_sub_pd(b, _mm512_sub_pd(s, a))};
}

// a * b and its exact error (the splitting's result wherever it is exact,
// which is all the cube's guarded range).
Pair TwoProduct(V a, V b) {
    const V p = _mm512_mul_pd(a, b);
    return {p, _mm512_fmsub_pd(a, b, p)};
}

// Cube, lane by lane: outside its guarded range x * x * x.
V Cube(V x) {
    const V magnitude = _mm512_abs_pd(x);
    const __mmask8 guarded = _mm512_cmp_pd_mask(magnitude, _mm512_set1_pd(0x1p-300), _CMP_GE_OQ) &
                             _mm512_cmp_pd_mask(magnitude, _mm512_set1_pd(0x1p340), _CMP_LE_OQ);
    const Pair square = TwoProduct(x, x);
    const Pair a = TwoProduct(square.hi, x), b = TwoProduct(square.lo, x);
    Pair s = TwoSum(a.hi, b.hi);
    const Pair t = TwoSum(a.lo, b.lo);
    s = FastTwoSum(s.hi, _mm512_add_pd(s.lo, t.hi));
    const V exact = _mm512_add_pd(s.hi, _mm512_add_pd(s.lo, t.lo));
    return _mm512_mask_blend_pd(guarded, _mm512_mul_pd(_mm512_mul_pd(x, x), x), exact);
}

// The covariances at eight float distances (widened).
__m256 AtDistances(const KrigingConstants& c, V h) {
    const V a = _mm512_set1_pd(f64(c.range));
    const V ratio = _mm512_div_pd(h, a);
    const V linear = _mm512_div_pd(_mm512_mul_pd(h, _mm512_set1_pd(1.5)), a);
    const V shape = _mm512_sub_pd(linear, _mm512_mul_pd(_mm512_set1_pd(0.5), Cube(ratio)));
    const V gamma = RoundedToFloat(
        _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(f64(c.partialSill)), shape), _mm512_set1_pd(f64(c.nugget))));
    const V sill = _mm512_set1_pd(f64(c.sill));
    V covariance = _mm512_sub_pd(sill, gamma);
    // The distance's own cases: the nugget counts at 0 (and for a distance
    // that is not a number); nothing beyond the range.
    const __mmask8 beyond = _mm512_cmp_pd_mask(h, a, _CMP_NLE_UQ);
    covariance = _mm512_mask_blend_pd(beyond, covariance, _mm512_setzero_pd());
    const __mmask8 atZero = _mm512_cmp_pd_mask(h, _mm512_setzero_pd(), _CMP_EQ_UQ);
    return Narrowed(_mm512_mask_blend_pd(atZero, covariance, sill));
}

// Eight covariances of columns (x, y) to the node.
__m256 ToNode(const KrigingConstants& c, __m256 x, __m256 y, V nodeX, V nodeY) {
    const V dx = _mm512_sub_pd(Widened(x), nodeX);
    const V dy = _mm512_sub_pd(Widened(y), nodeY);
    const double k = f64(c.anisotropy);
    const V squared = _mm512_add_pd(_mm512_mul_pd(dx, dx), _mm512_mul_pd(_mm512_set1_pd(k * k), _mm512_mul_pd(dy, dy)));
    return AtDistances(c, RoundedToFloat(_mm512_sqrt_pd(squared)));
}

void LaneCovariances(const KrigingConstants& c, const float* x, const float* y, std::size_t count, float nodeX,
                     float nodeY, float* out) {
    const V nx = _mm512_set1_pd(f64(nodeX)), ny = _mm512_set1_pd(f64(nodeY));
    std::size_t a = 0;
    for (; a + 8 <= count; a += 8)
        _mm256_storeu_ps(out + a, ToNode(c, _mm256_loadu_ps(x + a), _mm256_loadu_ps(y + a), nx, ny));
    if (a < count) {
        // The last few columns in a group padded with the node itself.
        float restX[8], restY[8], rest[8];
        std::fill(restX, restX + 8, nodeX);
        std::fill(restY, restY + 8, nodeY);
        std::copy(x + a, x + count, restX);
        std::copy(y + a, y + count, restY);
        _mm256_storeu_ps(rest, ToNode(c, _mm256_loadu_ps(restX), _mm256_loadu_ps(restY), nx, ny));
        std::copy(rest, rest + (count - a), out + a);
    }
}

}  // namespace avx512
#include "platform/Avx512RegionEnd.inc"

#endif

}  // namespace

void CovariancesToNode(const KrigingConstants& c, const float* x, const float* y, std::size_t count, float nodeX,
                       float nodeY, float* out, bool lanes) {
#ifdef MOSARO_WIDE_KERNELS
    if (lanes && ProcessorHasAvx512()) return avx512::LaneCovariances(c, x, y, count, nodeX, nodeY, out);
#else
    (void)lanes;
#endif
    PlainCovariances(c, x, y, count, nodeX, nodeY, out);
}

}  // namespace mosaro
