#include "sweeps/AccurateSweep.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

#include "systems/AccurateNodeSystem.h"
#include "platform/FloatArith.h"
#include "neighbours/NearestSamples.h"
#include "pipeline/RunContext.h"
#include "platform/WorkerPool.h"

namespace mosaro {
namespace {

// What one worker saw; summed after the sweep.
struct NodeTally {
    long long noData = 0;
    long long illConditioned = 0;
    long long minimumNorm = 0;
    double smallestReciprocal = std::numeric_limits<double>::infinity();

    void Add(const AccurateNodeOutcome& o) {
        if (std::isnan(o.estimate)) ++noData;
        if (o.illConditioned && !std::isnan(o.reciprocalCondition)) ++illConditioned;
        if (o.minimumNorm) ++minimumNorm;
        if (o.reciprocalCondition < smallestReciprocal) smallestReciprocal = o.reciprocalCondition;
    }
};

// The smaller of two condition estimates, where NaN means "none yet".
float SmallerCondition(float held, double fresh) {
    const float value = f32(fresh);
    if (std::isnan(held)) return value;
    if (std::isnan(value)) return held;
    return std::min(held, value);
}

}  // namespace

void RunAccurateSweep(const SweepPlan& plan, float* const* ppPoints, float* pGrid, const NodeMethod& method) {
    const RunContext& context = CurrentRunContext();
    const int variables = std::max(method.Variables(), 1);
    const int perBlock = plan.n / variables;
    const int locations = std::min(plan.m / variables, perBlock);
    const double scale = f64(plan.constants.scale);

    const NearestSamples nearest(ppPoints[0], ppPoints[1], perBlock);
    std::vector<double> scaledX(static_cast<std::size_t>(perBlock)), scaledY(scaledX.size());
    for (std::size_t i = 0; i < scaledX.size(); ++i) {
        scaledX[i] = f64(ppPoints[0][i]) / scale;
        scaledY[i] = f64(ppPoints[1][i]) / scale;
    }
    const AccurateModel model(plan.constants);
    const bool wantVariance = plan.variance != nullptr && method.HasVariance();
    float* condition = context.reciprocalCondition;

    WorkerPool pool(ResolveThreadCount(context));
    std::vector<NodeTally> tallies(static_cast<std::size_t>(pool.Size()));
    struct Workspace {
        std::vector<int> found;
        std::vector<double> x, y, values;
    };
    std::vector<Workspace> workspaces(tallies.size());
    ProgressReporter* progress = context.progress;
    std::atomic<long long> rowsDone{0};

    pool.For(static_cast<std::size_t>(plan.rows), 1, [&](std::size_t first, std::size_t last, int worker) {
        Workspace& w = workspaces[static_cast<std::size_t>(worker)];
        NodeTally& tally = tallies[static_cast<std::size_t>(worker)];
        AccurateNodeSystem system(method, model);
        for (std::size_t i = first; i < last; ++i) {
            if (progress != nullptr) progress->ThrowIfCancelled();
            const double nodeY = f64(plan.rect.fYMin) + static_cast<double>(i) * f64(plan.grid.fCellSizeY);
            double previousX = 0.0, worst = -1.0;  // the row's previous node and its reach
            for (long long j = 0; j < plan.columns; ++j) {
                const double nodeX = f64(plan.rect.fXMin) + static_cast<double>(j) * f64(plan.grid.fCellSizeX);
                nearest.FindNear(nodeX, nodeY, locations, w.found, previousX, nodeY, &worst);
                previousX = nodeX;
                const int k = static_cast<int>(w.found.size());
                w.x.resize(w.found.size());
                w.y.resize(w.found.size());
                w.values.resize(w.found.size() * static_cast<std::size_t>(variables));
                for (int a = 0; a < k; ++a) {
                    const std::size_t s = static_cast<std::size_t>(w.found[static_cast<std::size_t>(a)]);
                    w.x[static_cast<std::size_t>(a)] = scaledX[s];
                    w.y[static_cast<std::size_t>(a)] = scaledY[s];
                    for (int v = 0; v < variables; ++v)
                        w.values[static_cast<std::size_t>(v * k + a)] =
                            f64(ppPoints[2][static_cast<std::size_t>(v) * static_cast<std::size_t>(perBlock) + s]);
                }
                AccurateNodeOutcome outcome;
                if (k == 0) {
                    outcome.estimate = outcome.variance = outcome.reciprocalCondition =
                        std::numeric_limits<double>::quiet_NaN();
                } else {
                    outcome = system.Solve(w.found.data(), w.x.data(), w.y.data(), w.values.data(), k, nodeX / scale,
                                           nodeY / scale);
                }
                tally.Add(outcome);
                const std::size_t node = i * static_cast<std::size_t>(plan.columns) + static_cast<std::size_t>(j);
                pGrid[node] = f32(outcome.estimate);
                if (wantVariance) plan.variance[node] = f32(outcome.variance);
                if (condition != nullptr) condition[node] = SmallerCondition(condition[node], outcome.reciprocalCondition);
            }
            const long long done = rowsDone.fetch_add(1) + 1;
            if (progress != nullptr)
                progress->Report(Stage::kSweep, static_cast<double>(done) / static_cast<double>(plan.rows));
        }
    });

    if (context.report != nullptr && !context.report->empty()) {
        PassReport& report = context.report->back();
        report.accurate = true;
        NodeTally total;
        for (const NodeTally& t : tallies) {
            total.noData += t.noData;
            total.illConditioned += t.illConditioned;
            total.minimumNorm += t.minimumNorm;
            total.smallestReciprocal = std::min(total.smallestReciprocal, t.smallestReciprocal);
        }
        report.noDataNodes = total.noData;
        report.illConditionedNodes = total.illConditioned;
        report.minimumNormNodes = total.minimumNorm;
        report.smallestReciprocalCondition = std::isinf(total.smallestReciprocal)
                                                 ? std::numeric_limits<double>::quiet_NaN()
                                                 : total.smallestReciprocal;
    }
}

}  // namespace mosaro
