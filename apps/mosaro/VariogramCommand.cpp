// `mosaro variogram`: the two experimental directional variograms and the
// models fitted to them, exactly as a gridding run computes them.
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "Commands.h"
#include "Picture.h"
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
    std::printf("  %s: %d classes\n    %14s %10s %16s\n", heading, t.count, "lag", "pairs", "semivariance");
    for (int k = 0; k < t.count; ++k)
        std::printf("    %14.7g %10.0f %16.9g\n", static_cast<double>(t.lag[k]), static_cast<double>(t.pairs[k]),
                    static_cast<double>(t.semivariance[k]));
}

}  // namespace

int RunVariogramCommand(const RunOptions& options, const VariogramOutputs& outputs) {
    std::optional<PictureFormat> format;
    StagedOutputs staged;
    std::string plotPath;
    if (!outputs.plot.empty()) {
        format = PictureFormatForPath(outputs.plot);
        if (!format) throw ToolError("unknown picture format '" + outputs.plot + "' (use .png or .svg)");
        plotPath = staged.Stage(outputs.plot);
    }
    if (!options.model.empty()) throw ToolError("variogram fits the model; --model is for grid");
    PreparedRun run;
    PrepareRun(options, run);
    for (const std::string& warning : run.warnings) std::fprintf(stderr, "mosaro: warning: %s\n", warning.c_str());

    // The tables depend on the extent and the cell size, not on the node
    // counts, so one node is enough to have the library compute them.
    float node = 0;
    mosaro_request request = run.request;
    request.node_count_x = 1;
    request.node_count_y = 1;
    request.grid = &node;
    request.report_tables = 1;
    const ReportPtr report = RunRequest(request, options.quiet);

    std::printf("%s\nlag classes of width %g (x) and %g (y)\n", DescribeSamples(options, run.samples).c_str(),
                static_cast<double>(run.grid.cell_x), static_cast<double>(run.grid.cell_y));
    static const char* const kDirections[2] = {"x direction", "y direction"};
    std::vector<VariogramSeries> series;
    for (int p = 0; p < mosaro_report_pass_count(report.get()); ++p) {
        mosaro_pass_report pass;
        mosaro_report_pass(report.get(), p, &pass);
        if (run.method == MOSARO_METHOD_INDICATOR)
            std::printf("threshold %g\n", static_cast<double>(pass.threshold));
        for (int d = 0; d < 2; ++d) {
            std::printf("%s\n", kDirections[d]);
            PrintTable("experimental", ReadTable(*report, p, d, 0));
            const Table pruned = ReadTable(*report, p, d, 1);
            PrintTable("after pruning (what the fit uses)", pruned);
            const mosaro_variogram_model& m = pass.models[d];
            std::printf("  model: nugget %g, partial sill %g, range %g (%s)\n", static_cast<double>(m.nugget),
                        static_cast<double>(m.partial_sill), static_cast<double>(m.range),
                        BranchName(pass.branches[d]));
            if (p == 0) {
                VariogramSeries s;
                s.label = kDirections[d];
                s.lag.assign(pruned.lag, pruned.lag + pruned.count);
                s.pairs.assign(pruned.pairs, pruned.pairs + pruned.count);
                s.semivariance.assign(pruned.semivariance, pruned.semivariance + pruned.count);
                s.models.push_back(VariogramModelCurve{"legacy fit", m.nugget, m.partial_sill, m.range});
                series.push_back(std::move(s));
            }
        }
        std::printf("anisotropy used: %g%s\n", static_cast<double>(pass.anisotropy),
                    pass.anisotropy_reset ? " (reset to 1)" : "");
    }
    if (format) {
        DrawVariograms(series, run.samples.value_names[0] + ": experimental variograms and fitted models", *format,
                       plotPath);
        staged.Commit();
        std::printf("wrote %s\n", outputs.plot.c_str());
    }
    return kExitOk;
}

}  // namespace mosaro::tool
