#include "sweeps/AccurateSweep.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "neighbours/NearestSamples.h"
#include "platform/FloatArith.h"
#include "platform/WorkerPool.h"
#include "systems/AccurateNodeStep.h"

namespace mosaro {
namespace {

void Count(NodeTally& tally, const AccurateNodeOutcome& o) {
    if (std::isnan(o.estimate)) ++tally.noData;
    if (o.illConditioned && !std::isnan(o.reciprocalCondition)) ++tally.illConditioned;
    if (o.minimumNorm) ++tally.minimumNorm;
    if (o.reciprocalCondition < tally.smallestReciprocal) tally.smallestReciprocal = o.reciprocalCondition;
}

// The smaller of two condition estimates, where NaN means "none yet".
float SmallerCondition(float held, double fresh) {
    const float value = f32(fresh);
    if (std::isnan(held)) return value;
    if (std::isnan(value)) return held;
    return std::min(held, value);
}

}  // namespace

NodeTally RunAccurateSweep(const SweepPlan& plan, const NodeMethod& method, const SweepOutputs& outputs,
                           const Execution& execution, SolverLanes lanes) {
    const int variables = std::max(method.Variables(), 1);
    const double scale = f64(plan.constants.scale);
    // The samples in the search's local numbering: a node's neighbours then
    // lie near each other in memory, and so do the next node's new ones.
    const NearestSamples nearest(plan.samples.x, plan.samples.y, std::max(plan.samples.count, 0) / variables);
    const AccurateSamples samples(plan.samples, variables, scale, nearest.Local());
    const int locations = std::min(plan.m / variables, samples.Locations());
    const AveragedSpherical model(plan.constants);
    float* const variance = method.HasVariance() ? outputs.variance : nullptr;

    WorkerPool pool(execution.workers);
    std::vector<NodeTally> tallies(static_cast<std::size_t>(pool.Size()));
    std::vector<std::vector<int>> found(tallies.size());
    // One step per worker, its buffers grown once and kept from row to row
    // (a piece of work may be a single row). It keeps nothing that depends
    // on the rows it solved before, so any split gives the same bits.
    std::vector<std::unique_ptr<AccurateNodeStep>> steps(tallies.size());
    std::atomic<long long> rowsDone{0};

    pool.For(static_cast<std::size_t>(plan.rows), 1, [&](std::size_t first, std::size_t last, int worker) {
        std::vector<int>& ids = found[static_cast<std::size_t>(worker)];
        NodeTally& tally = tallies[static_cast<std::size_t>(worker)];
        std::unique_ptr<AccurateNodeStep>& held = steps[static_cast<std::size_t>(worker)];
        if (held == nullptr) held = std::make_unique<AccurateNodeStep>(samples, method, model, lanes);
        AccurateNodeStep& step = *held;
        for (std::size_t i = first; i < last; ++i) {
            execution.ThrowIfCancelled();
            const double nodeY = f64(plan.rect.fYMin) + static_cast<double>(i) * f64(plan.grid.fCellSizeY);
            double previousX = 0.0, worst = -1.0;                           // the row's previous node and its reach
            std::size_t node = i * static_cast<std::size_t>(plan.columns);  // the first queued
            for (long long j = 0; j < plan.columns; ++j) {
                const double nodeX = f64(plan.rect.fXMin) + static_cast<double>(j) * f64(plan.grid.fCellSizeX);
                nearest.FindNearLocal(nodeX, nodeY, locations, ids, previousX, nodeY, &worst);
                previousX = nodeX;
                // The tally needs a node's condition only where it may be
                // the smallest yet; the output grid needs every one.
                const double exactBelow = outputs.reciprocalCondition != nullptr
                                              ? std::numeric_limits<double>::infinity()
                                              : tally.smallestReciprocal;
                step.Queue(ids, nodeX / scale, nodeY / scale, exactBelow);
                if (!step.Full() && j + 1 < plan.columns) continue;
                for (const AccurateNodeOutcome& outcome : step.Flush()) {
                    Count(tally, outcome);
                    outputs.estimate[node] = f32(outcome.estimate);
                    if (variance != nullptr) variance[node] = f32(outcome.variance);
                    if (outputs.reciprocalCondition != nullptr)
                        outputs.reciprocalCondition[node] =
                            SmallerCondition(outputs.reciprocalCondition[node], outcome.reciprocalCondition);
                    ++node;
                }
            }
            const long long done = rowsDone.fetch_add(1) + 1;
            execution.Report(Stage::kSweep, static_cast<double>(done) / static_cast<double>(plan.rows));
        }
    });

    NodeTally total;
    for (const NodeTally& t : tallies) total.Add(t);
    return total;
}

}  // namespace mosaro
