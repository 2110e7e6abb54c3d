#include "variogram/PairKernels.h"

#include <array>
#include <cmath>
#include <limits>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define MOSARO_HAVE_AVX2_PATH 1
#endif

namespace mosaro {
namespace {

// The smallest float not below `value` (not a number stays not a number).
float FloatNotBelow(double value) {
    float rounded = f32(value);
    if (f64(rounded) < value) rounded = std::nextafter(rounded, std::numeric_limits<float>::infinity());
    return rounded;
}

// Relative slack on the slopes: far more than the rounding of the double
// quotient (2^-53) and of the slope itself, far less than any real change
// in the share of pairs passed.
constexpr double kSlopeSlack = 0x1p-30;

inline bool PassesBounds(float ax, float ay, const PairFilterBounds& b) {
    const bool towardX = (ay <= b.xConeSlope * ax) & (ax <= b.xReach);
    const bool towardY = (ax <= b.yConeSlope * ay) & (ay <= b.yReach);
    return towardX | towardY;
}

// The pairs j in [j, end) one at a time after `count` candidates: the
// vector filters' last few pairs.
inline std::size_t FilterRest(float xi, float yi, const float* x, const float* y, std::size_t j, std::size_t end,
                              const PairFilterBounds& bounds, const Candidates& out, std::size_t count) {
    for (; j < end; ++j) {
        out.index[count] = static_cast<std::uint32_t>(j);
        out.ax[count] = std::fabs(xi - x[j]);
        out.ay[count] = std::fabs(yi - y[j]);
        count += PassesBounds(out.ax[count], out.ay[count], bounds);
    }
    return count;
}

// Plain loops the compiler vectorises at the baseline instruction set: the
// separations and tests of a chunk, then a branch-free compaction.
std::size_t FilterPlain(float xi, float yi, const float* x, const float* y, std::size_t begin, std::size_t end,
                        const PairFilterBounds& bounds, const Candidates& out) {
    constexpr std::size_t kChunk = 256;
    float ax[kChunk], ay[kChunk];
    unsigned char passes[kChunk];
    std::size_t count = 0;
    for (std::size_t start = begin; start < end; start += kChunk) {
        const std::size_t length = end - start < kChunk ? end - start : kChunk;
        for (std::size_t k = 0; k < length; ++k) {
            ax[k] = std::fabs(xi - x[start + k]);
            ay[k] = std::fabs(yi - y[start + k]);
            passes[k] = PassesBounds(ax[k], ay[k], bounds);
        }
        for (std::size_t k = 0; k < length; ++k) {
            out.index[count] = static_cast<std::uint32_t>(start + k);
            out.ax[count] = ax[k];
            out.ay[count] = ay[k];
            count += passes[k];
        }
    }
    return count;
}

// The classifier of one pair without branches: ConeByQuotient, then
// LagClassifier::ClassOf of the pair's direction.
inline std::int32_t ClassifyOne(float ax, float ay, const ClassifyConstants& c, float& distanceOut) {
    // When ax == 0 the quotient is infinite or not a number: it fails the x
    // test, and the right angle is let into the y cone apart.
    const double q = f64(ay) / f64(ax);
    const bool towardX = q <= c.xMaxQuotient;
    const bool towardY = (!towardX) & ((ax == 0.0f) | (q >= c.yMinQuotient));
    const float distance = PairDistance(ax, ay);
    const double position = f64(distance) / (towardX ? c.cellX : c.cellY) + 0.5;
    const bool joins = (towardX | towardY) & (f64(distance) < (towardX ? c.reachX : c.reachY)) & (position >= 1.0) &
                       (position < (towardX ? c.limitX : c.limitY));
    distanceOut = distance;
    // The conversion only ever sees a position in range.
    const double classId = std::trunc(joins ? position : 1.0) - 1.0 + (towardX ? 0.0 : c.xClassCount);
    return joins ? static_cast<std::int32_t>(classId) : -1;
}

std::size_t ClassifyPlain(const Candidates& in, std::size_t count, double valueI, const double* values,
                          const ClassifyConstants& constants, const AcceptedPairs& out) {
    std::size_t accepted = 0;
    for (std::size_t k = 0; k < count; ++k) {
        float distance;
        const std::int32_t classId = ClassifyOne(in.ax[k], in.ay[k], constants, distance);
        // Written whatever the class, kept when there is one: no branch.
        out.classId[accepted] = classId;
        out.distance[accepted] = distance;
        out.contribution[accepted] = PairContribution(valueI - values[in.index[k]], distance);
        accepted += classId >= 0 ? 1 : 0;
    }
    return accepted;
}

#ifdef MOSARO_HAVE_AVX2_PATH
// For each 8-bit mask, the lanes that are set, first to last, to gather the
// survivors of a step to the front of a vector.
constexpr std::array<std::array<std::int32_t, 8>, 256> MakeCompressionTable() {
    std::array<std::array<std::int32_t, 8>, 256> table{};
    for (int mask = 0; mask < 256; ++mask) {
        int next = 0;
        for (int lane = 0; lane < 8; ++lane) {
            if ((mask >> lane) & 1) table[static_cast<std::size_t>(mask)][static_cast<std::size_t>(next++)] = lane;
        }
    }
    return table;
}
alignas(32) constexpr std::array<std::array<std::int32_t, 8>, 256> kCompression = MakeCompressionTable();

// The same for 4-bit masks of double lanes, as pairs of 32-bit lanes.
constexpr std::array<std::array<std::int32_t, 8>, 16> MakeDoubleCompressionTable() {
    std::array<std::array<std::int32_t, 8>, 16> table{};
    for (std::size_t mask = 0; mask < 16; ++mask) {
        for (std::size_t k = 0; k < 4; ++k) {
            const std::int32_t lane = kCompression[mask][k];
            table[mask][2 * k] = 2 * lane;
            table[mask][2 * k + 1] = 2 * lane + 1;
        }
    }
    return table;
}
alignas(32) constexpr std::array<std::array<std::int32_t, 8>, 16> kDoubleCompression = MakeDoubleCompressionTable();

// Eight pairs per step; the survivors of a step are moved to the front of
// the vectors and stored whole (hence the slack after the candidates).
__attribute__((target("avx2"))) std::size_t FilterAvx2(float xi, float yi, const float* x, const float* y,
                                                       std::size_t begin, std::size_t end,
                                                       const PairFilterBounds& bounds, const Candidates& out) {
    const __m256 signBit = _mm256_set1_ps(-0.0f);
    const __m256 sampleX = _mm256_set1_ps(xi), sampleY = _mm256_set1_ps(yi);
    const __m256 xSlope = _mm256_set1_ps(bounds.xConeSlope), ySlope = _mm256_set1_ps(bounds.yConeSlope);
    const __m256 xReach = _mm256_set1_ps(bounds.xReach), yReach = _mm256_set1_ps(bounds.yReach);
    // Local copies: the stores through them could otherwise make the
    // compiler reload the pointers at every step.
    std::uint32_t* const outIndex = out.index;
    float* const outAx = out.ax;
    float* const outAy = out.ay;
    __m256i index = _mm256_add_epi32(_mm256_set1_epi32(static_cast<std::int32_t>(begin)),
                                     _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i step = _mm256_set1_epi32(8);
    std::size_t count = 0;
    std::size_t j = begin;
    for (; j + 8 <= end; j += 8, index = _mm256_add_epi32(index, step)) {
        const __m256 ax = _mm256_andnot_ps(signBit, _mm256_sub_ps(sampleX, _mm256_loadu_ps(x + j)));
        const __m256 ay = _mm256_andnot_ps(signBit, _mm256_sub_ps(sampleY, _mm256_loadu_ps(y + j)));
        const __m256 towardX = _mm256_and_ps(_mm256_cmp_ps(ay, _mm256_mul_ps(xSlope, ax), _CMP_LE_OQ),
                                             _mm256_cmp_ps(ax, xReach, _CMP_LE_OQ));
        const __m256 towardY = _mm256_and_ps(_mm256_cmp_ps(ax, _mm256_mul_ps(ySlope, ay), _CMP_LE_OQ),
                                             _mm256_cmp_ps(ay, yReach, _CMP_LE_OQ));
        // Stored whatever the mask: a branch on it would be mispredicted often.
        const unsigned mask = static_cast<unsigned>(_mm256_movemask_ps(_mm256_or_ps(towardX, towardY)));
        const __m256i order = _mm256_load_si256(reinterpret_cast<const __m256i*>(kCompression[mask].data()));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(outIndex + count), _mm256_permutevar8x32_epi32(index, order));
        _mm256_storeu_ps(outAx + count, _mm256_permutevar8x32_ps(ax, order));
        _mm256_storeu_ps(outAy + count, _mm256_permutevar8x32_ps(ay, order));
        count += static_cast<std::size_t>(__builtin_popcount(mask));
    }
    return FilterRest(xi, yi, x, y, j, end, bounds, out, count);
}

// The classifier's constants, one per vector lane.
struct ClassifyVectors {
    __m256d zero, half, one, xMax, yMin, cellX, cellY, reachX, reachY, limitX, limitY, yOffset, sampleValue;
};

// ClassifyOne for the four pairs ax[0..3], ay[0..3] (partners j[0..3]) in
// double, with the same IEEE operations (quotient, sum of squares, root,
// rounding to float, quotient by the cell, truncation, contribution), so
// every lane rounds as the plain code does. The accepted lanes are moved to
// the front and stored whole at `accepted`; returns the new count.
__attribute__((target("avx2"))) inline std::size_t ClassifyFour(const ClassifyVectors& v, const float* ax,
                                                                const float* ay, const std::uint32_t* j,
                                                                const double* values, const AcceptedPairs& out,
                                                                std::size_t accepted) {
    const __m256d sx = _mm256_cvtps_pd(_mm_loadu_ps(ax));
    const __m256d sy = _mm256_cvtps_pd(_mm_loadu_ps(ay));
    const __m256d q = _mm256_div_pd(sy, sx);
    const __m256d towardX = _mm256_cmp_pd(q, v.xMax, _CMP_LE_OQ);
    const __m256d towardY = _mm256_andnot_pd(
        towardX, _mm256_or_pd(_mm256_cmp_pd(sx, v.zero, _CMP_EQ_OQ), _mm256_cmp_pd(q, v.yMin, _CMP_GE_OQ)));
    const __m128 distance =
        _mm256_cvtpd_ps(_mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(sx, sx), _mm256_mul_pd(sy, sy))));
    const __m256d d = _mm256_cvtps_pd(distance);
    const __m256d position = _mm256_add_pd(_mm256_div_pd(d, _mm256_blendv_pd(v.cellY, v.cellX, towardX)), v.half);
    __m256d joins = _mm256_or_pd(towardX, towardY);
    joins = _mm256_and_pd(joins, _mm256_cmp_pd(d, _mm256_blendv_pd(v.reachY, v.reachX, towardX), _CMP_LT_OQ));
    joins = _mm256_and_pd(joins, _mm256_cmp_pd(position, v.one, _CMP_GE_OQ));
    joins = _mm256_and_pd(joins, _mm256_cmp_pd(position, _mm256_blendv_pd(v.limitY, v.limitX, towardX), _CMP_LT_OQ));
    const __m256d truncated =
        _mm256_round_pd(_mm256_blendv_pd(v.one, position, joins), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256d classId =
        _mm256_add_pd(_mm256_sub_pd(truncated, v.one), _mm256_blendv_pd(v.yOffset, v.zero, towardX));
    const __m256d other = _mm256_setr_pd(values[j[0]], values[j[1]], values[j[2]], values[j[3]]);
    const __m256d difference = _mm256_sub_pd(v.sampleValue, other);
    const __m256d contribution = _mm256_mul_pd(_mm256_mul_pd(difference, d), difference);

    const unsigned mask = static_cast<unsigned>(_mm256_movemask_pd(joins));
    const __m256i order = _mm256_load_si256(reinterpret_cast<const __m256i*>(kCompression[mask].data()));
    const __m256i orderPairs = _mm256_load_si256(reinterpret_cast<const __m256i*>(kDoubleCompression[mask].data()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out.classId + accepted),
                     _mm256_castsi256_si128(
                         _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(_mm256_cvttpd_epi32(classId)), order)));
    _mm_storeu_ps(out.distance + accepted,
                  _mm256_castps256_ps128(_mm256_permutevar8x32_ps(_mm256_castps128_ps256(distance), order)));
    _mm256_storeu_pd(out.contribution + accepted,
                     _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(contribution), orderPairs)));
    return accepted + static_cast<std::size_t>(__builtin_popcount(mask));
}

