// A cheap first look at the pairs of one sample with a run of others, in
// float and many pairs at a time: it passes every pair that may join a lag
// class of either direction and rejects most of the others, so that only the
// survivors pay for the exact distance and class.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "PairCone.h"
#include "VariogramClasses.h"

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

// Writes to `candidates` the indexes j in [begin, end) whose pair with the
// sample at (xi, yi) passes the bounds, ascending, and returns their count.
// `candidates` has room for end - begin entries.
using CandidateFilter = std::size_t (*)(float xi, float yi, const float* x, const float* y, std::size_t begin,
                                        std::size_t end, const PairFilterBounds& bounds,
                                        std::uint32_t* candidates);

struct CandidateFilterPath {
    const char* name;
    CandidateFilter filter;
};

// Every path this processor can run, the plain one first.
std::vector<CandidateFilterPath> AvailableCandidateFilters();

// The fastest path this processor can run (chosen at run time).
const CandidateFilterPath& PreferredCandidateFilter();

}  // namespace mosaro
