// The measurements of a block of pairs that the experimental variogram sums:
// for a sample i and a run of partners j, each pair's separation, distance,
// class bin and statistic. A plain version, and versions for the wider
// vector instructions of x86 processors (AVX2, AVX-512) chosen at run time.
// All are made of the same IEEE operations on each pair (differences,
// products, a sum, a correctly rounded root and quotient, comparisons), so
// they give the same bits.
//
// The bin is gstat's class (k w, (k+1) w] of the distance d (0 for d = 0),
// the fraction d / w capped below 2^31 first, or `discarded` beyond the
// cutoff. The statistic is (z_i - z_j)^2 (classic) or |z_i - z_j|^(1/2)
// (robust).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mosaro {

constexpr std::size_t kPairBlock = 256;

struct PairBlock {
    alignas(64) double dx[kPairBlock];
    alignas(64) double dy[kPairBlock];
    alignas(64) double distance[kPairBlock];
    alignas(64) double statistic[kPairBlock];
    alignas(64) std::int32_t bin[kPairBlock];
};

struct PairMeasureInput {
    double xi, yi, vi;  // the sample
    const double* x;    // its partners
    const double* y;
    const double* v;
    double cutoff, width;
    std::int32_t discarded;
};

using PairMeasureFunction = void (*)(const PairMeasureInput& in, std::size_t count, PairBlock& out);

// The running sums of one chunk's bins, four copies of them: copy c takes
// the pairs q with q mod 4 = c of each block, so that pairs of one class
// need not wait for each other's additions. Bin b of copy c holds count,
// distance sum and statistic sum at sums[(c * bins + b) * 4 + 0, 1, 2].
// The omnidirectional sum measures and adds in one pass, every pair in this
// order whatever the version.
using PairSumFunction = void (*)(const PairMeasureInput& in, std::size_t count, double* sums, std::size_t bins);

// One direction's test and sums: a pair is taken when `all`, when it joins
// coincident samples, or when |dx sine + dy cosine| / d is not below
// cosineTolerance and |dx cosine - dy sine| <= bandwidth (gstat's form of
// the angle test, evaluated as written); a pair not taken goes to the
// discarded bin. `sums` in PairSumFunction's layout.
struct PairDirection {
    bool all;
    double sine, cosine, cosineTolerance, bandwidth;
    double* sums;
};
// The direction test of one measured pair, as every version evaluates it.
bool PairTakes(const PairDirection& direction, double dx, double dy, double distance);

using PairDirectionalSumFunction = void (*)(const PairMeasureInput& in, std::size_t count,
                                            const PairDirection* directions, std::size_t directionCount,
                                            std::size_t bins);

struct PairMeasure {
    const char* name;
    PairMeasureFunction classic;
    PairMeasureFunction robust;
    PairSumFunction sumClassic;
    PairSumFunction sumRobust;
    PairDirectionalSumFunction directionalClassic;
    PairDirectionalSumFunction directionalRobust;
};

// Every version this processor runs, the plain one first.
std::vector<PairMeasure> AvailablePairMeasures();

// The widest this processor runs.
const PairMeasure& PreferredPairMeasure();

}  // namespace mosaro
