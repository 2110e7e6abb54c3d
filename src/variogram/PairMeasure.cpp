#include "variogram/PairMeasure.h"

#include <algorithm>
#include <cmath>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define MOSARO_PAIR_MEASURE_X86 1
#include <immintrin.h>
#endif

namespace mosaro {
namespace {

constexpr double kFractionCap = 2147483647.0;

// The IEEE square root as one instruction where there is one: std::sqrt
// may set errno, which keeps a call in the loop.
inline double SquareRoot(double x) {
#if defined(__SSE2__)
    return _mm_cvtsd_f64(_mm_sqrt_sd(_mm_setzero_pd(), _mm_set_sd(x)));
#else
    return std::sqrt(x);
#endif
}

template <bool kRobust>
inline void MeasureOne(const PairMeasureInput& in, std::size_t q, PairBlock& b) {
    const double dx = in.xi - in.x[q];
    const double dy = in.yi - in.y[q];
    const double distance = SquareRoot(dx * dx + dy * dy);
    double fraction = distance / in.width;
    fraction = fraction < kFractionCap ? fraction : kFractionCap;
    const std::int32_t whole = static_cast<std::int32_t>(fraction);
    const bool onEdge = distance > 0.0 && fraction == static_cast<double>(whole);
    b.bin[q] = distance <= in.cutoff ? whole - (onEdge ? 1 : 0) : in.discarded;
    b.dx[q] = dx;
    b.dy[q] = dy;
    b.distance[q] = distance;
    const double difference = in.vi - in.v[q];
    b.statistic[q] = kRobust ? SquareRoot(std::fabs(difference)) : difference * difference;
}

template <bool kRobust>
void MeasurePlain(const PairMeasureInput& in, std::size_t count, PairBlock& b) {
    for (std::size_t q = 0; q < count; ++q) MeasureOne<kRobust>(in, q, b);
}

inline void AddPair(double* sums, std::size_t bins, std::size_t q, std::int32_t bin, double distance,
                    double statistic) {
    double* at = sums + ((q & 3) * bins + static_cast<std::size_t>(bin)) * 4;
    at[0] += 1.0;
    at[1] += distance;
    at[2] += statistic;
}

template <bool kRobust>
void SumPlain(const PairMeasureInput& in, std::size_t count, double* sums, std::size_t bins) {
    PairBlock b;
    MeasurePlain<kRobust>(in, count, b);
    for (std::size_t q = 0; q < count; ++q) AddPair(sums, bins, q, b.bin[q], b.distance[q], b.statistic[q]);
}

inline bool Takes(const PairDirection& d, double dx, double dy, double distance) {
    if (d.all || (dx == 0.0 && dy == 0.0)) return true;
    if (std::fabs((dx * d.sine + dy * d.cosine) / distance) < d.cosineTolerance) return false;
    return std::fabs(dx * d.cosine - dy * d.sine) <= d.bandwidth;
}

// Pairs `from` .. `from + count` of a block, measured into b[0 .. count),
// into every direction, one direction after the other.
template <bool kRobust>
void DirectionalTail(const PairMeasureInput& in, std::size_t from, std::size_t count, const PairDirection* directions,
                     std::size_t directionCount, std::size_t bins) {
    PairBlock b;
    MeasurePlain<kRobust>(
        PairMeasureInput{in.xi, in.yi, in.vi, in.x + from, in.y + from, in.v + from, in.cutoff, in.width, in.discarded},
        count, b);
    for (std::size_t d = 0; d < directionCount; ++d)
        for (std::size_t r = 0; r < count; ++r) {
            const bool taken = Takes(directions[d], b.dx[r], b.dy[r], b.distance[r]);
            AddPair(directions[d].sums, bins, from + r, taken ? b.bin[r] : in.discarded, b.distance[r], b.statistic[r]);
        }
}

template <bool kRobust>
void DirectionalPlain(const PairMeasureInput& in, std::size_t count, const PairDirection* directions,
                      std::size_t directionCount, std::size_t bins) {
    DirectionalTail<kRobust>(in, 0, count, directions, directionCount, bins);
}

#if MOSARO_PAIR_MEASURE_X86

// Four pairs at a time. The bin is worked out in double (exact for
// integers below 2^31) and converted once.
struct FourPairs {
    __m256d dx, dy, distance, statistic;
    __m128i bin;
};

template <bool kRobust>
__attribute__((target("avx2"))) inline FourPairs MeasureFour(const PairMeasureInput& in, std::size_t q) {
    const __m256d width = _mm256_set1_pd(in.width), cutoff = _mm256_set1_pd(in.cutoff);
    const __m256d cap = _mm256_set1_pd(kFractionCap), one = _mm256_set1_pd(1.0), zero = _mm256_setzero_pd();
    FourPairs f;
    f.dx = _mm256_sub_pd(_mm256_set1_pd(in.xi), _mm256_loadu_pd(in.x + q));
    f.dy = _mm256_sub_pd(_mm256_set1_pd(in.yi), _mm256_loadu_pd(in.y + q));
    f.distance = _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(f.dx, f.dx), _mm256_mul_pd(f.dy, f.dy)));
    __m256d fraction = _mm256_div_pd(f.distance, width);
    fraction = _mm256_blendv_pd(cap, fraction, _mm256_cmp_pd(fraction, cap, _CMP_LT_OQ));
    const __m256d whole = _mm256_cvtepi32_pd(_mm256_cvttpd_epi32(fraction));
    const __m256d onEdge =
        _mm256_and_pd(_mm256_cmp_pd(f.distance, zero, _CMP_GT_OQ), _mm256_cmp_pd(fraction, whole, _CMP_EQ_OQ));
    __m256d bin = _mm256_sub_pd(whole, _mm256_and_pd(onEdge, one));
    bin = _mm256_blendv_pd(_mm256_set1_pd(static_cast<double>(in.discarded)), bin,
                           _mm256_cmp_pd(f.distance, cutoff, _CMP_LE_OQ));
    f.bin = _mm256_cvttpd_epi32(bin);
    const __m256d difference = _mm256_sub_pd(_mm256_set1_pd(in.vi), _mm256_loadu_pd(in.v + q));
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    f.statistic =
        kRobust ? _mm256_sqrt_pd(_mm256_and_pd(difference, magnitude)) : _mm256_mul_pd(difference, difference);
    return f;
}

