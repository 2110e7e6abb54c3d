#include "neighbours/NeighbourChain.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "neighbours/CellIndex.h"
#include "neighbours/FinitePoints.h"
#include "neighbours/MeasuredDistances.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mosaro {
namespace {

// Beyond this many candidates (per pass, plus a few) collecting and ordering
// them costs more than scanning every position.
constexpr std::size_t kDirectPassesLimit = 8;
constexpr std::size_t kDirectPassesSlack = 48;
// The entries kept near a node lie within 1.6 times its reach, so the next
// nodes within 0.6 reaches of it need no query of their own. Wider keeps
// more entries to measure at every node than the queries it saves cost
// (10^5 uniform samples, m = 16: 0.80-0.86 us an interior node, against
// 0.93-0.96 us with a query per node, 0.96-1.0 us at 2.5 reaches).
constexpr double kNearbyReach = 1.6;
constexpr std::size_t kNearbyPerDirect = 4;
// Nodes that query the tree directly after too many entries were near.
constexpr int kNearbyBackOff = 8;
// Narrow nodes left to the plain passes after a tie stopped the sorted
// lanes: where distances tie (samples on a lattice) they tie at most nodes,
// and the lanes' work would be thrown away.
constexpr int kLanesBackOff = 8;

// The radius query runs in double on the widened coordinates; this relative
// margin keeps it a superset of the entries whose float distance is below
// the reach, whatever the tree's own rounding. The exact test follows.
constexpr double kQueryMargin = 1e-6;
// A query reads the cells' points unless that means reading more than this
// many for each point it may find (the points cluster); the kd-tree
// answers it then.
constexpr std::size_t kCellReadsPerFound = 2;

using KdTree = FinitePointTree;

// Collects the indices of the points within the squared radius, unsorted,
// and gives up once there are more than `limit` of them.
class WithinRadius {
public:
    WithinRadius(double squaredRadius, std::size_t limit, std::vector<std::uint32_t>& found)
        : squaredRadius_(squaredRadius), limit_(limit), found_(found) {}
    std::size_t size() const { return found_.size(); }
    bool full() const { return true; }
    bool addPoint(double squaredDistance, std::uint32_t index) {
        if (squaredDistance < squaredRadius_) found_.push_back(index);
        return found_.size() <= limit_;
    }
    double worstDist() const { return squaredRadius_; }
    bool Overflowed() const { return found_.size() > limit_; }

private:
    double squaredRadius_;
    std::size_t limit_;
    std::vector<std::uint32_t>& found_;
};

// Bit k set where the distance d[k] (k < 16) is strictly below `limit`.
inline unsigned BelowMask(const float* d, float limit) {
#if defined(__SSE2__)
    // Part of every x86-64 processor, so no dispatch is needed; a comparison
    // rounds nothing, so the answer is the scalar one.
    const __m128 l = _mm_set1_ps(limit);
    const unsigned m0 = static_cast<unsigned>(_mm_movemask_ps(_mm_cmplt_ps(_mm_loadu_ps(d), l)));
    const unsigned m1 = static_cast<unsigned>(_mm_movemask_ps(_mm_cmplt_ps(_mm_loadu_ps(d + 4), l)));
    const unsigned m2 = static_cast<unsigned>(_mm_movemask_ps(_mm_cmplt_ps(_mm_loadu_ps(d + 8), l)));
    const unsigned m3 = static_cast<unsigned>(_mm_movemask_ps(_mm_cmplt_ps(_mm_loadu_ps(d + 12), l)));
    return m0 | (m1 << 4) | (m2 << 8) | (m3 << 12);
#else
    unsigned mask = 0;
    for (unsigned k = 0; k < 16; ++k) mask |= static_cast<unsigned>(d[k] < limit) << k;
    return mask;
#endif
}

constexpr std::size_t kBlock = 16;

// Index of the lowest set bit of a mask that is not 0.
inline std::size_t LowestSetBit(unsigned mask) {
#if defined(__GNUC__)
    return static_cast<std::size_t>(__builtin_ctz(mask));
#else
    std::size_t k = 0;
    while ((mask & 1u) == 0) mask >>= 1, ++k;
    return k;
#endif
}

}  // namespace

struct NeighbourChain::Tree {
    FinitePoints points;
    KdTree index;
    CellIndex cells;
    Tree(FinitePoints p, const float* x, const float* y)
        : points(std::move(p)), index(2, points, FinitePointTreeParameters()), cells(points, x, y) {
        index.buildIndex();
    }
};

