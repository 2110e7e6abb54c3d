// `mosaro variogram`: the experimental variograms and the models both fits
// give for them, exactly as a gridding run computes them.
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "Commands.h"
#include "Picture.h"
#include "Progress.h"
#include "RunReport.h"
#include "StagedOutput.h"
#include "ToolError.h"

namespace mosaro::tool {
namespace {

struct Table {
    const float* lag = nullptr;
    const float* pairs = nullptr;
    const float* semivariance = nullptr;
    int count = 0;
};

Table ReadTable(const mosaro_report& report, int pass, int direction, int pruned) {
    Table t;
    mosaro_report_table(&report, pass, direction, pruned, &t.lag, &t.pairs, &t.semivariance, &t.count);
    return t;
}

void PrintTable(const char* heading, const Table& t) {
    if (t.count == 0) return;
    std::printf("  %s: %d classes\n    %14s %10s %16s\n", heading, t.count, "lag", "pairs", "semivariance");
    for (int k = 0; k < t.count; ++k)
        std::printf("    %14.7g %10.0f %16.9g\n", static_cast<double>(t.lag[k]), static_cast<double>(t.pairs[k]),
                    static_cast<double>(t.semivariance[k]));
}

void PrintModel(const char* name, const mosaro_variogram_model& m, const char* why) {
    std::printf("  %s: nugget %g, partial sill %g, range %g (%s)\n", name, static_cast<double>(m.nugget),
                static_cast<double>(m.partial_sill), static_cast<double>(m.range), why);
}

VariogramModelCurve Curve(const char* label, const mosaro_variogram_model& m) {
    return VariogramModelCurve{label, m.nugget, m.partial_sill, m.range};
}

// Both fits in one run: a robust run also reports what the legacy fit gave.
// When the robust fit has too few pairs, the legacy fit alone is reported.
ReportPtr FitVariograms(const PreparedRun& run, bool quiet) {
    const SamplesPtr samples = PrepareSamples(run.request);
    mosaro_request request = run.request;
    request.report_tables = 1;
    ProgressReporter progress(quiet);
    request.progress = &ProgressReporter::Callback;
    request.progress_user_data = &progress;
    for (const mosaro_fit fit : {MOSARO_FIT_ROBUST, MOSARO_FIT_LEGACY}) {
        request.fit = fit;
        mosaro_report* report = nullptr;
        const mosaro_status status = mosaro_fit_variograms(samples.get(), &request, &report);
        ReportPtr owned(report);
        if (status == MOSARO_ERROR_TOO_FEW_PAIRS) continue;
        if (status == MOSARO_ERROR_CANCELLED) ThrowIfInterrupted();
        if (status < 0) throw ToolError(mosaro_last_message());
        return owned;
    }
    throw ToolError("no lag class holds a pair of samples: give a coarser --cell");
}

}  // namespace

int RunVariogramCommand(const RunOptions& options, const VariogramOutputs& outputs) {
    std::optional<PictureFormat> format;
    StagedOutputs staged;
    std::string plotPath;
    if (!outputs.plot.empty()) {
        format = RequirePictureFormat(outputs.plot);
        plotPath = staged.Stage(outputs.plot);
    }
    PreparedRun run;
    PrepareRun(options, run);
    for (const std::string& warning : run.warnings) std::fprintf(stderr, "mosaro: warning: %s\n", warning.c_str());
    const ReportPtr report = FitVariograms(run, options.quiet);

    std::printf("%s\nlag classes of width %g (x) and %g (y)\n", DescribeSamples(options, run.samples).c_str(),
                static_cast<double>(run.grid.cell_x), static_cast<double>(run.grid.cell_y));
    static const char* const kDirections[3] = {"x direction", "y direction", "omnidirectional"};
    std::vector<VariogramSeries> series;
    for (int p = 0; p < mosaro_report_pass_count(report.get()); ++p) {
        mosaro_pass_info pass{};
        pass.struct_size = sizeof pass;
        if (mosaro_report_pass_info(report.get(), p, &pass) != MOSARO_OK) throw ToolError(mosaro_last_message());
        if (run.method == MOSARO_METHOD_INDICATOR) std::printf("threshold %g\n", static_cast<double>(pass.threshold));
        for (int d = 0; d < 3; ++d) {
            mosaro_direction_fit fit;
            const bool explained = DirectionFit(*report, p, d, fit);
            const Table built = ReadTable(*report, p, d, 0);
            if (d == 2 && built.count == 0) continue;  // no robust run, no omnidirectional table
            std::printf("%s\n", kDirections[d]);
            PrintTable("experimental", built);
            if (d < 2) PrintTable("after pruning (what the legacy fit uses)", ReadTable(*report, p, d, 1));
            const bool robust = explained && fit.fit == MOSARO_FIT_ROBUST;
            const mosaro_variogram_model legacy = robust ? fit.legacy_model : pass.models[d];
            if (d < 2) PrintModel("legacy fit", legacy, BranchName(robust ? fit.legacy_branch : pass.branches[d]));
            if (robust) PrintModel("robust fit", fit.model, fit.reason != nullptr ? fit.reason : "");
            if (p != 0) continue;
            VariogramSeries s;
            s.label = kDirections[d];
            s.lag.assign(built.lag, built.lag + built.count);
            s.pairs.assign(built.pairs, built.pairs + built.count);
            s.semivariance.assign(built.semivariance, built.semivariance + built.count);
            if (d < 2) s.models.push_back(Curve("legacy fit", legacy));
            if (robust) s.models.push_back(Curve("robust fit", fit.model));
            series.push_back(std::move(s));
        }
        // The run behind the report is a robust one whenever the robust fit
        // could run, so its anisotropy is the robust fit's.
        mosaro_direction_fit first;
        const bool robustRun = DirectionFit(*report, p, 0, first) && first.fit == MOSARO_FIT_ROBUST;
        std::printf("anisotropy of the %s fit: %g%s\n", robustRun ? "robust" : "legacy",
                    static_cast<double>(pass.anisotropy), pass.anisotropy_reset ? " (reset to 1)" : "");
    }
    if (format) {
        DrawVariograms(series, run.samples.value_names[0] + ": experimental variograms, legacy and robust fits",
                       *format, plotPath);
        ThrowIfInterrupted();
        staged.Commit();
        std::printf("wrote %s\n", outputs.plot.c_str());
    }
    return kExitOk;
}

}  // namespace mosaro::tool
