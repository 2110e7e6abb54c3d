// `mosaro grid`: samples in, grid (and variance, picture) out.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "Commands.h"
#include "MethodNames.h"
#include "Picture.h"
#include "Progress.h"
#include "RasterWriter.h"
#include "RunReport.h"
#include "StagedOutput.h"
#include "ToolError.h"

namespace mosaro::tool {

int RunGridCommand(const RunOptions& options, const GridOutputs& outputs) {
    const auto start = std::chrono::steady_clock::now();
    // Formats, folders and the CRS first: a mistake there should not cost
    // loading the samples, nor a run.
    RasterDriverFor(outputs.grid);
    if (!outputs.variance.empty()) RasterDriverFor(outputs.variance);
    if (!outputs.picture.empty()) RequirePictureFormat(outputs.picture);
    const bool accurate = ParseArithmetic(options.arithmetic) == MOSARO_ARITHMETIC_ACCURATE;
    if (!outputs.condition_mask.empty() && !accurate)
        throw ToolError("--condition-mask needs --arithmetic accurate (the legacy arithmetic estimates no condition)");
    if (!outputs.condition_mask.empty()) RasterDriverFor(outputs.condition_mask);
    if (!outputs.variance.empty() && ParseMethod(options.method) == MOSARO_METHOD_INDICATOR)
        throw ToolError("--variance: indicator kriging gives no kriging variance (it would be NaN everywhere)");
    const std::string crsWkt = outputs.crs.empty() ? "" : CrsToWkt(outputs.crs);
    StagedOutputs staged;
    const std::string gridPath = staged.Stage(outputs.grid);
    const std::string variancePath = outputs.variance.empty() ? "" : staged.Stage(outputs.variance);
    const std::string picturePath = outputs.picture.empty() ? "" : staged.Stage(outputs.picture);
    const std::string maskPath = outputs.condition_mask.empty() ? "" : staged.Stage(outputs.condition_mask);

    PreparedRun run;
    PrepareRun(options, run);
    const Georeference where{run.grid.x_min,
                             run.grid.y_min,
                             run.grid.cell_x,
                             run.grid.cell_y,
                             outputs.crs.empty() ? run.samples.crs_wkt : crsWkt,
                             accurate};
    // Drawing the picture takes about one more grid's memory.
    RequireMemoryFor(run.grid, 1 + !outputs.variance.empty() + !outputs.picture.empty() + !maskPath.empty());

    std::vector<float> grid(static_cast<std::size_t>(run.grid.NodeCount()));
    std::vector<float> variance(outputs.variance.empty() ? 0 : grid.size());
    // Receives the reciprocal conditions, then becomes the mask in place.
    std::vector<float> mask(maskPath.empty() ? 0 : grid.size());
    RasterPicture picture;
    if (!picturePath.empty()) {
        picture.nodes = grid.data();
        picture.node_count_x = run.grid.nodes_x;
        picture.node_count_y = run.grid.nodes_y;
        picture.x_min = run.grid.x_min;
        picture.y_min = run.grid.y_min;
        picture.cell_x = run.grid.cell_x;
        picture.cell_y = run.grid.cell_y;
        picture.sample_x.assign(run.samples.x.begin(), run.samples.x.end());
        picture.sample_y.assign(run.samples.y.begin(), run.samples.y.end());
        picture.title = run.samples.value_names[0] + ", " + MethodDescription(run.method);
        picture.value_label = "estimate";
        ComputeRasterLayout(picture);  // a grid too large to draw is refused before the run
    }
    for (const std::string& warning : run.warnings) std::fprintf(stderr, "mosaro: warning: %s\n", warning.c_str());
    mosaro_request request = run.request;
    request.grid = grid.data();
    request.variance = variance.empty() ? nullptr : variance.data();
    request.reciprocal_condition = mask.empty() ? nullptr : mask.data();
    const ReportPtr report = RunRequest(request, options.quiet);
    // 1 where the estimate cannot be trusted to about six digits or is
    // missing: the condition is NaN where no system was solved.
    for (std::size_t k = 0; k < mask.size(); ++k) mask[k] = std::isnan(grid[k]) || !(mask[k] >= 1e-10f) ? 1.0f : 0.0f;

    // Ctrl-C after the run still writes nothing: checked before each
    // output and before the move into place.
    ThrowIfInterrupted();
    WriteRaster(RasterView{grid.data(), run.grid.nodes_x, run.grid.nodes_y}, where, outputs.grid, gridPath);
    ThrowIfInterrupted();
    if (!variance.empty())
        WriteRaster(RasterView{variance.data(), run.grid.nodes_x, run.grid.nodes_y}, where, outputs.variance,
                    variancePath);
    ThrowIfInterrupted();
    if (!mask.empty()) {
        Georeference maskWhere = where;
        maskWhere.nan_is_no_data = false;  // every node is 0 or 1
        WriteRaster(RasterView{mask.data(), run.grid.nodes_x, run.grid.nodes_y}, maskWhere, outputs.condition_mask,
                    maskPath);
    }
    ThrowIfInterrupted();
    if (!picturePath.empty()) DrawRaster(picture, RequirePictureFormat(outputs.picture), picturePath);
    ThrowIfInterrupted();
    staged.Commit();

    if (!options.quiet) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%s\n", DescribeSamples(options, run.samples).c_str());
        std::printf("model (%s):\n", !run.models.empty()       ? "given"
                                     : options.fit == "robust" ? "robust fit"
                                                               : "legacy fit");
        if (report) PrintModels(stdout, *report, run.method);
        if (report) PrintNodeSummaries(stdout, *report);
        std::printf("grid: %d x %d nodes, cell %g x %g, first node (%g, %g)\n", run.grid.nodes_x, run.grid.nodes_y,
                    static_cast<double>(run.grid.cell_x), static_cast<double>(run.grid.cell_y),
                    static_cast<double>(run.grid.x_min), static_cast<double>(run.grid.y_min));
        std::printf("%s with %d neighbours, %s arithmetic, in %.2f s\n", MethodDescription(run.method), run.neighbours,
                    options.arithmetic.c_str(), seconds);
        std::printf("wrote %s", outputs.grid.c_str());
        if (!outputs.variance.empty()) std::printf(", %s", outputs.variance.c_str());
        if (!outputs.condition_mask.empty()) std::printf(", %s", outputs.condition_mask.c_str());
        if (!outputs.picture.empty()) std::printf(", %s", outputs.picture.c_str());
        std::printf("\n");
    }
    return kExitOk;
}

}  // namespace mosaro::tool