// Four pairs at a time; the last group is padded with separations that
// are not a number, which join no class.
__attribute__((target("avx2"))) std::size_t ClassifyAvx2(const Candidates& in, std::size_t count, double valueI,
                                                         const double* values, const ClassifyConstants& c,
                                                         const AcceptedPairs& out) {
    const ClassifyVectors v{_mm256_setzero_pd(),
                            _mm256_set1_pd(0.5),
                            _mm256_set1_pd(1.0),
                            _mm256_set1_pd(c.xMaxQuotient),
                            _mm256_set1_pd(c.yMinQuotient),
                            _mm256_set1_pd(c.cellX),
                            _mm256_set1_pd(c.cellY),
                            _mm256_set1_pd(c.reachX),
                            _mm256_set1_pd(c.reachY),
                            _mm256_set1_pd(c.limitX),
                            _mm256_set1_pd(c.limitY),
                            _mm256_set1_pd(c.xClassCount),
                            _mm256_set1_pd(valueI)};
    std::size_t accepted = 0;
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4)
        accepted = ClassifyFour(v, in.ax + k, in.ay + k, in.index + k, values, out, accepted);
    if (k == count) return accepted;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    float ax[4] = {nan, nan, nan, nan}, ay[4] = {nan, nan, nan, nan};
    std::uint32_t j[4] = {in.index[k], in.index[k], in.index[k], in.index[k]};
    for (std::size_t r = 0; k + r < count; ++r) ax[r] = in.ax[k + r], ay[r] = in.ay[k + r], j[r] = in.index[k + r];
    return ClassifyFour(v, ax, ay, j, values, out, accepted);
}