NeighbourChain::NeighbourChain(const float* x, const float* y, int count, NeighbourLayout layout, ChainPasses passes)
    : layout_(layout) {
    layout_.perBlock = std::clamp(layout_.perBlock, 0, std::max(count, 0));
    layout_.blocks = layout_.perBlock > 0 ? std::clamp(layout_.blocks, 1, count / layout_.perBlock) : 0;
    const std::size_t p = static_cast<std::size_t>(layout_.perBlock);
    sorted_ = std::min(p, static_cast<std::size_t>(std::max(layout_.passes, 0)));
    x_.assign(x, x + p);
    y_.assign(y, y + p);
    atX_ = x_;
    atY_ = y_;
    order_.resize(p);
    where_.resize(p);
    for (std::size_t e = 0; e < p; ++e) order_[e] = where_[e] = static_cast<int>(e);

    FinitePoints finite;
    for (std::size_t e = 0; e < p; ++e) {
        if (std::isnan(x_[e]) || std::isnan(y_[e])) anyNaN_ = true;
        if (!std::isfinite(x_[e]) || !std::isfinite(y_[e])) continue;  // infinitely far from any finite node
        finite.x.push_back(f64(x_[e]));
        finite.y.push_back(f64(y_[e]));
        finite.index.push_back(static_cast<int>(e));
    }
    // Once the passes reach every entry there is nothing to narrow down.
    if (!anyNaN_ && sorted_ < p && !finite.x.empty())
        tree_ = std::make_unique<Tree>(std::move(finite), x_.data(), y_.data());
    // Everything a node needs is taken now: the sweep allocates nothing
    // once it has started writing the grid.
    lanes_ = passes == ChainPasses::kBest && SortedLanesAvailable() && sorted_ <= kMaxLanePasses;
    candidates_.reserve(p);
    if (lanes_) fallen_.resize(DirectPassesLimit() + sorted_ + 1);
    found_.reserve(NearbyLimit() + 1);
    for (auto* list : {&nearbyX_, &nearbyY_, &nearbyDistance_}) list->resize(NearbyLimit() + 1);
    nearby_.resize(NearbyLimit() + 1);
    widePasses_.resize(p);
    held_.resize(sorted_);
}

NeighbourChain::~NeighbourChain() = default;

std::size_t NeighbourChain::DirectPassesLimit() const { return kDirectPassesLimit * sorted_ + kDirectPassesSlack; }
std::size_t NeighbourChain::NearbyLimit() const { return kNearbyPerDirect * DirectPassesLimit(); }

void NeighbourChain::Advance(float nodeX, float nodeY) {
    if (sorted_ == 0) return;
    nodeX_ = f64(nodeX);
    nodeY_ = f64(nodeY);
    if (anyNaN_ || !std::isfinite(nodeX) || !std::isfinite(nodeY)) {
        RunPlainPasses();
        return;
    }
    // Reach: the farthest of the entries the passes start on. Every entry a
    // pass moves is one of them or strictly nearer than it.
    candidates_.clear();
    float reach = 0.0f;
    float* const firstDistances = widePasses_.data();  // scratch until the wide passes measure again
    MeasureDistances(atX_.data(), atY_.data(), sorted_, nodeX_, nodeY_, firstDistances);
    for (std::size_t a = 0; a < sorted_; ++a) {
        candidates_.push_back({static_cast<int>(a), order_[a], firstDistances[a]});
        reach = std::max(reach, firstDistances[a]);
    }

    if (tree_ == nullptr || !std::isfinite(reach) || !GatherCandidates(reach)) {
        ++counts_.wide;
        RunWidePasses();
        return;
    }
    ++counts_.narrow;
    RunDirectPasses();
    StoreCandidates();
}

// Adds the entries strictly nearer than `reach` to the candidates at
// positions 0 .. sorted_ - 1; false when there are too many to pay.
bool NeighbourChain::GatherCandidates(float reach) {
    if (reach == 0.0f) return true;  // nothing is strictly nearer than 0

    // Every entry whose float distance is below the reach lies within this
    // radius (the float rounding is far inside the margin).
    const double radius = f64(reach) * (1.0 + kQueryMargin);
    if (!NearbyCovers(radius) && !FindNearby(radius)) {
        // The nearby list is void (its radius 0): it holds this query.
        if (!FindWithin(radius, DirectPassesLimit())) return false;
        for (std::size_t k = 0; k < nearbyCount_; ++k) AddCandidate(nearby_[k], DistanceOf(nearby_[k]), reach);
    } else {
        const std::size_t count = nearbyCount_;
        MeasureDistances(nearbyX_.data(), nearbyY_.data(), count, nodeX_, nodeY_, nearbyDistance_.data());
        // Written whatever the tests say, kept when they pass: which entries
        // pass is as good as random, and a branch on it costs more.
        const std::size_t base = candidates_.size();
        candidates_.resize(base + count);
        Candidate* const out = candidates_.data() + base;
        std::size_t used = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const int e = nearby_[k];
            const int at = where_[static_cast<std::size_t>(e)];
            out[used] = {at, e, nearbyDistance_[k]};
            used += static_cast<std::size_t>((nearbyDistance_[k] < reach) & (static_cast<std::size_t>(at) >= sorted_));
        }
        candidates_.resize(base + used);
        if (candidates_.size() > DirectPassesLimit() + sorted_) return false;
    }
    // The passes visit positions in increasing order.
    std::sort(candidates_.begin() + static_cast<std::ptrdiff_t>(sorted_), candidates_.end(),
              [](const Candidate& a, const Candidate& b) { return a.position < b.position; });
    return true;
}

