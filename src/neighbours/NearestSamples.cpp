#include "neighbours/NearestSamples.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "neighbours/CellGrid.h"
#include "neighbours/FinitePoints.h"
#include "neighbours/RankedNearest.h"
#include "neighbours/Sectors.h"

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

// A sample met by the sector search: ranked by squared distance, then by
// the caller's index; `position` is where the tree's leaves hold it.
struct Ranked {
    double distance;
    int sample;
    std::uint32_t position;
    bool operator<(const Ranked& other) const {
        return distance < other.distance || (distance == other.distance && sample < other.sample);
    }
    bool operator==(const Ranked& other) const { return distance == other.distance && sample == other.sample; }
};

// Inserts into an ordered list that holds at most `capacity` entries;
// false when the entry ranks after every entry of a full list.
bool InsertRanked(std::vector<Ranked>& list, std::size_t capacity, const Ranked& entry) {
    if (list.size() == capacity) {
        if (!(entry < list.back())) return false;
        list.pop_back();
    }
    list.insert(std::upper_bound(list.begin(), list.end(), entry), entry);
    return true;
}

// Scratch of a sector search, kept per thread between calls.
struct SectorLists {
    std::vector<std::vector<Ranked>> sector;
    std::vector<Ranked> taken;
};

// The samples a sector search takes, gathered in one pass over the tree.
// Taking, nearest first, each sample whose sector has room until m are
// taken gives the m first (by distance, then index) of the union of every
// sector's perSector nearest. That union's m first are kept in `taken`:
// when a sector's list drops its worst entry it has just taken a better
// one, so `taken` never needs an entry it let go.
class SectorNearest {
public:
    SectorNearest(std::size_t m, int sectors, std::size_t perSector, double maxSquared, const double* farthest,
                  SectorLists& lists)
        : m_(m), sectors_(sectors), perSector_(perSector), maxSquared_(maxSquared), farthest_(farthest), lists_(lists) {
        lists_.sector.resize(static_cast<std::size_t>(sectors));
        for (auto& list : lists_.sector) list.clear();
        lists_.taken.clear();
        UpdateBound();
    }

    bool full() const { return lists_.taken.size() == m_; }

    // (dx, dy): the point's offset from the target, which gives its sector.
    void addPoint(double distance, int sample, std::uint32_t position, double dx, double dy) {
        if (distance > maxSquared_) return;
        const int s = SectorOf(dx, dy, sectors_);
        std::vector<Ranked>& list = lists_.sector[static_cast<std::size_t>(s)];
        const Ranked entry{distance, sample, position};
        // A point is offered twice when it was a seed: the second offer
        // finds it in its sector's list, or ranks after a full list.
        const auto place = std::lower_bound(list.begin(), list.end(), entry);
        if (place != list.end() && *place == entry) return;
        if (list.size() == perSector_) {
            if (!(entry < list.back())) return;
            const auto dropped = std::lower_bound(lists_.taken.begin(), lists_.taken.end(), list.back());
            if (dropped != lists_.taken.end() && *dropped == list.back()) lists_.taken.erase(dropped);
        }
        InsertRanked(list, perSector_, entry);
        InsertRanked(lists_.taken, m_, entry);
        UpdateBound();
    }

    double worstDist() const { return bound_; }

private:
    // Nothing farther than this can still be taken: beyond the m-th taken
    // when m are taken; else beyond what every sector can still take (its
    // worst when full, else the farthest sample that can lie in it); never
    // beyond the radius. Widened a little, as NearestWithTies widens its
    // bound, for ties with a smaller index and for the roundings of the
    // tree's cell bounds and of the corner distances.
    void UpdateBound() {
        double bound = maxSquared_;
        if (full()) {
            bound = std::min(bound, lists_.taken.back().distance);
        } else {
            double sectorsReach = -1.0;
            for (int s = 0; s < sectors_; ++s) {
                const std::vector<Ranked>& list = lists_.sector[static_cast<std::size_t>(s)];
                sectorsReach = std::max(sectorsReach, list.size() == perSector_ ? list.back().distance : farthest_[s]);
            }
            bound = std::min(bound, sectorsReach);
        }
        bound_ = bound < 0.0 ? 0.0 : bound + bound * 1e-9 + std::numeric_limits<double>::denorm_min();
    }

    std::size_t m_;
    int sectors_;
    std::size_t perSector_;
    double maxSquared_;
    const double* farthest_;
    SectorLists& lists_;
    double bound_ = 0.0;
};

// The points in the tree's leaf order, with the caller's index of each:
// a leaf's points lie side by side, as the sector search reads them.
struct LeafOrder {
    std::vector<double> x, y;
    std::vector<int> sample;
};

