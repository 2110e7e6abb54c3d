// `mosaro grid`: samples in, grid (and variance, picture) out.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "Commands.h"
#include "ModernRun.h"
#include "MethodNames.h"
#include "Picture.h"
#include "Progress.h"
#include "RasterStream.h"
#include "RasterWriter.h"
#include "RunReport.h"
#include "StagedOutput.h"
#include "TiledGrid.h"
#include "ToolError.h"

namespace mosaro::tool {

namespace {

// Formats, folders and the CRS first: a mistake there should not cost
// loading the samples, nor a run.
void CheckOutputs(const GridOutputs& outputs) {
    RasterDriverFor(outputs.grid);
    if (!outputs.variance.empty()) RasterDriverFor(outputs.variance);
    if (!outputs.picture.empty()) RequirePictureFormat(outputs.picture);
    if (!outputs.condition_mask.empty()) RasterDriverFor(outputs.condition_mask);
    if (outputs.tile == 0) return;
    if (outputs.tile < kTileMultiple || outputs.tile % kTileMultiple != 0)
        throw ToolError("--tile " + std::to_string(outputs.tile) + ": GeoTIFF tiles are a multiple of 16 nodes");
    for (const std::string& path : {outputs.grid, outputs.variance})
        if (!path.empty() && !IsGeoTiff(path)) throw ToolError("--tile writes tiled GeoTIFFs (.tif), not " + path);
    if (!outputs.picture.empty())
        throw ToolError("--png draws the whole grid, which --tile never holds; draw the GeoTIFF afterwards");
}

RasterPicture PictureOf(const GridGeometry& grid, const SampleTable& samples, const float* nodes,
                        const std::string& title) {
    RasterPicture picture;
    picture.nodes = nodes;
    picture.node_count_x = grid.nodes_x;
    picture.node_count_y = grid.nodes_y;
    picture.x_min = grid.x_min;
    picture.y_min = grid.y_min;
    picture.cell_x = grid.cell_x;
    picture.cell_y = grid.cell_y;
    picture.sample_x = samples.x;
    picture.sample_y = samples.y;
    picture.title = title;
    picture.value_label = "estimate";
    ComputeRasterLayout(picture);  // a grid too large to draw is refused before the run
    return picture;
}

void PrintWritten(const GridOutputs& outputs) {
    std::printf("wrote %s", outputs.grid.c_str());
    if (!outputs.variance.empty()) std::printf(", %s", outputs.variance.c_str());
    if (!outputs.condition_mask.empty()) std::printf(", %s", outputs.condition_mask.c_str());
    if (!outputs.picture.empty()) std::printf(", %s", outputs.picture.c_str());
    std::printf("\n");
}

// "lognormal ordinary kriging": the description up to its search.
std::string KindOf(const ModernRun& run) {
    const std::string text = DescribeKriging(run);
    return text.substr(0, text.find(','));
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PrintGridReport(const RunOptions& options, const GridOutputs& outputs, const ModernRun& run,
                     const PredictionResult& result, const GridGeometry& grid,
                     std::chrono::steady_clock::time_point start) {
    if (options.quiet) return;
    std::printf("%s\n", DescribeSamples(options, run.samples, false).c_str());
    PrintModelLine(run, result);
    std::printf("grid: %d x %d nodes, cell %g x %g, first node (%.10g, %.10g)", grid.nodes_x, grid.nodes_y, grid.cell_x,
                grid.cell_y, grid.x_min, grid.y_min);
    if (outputs.tile > 0) std::printf(", in tiles of %d x %d", outputs.tile, outputs.tile);
    std::printf("\n");
    PrintTargetLine(result, "nodes");
    std::printf("%s; prediction API, in %.2f s\n", DescribeKriging(run).c_str(), Seconds(start));
    PrintWritten(outputs);
}

// The prediction API: estimates in double, NaN (declared no-data) where a
// node has none.
int RunModernGrid(const RunOptions& options, const GridOutputs& outputs) {
    const auto start = std::chrono::steady_clock::now();
    CheckOutputs(outputs);
    if (!outputs.condition_mask.empty())
        throw ToolError(
            "--condition-mask needs --arithmetic accurate (the legacy request; the prediction API counts "
            "ill-conditioned nodes in its report instead)");
    for (const std::string& covariate : options.kriging.covariates)
        if (SplitCovariate(covariate).second.empty())
            throw ToolError("--covariate " + covariate + ": grid needs it at every node, from a raster (" + covariate +
                            "=RASTER)");
    const std::string crsWkt = outputs.crs.empty() ? "" : CrsToWkt(outputs.crs);
    StagedOutputs staged;
    const std::string gridPath = staged.Stage(outputs.grid);
    const std::string variancePath = outputs.variance.empty() ? "" : staged.Stage(outputs.variance);
    const std::string picturePath = outputs.picture.empty() ? "" : staged.Stage(outputs.picture);

    ModernRun run;
    PrepareModernRun(options, run);
    const GridGeometry grid = ChooseSampleGrid(options.grid, run.samples);
    if (outputs.tile > 0) {
        for (const std::string& warning : run.warnings) std::fprintf(stderr, "mosaro: warning: %s\n", warning.c_str());
        // Only a tile is held: the check of memory is the tile's.
        GridGeometry tile = grid;
        tile.nodes_x = std::min(grid.nodes_x, outputs.tile);
        tile.nodes_y = std::min(grid.nodes_y, outputs.tile);
        RequireMemoryFor(tile, 2 * (1 + !outputs.variance.empty()));
        const Georeference where{
            grid.x_min, grid.y_min, grid.cell_x, grid.cell_y, outputs.crs.empty() ? run.samples.crs_wkt : crsWkt, true};
        GeoTiffStream estimates(outputs.grid, gridPath, grid.nodes_x, grid.nodes_y, 1, where, outputs.tile);
        std::unique_ptr<GeoTiffStream> variances;
        if (!variancePath.empty())
            variances = std::make_unique<GeoTiffStream>(outputs.variance, variancePath, grid.nodes_x, grid.nodes_y, 1,
                                                        where, outputs.tile);
        const PredictionResult result =
            PredictTiles(run, run.prediction, grid, outputs.tile, estimates, variances.get(), options.quiet);
        if (!run.allow_empty && result.report.no_data == result.report.targets)
            throw ToolError("none of the " + std::to_string(result.report.targets) +
                            " nodes got an estimate; nothing written (widen --maxdist, lower --nmin, or --allow-empty "
                            "to write no-data)");
        if (result.no_model || result.report.no_data == result.report.targets)
            std::fprintf(stderr, "mosaro: warning: no node has an estimate; every node is no-data (--allow-empty)\n");
        estimates.Close();
        if (variances) variances->Close();
        ThrowIfInterrupted();
        staged.Commit();
        PrintGridReport(options, outputs, run, result, grid, start);
        return kExitOk;
    }
    // Doubles: two floats' worth per output; the picture takes floats.
    RequireMemoryFor(grid, 2 * (1 + !outputs.variance.empty()) + !outputs.picture.empty());
    const std::size_t count = static_cast<std::size_t>(grid.NodeCount());
    std::vector<double> estimate(count);
    std::vector<double> variance(outputs.variance.empty() ? 0 : count);
    std::vector<float> pictureNodes(picturePath.empty() ? 0 : count);
    RasterPicture picture;
    if (!picturePath.empty())
        picture = PictureOf(grid, run.samples, pictureNodes.data(), run.samples.value_names[0] + ", " + KindOf(run));

    mosaro_prediction p = run.prediction;
    TargetGrid(grid, p);
    std::vector<std::vector<double>> covariates;
    std::vector<const double*> targetCovariates;
    if (!run.covariate_names.empty()) {
        std::vector<double> nodeX(count), nodeY(count);
        for (std::size_t k = 0; k < count; ++k) {
            nodeX[k] = grid.x_min + static_cast<double>(k % static_cast<std::size_t>(grid.nodes_x)) * grid.cell_x;
            nodeY[k] = grid.y_min + static_cast<double>(k / static_cast<std::size_t>(grid.nodes_x)) * grid.cell_y;
        }
        const std::size_t columns = static_cast<std::size_t>(grid.nodes_x);
        covariates = CovariatesAt(run, nodeX, nodeY, [columns](std::size_t k) {
            return "node (column " + std::to_string(k % columns) + ", row " + std::to_string(k / columns) + ")";
        });
        for (const std::vector<double>& c : covariates) targetCovariates.push_back(c.data());
        p.target_covariates = targetCovariates.data();
    }
    p.estimate = estimate.data();
    p.variance = variance.empty() ? nullptr : variance.data();
    for (const std::string& warning : run.warnings) std::fprintf(stderr, "mosaro: warning: %s\n", warning.c_str());
    double* const outputsOf[] = {p.estimate, p.variance};
    const PredictionResult result =
        Predict(p, static_cast<long long>(count), outputsOf, 2, run.allow_empty, options.quiet, "nodes");
    if (result.no_model || result.report.no_data == result.report.targets)
        std::fprintf(stderr, "mosaro: warning: no node has an estimate; every node is no-data (--allow-empty)\n");

    const Georeference where{
        grid.x_min, grid.y_min, grid.cell_x, grid.cell_y, outputs.crs.empty() ? run.samples.crs_wkt : crsWkt, true};
    ThrowIfInterrupted();
    WriteRaster(RasterView{nullptr, grid.nodes_x, grid.nodes_y, estimate.data()}, where, outputs.grid, gridPath);
    ThrowIfInterrupted();
    if (!variance.empty())
        WriteRaster(RasterView{nullptr, grid.nodes_x, grid.nodes_y, variance.data()}, where, outputs.variance,
                    variancePath);
    ThrowIfInterrupted();
    if (!picturePath.empty()) {
        std::copy(estimate.begin(), estimate.end(), pictureNodes.begin());
        DrawRaster(picture, RequirePictureFormat(outputs.picture), picturePath);
    }
    ThrowIfInterrupted();
    staged.Commit();

    PrintGridReport(options, outputs, run, result, grid, start);
    return kExitOk;
}

// The legacy request: --legacy (today's bits), indicator and co-kriging, or
// --arithmetic, --fit and the three-number --model.
int RunLegacyGrid(const RunOptions& options, const RunMode& mode, const GridOutputs& outputs) {
    const auto start = std::chrono::steady_clock::now();
    CheckOutputs(outputs);
    const bool accurate = mode.arithmetic == MOSARO_ARITHMETIC_ACCURATE;
    if (!outputs.condition_mask.empty() && !accurate)
        throw ToolError("--condition-mask needs --arithmetic accurate (the legacy arithmetic estimates no condition)");
    if (!outputs.variance.empty() && ParseMethod(options.method) == MOSARO_METHOD_INDICATOR)
        throw ToolError("--variance: indicator kriging gives no kriging variance (it would be NaN everywhere)");
    const std::string crsWkt = outputs.crs.empty() ? "" : CrsToWkt(outputs.crs);
    StagedOutputs staged;
    const std::string gridPath = staged.Stage(outputs.grid);
    const std::string variancePath = outputs.variance.empty() ? "" : staged.Stage(outputs.variance);
    const std::string picturePath = outputs.picture.empty() ? "" : staged.Stage(outputs.picture);
    const std::string maskPath = outputs.condition_mask.empty() ? "" : staged.Stage(outputs.condition_mask);

    PreparedRun run;
    PrepareRun(options, mode, run);
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
    if (!picturePath.empty())
        picture = PictureOf(run.grid, run.samples, grid.data(),
                            run.samples.value_names[0] + ", " + MethodDescription(run.method));
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
        const double seconds = Seconds(start);
        std::printf("%s\n", DescribeSamples(options, run.samples, true).c_str());
        std::printf("model (%s):\n", !run.models.empty()             ? "given"
                                     : mode.fit == MOSARO_FIT_ROBUST ? "robust fit"
                                                                     : "legacy fit");
        if (report) PrintModels(stdout, *report, run.method);
        if (report) PrintNodeSummaries(stdout, *report);
        std::printf("grid: %d x %d nodes, cell %g x %g, first node (%g, %g)\n", run.grid.nodes_x, run.grid.nodes_y,
                    static_cast<double>(run.grid.cell_x), static_cast<double>(run.grid.cell_y),
                    static_cast<double>(run.grid.x_min), static_cast<double>(run.grid.y_min));
        std::printf("%s with %d neighbours, %s arithmetic, in %.2f s\n", MethodDescription(run.method), run.neighbours,
                    ArithmeticName(mode.arithmetic), seconds);
        PrintWritten(outputs);
    }
    return kExitOk;
}

}  // namespace

int RunGridCommand(const RunOptions& options, const GridOutputs& outputs) {
    const RunMode mode = ChooseMode(options);
    if (mode.legacy_request && outputs.tile > 0)
        throw ToolError(
            "--tile needs the prediction API, which computes any window of a grid with the whole grid's "
            "bits; the legacy request (" +
            mode.why + ") has no windows: it grids in one piece, in float, from variograms laid on the grid's cells");
    return mode.legacy_request ? RunLegacyGrid(options, mode, outputs) : RunModernGrid(options, outputs);
}

}  // namespace mosaro::tool
