#include "sweeps/FastSweep.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/Counts.h"
#include "neighbours/NeighbourChain.h"
#include "platform/TickClock.h"
#include "platform/WorkerPool.h"
#include "sweeps/GridNodes.h"
#include "systems/LaneSolver.h"
#include "systems/NodeCovariances.h"
#include "systems/NodeSystem.h"
#include "systems/PairCovarianceCache.h"

namespace mosaro {
namespace {

// Nodes whose neighbours are found before their systems are handed to the
// threads: large enough to keep the threads busy, small enough for prompt
// progress and a small neighbour buffer.
constexpr std::size_t kBandNodes = 4096;
// Largest neighbour lists kept for later sweeps (ints; 128 MiB).
constexpr std::size_t kMaxSharedIds = std::size_t{1} << 25;
// Consecutive nodes one task solves; the covariance cache lives that long.
constexpr std::size_t kNodesPerTask = 64;

// Ticks each part of a thread's work took (timed sweeps only).
struct PartTicks {
    std::uint64_t assembly = 0, solve = 0, estimate = 0;
};

// Everything one thread needs to solve nodes, allocated before the first
// node is written. A group of `lanes` consecutive nodes is assembled lane by
// lane into one matrix and solved at once; fewer nodes one at a time.
struct NodeWorkspace {
    NodeWorkspace(int m, const NodeMethod& method, std::size_t entries, const KrigingConstants& c, int laneCount,
                  bool wide)
        : step(m, method, c, SolverPath::kFast),
          cache(m, entries, wide),
          lanes(static_cast<std::size_t>(laneCount)),
          order(static_cast<std::size_t>(step.Order())),
          x(static_cast<std::size_t>(m)),
          y(static_cast<std::size_t>(m)),
          toNode(static_cast<std::size_t>(m)),
          values(static_cast<std::size_t>(m) * lanes),
          augmented(order * (order + 1) * lanes),
          single(lanes > 1 ? order * (order + 1) : 0),
          rightSides(order * lanes),
          solutions(order * lanes),
          solution(order) {}
    LegacyNodeStep step;
    PairCovarianceCache cache;
    std::size_t lanes, order;
    std::vector<float> x, y;       // the columns of the node being assembled
    std::vector<float> toNode;     // their covariances to the node
    std::vector<float> values;     // each lane's column values
    std::vector<float> augmented;  // lane by lane
    std::vector<float> single;     // one lane's system, when it is solved alone
    std::vector<float> rightSides, solutions, solution;
    PartTicks ticks;
};

}  // namespace

void RunFastSweep(const SweepPlan& plan, const NodeMethod& method, const SweepOutputs& outputs,
                  const Execution& execution, SolverLanes solverLanes, SharedNeighbours* shared) {
    const KrigingConstants& c = plan.constants;
    const std::size_t columns = plan.columns > 0 ? static_cast<std::size_t>(plan.columns) : 0;
    const std::size_t rows = plan.rows > 0 ? static_cast<std::size_t>(plan.rows) : 0;
    const std::size_t nodes = columns * rows;
    if (nodes == 0) return;
    const std::size_t m = static_cast<std::size_t>(plan.m);

    const int threads = execution.workers;
    WorkingSamples samples;
    samples.Load(plan.samples, c.scale);
    const std::size_t band = std::min(nodes, kBandNodes);

    // Neighbour lists kept from an earlier sweep of the same samples and
    // grid, or to be kept for a later one; otherwise two bands' worth.
    const SharedNeighbours::Key key{plan.samples.count, plan.m,  plan.columns,   plan.rows,     plan.grid,
                                    plan.rect,          c.scale, plan.samples.x, plan.samples.y};
    auto sameKey = [&](const SharedNeighbours::Key& k) {
        return k.n == key.n && k.m == key.m && k.columns == key.columns && k.rows == key.rows &&
               std::memcmp(&k.grid, &key.grid, sizeof key.grid) == 0 &&
               std::memcmp(&k.rect, &key.rect, sizeof key.rect) == 0 && k.scale == key.scale && k.x == key.x &&
               k.y == key.y;
    };
    const bool reuse = shared != nullptr && shared->filled_ && sameKey(shared->key_);
    const bool keep = !reuse && shared != nullptr && nodes <= kMaxSharedIds / m;
    if (keep) {
        shared->filled_ = false;
        shared->key_ = key;
        shared->ids_.assign(nodes * m, 0);
    }
    int* const whole = reuse || keep ? shared->ids_.data() : nullptr;
    std::vector<int> neighbours[2];
    if (whole == nullptr) neighbours[0].resize(band * m), neighbours[1].resize(band * m);
    auto bandIds = [&](std::size_t b) { return whole != nullptr ? whole + b * band * m : neighbours[b % 2].data(); };
    // The chain's sorted lanes and the covariances' lanes are 512 bits
    // wide: a narrower width asked for keeps the plain code (the same bits
    // either way).
    const bool wide = solverLanes == SolverLanes::kBest || solverLanes == SolverLanes::kAvx512;
    const ChainPasses passes = wide ? ChainPasses::kBest : ChainPasses::kPlain;
    std::unique_ptr<NeighbourChain> chain;
    if (!reuse)
        chain = std::make_unique<NeighbourChain>(samples.x.data(), samples.y.data(), plan.samples.count,
                                                 method.Neighbours(plan.samples.count, plan.m), passes);
    const int lanes = SolverLaneCount(solverLanes);
    std::vector<NodeWorkspace> workspaces;
    workspaces.reserve(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t) workspaces.emplace_back(plan.m, method, samples.x.size(), c, lanes, wide);

    // The parts are timed only when asked for; otherwise the clock reads
    // nothing.
    const bool timed = outputs.parts != nullptr;
    const TickCalibration calibration;
    auto now = [timed] { return timed ? Ticks() : std::uint64_t{0}; };
    std::uint64_t chainTicks[2] = {0, 0};  // interior nodes, row starts

    auto nodeX = [&](std::size_t node) {
        return NodeCoordinate(static_cast<long long>(node % columns), plan.grid.fCellSizeX, plan.rect.fXMin, c.scale);
    };
    auto nodeY = [&](std::size_t node) {
        return NodeCoordinate(static_cast<long long>(node / columns), plan.grid.fCellSizeY, plan.rect.fYMin, c.scale);
    };

    // Sequential: each node starts from the order the previous one left.
    auto findNeighbours = [&](std::size_t first, std::size_t count, int* out) {
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t node = first + k;
            const std::uint64_t start = now();
            chain->Advance(nodeX(node), nodeY(node));
            for (std::size_t a = 0; a < m; ++a) out[k * m + a] = chain->EntryAt(static_cast<int>(a));
            chainTicks[node % columns == 0 ? 1 : 0] += now() - start;
        }
    };