// Offers the tree's points to `result` leaf by leaf, near leaves first,
// until every leaf left lies beyond result.worstDist(). A sector search
// needs this order: its bound stays wide until every sector has its
// samples, and the depth-first order of the tree's own search would
// meanwhile wander through far subtrees. Each step takes the nearest
// pending subtree and walks down it to a leaf, always into the nearer
// child, leaving the farther one pending: the heap then holds every
// unvisited subtree, so its least distance bounds every point not yet
// offered. Leaf points are read in the tree's own order (`leaves`), where
// near points lie near each other in memory. Reads the tree's nodes
// (nanoflann 1.4's public members).
template <class Result>
void VisitNearestFirst(const FinitePointTree& tree, const LeafOrder& leaves, double x, double y, Result& result) {
    using Node = FinitePointTree::Node;
    struct Pending {
        double distance;  // squared, from the point to the box
        const Node* node;
        double box[4];  // x low, x high, y low, y high
        bool operator<(const Pending& other) const { return distance > other.distance; }
    };
    thread_local std::vector<Pending> heap;
    heap.clear();
    auto distanceTo = [x, y](const double* box) {
        const double dx = x < box[0] ? box[0] - x : (x > box[1] ? x - box[1] : 0.0);
        const double dy = y < box[2] ? box[2] - y : (y > box[3] ? y - box[3] : 0.0);
        return dx * dx + dy * dy;
    };
    Pending root{0.0,
                 tree.root_node,
                 {tree.root_bbox[0].low, tree.root_bbox[0].high, tree.root_bbox[1].low, tree.root_bbox[1].high}};
    root.distance = distanceTo(root.box);
    heap.push_back(root);
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end());
        Pending next = heap.back();
        heap.pop_back();
        if (next.distance > result.worstDist()) break;
        bool reached = true;
        while (next.node->child1 != nullptr || next.node->child2 != nullptr) {
            // The children split the box at divlow and divhigh along divfeat.
            const Node* node = next.node;
            const int axis = 2 * node->node_type.sub.divfeat;
            Pending low = next, high = next;
            low.node = node->child1;
            low.box[axis + 1] = node->node_type.sub.divlow;
            high.node = node->child2;
            high.box[axis] = node->node_type.sub.divhigh;
            low.distance = distanceTo(low.box);
            high.distance = distanceTo(high.box);
            Pending& nearer = high.distance < low.distance ? high : low;
            Pending& farther = high.distance < low.distance ? low : high;
            if (farther.distance <= result.worstDist()) {
                heap.push_back(farther);
                std::push_heap(heap.begin(), heap.end());
            }
            if (nearer.distance > result.worstDist()) {
                reached = false;
                break;
            }
            next = nearer;
        }
        if (!reached) continue;
        const auto& leaf = next.node->node_type.lr;
        for (auto i = leaf.left; i < leaf.right; ++i) {
            const double dx = leaves.x[i] - x, dy = leaves.y[i] - y;
            const double distance = dx * dx + dy * dy;
            if (distance < result.worstDist())
                result.addPoint(distance, leaves.sample[i], static_cast<std::uint32_t>(i), dx, dy);
        }
    }
}

// The points in the cells of a grid over their box, a few to a cell (see
// CellGrid). A search whose reach is known beforehand (a grid node next to
// the previous one) reads the cells that reach covers instead of walking
// the tree down from its root.
class Buckets {
public:
    // Fewer points than this are left to the tree alone. Even a few dozen
    // fill enough cells to pay: the nearest 16 of meuse's 155 samples at
    // every node of its 40 m grid took 6.3 ms through the cells, 9.4 ms
    // through the tree.
    static constexpr std::size_t kLeast = 32;

    explicit Buckets(const FinitePoints& points)
        : grid_(points.x.data(), points.y.data(), points.x.size() >= kLeast ? points.x.size() : 0, 4.0) {
        if (grid_.Empty()) return;
        for (const std::uint32_t i : grid_.Order())
            x_.push_back(points.x[i]), y_.push_back(points.y[i]), position_.push_back(i);
    }

    // The points in cell order (Place(k) is the place of the k-th), or
    // none when there are no cells.
    std::size_t Size() const { return position_.size(); }
    std::uint32_t Place(std::size_t k) const { return position_[k]; }

