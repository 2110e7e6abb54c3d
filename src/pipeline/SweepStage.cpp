#include "pipeline/SweepStage.h"

#include <algorithm>
#include <cmath>

#include "sweeps/AccurateSweep.h"
#include "sweeps/GridNodes.h"
#include "sweeps/ReferenceSweep.h"

namespace mosaro {

SweepPlan MakeSweepPlan(const SampleRows& samples, int neighbours, const TGRIDCELLXY& grid, const TRECTXYMINMAX& rect,
                        const TVARIOGRAMMODEL (&models)[2]) {
    SweepPlan plan;
    plan.constants = KrigingConstants::FromModels(models, rect);
    plan.grid = grid;
    plan.rect = rect;
    plan.samples = samples;
    plan.samples.count = std::max(samples.count, 0);
    plan.m = std::clamp(neighbours, 0, plan.samples.count);
    plan.columns = static_cast<long long>(grid.nCellCountX) + 1;
    plan.rows = static_cast<long long>(grid.nCellCountY) + 1;
    return plan;
}

NodeTally SweepGrid(const SweepPlan& plan, const NodeMethod& rules, const RunSettings& settings,
                    const SweepOutputs& outputs, SharedNeighbours* shared) {
    if (settings.arithmetic == Arithmetic::kAccurate)
        return RunAccurateSweep(plan, rules, outputs, settings.execution, settings.solverLanes);
    if (plan.m == 0) {
        std::fill_n(outputs.estimate, NodeCount(plan.grid), 0.0f);
        if (outputs.variance != nullptr) std::fill_n(outputs.variance, NodeCount(plan.grid), std::nanf(""));
    } else if (settings.reference) {
        RunReferenceSweep(plan, rules, outputs, settings.execution);
    } else {
        RunFastSweep(plan, rules, outputs, settings.execution, settings.solverLanes, shared);
    }
    return NodeTally{};
}

}  // namespace mosaro
