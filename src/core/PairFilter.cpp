#include "PairFilter.h"

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

// Plain loops the compiler vectorises at the baseline instruction set: the
// tests into a byte mask, then a branch-free compaction.
std::size_t FilterPlain(float xi, float yi, const float* x, const float* y, std::size_t begin, std::size_t end,
                        const PairFilterBounds& bounds, std::uint32_t* candidates) {
    constexpr std::size_t kChunk = 256;
    unsigned char passes[kChunk];
    std::size_t count = 0;
    for (std::size_t start = begin; start < end; start += kChunk) {
        const std::size_t length = end - start < kChunk ? end - start : kChunk;
        for (std::size_t k = 0; k < length; ++k) {
            const float ax = std::fabs(xi - x[start + k]);
            const float ay = std::fabs(yi - y[start + k]);
            passes[k] = PassesBounds(ax, ay, bounds);
        }
        for (std::size_t k = 0; k < length; ++k) {
            candidates[count] = static_cast<std::uint32_t>(start + k);
            count += passes[k];
        }
    }
    return count;
}

#ifdef MOSARO_HAVE_AVX2_PATH
// Eight pairs per step; the survivors of a step are read off its sign mask.
__attribute__((target("avx2"))) std::size_t FilterAvx2(float xi, float yi, const float* x, const float* y,
                                                        std::size_t begin, std::size_t end,
                                                        const PairFilterBounds& bounds,
                                                        std::uint32_t* candidates) {
    const __m256 signBit = _mm256_set1_ps(-0.0f);
    const __m256 sampleX = _mm256_set1_ps(xi), sampleY = _mm256_set1_ps(yi);
    const __m256 xSlope = _mm256_set1_ps(bounds.xConeSlope), ySlope = _mm256_set1_ps(bounds.yConeSlope);
    const __m256 xReach = _mm256_set1_ps(bounds.xReach), yReach = _mm256_set1_ps(bounds.yReach);
    std::size_t count = 0;
    std::size_t j = begin;
    for (; j + 8 <= end; j += 8) {
        const __m256 ax = _mm256_andnot_ps(signBit, _mm256_sub_ps(sampleX, _mm256_loadu_ps(x + j)));
        const __m256 ay = _mm256_andnot_ps(signBit, _mm256_sub_ps(sampleY, _mm256_loadu_ps(y + j)));
        const __m256 towardX = _mm256_and_ps(_mm256_cmp_ps(ay, _mm256_mul_ps(xSlope, ax), _CMP_LE_OQ),
                                             _mm256_cmp_ps(ax, xReach, _CMP_LE_OQ));
        const __m256 towardY = _mm256_and_ps(_mm256_cmp_ps(ax, _mm256_mul_ps(ySlope, ay), _CMP_LE_OQ),
                                             _mm256_cmp_ps(ay, yReach, _CMP_LE_OQ));
        unsigned mask = static_cast<unsigned>(_mm256_movemask_ps(_mm256_or_ps(towardX, towardY)));
        while (mask != 0) {
            candidates[count++] = static_cast<std::uint32_t>(j + static_cast<unsigned>(__builtin_ctz(mask)));
            mask &= mask - 1;
        }
    }
    for (; j < end; ++j) {
        candidates[count] = static_cast<std::uint32_t>(j);
        count += PassesBounds(std::fabs(xi - x[j]), std::fabs(yi - y[j]), bounds);
    }
    return count;
}
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

std::vector<CandidateFilterPath> AvailableCandidateFilters() {
    std::vector<CandidateFilterPath> paths{{"plain", FilterPlain}};
#ifdef MOSARO_HAVE_AVX2_PATH
    if (__builtin_cpu_supports("avx2")) paths.push_back({"avx2", FilterAvx2});
#endif
    return paths;
}

const CandidateFilterPath& PreferredCandidateFilter() {
    static const CandidateFilterPath preferred = AvailableCandidateFilters().back();
    return preferred;
}

}  // namespace mosaro
