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

bool SearchNeighbourhood::Find(double x, double y, std::vector<int>& found, Trail* trail) const {
    const auto& t = options_.transform;
    const double u = t[0] * x + t[1] * y, v = t[2] * x + t[3] * y;
    const int count = static_cast<int>(u_.size());
    found.clear();
    if (Global()) {
        for (int i = 0; i < count; ++i) {
            const double du = u_[static_cast<std::size_t>(i)] - u, dv = v_[static_cast<std::size_t>(i)] - v;
            if (du * du + dv * dv <= maxSquared_) found.push_back(i);
        }
    } else if (options_.sectors == 0 && trail != nullptr && !std::isfinite(maxSquared_)) {
        nearest_->FindNear(u, v, options_.nmax, found, trail->u, trail->v, &trail->worst);
        trail->u = u;
        trail->v = v;
    } else if (options_.sectors == 0) {
        nearest_->FindWithin(u, v, options_.nmax, maxSquared_, found);
    } else {
        nearest_->FindInSectors(u, v, options_.nmax, options_.sectors, options_.maxPerSector, maxSquared_, found,
                                trail != nullptr ? &trail->sectorSeeds : nullptr);
    }
    if (static_cast<int>(found.size()) < options_.nmin) {
        found.clear();
        return false;
    }
    return true;
}

}  // namespace mosaro