    // The node's columns into lane `lane` of the workspace's matrix, whose
    // entries lie `stride` floats apart.
    auto assemble = [&](NodeWorkspace& w, std::size_t node, const int* ids, std::size_t lane, std::size_t stride) {
        float* values = w.values.data() + lane * m;
        for (std::size_t a = 0; a < m; ++a) {
            const std::size_t e = static_cast<std::size_t>(ids[a]);
            w.x[a] = samples.x[e];
            w.y[a] = samples.y[e];
            values[a] = samples.value[e];
        }
        w.cache.Fill(ids, w.x.data(), w.y.data(), c);
        auto pair = [&](int a, int b) { return w.cache.At(a, b); };
        const float nx = nodeX(node), ny = nodeY(node);
        CovariancesToNode(c, w.x.data(), w.y.data(), m, nx, ny, w.toNode.data(), wide);
        auto toNode = [&](int a) { return w.toNode[static_cast<std::size_t>(a)]; };
        w.step.Assemble(w.x.data(), w.y.data(), nx, ny, pair, toNode, w.augmented.data() + lane, stride,
                        w.rightSides.data() + lane * w.order);
    };

    auto finish = [&](NodeWorkspace& w, std::size_t node, const float* solution, std::size_t lane) {
        const NodeEstimate e =
            w.step.Finish(solution, w.rightSides.data() + lane * w.order, w.values.data() + lane * m);
        outputs.estimate[node] = e.estimate;
        if (outputs.variance != nullptr) outputs.variance[node] = e.variance;
    };