template <bool kRobust>
__attribute__((target("avx2"))) void MeasureAvx2(const PairMeasureInput& in, std::size_t count, PairBlock& b) {
    std::size_t q = 0;
    for (; q + 4 <= count; q += 4) {
        const FourPairs f = MeasureFour<kRobust>(in, q);
        _mm_store_si128(reinterpret_cast<__m128i*>(b.bin + q), f.bin);
        _mm256_store_pd(b.dx + q, f.dx);
        _mm256_store_pd(b.dy + q, f.dy);
        _mm256_store_pd(b.distance + q, f.distance);
        _mm256_store_pd(b.statistic + q, f.statistic);
    }
    for (; q < count; ++q) MeasureOne<kRobust>(in, q, b);
}

// Adds four pairs q..q+3 (q a multiple of 4, so pair q+i goes to copy i):
// (1, distance, statistic, 0) of each, transposed out of the three vectors,
// added to its bin in one vector addition per pair, lane by lane the same
// additions as AddPair's.
__attribute__((target("avx2"))) inline void AddFour(double* sums, std::size_t bins, __m128i binVector, __m256d distance,
                                                    __m256d statistic) {
    alignas(16) std::int32_t bin[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(bin), binVector);
    const __m256d one = _mm256_set1_pd(1.0), zero = _mm256_setzero_pd();
    const __m256d t0 = _mm256_unpacklo_pd(one, distance);    // 1 d0 1 d2
    const __m256d t1 = _mm256_unpackhi_pd(one, distance);    // 1 d1 1 d3
    const __m256d t2 = _mm256_unpacklo_pd(statistic, zero);  // s0 0 s2 0
    const __m256d t3 = _mm256_unpackhi_pd(statistic, zero);  // s1 0 s3 0
    const __m256d lanes[4] = {_mm256_permute2f128_pd(t0, t2, 0x20), _mm256_permute2f128_pd(t1, t3, 0x20),
                              _mm256_permute2f128_pd(t0, t2, 0x31), _mm256_permute2f128_pd(t1, t3, 0x31)};
    for (std::size_t i = 0; i < 4; ++i) {
        double* at = sums + (i * bins + static_cast<std::size_t>(bin[i])) * 4;
        _mm256_storeu_pd(at, _mm256_add_pd(_mm256_loadu_pd(at), lanes[i]));
    }
}

