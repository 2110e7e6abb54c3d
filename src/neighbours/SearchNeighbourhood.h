// The search neighbourhood of a target: which samples its system takes.
//
//   nmax     the nearest nmax samples, nearest first; ties by input order
//            (a target gets the same neighbours in every grid or tile)
//   nmin     fewer found than this: none at all (the target has no estimate)
//   maxdist  only samples within this distance
//   sectors  4 quadrants or 8 octants around the target, at most
//            maxPerSector samples from each: the nmax nearest that respect
//            the limit
//   global   every sample within maxdist (nmax 0), in input order
//
// Distances are Euclidean, or measured after a linear map (an anisotropic
// search: the first structure's geometric anisotropy, in units of its major
// range). Squared distances are compared in double.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "neighbours/NearestSamples.h"

namespace mosaro {

struct NeighbourhoodOptions {
    int nmax = 16;  // 0: global
    int nmin = 0;
    double maxDistance = std::numeric_limits<double>::infinity();
    int sectors = 0;  // 0, 4 or 8
    int maxPerSector = 0;
    // (u, v) = (a dx + b dy, c dx + d dy); the identity for a plain search.
    std::array<double, 4> transform = {1.0, 0.0, 0.0, 1.0};
};

class SearchNeighbourhood {
public:
    SearchNeighbourhood(const std::vector<double>& x, const std::vector<double>& y,
                        const NeighbourhoodOptions& options);

    bool Global() const { return options_.nmax <= 0; }

    // Where the caller's previous target was and how far its last neighbour
    // lay: a plain search starts from the bound that gives (the choice is
    // the same; only the work is less). One per thread; Reset() before a
    // first target.
    struct Trail {
        double u = 0.0, v = 0.0;
        double worst = -1.0;                     // negative: no previous target
        std::vector<std::uint32_t> sectorSeeds;  // a sector search's previous choice
        void Reset() {
            worst = -1.0;
            sectorSeeds.clear();
        }
    };

    // The target's samples (sample indices); false, with `found` empty, when
    // fewer than nmin qualify. `trail`: optional, for a target near the
    // previous one.
    bool Find(double x, double y, std::vector<int>& found, Trail* trail = nullptr) const;

private:
    NeighbourhoodOptions options_;
    std::vector<double> u_, v_;  // the samples, mapped
    std::unique_ptr<NearestSamples> nearest_;
    double maxSquared_;
};

}  // namespace mosaro