void NeighbourChain::AddCandidate(int entry, float distance, float reach) {
    const int at = where_[static_cast<std::size_t>(entry)];
    if (static_cast<std::size_t>(at) < sorted_) return;                  // already a candidate
    if (distance < reach) candidates_.push_back({at, entry, distance});  // others no pass moves
}

// Whether the entries kept near the last query point include every entry
// within `radius` of this node: they hold all within nearbyRadius_ of that
// point, and the triangle inequality does the rest (the factor covers the
// rounding of the sums).
bool NeighbourChain::NearbyCovers(double radius) const {
    if (!(nearbyRadius_ > 0.0)) return false;
    const double dx = nodeX_ - nearbyAtX_, dy = nodeY_ - nearbyAtY_;
    return (radius + std::sqrt(dx * dx + dy * dy)) * (1.0 + 1e-9) <= nearbyRadius_;
}

// Keeps the entries within kNearbyReach times `radius` of this node, so
// that the next nodes of a row measure a short list instead of querying
// the tree. Too many (dense clusters, the first node of a row) and the next
// few nodes query the tree as before.
bool NeighbourChain::FindNearby(double radius) {
    nearbyRadius_ = 0.0;
    if (nearbyBackOff_ > 0) {
        --nearbyBackOff_;
        return false;
    }
    const double wide = kNearbyReach * radius;
    if (!FindWithin(wide, NearbyLimit())) {
        nearbyBackOff_ = kNearbyBackOff;
        return false;
    }
    nearbyAtX_ = nodeX_, nearbyAtY_ = nodeY_, nearbyRadius_ = wide;
    return true;
}

// The entries within `radius` of the node, with their coordinates, into the
// nearby list; false when there are more than `limit`.
bool NeighbourChain::FindWithin(double radius, std::size_t limit) {
    const std::size_t readingLimit = kCellReadsPerFound * (limit + 1);
    switch (tree_->cells.Within(nodeX_, nodeY_, radius, limit, readingLimit, nearby_.data(), nearbyX_.data(),
                                nearbyY_.data(), nearbyCount_)) {
        case CellIndex::Outcome::kFound: ++counts_.cellQueries; return true;
        case CellIndex::Outcome::kOverflowed: ++counts_.cellQueries; return false;
        case CellIndex::Outcome::kTooCostly: break;
    }
    ++counts_.treeQueries;
    found_.clear();
    WithinRadius within(radius * radius, limit, found_);
    const double node[2] = {nodeX_, nodeY_};
    tree_->index.findNeighbors(within, node, nanoflann::SearchParams(32, 0.0f, false));
    if (within.Overflowed()) return false;
    nearbyCount_ = found_.size();
    for (std::size_t k = 0; k < nearbyCount_; ++k) {
        const int e = tree_->points.index[found_[k]];
        nearby_[k] = e;
        nearbyX_[k] = x_[static_cast<std::size_t>(e)];
        nearbyY_[k] = y_[static_cast<std::size_t>(e)];
    }
    return true;
}

void NeighbourChain::GatherEveryPosition() {
    const std::size_t p = x_.size();
    candidates_.resize(p);
    for (std::size_t at = 0; at < p; ++at) candidates_[at] = {static_cast<int>(at), order_[at], DistanceOf(order_[at])};
}

void NeighbourChain::RunDirectPasses() {
    const std::size_t count = candidates_.size();
    if (lanes_ && lanesBackOff_ == 0 && count <= fallen_.size()) {
        if (PassCandidatesInLanes(candidates_.data(), count, sorted_, fallen_.data())) {
            ++counts_.lanes;
            return;
        }
        lanesBackOff_ = kLanesBackOff;
    } else if (lanesBackOff_ > 0) {
        --lanesBackOff_;
    }
    for (std::size_t a = 0; a < sorted_; ++a) {
        for (std::size_t b = a + 1; b < count; ++b) {
            if (!(candidates_[b].distance >= candidates_[a].distance)) Exchange(candidates_[a], candidates_[b]);
        }
    }
}