#include "platform/Avx512RegionBegin.inc"

// Sixteen pairs per step, the survivors gathered to the front in a register
// (a compressing store to memory is slow on some processors that have it)
// and stored whole: the stores end at most 16 places past the pairs read so
// far, never past the run.
std::size_t FilterAvx512(float xi, float yi, const float* x, const float* y, std::size_t begin, std::size_t end,
                         const PairFilterBounds& bounds, const Candidates& out) {
    const __m512 sampleX = _mm512_set1_ps(xi), sampleY = _mm512_set1_ps(yi);
    const __m512 xSlope = _mm512_set1_ps(bounds.xConeSlope), ySlope = _mm512_set1_ps(bounds.yConeSlope);
    const __m512 xReach = _mm512_set1_ps(bounds.xReach), yReach = _mm512_set1_ps(bounds.yReach);
    std::uint32_t* const outIndex = out.index;
    float* const outAx = out.ax;
    float* const outAy = out.ay;
    __m512i index = _mm512_add_epi32(_mm512_set1_epi32(static_cast<std::int32_t>(begin)),
                                     _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    const __m512i step = _mm512_set1_epi32(16);
    std::size_t count = 0;
    std::size_t j = begin;
    for (; j + 16 <= end; j += 16, index = _mm512_add_epi32(index, step)) {
        const __m512 ax = _mm512_abs_ps(_mm512_sub_ps(sampleX, _mm512_loadu_ps(x + j)));
        const __m512 ay = _mm512_abs_ps(_mm512_sub_ps(sampleY, _mm512_loadu_ps(y + j)));
        const __mmask16 towardX =
            _mm512_cmp_ps_mask(ay, _mm512_mul_ps(xSlope, ax), _CMP_LE_OQ) & _mm512_cmp_ps_mask(ax, xReach, _CMP_LE_OQ);
        const __mmask16 towardY =
            _mm512_cmp_ps_mask(ax, _mm512_mul_ps(ySlope, ay), _CMP_LE_OQ) & _mm512_cmp_ps_mask(ay, yReach, _CMP_LE_OQ);
        const __mmask16 mask = static_cast<__mmask16>(towardX | towardY);
        _mm512_storeu_si512(outIndex + count, _mm512_maskz_compress_epi32(mask, index));
        _mm512_storeu_ps(outAx + count, _mm512_maskz_compress_ps(mask, ax));
        _mm512_storeu_ps(outAy + count, _mm512_maskz_compress_ps(mask, ay));
        count += static_cast<std::size_t>(__builtin_popcount(mask));
    }
    return FilterRest(xi, yi, x, y, j, end, bounds, out, count);
}

struct ClassifyVectors512 {
    __m512d zero, half, one, xMax, yMin, cellX, cellY, reachX, reachY, limitX, limitY, yOffset, sampleValue;
};

// ClassifyFour for eight pairs, lane for lane the same operations.
inline std::size_t ClassifyEight(const ClassifyVectors512& v, const float* ax, const float* ay, const std::uint32_t* j,
                                 const double* values, const AcceptedPairs& out, std::size_t accepted) {
    const __m512d sx = _mm512_cvtps_pd(_mm256_loadu_ps(ax));
    const __m512d sy = _mm512_cvtps_pd(_mm256_loadu_ps(ay));
    const __m512d q = _mm512_div_pd(sy, sx);
    const __mmask8 towardX = _mm512_cmp_pd_mask(q, v.xMax, _CMP_LE_OQ);
    const __mmask8 towardY = static_cast<__mmask8>(
        ~towardX & (_mm512_cmp_pd_mask(sx, v.zero, _CMP_EQ_OQ) | _mm512_cmp_pd_mask(q, v.yMin, _CMP_GE_OQ)));
    const __m256 distance =
        _mm512_cvtpd_ps(_mm512_sqrt_pd(_mm512_add_pd(_mm512_mul_pd(sx, sx), _mm512_mul_pd(sy, sy))));
    const __m512d d = _mm512_cvtps_pd(distance);
    const __m512d position = _mm512_add_pd(_mm512_div_pd(d, _mm512_mask_blend_pd(towardX, v.cellY, v.cellX)), v.half);
    __mmask8 joins = static_cast<__mmask8>(towardX | towardY);
    joins &= _mm512_cmp_pd_mask(d, _mm512_mask_blend_pd(towardX, v.reachY, v.reachX), _CMP_LT_OQ);
    joins &= _mm512_cmp_pd_mask(position, v.one, _CMP_GE_OQ);
    joins &= _mm512_cmp_pd_mask(position, _mm512_mask_blend_pd(towardX, v.limitY, v.limitX), _CMP_LT_OQ);
    const __m512d truncated =
        _mm512_roundscale_pd(_mm512_mask_blend_pd(joins, v.one, position), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m512d classId =
        _mm512_add_pd(_mm512_sub_pd(truncated, v.one), _mm512_mask_blend_pd(towardX, v.yOffset, v.zero));
    // Eight loads, not a gather instruction: on some processors that have
    // it (this one among them) the gather is the slower of the two.
    const __m512d other = _mm512_setr_pd(values[j[0]], values[j[1]], values[j[2]], values[j[3]], values[j[4]],
                                         values[j[5]], values[j[6]], values[j[7]]);
    const __m512d difference = _mm512_sub_pd(v.sampleValue, other);
    const __m512d contribution = _mm512_mul_pd(_mm512_mul_pd(difference, d), difference);

    // Eight-lane values widened to sixteen: the mask never picks the upper
    // half, whatever it holds.
    const __m512i ids = _mm512_maskz_compress_epi32(joins, _mm512_zextsi256_si512(_mm512_cvttpd_epi32(classId)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.classId + accepted), _mm512_castsi512_si256(ids));
    const __m512 distances = _mm512_maskz_compress_ps(joins, _mm512_zextps256_ps512(distance));
    _mm256_storeu_ps(out.distance + accepted, _mm512_castps512_ps256(distances));
    _mm512_storeu_pd(out.contribution + accepted, _mm512_maskz_compress_pd(joins, contribution));
    return accepted + static_cast<std::size_t>(__builtin_popcount(joins));
}

// Eight pairs at a time; the last group padded as in ClassifyAvx2.
std::size_t ClassifyAvx512(const Candidates& in, std::size_t count, double valueI, const double* values,
                           const ClassifyConstants& c, const AcceptedPairs& out) {
    const ClassifyVectors512 v{_mm512_setzero_pd(),
                               _mm512_set1_pd(0.5),
                               _mm512_set1_pd(1.0),
                               _mm512_set1_pd(c.xMaxQuotient),
                               _mm512_set1_pd(c.yMinQuotient),
                               _mm512_set1_pd(c.cellX),
                               _mm512_set1_pd(c.cellY),
                               _mm512_set1_pd(c.reachX),
                               _mm512_set1_pd(c.reachY),
                               _mm512_set1_pd(c.limitX),
                               _mm512_set1_pd(c.limitY),
                               _mm512_set1_pd(c.xClassCount),
                               _mm512_set1_pd(valueI)};
    std::size_t accepted = 0;
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8)
        accepted = ClassifyEight(v, in.ax + k, in.ay + k, in.index + k, values, out, accepted);
    if (k == count) return accepted;
    // Masked loads, which read nothing past the candidates and are stored
    // whole: filled in lane by lane, the group would be read back before
    // its pieces reached the cache, a stall of tens of cycles for every
    // call.
    const __mmask16 real = static_cast<__mmask16>((1u << (count - k)) - 1u);
    const __m512 nan = _mm512_set1_ps(std::numeric_limits<float>::quiet_NaN());
    // Unaligned stores: a Windows build may not align the stack to 32 bytes.
    float ax[8], ay[8];
    std::uint32_t j[8];
    _mm256_storeu_ps(ax, _mm512_castps512_ps256(_mm512_mask_loadu_ps(nan, real, in.ax + k)));
    _mm256_storeu_ps(ay, _mm512_castps512_ps256(_mm512_mask_loadu_ps(nan, real, in.ay + k)));
    const __m512i first = _mm512_set1_epi32(static_cast<std::int32_t>(in.index[k]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(j),
                        _mm512_castsi512_si256(_mm512_mask_loadu_epi32(first, real, in.index + k)));
    return ClassifyEight(v, ax, ay, j, values, out, accepted);
}
#include "platform/Avx512RegionEnd.inc"
#endif

}  // namespace

PairFilterBounds MakePairFilterBounds(const ConeThresholds& cones, const LagClassifier& alongX,
                                      const LagClassifier& alongY) {
    PairFilterBounds bounds{};
    // x cone: q <= xMaxQuotient, so ay / ax <= xMaxQuotient (1 + 2^-52).
    bounds.xConeSlope = FloatNotBelow(cones.xMaxQuotient * (1.0 + kSlopeSlack));
    // y cone: ax == 0 or q >= yMinQuotient, so ax / ay <= 1 / (yMinQuotient (1 - 2^-52)).
    bounds.yConeSlope = FloatNotBelow((1.0 / cones.yMinQuotient) * (1.0 + kSlopeSlack));
    bounds.xReach = FloatNotBelow(alongX.MaxDistance());
    bounds.yReach = FloatNotBelow(alongY.MaxDistance());
    return bounds;
}

ClassifyConstants MakeClassifyConstants(const ConeThresholds& cones, const LagClassifier& alongX,
                                        const LagClassifier& alongY) {
    ClassifyConstants c{};
    c.xMaxQuotient = cones.xMaxQuotient;
    c.yMinQuotient = cones.yMinQuotient;
    c.cellX = f64(alongX.CellSize());
    c.cellY = f64(alongY.CellSize());
    c.reachX = alongX.MaxDistance();
    c.reachY = alongY.MaxDistance();
    c.limitX = static_cast<double>(alongX.ClassCount()) + 1.0;
    c.limitY = static_cast<double>(alongY.ClassCount()) + 1.0;
    c.xClassCount = static_cast<double>(alongX.ClassCount());
    return c;
}

std::vector<PairKernelPath> AvailablePairKernels() {
    std::vector<PairKernelPath> paths{{"plain", FilterPlain, ClassifyPlain}};
#ifdef MOSARO_HAVE_AVX2_PATH
    if (__builtin_cpu_supports("avx2")) paths.push_back({"avx2", FilterAvx2, ClassifyAvx2});
    if (__builtin_cpu_supports("avx512f")) paths.push_back({"avx512", FilterAvx512, ClassifyAvx512});
#endif
    return paths;
}

const PairKernelPath& PreferredPairKernels() {
    static const PairKernelPath preferred = AvailablePairKernels().back();
    return preferred;
}

}  // namespace mosaro