    // Nodes first .. first + lanes - 1, one system per lane.
    auto solveGroup = [&](NodeWorkspace& w, std::size_t first, const int* ids) {
        const std::size_t order = w.order, L = w.lanes;
        const std::uint64_t t0 = now();
        for (std::size_t l = 0; l < L; ++l) assemble(w, first + l, ids + l * m, l, L);
        const std::uint64_t t1 = now();
        if (!SolveLanesGuardedInPlace(w.augmented.data(), static_cast<int>(order), w.solutions.data(),
                                      static_cast<int>(L))) {
            for (std::size_t l = 0; l < L; ++l) {
                for (std::size_t k = 0; k < w.single.size(); ++k) w.single[k] = w.augmented[k * L + l];
                SolveGuardedInPlace(w.single.data(), static_cast<int>(order), w.solution.data());
                for (std::size_t i = 0; i < order; ++i) w.solutions[i * L + l] = w.solution[i];
            }
        }
        const std::uint64_t t2 = now();
        for (std::size_t l = 0; l < L; ++l) {
            for (std::size_t i = 0; i < order; ++i) w.solution[i] = w.solutions[i * L + l];
            finish(w, first + l, w.solution.data(), l);
        }
        const std::uint64_t t3 = now();
        w.ticks.assembly += t1 - t0, w.ticks.solve += t2 - t1, w.ticks.estimate += t3 - t2;
    };

    // One node alone, in the matrix's first entries as a plain matrix.
    auto solveOne = [&](NodeWorkspace& w, std::size_t node, const int* ids) {
        const std::uint64_t t0 = now();
        assemble(w, node, ids, 0, 1);
        const std::uint64_t t1 = now();
        SolveGuardedInPlace(w.augmented.data(), static_cast<int>(w.order), w.solution.data());
        const std::uint64_t t2 = now();
        finish(w, node, w.solution.data(), 0);
        const std::uint64_t t3 = now();
        w.ticks.assembly += t1 - t0, w.ticks.solve += t2 - t1, w.ticks.estimate += t3 - t2;
    };

    auto solveBand = [&](std::size_t first, const int* ids) {
        return [&, first, ids](std::size_t begin, std::size_t end, int worker) {
            if (execution.CancelRequested()) return;
            NodeWorkspace& w = workspaces[static_cast<std::size_t>(worker)];
            w.cache.Reset();
            std::size_t k = begin;
            if (w.lanes > 1)
                for (; end - k >= w.lanes; k += w.lanes) solveGroup(w, first + k, ids + k * m);
            for (; k != end; ++k) solveOne(w, first + k, ids + k * m);
        };
    };

    // The calling thread finds the next band's neighbours while the pool
    // solves this band's systems, and reports progress between bands.
    WorkerPool pool(threads);
    const std::size_t bands = (nodes + band - 1) / band;
    if (!reuse) findNeighbours(0, band, bandIds(0));
    for (std::size_t b = 0; b < bands; ++b) {
        const std::size_t first = b * band;
        const std::size_t next = first + band;
        pool.ForAlongside(std::min(band, nodes - first), kNodesPerTask, solveBand(first, bandIds(b)), [&] {
            if (!reuse && next < nodes) findNeighbours(next, std::min(band, nodes - next), bandIds(b + 1));
        });
        execution.Report(Stage::kSweep, static_cast<double>(b + 1) / static_cast<double>(bands));
    }
    if (keep) shared->filled_ = true;  // only a sweep that ran to the end

    if (timed) {
        const double tick = calibration.SecondsPerTick();
        SweepPartSeconds& parts = *outputs.parts;
        parts.chainInterior += tick * CountAsDouble(chainTicks[0]);
        parts.chainRowStarts += tick * CountAsDouble(chainTicks[1]);
        for (const NodeWorkspace& w : workspaces) {
            parts.assembly += tick * CountAsDouble(w.ticks.assembly);
            parts.solve += tick * CountAsDouble(w.ticks.solve);
            parts.estimate += tick * CountAsDouble(w.ticks.estimate);
        }
    }
}

}  // namespace mosaro
