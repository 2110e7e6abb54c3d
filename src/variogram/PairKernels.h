// The two loops of the blocked variogram path that see the pairs of one
// sample i with a run of later samples j, each in a plain version and, where
// the processor has them, a version for wider vector instructions chosen at
// run time. All versions give the same results.
//
// The filter takes a cheap first look, in float and many pairs at a time: it
// passes every pair that may join a lag class of either direction and
// rejects most of the others. The classifier then gives each survivor its
// exact cone, distance, class and contribution without branches (the
// decisions of successive pairs are as good as random), four at a time in
// the vector version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "variogram/PairCone.h"
#include "variogram/VariogramClasses.h"

namespace mosaro {

// Conservative bounds of both directions, in float. A pair with float
// separations ax, ay passes when
//   (ay <= xConeSlope * ax and ax <= xReach) or (ax <= yConeSlope * ay and ay <= yReach).
// The separations computed in float equal the reference's (a float
// difference rounded through double is rounded once, 53 >= 2 * 24 + 2), and
// a product rounded to float never falls below a float it exceeds exactly, so
// the slopes only need to exceed the exact cone quotients (with a margin for
// the rounding of the double quotient); the distance is at least the larger
// separation, so the reach bounds need only exceed the largest distance in
// reach.
struct PairFilterBounds {
    float xConeSlope;
    float yConeSlope;
    float xReach;
    float yReach;
};

PairFilterBounds MakePairFilterBounds(const ConeThresholds& cones, const LagClassifier& alongX,
                                      const LagClassifier& alongY);

// The pairs that pass the filter: their indexes j, ascending, and their
// separations. Each array has room for the run length plus kCandidateSlack.
struct Candidates {
    std::uint32_t* index;
    float* ax;
    float* ay;
};

// Room a filter may write past the last candidate.
constexpr std::size_t kCandidateSlack = 8;

// Writes the pairs of the sample at (xi, yi) with the samples j in [begin,
// end) that pass the bounds to `out` and returns their count.
using CandidateFilter = std::size_t (*)(float xi, float yi, const float* x, const float* y, std::size_t begin,
                                        std::size_t end, const PairFilterBounds& bounds, const Candidates& out);

// What the classifier needs of both directions, in double.
struct ClassifyConstants {
    double xMaxQuotient, yMinQuotient;  // the cone thresholds
    double cellX, cellY;                // cell sizes
    double reachX, reachY;              // distances out of reach from here on
    double limitX, limitY;              // class count + 1
    double xClassCount;                 // y classes are numbered after the x classes
};

ClassifyConstants MakeClassifyConstants(const ConeThresholds& cones, const LagClassifier& alongX,
                                        const LagClassifier& alongY);

// The pairs that join a class, in the order of the candidates: the class
// (x classes 0 .. xClassCount - 1, then the y classes), the distance and the
// contribution (dv * d) * dv. Each array has room for the candidates plus
// kCandidateSlack.
struct AcceptedPairs {
    std::int32_t* classId;
    float* distance;
    double* contribution;
};

// Classifies candidates [0, count) of sample i (value valueI) and writes
// those that join a class to `out`; returns their count. The same decisions
// as ConeByAngle and LagClassifier::ClassOf.
using BatchClassifier = std::size_t (*)(const Candidates& in, std::size_t count, double valueI, const double* values,
                                        const ClassifyConstants& constants, const AcceptedPairs& out);

struct PairKernelPath {
    const char* name;
    CandidateFilter filter;
    BatchClassifier classify;
};

// Every path this processor can run, the plain one first.
std::vector<PairKernelPath> AvailablePairKernels();

// The fastest path this processor can run (chosen at run time).
const PairKernelPath& PreferredPairKernels();

}  // namespace mosaro
