#include "sweeps/SequentialSimulation.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Dense>

#include "platform/Prefetch.h"
#include "platform/Random.h"
#include "platform/WorkerPool.h"
#include "sweeps/OffsetCovarianceBlock.h"
#include "systems/Cholesky.h"

namespace mosaro {

namespace {

// Offsets of the simulated-neighbour scan and of the covariance table: the
// scan visits at most this many, the table covers this many cells each way.
constexpr std::size_t kMaxOffsets = 1 << 16;
constexpr int kMaxTableReach = 256;
// The nearest samples of every node are kept when they take at most this
// many entries (8 bytes each beside a double covariance).
constexpr std::size_t kMaxKeptSampleEntries = std::size_t{1} << 24;
// A system whose pivot falls to this share of the sill is solved as
// singular: its point is all but determined by the points before it, and
// the pivot is mostly rounding (a pivot of rounding size would turn the
// difference of two samples at one place into an error of the order of
// their values). Well above rounding (some 1e-15 of the sill for the
// systems here), far below the pivots of ordinary systems; a system of
// smooth-model points so close that it falls below takes least-squares
// weights, which then match the exact ones.
constexpr double kSingularPivot = 1e-10;
// Grids up to this many nodes run kCholeskyLanes realisations at once per
// worker (about 17 bytes a node for each).
constexpr long long kMaxLaneNodes = 1 << 18;

// A scratch buffer with room for n entries. It only grows: a buffer resized
// down and up again from node to node would have its new entries cleared
// each time.
template <class T>
T* Room(std::vector<T>& buffer, std::size_t n) {
    if (buffer.size() < n) buffer.resize(n);
    return buffer.data();
}

}  // namespace

SimulationPlan::SimulationPlan(const SimulationGrid& grid, const std::vector<double>& x, const std::vector<double>& y,
                               const std::vector<double>& scores, const CovarianceModel& model,
                               const SimulationNeighbourhood& neighbourhood, int workers)
    : grid_(grid), model_(model), neighbourhood_(neighbourhood) {
    for (std::size_t s = 0; s < x.size(); ++s) {
        // A sample on a node (to a millionth of a cell) sets the node.
        const double ci = (x[s] - grid.x0) / grid.dx, cj = (y[s] - grid.y0) / grid.dy;
        const double ri = std::round(ci), rj = std::round(cj);
        if (std::fabs(ci - ri) < 1e-6 && std::fabs(cj - rj) < 1e-6 && ri >= 0 && rj >= 0 && ri < grid.columns &&
            rj < grid.rows) {
            const long long node = static_cast<long long>(rj) * grid.columns + static_cast<long long>(ri);
            if (std::find(fixedNodes_.begin(), fixedNodes_.end(), node) == fixedNodes_.end()) {
                fixedNodes_.push_back(node);
                fixedScores_.push_back(scores[s]);
            }
            continue;
        }
        x_.push_back(x[s]);
        y_.push_back(y[s]);
        score_.push_back(scores[s]);
    }
    nearest_ = std::make_unique<NearestSamples>(x_.data(), y_.data(), static_cast<int>(x_.size()));

    // Offsets within the radius, nearest first, ties by row then column.
    const double radius = neighbourhood.radius;
    const int reachI = static_cast<int>(std::min<double>(std::floor(radius / grid.dx), grid.columns));
    const int reachJ = static_cast<int>(std::min<double>(std::floor(radius / grid.dy), grid.rows));
    struct Offset {
        double d2;
        int j, i;
    };
    std::vector<Offset> offsets;
    for (int j = -reachJ; j <= reachJ; ++j)
        for (int i = -reachI; i <= reachI; ++i) {
            if (i == 0 && j == 0) continue;
            const double d2 = (i * grid.dx) * (i * grid.dx) + (j * grid.dy) * (j * grid.dy);
            if (d2 <= radius * radius) offsets.push_back({d2, j, i});
        }
    // Made in row, then column, order: a stable sort by length alone keeps
    // that order among equal lengths (and compares less than three keys).
    std::stable_sort(offsets.begin(), offsets.end(), [](const Offset& a, const Offset& b) { return a.d2 < b.d2; });
    if (offsets.size() > kMaxOffsets) offsets.resize(kMaxOffsets);
    for (const Offset& o : offsets) {
        offsetI_.push_back(o.i);
        offsetJ_.push_back(o.j);
        offsetD2_.push_back(o.d2);
        tableReach_ = std::max(tableReach_, std::max(std::abs(2 * o.i), std::abs(2 * o.j)));
        marginI_ = std::max(marginI_, std::abs(o.i));
        marginJ_ = std::max(marginJ_, std::abs(o.j));
    }
    markedColumns_ = static_cast<long long>(grid.columns) + 2 * marginI_;
    for (const Offset& o : offsets) {
        offsetMark_.push_back(static_cast<long long>(o.j) * markedColumns_ + o.i);
        offsetNode_.push_back(static_cast<long long>(o.j) * grid.columns + o.i);
    }
    tableCoversPairs_ = tableReach_ <= kMaxTableReach;
    tableReach_ = std::min(tableReach_, kMaxTableReach);
    const int side = 2 * tableReach_ + 1;
    tableCentre_ =
        static_cast<std::size_t>(tableReach_) * static_cast<std::size_t>(side) + static_cast<std::size_t>(tableReach_);
    for (const Offset& o : offsets) offsetCell_.push_back(static_cast<long long>(o.j) * side + o.i);
    // The table a row of offsets a call, the rows shared by the workers.
    WorkerPool pool(workers);
    table_.resize(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
    pool.For(static_cast<std::size_t>(side), 1, [&](std::size_t first, std::size_t last, int) {
        std::vector<double> lagX(static_cast<std::size_t>(side)), lagY(static_cast<std::size_t>(side));
        for (std::size_t row = first; row < last; ++row) {
            const int j = static_cast<int>(row) - tableReach_;
            for (int i = -tableReach_; i <= tableReach_; ++i) {
                lagX[static_cast<std::size_t>(i + tableReach_)] = i * grid.dx;
                lagY[static_cast<std::size_t>(i + tableReach_)] = j * grid.dy;
            }
            model.AtMany(lagX.data(), lagY.data(), lagX.size(), &table_[row * static_cast<std::size_t>(side)]);
        }
    });

    // Where a squared length joins the offsets, by buckets of squared
    // lengths about an offset each. A bucket starts a bucket early, so that
    // a quotient rounded up into it never starts past the place sought.
    // The buckets' starts rise with them: one walk along the offsets.
    const std::size_t buckets = offsetD2_.size() + 1;
    joinUnit_ = offsetD2_.empty() ? 1.0 : std::max(offsetD2_.back(), 1e-300) / static_cast<double>(buckets - 1);
    for (std::size_t b = 0, at = 0; b < buckets; ++b) {
        const double from = (static_cast<double>(b) - 1.0) * joinUnit_;
        while (at < offsetD2_.size() && offsetD2_[at] < from) ++at;
        joinStart_.push_back(static_cast<int>(at));
    }

    // Every node's nearest samples, once for all the realisations.
    const std::size_t k = static_cast<std::size_t>(std::max(neighbourhood.samples, 0));
    const std::size_t entries = static_cast<std::size_t>(grid.Nodes()) * k;
    if (k > 0 && !x_.empty() && entries <= kMaxKeptSampleEntries) {
        nodeSampleIds_.assign(entries, -1);
        nodeSampleCount_.assign(static_cast<std::size_t>(grid.Nodes()), 0);
        nodeSampleJoin_.assign(entries, 0);
        nodeSampleCovariance_.assign(entries, 0.0);
        pool.For(static_cast<std::size_t>(grid.rows), 1, [&](std::size_t first, std::size_t last, int) {
            NearbySearch nearby;
            for (std::size_t row = first; row < last; ++row)
                for (int column = 0; column < grid.columns; ++column) {
                    const long long node = static_cast<long long>(row) * grid.columns + column;
                    const std::size_t at = static_cast<std::size_t>(node) * k;
                    FindNodeSamples(node, &nodeSampleIds_[at], &nodeSampleJoin_[at], &nodeSampleCovariance_[at],
                                    nodeSampleCount_[static_cast<std::size_t>(node)], &nearby);
                }
        });
        keptSamples_ = true;
    }
}

void SimulationPlan::FindNodeSamples(long long node, int* ids, int* join, double* covariance, int& count,
                                     NearbySearch* nearby) const {
    const double x = grid_.x0 + static_cast<double>(node % grid_.columns) * grid_.dx;
    const double y = grid_.y0 + static_cast<double>(node / grid_.columns) * grid_.dy;
    const double within = neighbourhood_.radius * neighbourhood_.radius;
    thread_local std::vector<int> scratch;
    std::vector<int>& found = nearby ? nearby->found : scratch;
    if (nearby) {
        // The nearest whatever their distance, the search bounded by the
        // node before's (the same choice in the same order); those beyond
        // the radius come last and are dropped.
        nearest_->FindNear(x, y, neighbourhood_.samples, found, nearby->x, nearby->y, &nearby->worst);
        nearby->x = x, nearby->y = y;
        const auto beyond = [&](int s) {
            const double dx = x - x_[static_cast<std::size_t>(s)], dy = y - y_[static_cast<std::size_t>(s)];
            return dx * dx + dy * dy > within;
        };
        while (!found.empty() && beyond(found.back())) found.pop_back();
    } else {
        nearest_->FindWithin(x, y, neighbourhood_.samples, within, found);
    }
    count = static_cast<int>(found.size());
    // The covariances a few lags a call, from lags on the stack.
    constexpr int kLags = 16;
    double lagX[kLags], lagY[kLags];
    for (int first = 0; first < count; first += kLags) {
        const int n = std::min(kLags, count - first);
        for (int a = 0; a < n; ++a) {
            const std::size_t s = static_cast<std::size_t>(found[static_cast<std::size_t>(first + a)]);
            ids[first + a] = static_cast<int>(s);
            const double dx = x_[s] - x, dy = y_[s] - y;
            join[first + a] = JoinOf(dx * dx + dy * dy);
            lagX[a] = dx, lagY[a] = dy;
        }
        model_.AtMany(lagX, lagY, static_cast<std::size_t>(n), covariance + first);
    }
}

int SimulationPlan::JoinOf(double d2) const {
    // The bucket's start, then a few steps: the first offset at least as
    // long, as a binary search finds it.
    const double bucket = std::floor(d2 / joinUnit_);
    std::size_t k = static_cast<std::size_t>(
        joinStart_[bucket < static_cast<double>(joinStart_.size() - 1) ? static_cast<std::size_t>(bucket)
                                                                       : joinStart_.size() - 1]);
    while (k < offsetD2_.size() && offsetD2_[k] < d2) ++k;
    return static_cast<int>(k);
}

SimulationPlan::NodeSampleList SimulationPlan::NodeSamples(long long node, NodeSampleScratch& scratch) const {
    const std::size_t k = static_cast<std::size_t>(std::max(neighbourhood_.samples, 0));
    if (keptSamples_) {
        const std::size_t at = static_cast<std::size_t>(node) * k;
        return {&nodeSampleIds_[at], &nodeSampleJoin_[at], &nodeSampleCovariance_[at],
                nodeSampleCount_[static_cast<std::size_t>(node)]};
    }
    scratch.ids.resize(k), scratch.join.resize(k), scratch.covariance.resize(k);
    int count = 0;
    if (k > 0 && !x_.empty())
        FindNodeSamples(node, scratch.ids.data(), scratch.join.data(), scratch.covariance.data(), count);
    return {scratch.ids.data(), scratch.join.data(), scratch.covariance.data(), count};
}

void SimulationPlan::PrefetchNodeSamples(long long node) const {
    if (!keptSamples_) return;
    const std::size_t k = static_cast<std::size_t>(neighbourhood_.samples);
    const std::size_t at = static_cast<std::size_t>(node) * k;
    PrefetchForRead(&nodeSampleCount_[static_cast<std::size_t>(node)]);
    PrefetchRangeForRead(&nodeSampleIds_[at], k * sizeof(int));
    PrefetchRangeForRead(&nodeSampleJoin_[at], k * sizeof(int));
    PrefetchRangeForRead(&nodeSampleCovariance_[at], k * sizeof(double));
}

double SimulationPlan::NodeCovariance(int di, int dj) const {
    if (std::abs(di) > tableReach_ || std::abs(dj) > tableReach_) return model_.At(di * grid_.dx, dj * grid_.dy);
    const int side = 2 * tableReach_ + 1;
    return table_[static_cast<std::size_t>((dj + tableReach_) * side + (di + tableReach_))];
}

int SequentialSimulator::LanesFor(const SimulationPlan& plan, int lanes) {
    // The solve takes 1 or kCholeskyLanes lanes: any other request is the latter.
    return lanes == 1 || (lanes <= 0 && plan.grid_.Nodes() > kMaxLaneNodes) ? 1 : kCholeskyLanes;
}

SequentialSimulator::SequentialSimulator(const SimulationPlan& plan, int lanes)
    : plan_(plan), lanes_(static_cast<std::size_t>(LanesFor(plan, lanes))) {
    const std::size_t marks = static_cast<std::size_t>(plan.markedColumns_ * (plan.grid_.rows + 2LL * plan.marginJ_));
    for (Lane& lane : lanes_) {
        lane.simulated.resize(marks);
        lane.path.resize(static_cast<std::size_t>(plan.grid_.Nodes()));
    }
    // Room for the most simulated neighbours a node takes, and one more
    // (see Gather's scan).
    const SimulationNeighbourhood& n = plan.neighbourhood_;
    cells_.resize((static_cast<std::size_t>(std::max(n.combined ? n.samples : n.simulated, 0)) + 1) * lanes_.size());
}

double SequentialSimulator::Entry(const Lane& lane, int a, int b) const {
    const SimulationPlan& p = plan_;
    const int kn = lane.kn;
    if (a >= kn) return a == b ? p.model_.Sill() : lane.sampleCovariances[lane.PairAt(a - kn, b - kn)];
    const std::size_t na = static_cast<std::size_t>(a);
    if (b < kn) {
        const std::size_t nb = static_cast<std::size_t>(b);
        return p.NodeCovariance(NeighbourColumn(lane, na) - NeighbourColumn(lane, nb),
                                NeighbourRow(lane, na) - NeighbourRow(lane, nb));
    }
    return lane.sampleCovariances[static_cast<std::size_t>(b - kn) * static_cast<std::size_t>(kn) + na];
}

std::size_t SequentialSimulator::MarkOf(long long node) const {
    return MarkAt(static_cast<int>(node % plan_.grid_.columns), static_cast<int>(node / plan_.grid_.columns));
}

std::size_t SequentialSimulator::MarkAt(int i, int j) const {
    const SimulationPlan& p = plan_;
    return static_cast<std::size_t>((j + p.marginJ_) * p.markedColumns_ + i + p.marginI_);
}

std::size_t SequentialSimulator::NodeAt(int i, int j) const {
    return static_cast<std::size_t>(j) * static_cast<std::size_t>(plan_.grid_.columns) + static_cast<std::size_t>(i);
}

int SequentialSimulator::NeighbourColumn(const Lane& lane, std::size_t na) const {
    return lane.ni + plan_.offsetI_[static_cast<std::size_t>(lane.hits[na])];
}

int SequentialSimulator::NeighbourRow(const Lane& lane, std::size_t na) const {
    return lane.nj + plan_.offsetJ_[static_cast<std::size_t>(lane.hits[na])];
}

void SequentialSimulator::Gather(Lane& lane, const double* field, long long* cells) {
    const SimulationPlan& p = plan_;
    while (true) {
        const Place place = lane.path[lane.cursor++];
        lane.ni = place.i, lane.nj = place.j;
        lane.mark = MarkAt(lane.ni, lane.nj);
        if (lane.simulated[lane.mark] == 0) break;
    }
    lane.node = static_cast<long long>(NodeAt(lane.ni, lane.nj));
    // The lane's next node is met again only after every other lane's
    // step: time enough for its lists to arrive.
    if (lane.cursor < lane.path.size()) {
        const Place next = lane.path[lane.cursor];
        p.PrefetchNodeSamples(static_cast<long long>(NodeAt(next.i, next.j)));
    }
    lane.samples = p.NodeSamples(lane.node, lane.sampleScratch);
    // Read only when the systems are assembled, after every lane's scan:
    // asked for again so that it has come back from the outer cache by then.
    PrefetchRangeForRead(lane.samples.covariance, static_cast<std::size_t>(lane.samples.count) * sizeof(double));
    // The simulated nodes nearest first; with a combined neighbourhood
    // merged with the samples by distance (a sample first on a tie).
    const SimulationNeighbourhood& n = p.neighbourhood_;
    lane.chosen.clear();
    const std::size_t available = static_cast<std::size_t>(lane.samples.count);
    std::size_t next = 0;
    const std::size_t limit = static_cast<std::size_t>(n.combined ? n.samples : n.simulated);
    // Room for one more than the limit: each offset is written whether or
    // not its node was simulated, and counted only if it was (a branch there
    // would be mispredicted half the time). Early in a path most offsets
    // are not simulated, so the scan keeps to one read, one write and an
    // add per offset, in locals the writes cannot alias.
    lane.hits.resize(limit + 1);
    int* const hits = lane.hits.data();
    const std::uint8_t* const marks = lane.simulated.data() + lane.mark;
    const long long* const steps = p.offsetMark_.data();
    std::size_t found = 0;
    const std::size_t offsets = p.offsetMark_.size();
    const auto visit = [&](std::size_t o) {
        hits[found] = static_cast<int>(o);
        found += marks[steps[o]];
    };
    if (n.combined) {
        // The offsets run without a test for samples up to where the next
        // sample joins (its list says which offset it comes before).
        for (std::size_t o = 0; lane.chosen.size() + found < limit;) {
            const std::size_t stop =
                next < available ? std::min(static_cast<std::size_t>(lane.samples.join[next]), offsets) : offsets;
            const std::size_t enough = limit - lane.chosen.size();
            for (; o < stop && found < enough; ++o) visit(o);
            if (found >= enough || o == offsets) break;
            lane.chosen.push_back(lane.samples.ids[next++]);
        }
    } else {
        for (std::size_t o = 0; o < offsets && found < limit; ++o) visit(o);
    }
    // A neighbour's place in the field is one step from the node's (the
    // mark stops the scan at the grid's edges); its column and row are
    // derived from its offset only where they are needed.
    long long* const nodes = Room(lane.neighbourNodes, found);
    for (std::size_t h = 0; h < found; ++h) {
        const std::size_t o = static_cast<std::size_t>(hits[h]);
        nodes[h] = lane.node + p.offsetNode_[o];
        cells[h * lanes_.size()] = p.offsetCell_[o];
        // Their values are read when the systems are assembled, after every
        // lane's scan: asked for now, since on a large grid they lie in the
        // outer caches.
        PrefetchForRead(field + nodes[h]);
    }
    if (n.combined) {
        while (next < available && lane.chosen.size() + found < limit) lane.chosen.push_back(lane.samples.ids[next++]);
    } else {
        lane.chosen.assign(lane.samples.ids, lane.samples.ids + available);
    }
    lane.ks = static_cast<int>(lane.chosen.size());
    lane.kn = static_cast<int>(found);
    FillSampleCovariances(lane);
}

void SequentialSimulator::FillSampleCovariances(Lane& lane) {
    const SimulationPlan& p = plan_;
    const SimulationGrid& g = p.grid_;
    const std::size_t ks = static_cast<std::size_t>(lane.ks), kn = static_cast<std::size_t>(lane.kn);
    const std::size_t toNodes = ks * kn, pairs = ks > 0 ? ks * (ks - 1) / 2 : 0;
    double* const covariances = Room(lane.sampleCovariances, toNodes + pairs);
    if (ks == 0) return;
    // The lags of the samples to the nodes, sample after sample, then those
    // of the pairs of samples (in the order taken), all evaluated in one
    // call.
    double* const lagX = Room(lane.lagX, toNodes + pairs);
    double* const lagY = Room(lane.lagY, toNodes + pairs);
    double* const nodeX = Room(lane.nodeX, kn);
    double* const nodeY = Room(lane.nodeY, kn);
    // The loops read locals: a store through the buffers could otherwise
    // alias the grid's and the samples' values, read again every entry.
    const double x0 = g.x0, y0 = g.y0, dx = g.dx, dy = g.dy;
    const int* const hits = lane.hits.data();
    const int* const offsetI = p.offsetI_.data();
    const int* const offsetJ = p.offsetJ_.data();
    const int ni = lane.ni, nj = lane.nj;
    for (std::size_t nb = 0; nb < kn; ++nb) {
        nodeX[nb] = x0 + (ni + offsetI[hits[nb]]) * dx;
        nodeY[nb] = y0 + (nj + offsetJ[hits[nb]]) * dy;
    }
    for (std::size_t a = 0; a < ks; ++a) {
        const std::size_t id = static_cast<std::size_t>(lane.chosen[a]);
        const double sampleX = p.x_[id], sampleY = p.y_[id];
        for (std::size_t nb = 0; nb < kn; ++nb) {
            lagX[a * kn + nb] = sampleX - nodeX[nb];
            lagY[a * kn + nb] = sampleY - nodeY[nb];
        }
    }
    // A pair's lag in the order the samples were taken. The other order
    // negates both components exactly (rounding is symmetric about zero),
    // and a model sees a lag only through squares of sums of its rounded
    // components' products with constants, which negation leaves unchanged:
    // either order gives the same bits.
    std::size_t at = toNodes;
    for (std::size_t a = 0; a < ks; ++a) {
        const std::size_t first = static_cast<std::size_t>(lane.chosen[a]);
        for (std::size_t b = a + 1; b < ks; ++b, ++at) {
            const std::size_t second = static_cast<std::size_t>(lane.chosen[b]);
            lagX[at] = p.x_[first] - p.x_[second];
            lagY[at] = p.y_[first] - p.y_[second];
        }
    }
    p.model_.AtMany(lagX, lagY, toNodes + pairs, covariances);
}

void SequentialSimulator::SolveSingular(const Lane& lane, const double* right, std::size_t stride,
                                        std::vector<double>& weights) {
    // Two conditioning points at one place: the least-squares solution of
    // the full (symmetric) system, its right side as the lanes' assembly
    // left it.
    const int k = lane.ks + lane.kn;
    const std::size_t size = static_cast<std::size_t>(k);
    singular_.resize(size * size);
    std::vector<double> side(size);
    for (int a = 0; a < k; ++a) {
        for (int b = 0; b < k; ++b)
            singular_[static_cast<std::size_t>(a) * size + static_cast<std::size_t>(b)] =
                Entry(lane, std::min(a, b), std::max(a, b));
        side[static_cast<std::size_t>(a)] = right[static_cast<std::size_t>(a) * stride];
    }
    using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
    const Eigen::Map<const RowMajor> m(singular_.data(), k, k);
    const Eigen::Map<const Eigen::VectorXd> r(side.data(), k);
    const Eigen::VectorXd w = m.completeOrthogonalDecomposition().solve(r);
    weights.assign(w.data(), w.data() + k);
}

void SequentialSimulator::Run(std::uint64_t seed, std::uint64_t first, int count, std::vector<double>* fields) {
    const SimulationPlan& p = plan_;
    const SimulationGrid& g = p.grid_;
    const long long nodes = g.Nodes();
    const std::size_t lanes = lanes_.size();
    std::vector<RandomStream> random;
    random.reserve(static_cast<std::size_t>(count));
    for (int r = 0; r < count; ++r) {
        Lane& lane = lanes_[static_cast<std::size_t>(r)];
        std::vector<double>& field = fields[r];
        field.assign(static_cast<std::size_t>(nodes), 0.0);
        std::fill(lane.simulated.begin(), lane.simulated.end(), 0);
        for (std::size_t f = 0; f < p.fixedNodes_.size(); ++f) {
            const long long node = p.fixedNodes_[f];
            field[static_cast<std::size_t>(node)] = p.fixedScores_[f];
            lane.simulated[MarkOf(node)] = 1;
        }
        random.emplace_back(seed, first + static_cast<std::uint64_t>(r));
        // The nodes in order, then shuffled: a node is kept as its column
        // and row, which every step needs, rather than its number.
        std::size_t k = 0;
        for (int j = 0; j < g.rows; ++j)
            for (int i = 0; i < g.columns; ++i) lane.path[k++] = {i, j};
        for (k = lane.path.size(); k > 1; --k) std::swap(lane.path[k - 1], lane.path[random.back().Below(k)]);
        lane.cursor = 0;
    }
    for (std::size_t r = static_cast<std::size_t>(count); r < lanes; ++r) lanes_[r].ks = lanes_[r].kn = 0;
    // Each realisation's deviates are drawn a block ahead, in its stream's
    // order: a block's draws share their logarithms' vector lanes. (The
    // last block may draw past the path's end; a stream is its
    // realisation's alone, so those draws are never seen.)
    constexpr std::size_t kDeviateBlock = 64;
    std::vector<double> deviates(kDeviateBlock * static_cast<std::size_t>(count));
    std::size_t drawn = kDeviateBlock;

    // Every realisation simulates the same number of nodes (those no
    // sample sets), so the lanes keep in step to the end.
    const double sill = p.model_.Sill();
    const long long steps = nodes - static_cast<long long>(p.fixedNodes_.size());
    for (long long step = 0; step < steps; ++step) {
        // The largest system, and the most simulated neighbours, of any lane.
        int order = 0;
        std::size_t widest = 0;
        for (int r = 0; r < count; ++r) {
            Lane& lane = lanes_[static_cast<std::size_t>(r)];
            Gather(lane, fields[r].data(), &cells_[static_cast<std::size_t>(r)]);
            order = std::max(order, lane.ks + lane.kn);
            widest = std::max(widest, static_cast<std::size_t>(lane.kn));
        }
        unsigned singular = 0;
        const std::size_t size = static_cast<std::size_t>(order);
        if (order > 0) {
            matrix_.resize(size * size * lanes);
            sides_.resize(2 * size * lanes);
            // The simulated neighbours open every lane's system, so that
            // their block lies at one place in all lanes: from the table, a
            // vector of lanes at a time, up to the most any lane has. Beyond
            // a lane's own neighbours its cells hold steps of earlier nodes
            // (or zero), so every read stays in the table; what they fill,
            // the lane's rows of samples and of padding below overwrite.
            if (p.tableCoversPairs_)
                FillOffsetCovarianceBlock(p.TableAt(0), cells_.data(), widest, size, lanes, matrix_.data(),
                                          sides_.data());
            for (std::size_t l = 0; l < lanes; ++l) {
                const Lane& lane = lanes_[l];
                // The upper triangle (all the factorisation reads); beyond
                // the lane's own order, the sill times the identity and zero
                // right sides. The rows of nodes, of samples and of padding
                // each take a loop of their own, with no test of a row's kind
                // inside.
                // The two right sides: the covariances to the node, and the
                // values of the nodes and samples taken.
                const std::size_t ks = static_cast<std::size_t>(lane.ks), kn = static_cast<std::size_t>(lane.kn);
                const std::size_t own = ks + kn;
                double* right = &sides_[l];
                double* value = &sides_[size * lanes + l];
                const auto rowOf = [&](std::size_t a) { return &matrix_[a * size * lanes + l]; };
                const auto padRow = [&](double* row, std::size_t from) {
                    for (std::size_t b = from; b < size; ++b) row[b * lanes] = 0.0;
                };
                for (std::size_t na = 0; na < kn; ++na) {
                    if (!p.tableCoversPairs_) {
                        double* row = rowOf(na);
                        for (std::size_t nb = na; nb < kn; ++nb)
                            row[nb * lanes] = Entry(lane, static_cast<int>(na), static_cast<int>(nb));
                        right[na * lanes] =
                            p.NodeCovariance(NeighbourColumn(lane, na) - lane.ni, NeighbourRow(lane, na) - lane.nj);
                    }
                    value[na * lanes] = fields[l][lane.neighbourNodes[na]];
                }
                // The nodes' columns of samples and of padding, each only
                // where there is one (most systems have neither).
                const double* toSamples = lane.sampleCovariances.data();
                for (std::size_t a = 0; a < ks; ++a, toSamples += kn) {
                    double* column = rowOf(0) + (kn + a) * lanes;
                    for (std::size_t na = 0; na < kn; ++na) column[na * size * lanes] = toSamples[na];
                }
                if (own < size)
                    for (std::size_t na = 0; na < kn; ++na) padRow(rowOf(na), own);
                const double* pair = lane.sampleCovariances.data() + ks * kn;
                for (std::size_t a = 0; a < ks; ++a) {
                    double* row = rowOf(kn + a);
                    row[(kn + a) * lanes] = sill;
                    for (std::size_t b = a + 1; b < ks; ++b) row[(kn + b) * lanes] = *pair++;
                    padRow(row, own);
                    // The samples are taken in their list's order: the a-th
                    // taken is the list's a-th.
                    right[(kn + a) * lanes] = lane.samples.covariance[a];
                    value[(kn + a) * lanes] = p.score_[static_cast<std::size_t>(lane.chosen[a])];
                }
                for (std::size_t a = own; a < size; ++a) {
                    double* row = rowOf(a);
                    row[a * lanes] = sill;
                    padRow(row, a + 1);
                    right[a * lanes] = 0.0;
                    value[a * lanes] = 0.0;
                }
            }
            // A singular lane solves its system again from its sides as
            // assembled.
            assembled_ = sides_;
            singular = CholeskyProjectLanes(matrix_.data(), order, sides_.data(), 2, static_cast<int>(lanes),
                                            kSingularPivot * sill);
        }
        if (drawn == kDeviateBlock) {
            for (int r = 0; r < count; ++r)
                random[static_cast<std::size_t>(r)].Normals(&deviates[static_cast<std::size_t>(r) * kDeviateBlock],
                                                            kDeviateBlock);
            drawn = 0;
        }
        for (int r = 0; r < count; ++r) {
            Lane& lane = lanes_[static_cast<std::size_t>(r)];
            std::vector<double>& field = fields[r];
            const std::size_t k = static_cast<std::size_t>(lane.ks + lane.kn);
            const std::size_t l = static_cast<std::size_t>(r);
            const double deviate = deviates[l * kDeviateBlock + drawn];
            double estimate = 0.0, variance = sill;
            if ((singular >> r) & 1u) {
                std::vector<double> weights;
                const double* right = &assembled_[l];
                const double* values = &assembled_[size * lanes + l];
                SolveSingular(lane, right, lanes, weights);
                for (std::size_t a = 0; a < k; ++a) {
                    estimate += weights[a] * values[a * lanes];
                    variance -= weights[a] * right[a * lanes];
                }
            } else {
                // y . z and y . y: the projected covariances and values (none
                // when no lane had a neighbour and nothing was assembled).
                for (std::size_t a = 0; a < k; ++a) {
                    const double y = sides_[a * lanes + l];
                    estimate += y * sides_[(size + a) * lanes + l];
                    variance -= y * y;
                }
            }
            field[static_cast<std::size_t>(lane.node)] = estimate + std::sqrt(std::max(variance, 0.0)) * deviate;
            lane.simulated[lane.mark] = 1;
        }
        ++drawn;
    }
}

}  // namespace mosaro