    // The `capacity` nearest points of (x, y) by (squared distance, place)
    // into the first `capacity` entries of `kept` (which it only ever
    // grows: a scratch buffer reused from call to call), each as (squared
    // distance, position in cell order). At least `capacity` points below
    // any squared distance include the nearest `capacity`: the bound,
    // `bound` or the farthest of the `hints` points `hint` names (positions
    // in cell order) when that is less (the last search's points are
    // usually close), only decides which cells are read. False (nothing
    // decided) when they hold too many points to beat the tree, too few
    // below the bound, or a hint names no point.
    bool Nearest(double x, double y, std::size_t capacity, double bound, const int* hint, std::size_t hints,
                 std::vector<std::pair<double, std::uint32_t>>& kept) const {
        if (grid_.Empty()) return false;
        if (hints == capacity) {
            double farthest = 0.0;
            for (std::size_t h = 0; h < hints; ++h) {
                const std::size_t p = static_cast<std::size_t>(hint[h]);  // a negative one wraps to beyond the end
                if (p >= position_.size()) return false;
                const double dx = x - x_[p], dy = y - y_[p];
                farthest = std::max(farthest, dx * dx + dy * dy);
            }
            bound = std::min(bound, farthest);
        }
        if (!(bound < std::numeric_limits<double>::infinity())) return false;
        const CellGrid::Window w = grid_.Around(x, y, std::sqrt(bound));
        const std::size_t count = grid_.Count(w);
        if (count < capacity || count > 16 * capacity + 64) return false;
        // Every point within the bound, then the first `capacity` of them in
        // order: no two entries are equal (places differ), so one order
        // however it is found.
        if (kept.size() < count) kept.resize(count);
        std::size_t within = 0;
        for (std::size_t r = w.bottom; r <= w.top; ++r) {
            const std::size_t end = grid_.End(w, r);
            for (std::size_t i = grid_.Begin(w, r); i < end; ++i) {
                // As the tree measures: query less point, squares summed.
                const double dx = x - x_[i], dy = y - y_[i];
                const double distance = dx * dx + dy * dy;
                kept[within] = {distance, static_cast<std::uint32_t>(i)};
                within += distance <= bound;
            }
        }
        if (within < capacity) return false;
        const auto first = kept.begin(), last = first + static_cast<std::ptrdiff_t>(within);
        if (!TakeNearestByRank(kept.data(), within, capacity)) {
            // Equal distances, or more candidates than counting suits: a
            // tie goes to the earlier place.
            const auto before = [this](const std::pair<double, std::uint32_t>& a,
                                       const std::pair<double, std::uint32_t>& b) {
                return a.first < b.first || (!(b.first < a.first) && position_[a.second] < position_[b.second]);
            };
            if (within <= 2 * capacity) std::sort(first, last, before);
            else std::partial_sort(first, first + static_cast<std::ptrdiff_t>(capacity), last, before);
        }
        return true;
    }

private:
    CellGrid grid_;
    std::vector<double> x_, y_;            // in cell order
    std::vector<std::uint32_t> position_;  // the point's place in FinitePoints, which ranks ties
};

}  // namespace

struct NearestSamples::Tree {
    Tree(FinitePoints p, std::size_t count) : points(std::move(p)), index(2, points, FinitePointTreeParameters()) {
        if (!points.x.empty()) {
            index.buildIndex();
            for (const std::uint32_t i : index.vAcc) {
                leaves.x.push_back(points.x[i]);
                leaves.y.push_back(points.y[i]);
                leaves.sample.push_back(points.index[i]);
            }
            box = {points.x[0], points.y[0], points.x[0], points.y[0]};
            for (std::size_t i = 1; i < points.x.size(); ++i) {
                box.xMin = std::min(box.xMin, points.x[i]);
                box.xMax = std::max(box.xMax, points.x[i]);
                box.yMin = std::min(box.yMin, points.y[i]);
                box.yMax = std::max(box.yMax, points.y[i]);
            }
            buckets = std::make_unique<Buckets>(points);
        }
        // The local numbering: the cells' order where there are cells (a
        // bucket search then reads and returns local numbers as they are),
        // else the places; the samples that cannot be chosen last.
        const std::size_t finite = points.x.size();
        const bool cells = buckets && buckets->Size() == finite;
        localOf.assign(count, kNone);
        for (std::size_t k = 0; k < finite; ++k) {
            const int sample = points.index[cells ? buckets->Place(k) : k];
            local.push_back(sample);
            localOf[static_cast<std::size_t>(sample)] = static_cast<int>(k);
        }
        for (std::size_t sample = 0; sample < count; ++sample)
            if (localOf[sample] == kNone) {
                localOf[sample] = static_cast<int>(local.size());
                local.push_back(static_cast<int>(sample));
            }
        bucketsByLocal = cells;
    }
    static constexpr int kNone = -1;
    FinitePoints points;
    FinitePointTree index;
    LeafOrder leaves;
    SampleBox box{};
    std::unique_ptr<Buckets> buckets;
    std::vector<int> local;       // local number -> sample
    std::vector<int> localOf;     // sample -> local number
    bool bucketsByLocal = false;  // the buckets' cell order is the local numbering
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
    tree_ = std::make_unique<Tree>(std::move(points), n);
}