void NeighbourChain::RunWidePasses() {
    // The passes in one sweep over the positions instead of one sweep each.
    // Pass a only ever touches its own position a (the entry it holds) and
    // the position it has reached, so at each position the passes can run
    // one after the other, pass 0 first: every pass then still meets every
    // position after the passes before it and after its own earlier
    // positions, which is all it depends on, and every comparison is the
    // plain passes' own. A position changes only where its entry is
    // strictly nearer than some held entry, so blocks of 16 positions with
    // nothing nearer than the farthest held entry are passed over at once.
    // The sorted lanes go as far as they can; where a tie stops them, the
    // plain passes go on until the held entries are all apart again.
    const std::size_t p = x_.size();
    float* const d = widePasses_.data();
    // Coordinates kept by position make this a stream, not a gather.
    MeasureDistances(atX_.data(), atY_.data(), p, nodeX_, nodeY_, d);
    const ChainPositions positions{d, order_.data(), where_.data(), atX_.data(), atY_.data(), p};
    std::size_t from = 0;
    if (lanes_) from = PassPositionsInLanes(positions, sorted_, held_.data(), 0);
    if (from == p) ++counts_.lanes;
    while (from < p) {
        from = ContinueWidePasses(from);
        if (from < p) from = PassPositionsInLanes(positions, sorted_, held_.data(), from);
    }
    for (std::size_t a = 0; a < sorted_; ++a) Place(a, held_[a]);
}

void NeighbourChain::Place(std::size_t at, const ChainHeld& h) {
    order_[at] = h.entry;
    where_[static_cast<std::size_t>(h.entry)] = static_cast<int>(at);
    atX_[at] = h.x;
    atY_[at] = h.y;
}

// The plain wide passes from position `from` on, the passes started before
// it holding held_[0 .. min(from, sorted_) - 1]. With the sorted lanes they
// stop after the first position that leaves the held distances all apart
// and return the next one; otherwise they run to the end (returned).
std::size_t NeighbourChain::ContinueWidePasses(std::size_t from) {
    const std::size_t p = x_.size();
    const float* const d = widePasses_.data();
    Held* const held = held_.data();
    auto apart = [&](std::size_t started) {
        if (!lanes_) return false;
        for (std::size_t a = 1; a < started; ++a)
            if (!(held[a - 1].distance < held[a].distance)) return false;
        return true;
    };

    // Runs the started passes over position `at`, leaving there the entry
    // the last of them puts there. The held entries carry their coordinates,
    // so that placing one reads nothing at random.
    auto runPasses = [&](std::size_t at, std::size_t started) {
        Held visitor{d[at], order_[at], atX_[at], atY_[at]};
        for (std::size_t a = 0; a < started; ++a) {
            if (!(visitor.distance >= held[a].distance)) std::swap(visitor, held[a]);
        }
        return visitor;
    };

    // Pass a starts on what the passes before it leave at position a.
    for (std::size_t a = from; a < sorted_; ++a) {
        held[a] = runPasses(a, a);
        if (apart(a + 1)) return a + 1;
    }
    auto farthestHeld = [&] {
        float farthest = held[0].distance;
        for (std::size_t a = 1; a < sorted_; ++a) farthest = std::max(farthest, held[a].distance);
        return farthest;
    };
    float farthest = farthestHeld();
    std::size_t at = std::max(from, sorted_);
    // True when the lanes may take over after the position.
    auto visit = [&](std::size_t position) {
        if (!(d[position] < farthest)) return false;
        Place(position, runPasses(position, sorted_));
        farthest = farthestHeld();
        return apart(sorted_);
    };
    for (; at < p && at % kBlock != 0; ++at)
        if (visit(at)) return at + 1;
    for (; at + kBlock <= p; at += kBlock) {
        unsigned mask = BelowMask(d + at, farthest);
        while (mask != 0) {
            const std::size_t first = at + LowestSetBit(mask);
            if (visit(first)) return first + 1;
            // The bound only ever shrinks: what was not below it stays so.
            mask &= BelowMask(d + at, farthest) & ~((2u << (first - at)) - 1u);
        }
    }
    for (; at < p; ++at)
        if (visit(at)) return at + 1;
    return p;
}

void NeighbourChain::StoreCandidates() {
    for (const Candidate& c : candidates_) {
        const std::size_t at = static_cast<std::size_t>(c.position), e = static_cast<std::size_t>(c.entry);
        order_[at] = c.entry;
        where_[e] = c.position;
        atX_[at] = x_[e];
        atY_[at] = y_[e];
    }
}

void NeighbourChain::RunPlainPasses() {
    ++counts_.plain;
    GatherEveryPosition();
    RunDirectPasses();
    StoreCandidates();
}

}  // namespace mosaro
