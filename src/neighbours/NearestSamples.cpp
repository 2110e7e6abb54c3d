#include "neighbours/NearestSamples.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "neighbours/FinitePoints.h"

namespace mosaro {
namespace {

// Keeps the `capacity` smallest (distance, index) pairs, ordered. The tree
// offers only points strictly below worstDist(), so while the set is full
// the bound is widened a little beyond the current worst: a point at the
// same distance with a smaller index must still be offered, and the tree's
// bounds on a cell are themselves rounded.
class NearestWithTies {
public:
    // With `strict`, the bound is a radius: nothing beyond it is kept.
    NearestWithTies(std::size_t capacity, const std::vector<std::uint8_t>* excluded, const std::vector<int>& sample,
                    std::vector<std::pair<double, std::uint32_t>>& kept,
                    double bound = std::numeric_limits<double>::infinity(), bool strict = false)
        : capacity_(capacity), excluded_(excluded), sample_(sample), kept_(kept), bound_(bound), strict_(strict) {
        kept_.clear();
    }

    std::size_t size() const { return kept_.size(); }
    bool full() const { return kept_.size() == capacity_; }

    bool addPoint(double distance, std::uint32_t index) {
        if (excluded_ != nullptr && (*excluded_)[static_cast<std::size_t>(sample_[index])] != 0) return true;
        if (strict_ && distance > bound_) return true;
        const std::pair<double, std::uint32_t> entry{distance, index};
        if (full()) {
            if (!(entry < kept_.back())) return true;
            kept_.pop_back();
        }
        kept_.insert(std::upper_bound(kept_.begin(), kept_.end(), entry), entry);
        return true;
    }

    double worstDist() const {
        // The tree offers points strictly below this: a radius is widened a
        // little so that a point at exactly the radius is still offered.
        if (!full()) return strict_ ? bound_ + bound_ * 1e-9 + std::numeric_limits<double>::denorm_min() : bound_;
        const double worst = kept_.back().first;
        return worst + worst * 1e-9 + std::numeric_limits<double>::denorm_min();
    }

private:
    std::size_t capacity_;
    const std::vector<std::uint8_t>* excluded_;
    const std::vector<int>& sample_;
    std::vector<std::pair<double, std::uint32_t>>& kept_;
    double bound_;  // no point beyond it can be among the nearest
    bool strict_;
};

}  // namespace

struct NearestSamples::Tree {
    explicit Tree(FinitePoints p)
        : points(std::move(p)), index(2, points, nanoflann::KDTreeSingleIndexAdaptorParams(16)) {
        if (!points.x.empty()) index.buildIndex();
    }
    FinitePoints points;
    FinitePointTree index;
};

NearestSamples::NearestSamples(const float* x, const float* y, int count) { Index(x, y, count); }
NearestSamples::NearestSamples(const double* x, const double* y, int count) { Index(x, y, count); }

template <class Coordinate>
void NearestSamples::Index(const Coordinate* x, const Coordinate* y, int count) {
    // Added in input order, so that a tree index orders like the sample
    // index it stands for: ties are ranked by the tree index.
    FinitePoints points;
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
        points.x.push_back(static_cast<double>(x[i]));
        points.y.push_back(static_cast<double>(y[i]));
        points.index.push_back(static_cast<int>(i));
    }
    tree_ = std::make_unique<Tree>(std::move(points));
}

NearestSamples::~NearestSamples() = default;

int NearestSamples::Candidates() const { return static_cast<int>(tree_->points.x.size()); }

void NearestSamples::Find(double x, double y, int m, std::vector<int>& found,
                          const std::vector<std::uint8_t>* excluded) const {
    Search(x, y, m, found, excluded, std::numeric_limits<double>::infinity());
}

void NearestSamples::FindNear(double x, double y, int m, std::vector<int>& found, double previousX, double previousY,
                              double* worst) const {
    double bound = std::numeric_limits<double>::infinity();
    if (*worst >= 0.0) {
        const double step = std::sqrt((x - previousX) * (x - previousX) + (y - previousY) * (y - previousY));
        const double reach = std::sqrt(*worst) + step;
        // Widened for the roundings of the distances on both sides.
        bound = reach * reach * (1.0 + 1e-9) + std::numeric_limits<double>::denorm_min();
    }
    *worst = Search(x, y, m, found, nullptr, bound);
}

void NearestSamples::FindWithin(double x, double y, int m, double maxSquaredDistance, std::vector<int>& found) const {
    Search(x, y, m, found, nullptr, maxSquaredDistance, true);
}

double NearestSamples::Search(double x, double y, int m, std::vector<int>& found,
                              const std::vector<std::uint8_t>* excluded, double bound, bool strict) const {
    found.clear();
    const std::size_t capacity = static_cast<std::size_t>(std::clamp(m, 0, Candidates()));
    if (capacity == 0) return -1.0;
    thread_local std::vector<std::pair<double, std::uint32_t>> kept;
    const double query[2] = {x, y};
    NearestWithTies result(capacity, excluded, tree_->points.index, kept, bound, strict);
    tree_->index.findNeighbors(result, query, nanoflann::SearchParams(32, 0.0f, false));
    if (!strict && kept.size() < capacity && bound < std::numeric_limits<double>::infinity()) {
        // The bound was too tight to hold them all (it cannot be, but a
        // wrong answer would be silent): search without it.
        NearestWithTies unbounded(capacity, excluded, tree_->points.index, kept);
        tree_->index.findNeighbors(unbounded, query, nanoflann::SearchParams(32, 0.0f, false));
    }
    for (const auto& entry : kept) found.push_back(tree_->points.index[entry.second]);
    return kept.empty() ? -1.0 : kept.back().first;
}

}  // namespace mosaro
