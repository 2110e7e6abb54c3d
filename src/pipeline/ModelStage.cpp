#include "pipeline/ModelStage.h"

#include <optional>
#include <utility>

#include "pipeline/PassReportCapture.h"
#include "pipeline/StageClock.h"
#include "variogram/LagClasses.h"
#include "variogram/RobustFit.h"
#include "variogram/VariogramFit.h"

namespace mosaro {

DirectionalTables BuildVariograms(const SampleRows& samples, const double* quantities, const TGRIDCELLXY& grid,
                                  const TRECTXYMINMAX& rect, const RunSettings& settings) {
    const PairSamples pairs{samples.x, samples.y, quantities, samples.count};
    return BuildExperimentalVariograms(pairs, grid, rect, settings.reference ? nullptr : &PreferredPairKernels(),
                                       settings.execution);
}

void FitModels(const FitRequest& request, const RunSettings& settings, TVARIOGRAMMODEL (&models)[2], PassReport* report,
               double* stageSeconds) {
    const double* quantities = request.quantities->data();
    DirectionalTables tables;
    {
        const StageClock clock(stageSeconds, Stage::kVariograms);
        settings.execution.Report(Stage::kVariograms, 0.0);
        tables = BuildVariograms(request.samples, quantities, request.grid, request.rect, settings);
    }
    const LagClassCounts counts = ComputeLagClassCounts(request.grid, request.rect);
    if (report != nullptr) CaptureExperimentalTables(tables, counts, *report);

    std::optional<RobustFitResult> robust;
    VariogramRows omnidirectional;
    {
        const StageClock clock(stageSeconds, Stage::kFit);
        settings.execution.Report(Stage::kFit, 0.0);
        // The robust fit reads the tables as built, before the legacy fit
        // prunes them.
        if (request.fit == FitChoice::kRobust) {
            const VariogramRows directions[2] = {ReadRows(tables.x.Get(), counts.x),
                                                 ReadRows(tables.y.Get(), counts.y)};
            const auto buildOmnidirectional = [&] {
                return BuildOmnidirectionalVariogram(
                    request.samples.x, request.samples.y, quantities, request.samples.count,
                    ComputeOmnidirectionalClasses(request.grid, request.rect), settings.execution);
            };
            robust = FitRobustModels(directions, buildOmnidirectional, report != nullptr && request.keepTables,
                                     omnidirectional);
        }
        FitLegacyModels(tables.x.Get(), tables.y.Get(), request.grid, request.rect, models);
    }
    if (report != nullptr) CaptureFittedModels(tables, models, *report);
    if (robust) {
        models[0] = robust->models[0];
        models[1] = robust->models[1];
        if (report != nullptr) CaptureRobustFit(*robust, std::move(omnidirectional), *report);
    }
}

}  // namespace mosaro