template <bool kRobust>
__attribute__((target("avx2"))) void SumAvx2(const PairMeasureInput& in, std::size_t count, double* sums,
                                             std::size_t bins) {
    std::size_t q = 0;
    for (; q + 4 <= count; q += 4) {
        const FourPairs f = MeasureFour<kRobust>(in, q);
        AddFour(sums, bins, f.bin, f.distance, f.statistic);
    }
    if (q < count) {
        PairBlock b;
        MeasurePlain<kRobust>(
            PairMeasureInput{in.xi, in.yi, in.vi, in.x + q, in.y + q, in.v + q, in.cutoff, in.width, in.discarded},
            count - q, b);
        for (std::size_t r = 0; q + r < count; ++r) AddPair(sums, bins, q + r, b.bin[r], b.distance[r], b.statistic[r]);
    }
}

// The bins of four pairs for one direction: their class where the
// direction takes them, else the discarded bin.
__attribute__((target("avx2"))) inline __m128i DirectionBins(const PairDirection& d, const FourPairs& f,
                                                             std::int32_t discarded) {
    if (d.all) return f.bin;
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d along = _mm256_and_pd(_mm256_div_pd(_mm256_add_pd(_mm256_mul_pd(f.dx, _mm256_set1_pd(d.sine)),
                                                                    _mm256_mul_pd(f.dy, _mm256_set1_pd(d.cosine))),
                                                      f.distance),
                                        magnitude);
    const __m256d across = _mm256_and_pd(
        _mm256_sub_pd(_mm256_mul_pd(f.dx, _mm256_set1_pd(d.cosine)), _mm256_mul_pd(f.dy, _mm256_set1_pd(d.sine))),
        magnitude);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d coincident =
        _mm256_and_pd(_mm256_cmp_pd(f.dx, zero, _CMP_EQ_OQ), _mm256_cmp_pd(f.dy, zero, _CMP_EQ_OQ));
    // Coincident pairs give 0/0 = NaN, which no comparison rejects, and 0 across.
    const __m256d rejected = _mm256_cmp_pd(along, _mm256_set1_pd(d.cosineTolerance), _CMP_LT_OQ);
    const __m256d near = _mm256_cmp_pd(across, _mm256_set1_pd(d.bandwidth), _CMP_LE_OQ);
    const __m256d taken = _mm256_or_pd(coincident, _mm256_andnot_pd(rejected, near));
    // The mask's four 64-bit lanes narrowed to the four 32-bit lanes of the bins.
    const __m128i takenLanes = _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(_mm256_castpd_si256(taken), _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7)));
    return _mm_blendv_epi8(_mm_set1_epi32(discarded), f.bin, takenLanes);
}

template <bool kRobust>
__attribute__((target("avx2"))) void DirectionalAvx2(const PairMeasureInput& in, std::size_t count,
                                                     const PairDirection* directions, std::size_t directionCount,
                                                     std::size_t bins) {
    std::size_t q = 0;
    for (; q + 4 <= count; q += 4) {
        const FourPairs f = MeasureFour<kRobust>(in, q);
        for (std::size_t d = 0; d < directionCount; ++d)
            AddFour(directions[d].sums, bins, DirectionBins(directions[d], f, in.discarded), f.distance, f.statistic);
    }
    if (q < count) DirectionalTail<kRobust>(in, q, count - q, directions, directionCount, bins);
}

