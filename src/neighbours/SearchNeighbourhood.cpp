#include "neighbours/SearchNeighbourhood.h"

#include <algorithm>
#include <cmath>

namespace mosaro {

SearchNeighbourhood::SearchNeighbourhood(const std::vector<double>& x, const std::vector<double>& y,
                                         const NeighbourhoodOptions& options)
    : options_(options), u_(x.size()), v_(y.size()) {
    const auto& t = options_.transform;
    for (std::size_t i = 0; i < x.size(); ++i) {
        u_[i] = t[0] * x[i] + t[1] * y[i];
        v_[i] = t[2] * x[i] + t[3] * y[i];
    }
    nearest_ = std::make_unique<NearestSamples>(u_.data(), v_.data(), static_cast<int>(u_.size()));
    maxSquared_ = std::isfinite(options_.maxDistance) ? options_.maxDistance * options_.maxDistance
                                                      : std::numeric_limits<double>::infinity();
}

// Quadrants counter-clockwise from +u; octants halve each quadrant at the
// diagonal. A sample at the target counts to sector 0.
int SearchNeighbourhood::SectorOf(double du, double dv) const {
    const int quadrant = du >= 0.0 ? (dv >= 0.0 ? 0 : 3) : (dv >= 0.0 ? 1 : 2);
    if (options_.sectors != 8) return quadrant;
    const bool steep = std::fabs(dv) > std::fabs(du);
    return 2 * quadrant + ((quadrant % 2 == 0) == steep ? 1 : 0);
}

bool SearchNeighbourhood::Find(double x, double y, std::vector<int>& found, std::vector<int>& scratch) const {
    const auto& t = options_.transform;
    const double u = t[0] * x + t[1] * y, v = t[2] * x + t[3] * y;
    const int count = static_cast<int>(u_.size());
    found.clear();
    if (Global()) {
        for (int i = 0; i < count; ++i) {
            const double du = u_[static_cast<std::size_t>(i)] - u, dv = v_[static_cast<std::size_t>(i)] - v;
            if (du * du + dv * dv <= maxSquared_) found.push_back(i);
        }
    } else if (options_.sectors == 0) {
        nearest_->FindWithin(u, v, options_.nmax, maxSquared_, found);
    } else {
        // The nearest candidates in order, taken while their sector has room;
        // more candidates are asked for until nmax are taken or none is left.
        const int perSector = std::max(options_.maxPerSector, 1);
        int asked = options_.nmax;
        std::vector<int> taken(static_cast<std::size_t>(options_.sectors));
        for (;;) {
            asked = std::min(2 * asked, count);
            nearest_->FindWithin(u, v, asked, maxSquared_, scratch);
            found.clear();
            std::fill(taken.begin(), taken.end(), 0);
            for (int i : scratch) {
                int& inSector = taken[static_cast<std::size_t>(
                    SectorOf(u_[static_cast<std::size_t>(i)] - u, v_[static_cast<std::size_t>(i)] - v))];
                if (inSector >= perSector) continue;
                ++inSector;
                found.push_back(i);
                if (static_cast<int>(found.size()) == options_.nmax) break;
            }
            const bool exhausted = static_cast<int>(scratch.size()) < asked || asked == count;
            if (static_cast<int>(found.size()) == options_.nmax || exhausted) break;
        }
    }
    if (static_cast<int>(found.size()) < options_.nmin) {
        found.clear();
        return false;
    }
    return true;
}

}  // namespace mosaro
