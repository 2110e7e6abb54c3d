#include "neighbours/SortedLanes.h"

#include <cstdint>
#include <limits>

#include "platform/FloatArith.h"
#include "platform/WideKernels.h"
#ifdef MOSARO_WIDE_KERNELS
#include <immintrin.h>
#endif

namespace mosaro {
namespace {

#ifdef MOSARO_WIDE_KERNELS

#include "platform/Avx512RegionBegin.inc"
namespace avx512 {

using Mask = std::uint32_t;  // bit k for lane k of 32

std::int32_t Bits(float value) { return static_cast<std::int32_t>(FloatBits(value)); }

float FromBits(std::int32_t bits) { return FloatFromBits(static_cast<std::uint32_t>(bits)); }

// One field of the list (distance bits, entry, x bits, y bits): lanes 0 - 15
// in lo, 16 - 31 in hi.
struct Field {
    __m512i lo, hi;

    std::int32_t Lane(std::size_t k) const {
        const __m512i at = _mm512_permutex2var_epi32(lo, _mm512_set1_epi32(static_cast<int>(k)), hi);
        return _mm_cvtsi128_si32(_mm512_castsi512_si128(at));
    }
    void Store(std::int32_t* out) const {
        _mm512_storeu_si512(out, lo);
        _mm512_storeu_si512(out + 16, hi);
    }
};

// A sorted list of up to 31 entries with `Fields` fields, the distance
// first. Lanes past the list hold an infinite distance, so that the entry
// falling out of a list of length L lands in lane L.
template <int Fields>
struct SortedList {
    Field field[Fields];

    SortedList() {
        const __m512i infinite = _mm512_set1_epi32(Bits(std::numeric_limits<float>::infinity()));
        field[0] = {infinite, infinite};
        for (int f = 1; f < Fields; ++f) field[f] = {_mm512_setzero_si512(), _mm512_setzero_si512()};
    }

    // The list held[0 .. count - 1] (sorted, no two distances equal).
    explicit SortedList(const ChainHeld* held, std::size_t count) {
        static_assert(Fields == 4, "held entries have four fields");
        std::int32_t fields[Fields][32];
        for (std::size_t k = 0; k < 32; ++k) {
            const bool in = k < count;
            fields[0][k] = Bits(in ? held[k].distance : std::numeric_limits<float>::infinity());
            fields[1][k] = in ? held[k].entry : 0;
            fields[2][k] = in ? Bits(held[k].x) : 0;
            fields[3][k] = in ? Bits(held[k].y) : 0;
        }
        for (int f = 0; f < Fields; ++f) field[f] = {_mm512_loadu_si512(fields[f]), _mm512_loadu_si512(fields[f] + 16)};
    }

    // Lanes among `held` whose distance equals `distance`.
    Mask Ties(__m512 distance, Mask held) const {
        const Mask lo = _mm512_mask_cmp_ps_mask(static_cast<__mmask16>(held), _mm512_castsi512_ps(field[0].lo),
                                                distance, _CMP_EQ_OQ);
        const Mask hi = _mm512_mask_cmp_ps_mask(static_cast<__mmask16>(held >> 16), _mm512_castsi512_ps(field[0].hi),
                                                distance, _CMP_EQ_OQ);
        return lo | (hi << 16);
    }

    // Inserts the visitor (its fields broadcast) after every held entry at
    // least as near: each lane strictly farther takes the visitor or the
    // entry of the lane below it.
    void Insert(const __m512i (&visitor)[Fields]) {
        const __m512 distance = _mm512_castsi512_ps(visitor[0]);
        const __mmask16 fartherLo = _mm512_cmp_ps_mask(_mm512_castsi512_ps(field[0].lo), distance, _CMP_GT_OQ);
        const __mmask16 fartherHi = _mm512_cmp_ps_mask(_mm512_castsi512_ps(field[0].hi), distance, _CMP_GT_OQ);
        const __mmask16 belowLo = static_cast<__mmask16>(fartherLo << 1);
        const __mmask16 belowHi = static_cast<__mmask16>((fartherHi << 1) | (fartherLo >> 15));
        for (int f = 0; f < Fields; ++f) {
            Field& v = field[f];
            // Lane k of the shifted vectors holds lane k - 1 (lane 0 is
            // never taken from them).
            const __m512i fromBelowLo = _mm512_alignr_epi32(v.lo, v.lo, 15);
            const __m512i fromBelowHi = _mm512_alignr_epi32(v.hi, v.lo, 15);
            v.lo = _mm512_mask_blend_epi32(fartherLo, v.lo, _mm512_mask_blend_epi32(belowLo, visitor[f], fromBelowLo));
            v.hi = _mm512_mask_blend_epi32(fartherHi, v.hi, _mm512_mask_blend_epi32(belowHi, visitor[f], fromBelowHi));
        }
    }

    // Empties lane k again after its entry has been taken out.
    void Clear(std::size_t k) {
        const __m512i infinite = _mm512_set1_epi32(Bits(std::numeric_limits<float>::infinity()));
        const Mask lane = Mask{1} << k;
        field[0].lo = _mm512_mask_mov_epi32(field[0].lo, static_cast<__mmask16>(lane), infinite);
        field[0].hi = _mm512_mask_mov_epi32(field[0].hi, static_cast<__mmask16>(lane >> 16), infinite);
    }