// Eight pairs at a time. GCC 12's AVX-512 headers start their masked
// built-ins from an undefined vector, which its own flow analysis then
// reports as used uninitialised: the warning is the header's, not this code's.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
struct EightPairs {
    __m512d dx, dy, distance, statistic;
    __m256i bin;
};

template <bool kRobust>
__attribute__((target("avx512f"))) inline EightPairs MeasureEight(const PairMeasureInput& in, std::size_t q) {
    const __m512d width = _mm512_set1_pd(in.width), cutoff = _mm512_set1_pd(in.cutoff);
    const __m512d cap = _mm512_set1_pd(kFractionCap), one = _mm512_set1_pd(1.0), zero = _mm512_setzero_pd();
    EightPairs e;
    e.dx = _mm512_sub_pd(_mm512_set1_pd(in.xi), _mm512_loadu_pd(in.x + q));
    e.dy = _mm512_sub_pd(_mm512_set1_pd(in.yi), _mm512_loadu_pd(in.y + q));
    e.distance = _mm512_sqrt_pd(_mm512_add_pd(_mm512_mul_pd(e.dx, e.dx), _mm512_mul_pd(e.dy, e.dy)));
    __m512d fraction = _mm512_div_pd(e.distance, width);
    fraction = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(fraction, cap, _CMP_LT_OQ), cap, fraction);
    const __m512d whole = _mm512_cvtepi32_pd(_mm512_cvttpd_epi32(fraction));
    const __mmask8 onEdge =
        _mm512_cmp_pd_mask(e.distance, zero, _CMP_GT_OQ) & _mm512_cmp_pd_mask(fraction, whole, _CMP_EQ_OQ);
    __m512d bin = _mm512_mask_sub_pd(whole, onEdge, whole, one);
    bin = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(e.distance, cutoff, _CMP_LE_OQ),
                               _mm512_set1_pd(static_cast<double>(in.discarded)), bin);
    e.bin = _mm512_cvttpd_epi32(bin);
    const __m512d difference = _mm512_sub_pd(_mm512_set1_pd(in.vi), _mm512_loadu_pd(in.v + q));
    e.statistic = kRobust ? _mm512_sqrt_pd(_mm512_abs_pd(difference)) : _mm512_mul_pd(difference, difference);
    return e;
}

template <bool kRobust>
__attribute__((target("avx512f"))) void MeasureAvx512(const PairMeasureInput& in, std::size_t count, PairBlock& b) {
    std::size_t q = 0;
    for (; q + 8 <= count; q += 8) {
        const EightPairs e = MeasureEight<kRobust>(in, q);
        _mm256_store_si256(reinterpret_cast<__m256i*>(b.bin + q), e.bin);
        _mm512_store_pd(b.dx + q, e.dx);
        _mm512_store_pd(b.dy + q, e.dy);
        _mm512_store_pd(b.distance + q, e.distance);
        _mm512_store_pd(b.statistic + q, e.statistic);
    }
    for (; q < count; ++q) MeasureOne<kRobust>(in, q, b);
}

template <bool kRobust>
__attribute__((target("avx512f"))) void SumAvx512(const PairMeasureInput& in, std::size_t count, double* sums,
                                                  std::size_t bins) {
    std::size_t q = 0;
    for (; q + 8 <= count; q += 8) {
        const EightPairs e = MeasureEight<kRobust>(in, q);
        AddFour(sums, bins, _mm256_castsi256_si128(e.bin), _mm512_castpd512_pd256(e.distance),
                _mm512_castpd512_pd256(e.statistic));
        AddFour(sums, bins, _mm256_extracti128_si256(e.bin, 1), _mm512_extractf64x4_pd(e.distance, 1),
                _mm512_extractf64x4_pd(e.statistic, 1));
    }
    if (q < count) {
        PairBlock b;
        MeasurePlain<kRobust>(
            PairMeasureInput{in.xi, in.yi, in.vi, in.x + q, in.y + q, in.v + q, in.cutoff, in.width, in.discarded},
            count - q, b);
        for (std::size_t r = 0; q + r < count; ++r) AddPair(sums, bins, q + r, b.bin[r], b.distance[r], b.statistic[r]);
    }
}