NearestSamples::~NearestSamples() = default;

int NearestSamples::Candidates() const { return static_cast<int>(tree_->points.x.size()); }

void NearestSamples::Find(double x, double y, int m, std::vector<int>& found,
                          const std::vector<std::uint8_t>* excluded) const {
    Search(x, y, m, found, excluded, std::numeric_limits<double>::infinity());
}

const std::vector<int>& NearestSamples::Local() const { return tree_->local; }

void NearestSamples::FindNear(double x, double y, int m, std::vector<int>& found, double previousX, double previousY,
                              double* worst) const {
    thread_local std::vector<int> local;  // scratch
    local.clear();
    for (const int sample : found)
        if (sample >= 0 && static_cast<std::size_t>(sample) < tree_->localOf.size())
            local.push_back(tree_->localOf[static_cast<std::size_t>(sample)]);
    FindNearLocal(x, y, m, local, previousX, previousY, worst);
    found.clear();
    for (const int k : local) found.push_back(tree_->local[static_cast<std::size_t>(k)]);
}

void NearestSamples::FindNearLocal(double x, double y, int m, std::vector<int>& found, double previousX,
                                   double previousY, double* worst) const {
    double bound = std::numeric_limits<double>::infinity();
    if (*worst >= 0.0) {
        const double step = std::sqrt((x - previousX) * (x - previousX) + (y - previousY) * (y - previousY));
        const double reach = std::sqrt(*worst) + step;
        // Widened for the roundings of the distances on both sides.
        bound = reach * reach * (1.0 + 1e-9) + std::numeric_limits<double>::denorm_min();
        const std::size_t capacity = static_cast<std::size_t>(std::clamp(m, 0, Candidates()));
        thread_local std::vector<std::pair<double, std::uint32_t>> kept;  // scratch
        // What `found` holds on entry (the previous node's samples, as a
        // caller passes it) may tighten the bound; any samples would do.
        // Local numbers below the candidates' count are cell positions.
        if (capacity > 0 && tree_->bucketsByLocal &&
            tree_->buckets->Nearest(x, y, capacity, bound, found.data(), found.size(), kept)) {
            found.resize(capacity);
            for (std::size_t i = 0; i < capacity; ++i) found[i] = static_cast<int>(kept[i].second);
            *worst = kept[capacity - 1].first;
            return;
        }
    }
    *worst = Search(x, y, m, found, nullptr, bound);
    for (int& sample : found) sample = tree_->localOf[static_cast<std::size_t>(sample)];
}

void NearestSamples::FindWithin(double x, double y, int m, double maxSquaredDistance, std::vector<int>& found) const {
    Search(x, y, m, found, nullptr, maxSquaredDistance, true);
}

void NearestSamples::FindInSectors(double x, double y, int m, int sectors, int perSector, double maxSquaredDistance,
                                   std::vector<int>& found, std::vector<std::uint32_t>* seeds) const {
    found.clear();
    const std::size_t capacity = static_cast<std::size_t>(std::clamp(m, 0, Candidates()));
    if (capacity == 0) {
        if (seeds != nullptr) seeds->clear();
        return;
    }
    double farthest[8];
    for (int s = 0; s < sectors; ++s) farthest[s] = FarthestInSector(tree_->box, x, y, s, sectors);
    thread_local SectorLists lists;
    SectorNearest result(capacity, sectors, static_cast<std::size_t>(std::max(perSector, 1)), maxSquaredDistance,
                         farthest, lists);
    const LeafOrder& leaves = tree_->leaves;
    if (seeds != nullptr) {
        // The lists keep the best of whatever they are offered, in any
        // order; offering the previous target's samples first only narrows
        // the bound before the tree is walked.
        for (const std::uint32_t position : *seeds) {
            const double dx = leaves.x[position] - x, dy = leaves.y[position] - y;
            result.addPoint(dx * dx + dy * dy, leaves.sample[position], position, dx, dy);
        }
    }
    VisitNearestFirst(tree_->index, leaves, x, y, result);
    if (seeds != nullptr) seeds->clear();
    for (const Ranked& entry : lists.taken) {
        found.push_back(entry.sample);
        if (seeds != nullptr) seeds->push_back(entry.position);
    }
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