    float Distance(std::size_t k) const { return FromBits(field[0].Lane(k)); }
};

Mask Below(std::size_t k) { return (Mask{1} << k) - 1; }

bool PassCandidates(ChainCandidate* candidates, std::size_t count, std::size_t passes, ChainCandidate* fallen) {
    SortedList<2> list;
    const float infinity = std::numeric_limits<float>::infinity();
    for (std::size_t k = 0; k < count; ++k) {
        const ChainCandidate& c = candidates[k];
        const __m512i visitor[2] = {_mm512_set1_epi32(Bits(c.distance)), _mm512_set1_epi32(c.entry)};
        if (!(c.distance < infinity)) return false;
        if (list.Ties(_mm512_castsi512_ps(visitor[0]), Below(k < passes ? k : passes)) != 0) return false;
        list.Insert(visitor);
        if (k < passes) continue;  // what falls out starts the next pass
        fallen[k] = {c.position, list.field[1].Lane(passes), list.Distance(passes)};
        list.Clear(passes);
    }
    std::int32_t distance[32], entry[32];
    list.field[0].Store(distance);
    list.field[1].Store(entry);
    for (std::size_t k = 0; k < count; ++k) {
        ChainCandidate& c = candidates[k];
        if (k < passes) {
            c.entry = entry[k];
            c.distance = FromBits(distance[k]);
        } else {
            c = fallen[k];
        }
    }
    return true;
}

void StoreHeld(const SortedList<4>& list, std::size_t count, ChainHeld* held) {
    std::int32_t fields[4][32];
    for (int f = 0; f < 4; ++f) list.field[f].Store(fields[f]);
    for (std::size_t k = 0; k < count; ++k)
        held[k] = {FromBits(fields[0][k]), fields[1][k], FromBits(fields[2][k]), FromBits(fields[3][k])};
}

std::size_t PassPositions(const ChainPositions& p, std::size_t passes, ChainHeld* held, std::size_t from) {
    SortedList<4> list(held, from < passes ? from : passes);
    auto visitor = [&](std::size_t at, __m512i(&fields)[4]) {
        fields[0] = _mm512_set1_epi32(Bits(p.distance[at]));
        fields[1] = _mm512_set1_epi32(p.order[at]);
        fields[2] = _mm512_set1_epi32(Bits(p.x[at]));
        fields[3] = _mm512_set1_epi32(Bits(p.y[at]));
    };
    // Pass a starts on what the passes before it leave at position a.
    const float infinity = std::numeric_limits<float>::infinity();
    for (std::size_t a = from; a < passes; ++a) {
        __m512i fields[4];
        visitor(a, fields);
        if (!(p.distance[a] < infinity) || list.Ties(_mm512_castsi512_ps(fields[0]), Below(a)) != 0) {
            StoreHeld(list, a, held);
            return a;
        }
        list.Insert(fields);
    }
    // The farthest held entry bounds every position a pass can change.
    float farthest = list.Distance(passes - 1);
    const Mask all = Below(passes);
    // False when a tie stops the lanes before the position.
    auto visit = [&](std::size_t at) {
        __m512i fields[4];
        visitor(at, fields);
        if (list.Ties(_mm512_castsi512_ps(fields[0]), all) != 0) return false;
        list.Insert(fields);
        const int entry = list.field[1].Lane(passes);
        p.order[at] = entry;
        p.where[entry] = static_cast<int>(at);
        p.x[at] = FromBits(list.field[2].Lane(passes));
        p.y[at] = FromBits(list.field[3].Lane(passes));
        list.Clear(passes);
        farthest = list.Distance(passes - 1);
        return true;
    };
    std::size_t at = from > passes ? from : passes;
    auto stop = [&](std::size_t reached) {
        StoreHeld(list, passes, held);
        return reached;
    };
    for (; at < p.count && at % 16 != 0; ++at)
        if (p.distance[at] < farthest && !visit(at)) return stop(at);
    for (; at + 16 <= p.count; at += 16) {
        const __m512 block = _mm512_loadu_ps(p.distance + at);
        Mask nearer = _mm512_cmp_ps_mask(block, _mm512_set1_ps(farthest), _CMP_LT_OQ);
        while (nearer != 0) {
            const std::size_t first = at + static_cast<std::size_t>(__builtin_ctz(nearer));
            if (!visit(first)) return stop(first);
            // The bound only ever shrinks: what was not below it stays so.
            nearer &= _mm512_cmp_ps_mask(block, _mm512_set1_ps(farthest), _CMP_LT_OQ) & ~((2u << (first - at)) - 1u);
        }
    }
    for (; at < p.count; ++at)
        if (p.distance[at] < farthest && !visit(at)) return stop(at);
    return stop(p.count);
}

}  // namespace avx512
#include "platform/Avx512RegionEnd.inc"

#endif

}  // namespace

bool SortedLanesAvailable() { return ProcessorHasAvx512(); }

bool PassCandidatesInLanes(ChainCandidate* candidates, std::size_t count, std::size_t passes, ChainCandidate* fallen) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx512() && passes > 0 && passes <= kMaxLanePasses)
        return avx512::PassCandidates(candidates, count, passes, fallen);
#else
    (void)candidates, (void)count, (void)passes, (void)fallen;
#endif
    return false;
}

std::size_t PassPositionsInLanes(const ChainPositions& positions, std::size_t passes, ChainHeld* held,
                                 std::size_t from) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx512() && passes > 0 && passes <= kMaxLanePasses)
        return avx512::PassPositions(positions, passes, held, from);
#else
    (void)positions, (void)passes, (void)held;
#endif
    return from;
}

}  // namespace mosaro
