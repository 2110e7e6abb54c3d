#include "sweeps/ReferenceSweep.h"

#include "neighbours/ExchangeSort.h"
#include "sweeps/GridNodes.h"
#include "systems/NodeSystem.h"

namespace mosaro {

void RunReferenceSweep(const SweepPlan& plan, const NodeMethod& method, const SweepOutputs& outputs,
                       const Execution& execution) {
    const KrigingConstants& c = plan.constants;
    WorkingSamples work;
    work.Load(plan.samples, c.scale);
    const NeighbourLayout layout = method.Neighbours(plan.samples.count, plan.m);
    LegacyNodeStep step(plan.m, method, c, SolverPath::kReference);
    for (long long i = 0; i < plan.rows; ++i) {
        const float nodeY = NodeCoordinate(i, plan.grid.fCellSizeY, plan.rect.fYMin, c.scale);
        for (long long j = 0; j < plan.columns; ++j) {
            const float nodeX = NodeCoordinate(j, plan.grid.fCellSizeX, plan.rect.fXMin, c.scale);
            work.MeasureFrom(nodeX, nodeY);
            SortNearestInBlocks(work, layout);
            const NodeEstimate e = step.Estimate(work.x.data(), work.y.data(), work.value.data(), nodeX, nodeY);
            const long long node = i * plan.columns + j;
            outputs.estimate[node] = e.estimate;
            if (outputs.variance != nullptr) outputs.variance[node] = e.variance;
        }
        execution.Report(Stage::kSweep, static_cast<double>(i + 1) / static_cast<double>(plan.rows));
    }
}

}  // namespace mosaro
