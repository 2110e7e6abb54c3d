#include "sweeps/TargetSweep.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "platform/PortableMath.h"
#include "platform/WorkerPool.h"

namespace mosaro {
namespace {

// Points a task estimates at once: large enough to amortise a task, small
// enough to spread a short list over the workers.
constexpr long long kPointsPerTask = 256;

void Count(TargetTally& tally, const AccurateNodeOutcome& o) {
    NodeTally& t = tally.nodes;
    if (std::isnan(o.estimate)) ++t.noData;
    if (o.illConditioned && !std::isnan(o.reciprocalCondition)) ++t.illConditioned;
    if (o.minimumNorm) ++t.minimumNorm;
    if (o.reciprocalCondition < t.smallestReciprocal) t.smallestReciprocal = o.reciprocalCondition;
}

void Store(const TargetOutputs& out, long long index, const AccurateNodeOutcome& o) {
    const std::size_t k = static_cast<std::size_t>(index);
    if (out.reciprocalCondition != nullptr) out.reciprocalCondition[k] = o.reciprocalCondition;
    if (!out.lognormal.on) {
        out.estimate[k] = o.estimate;
        if (out.variance != nullptr) out.variance[k] = o.variance;
        return;
    }
    const double m = o.estimate, s2 = o.variance;
    if (out.lognormal.logEstimate != nullptr) out.lognormal.logEstimate[k] = m;
    if (out.lognormal.logVariance != nullptr) out.lognormal.logVariance[k] = s2;
    out.estimate[k] = NaturalExponential(m + 0.5 * s2) - out.lognormal.shift;
    if (out.variance != nullptr) out.variance[k] = ExponentialMinusOne(s2) * NaturalExponential(2.0 * m + s2);
}

}  // namespace

TargetTally RunTargetSweep(const AccurateSamples& samples, const SearchNeighbourhood& neighbourhood,
                           const NodeMethod& method, const CovarianceModel& model, double frameReach,
                           const TargetSet& targets, const TargetOutputs& outputs, const Execution& execution,
                           SolverLanes lanes) {
    const long long total = targets.Count();
    // A grid runs row by row, a list in pieces.
    const long long perTask = targets.grid ? std::max<long long>(targets.columns, 1) : kPointsPerTask;
    const std::size_t tasks = static_cast<std::size_t>((total + perTask - 1) / perTask);
    WorkerPool pool(execution.workers);
    std::vector<TargetTally> tallies(static_cast<std::size_t>(pool.Size()));
    std::atomic<long long> done{0};
    const int covariates = static_cast<int>(targets.covariates.size());

    pool.For(tasks, 1, [&](std::size_t first, std::size_t last, int worker) {
        TargetTally& tally = tallies[static_cast<std::size_t>(worker)];
        AccurateNodeStep step(samples, method, model, lanes);
        if (neighbourhood.Global()) step.FixFrame(0.0, 0.0, frameReach);
        std::vector<int> ids;
        SearchNeighbourhood::Trail trail;
        std::vector<double> targetCovariates(static_cast<std::size_t>(covariates));
        AccurateTarget target;
        target.blockPoints = static_cast<int>(targets.blockX.size());
        target.blockX = targets.blockX.data();
        target.blockY = targets.blockY.data();
        target.blockWeight = targets.blockWeight.data();
        target.blockCovariance = targets.blockCovariance;
        target.covariates = targetCovariates.data();
        for (std::size_t task = first; task < last; ++task) {
            execution.ThrowIfCancelled();
            const long long begin = static_cast<long long>(task) * perTask;
            const long long end = std::min(total, begin + perTask);
            trail.Reset();
            for (long long index = begin; index < end; ++index) {
                if (targets.grid) {
                    target.x = targets.x0 + static_cast<double>(targets.column0 + index % targets.columns) * targets.dx;
                    target.y = targets.y0 + static_cast<double>(targets.row0 + index / targets.columns) * targets.dy;
                } else {
                    target.x = targets.x[index];
                    target.y = targets.y[index];
                }
                for (int c = 0; c < covariates; ++c)
                    targetCovariates[static_cast<std::size_t>(c)] =
                        targets.covariates[static_cast<std::size_t>(c)][index];
                if (neighbourhood.Find(target.x, target.y, ids, &trail)) {
                    // The condition only where it may be the smallest yet,
                    // unless every target's is wanted.
                    step.Queue(ids, target,
                               outputs.reciprocalCondition != nullptr ? std::numeric_limits<double>::infinity()
                                                                      : tally.nodes.smallestReciprocal);
                } else {
                    step.QueueOutcome(AccurateNodeSystem::Unusable());
                    ++tally.tooFewNeighbours;
                }
                if (!step.Full() && index + 1 < end) continue;
                const std::vector<AccurateNodeOutcome>& solved = step.Flush();
                long long stored = index + 1 - static_cast<long long>(solved.size());
                for (const AccurateNodeOutcome& outcome : solved) {
                    Count(tally, outcome);
                    Store(outputs, stored++, outcome);
                }
            }
            const long long finished = done.fetch_add(end - begin) + (end - begin);
            execution.Report(Stage::kSweep, static_cast<double>(finished) / static_cast<double>(std::max(total, 1LL)));
        }
    });

    TargetTally sum;
    for (const TargetTally& t : tallies) {
        sum.nodes.Add(t.nodes);
        sum.tooFewNeighbours += t.tooFewNeighbours;
    }
    return sum;
}

}  // namespace mosaro