template <bool kRobust>
__attribute__((target("avx512f"))) void DirectionalAvx512(const PairMeasureInput& in, std::size_t count,
                                                          const PairDirection* directions, std::size_t directionCount,
                                                          std::size_t bins) {
    std::size_t q = 0;
    for (; q + 8 <= count; q += 8) {
        const EightPairs e = MeasureEight<kRobust>(in, q);
        const __m256d distanceLow = _mm512_castpd512_pd256(e.distance),
                      distanceHigh = _mm512_extractf64x4_pd(e.distance, 1);
        const __m256d statisticLow = _mm512_castpd512_pd256(e.statistic),
                      statisticHigh = _mm512_extractf64x4_pd(e.statistic, 1);
        for (std::size_t d = 0; d < directionCount; ++d) {
            const PairDirection& direction = directions[d];
            __m256i bin = e.bin;
            if (!direction.all) {
                const __m512d sine = _mm512_set1_pd(direction.sine), cosine = _mm512_set1_pd(direction.cosine);
                const __m512d along = _mm512_abs_pd(
                    _mm512_div_pd(_mm512_add_pd(_mm512_mul_pd(e.dx, sine), _mm512_mul_pd(e.dy, cosine)), e.distance));
                const __m512d across =
                    _mm512_abs_pd(_mm512_sub_pd(_mm512_mul_pd(e.dx, cosine), _mm512_mul_pd(e.dy, sine)));
                const __m512d zero = _mm512_setzero_pd();
                const __mmask8 coincident =
                    _mm512_cmp_pd_mask(e.dx, zero, _CMP_EQ_OQ) & _mm512_cmp_pd_mask(e.dy, zero, _CMP_EQ_OQ);
                const __mmask8 rejected =
                    _mm512_cmp_pd_mask(along, _mm512_set1_pd(direction.cosineTolerance), _CMP_LT_OQ);
                const __mmask8 near = _mm512_cmp_pd_mask(across, _mm512_set1_pd(direction.bandwidth), _CMP_LE_OQ);
                const __mmask8 taken = static_cast<__mmask8>(coincident | (~rejected & near));
                bin = _mm512_castsi512_si256(_mm512_mask_blend_epi32(
                    static_cast<__mmask16>(taken), _mm512_set1_epi32(in.discarded), _mm512_castsi256_si512(e.bin)));
            }
            AddFour(direction.sums, bins, _mm256_castsi256_si128(bin), distanceLow, statisticLow);
            AddFour(direction.sums, bins, _mm256_extracti128_si256(bin, 1), distanceHigh, statisticHigh);
        }
    }
    if (q < count) DirectionalTail<kRobust>(in, q, count - q, directions, directionCount, bins);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif

}  // namespace

std::vector<PairMeasure> AvailablePairMeasures() {
    std::vector<PairMeasure> measures = {{"plain", MeasurePlain<false>, MeasurePlain<true>, SumPlain<false>,
                                          SumPlain<true>, DirectionalPlain<false>, DirectionalPlain<true>}};
#if MOSARO_PAIR_MEASURE_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        measures.push_back({"avx2", MeasureAvx2<false>, MeasureAvx2<true>, SumAvx2<false>, SumAvx2<true>,
                            DirectionalAvx2<false>, DirectionalAvx2<true>});
    if (__builtin_cpu_supports("avx512f"))
        measures.push_back({"avx512", MeasureAvx512<false>, MeasureAvx512<true>, SumAvx512<false>, SumAvx512<true>,
                            DirectionalAvx512<false>, DirectionalAvx512<true>});
#endif
    return measures;
}

const PairMeasure& PreferredPairMeasure() {
    static const std::vector<PairMeasure> measures = AvailablePairMeasures();
    return measures.back();
}

bool PairTakes(const PairDirection& direction, double dx, double dy, double distance) {
    return Takes(direction, dx, dy, distance);
}

}  // namespace mosaro
