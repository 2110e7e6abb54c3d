#include "pipeline/Pipeline.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <vector>

#include "methods/Indicator.h"
#include "pipeline/ModelStage.h"
#include "pipeline/PassReportCapture.h"
#include "pipeline/StageClock.h"
#include "pipeline/SweepStage.h"
#include "platform/FloatArith.h"
#include "sweeps/GridNodes.h"

namespace mosaro {
namespace {

// Sums the passes of indicator kriging: each threshold's estimates go to a
// scratch grid and are added in threshold order, so the caller's grid is
// written once, at the end, and a failure part way leaves it as it was.
class PassSum {
public:
    PassSum(std::size_t nodes, bool summed) : sum_(summed ? nodes : 0, 0.0f), estimate_(sum_.size(), 0.0f) {}

    // Where a pass writes its estimates: the scratch grid, or the caller's
    // when there is only one pass.
    float* Target(float* grid) { return sum_.empty() ? grid : estimate_.data(); }
    void Add() {
        for (std::size_t k = 0; k < sum_.size(); ++k) sum_[k] = f32(f64(sum_[k]) + f64(estimate_[k]));
    }
    void CopyTo(float* grid) const { std::copy(sum_.begin(), sum_.end(), grid); }

private:
    std::vector<float> sum_;
    std::vector<float> estimate_;
};

void RefuseOversizedIndicatorTable(const PipelineRun& run, int passes) {
    if (run.method.thresholds == nullptr)
        throw std::invalid_argument("indicator kriging needs its thresholds before it runs");
    // Every threshold costs a pass over the samples even without samples.
    const double entries = static_cast<double>(passes) * static_cast<double>(std::max(run.samples.count, 1));
    if (entries > kMaxIndicatorEntries) throw std::length_error("indicator table exceeds the supported size");
}

}  // namespace

void RunPipeline(const PipelineRun& run, const RunSettings& settings, const PipelineOutputs& outputs) {
    const Execution& execution = settings.execution;
    const int passes = PassCount(run.method);
    const bool indicator = run.method.code == kIndicator;
    const bool sweepsGrid = !run.fitOnly && run.validation == nullptr;
    if (indicator && passes > 0) RefuseOversizedIndicatorTable(run, passes);
    PassSum sum(NodeCount(run.grid), indicator && sweepsGrid);
    SharedNeighbours neighbours;  // the thresholds sweep the same samples over the same grid

    for (int p = 0; p < passes; ++p) {
        if (execution.progress != nullptr) execution.progress->BeginPass(p, passes);
        PassReport* report = outputs.report != nullptr ? &outputs.report->emplace_back() : nullptr;
        const MethodPass pass = MakePass(run.method, run.samples, run.neighbours, p);
        if (report != nullptr) report->threshold = pass.threshold;

        TVARIOGRAMMODEL models[2];
        if (run.givenModels != nullptr) {
            models[0] = run.givenModels[0];
            models[1] = run.givenModels[1];
            if (report != nullptr) {
                report->modelGiven = true;
                report->branches[0] = report->branches[1] = FitBranch::Given;
            }
        } else {
            const FitRequest fit{run.samples, &pass.variogramValues, run.grid, run.rect, run.fit, run.keepTables};
            FitModels(fit, settings, models, report, outputs.stageSeconds);
        }
        if (report != nullptr) CaptureSweepConstants(models, run.rect, *report);
        if (run.fitOnly || pass.rules == nullptr) continue;

        const StageClock clock(outputs.stageSeconds, Stage::kSweep);
        execution.Report(Stage::kSweep, 0.0);
        const SweepPlan plan = MakeSweepPlan(run.samples, run.neighbours, run.grid, run.rect, models);
        if (report != nullptr) report->sweptNodes = plan.columns * plan.rows;
        if (run.validation != nullptr) {
            RunCrossValidation(plan, *pass.rules, settings.arithmetic == Arithmetic::kAccurate, *run.validation,
                               execution);
            continue;
        }
        const SweepOutputs sweep{sum.Target(outputs.grid), pass.rules->HasVariance() ? outputs.variance : nullptr,
                                 outputs.reciprocalCondition, outputs.sweepParts};
        const NodeTally tally = SweepGrid(plan, *pass.rules, settings, sweep, indicator ? &neighbours : nullptr);
        if (report != nullptr && settings.arithmetic == Arithmetic::kAccurate) {
            report->accurate = true;
            report->nodes = tally;
        }
        execution.Report(Stage::kSweep, 1.0);
        if (indicator) sum.Add();
    }
    if (indicator && sweepsGrid) {
        // No threshold at all gives a grid of zeros.
        if (passes == 0) std::fill_n(outputs.grid, NodeCount(run.grid), 0.0f);
        else sum.CopyTo(outputs.grid);
    }
    if (execution.progress != nullptr) execution.progress->Finish();
}

}  // namespace mosaro
