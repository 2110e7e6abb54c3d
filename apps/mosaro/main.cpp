// mosaro: grid point samples by kriging from the command line.
#include <cpl_error.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "Commands.h"
#include "Picture.h"
#include "Progress.h"
#include "ToolError.h"

namespace {

using namespace mosaro::tool;

// The options `grid` and `variogram` share: input, columns, method, grid.
void AddRunOptions(CLI::App& command, RunOptions& o) {
    command.add_option("INPUT", o.input, "CSV with a header, or any vector file GDAL opens (GeoPackage, ...)")
        ->required();
    command.add_option("--x", o.columns.x, "column of x (default: point geometries, or a column x/easting/lon)");
    command.add_option("--y", o.columns.y, "column of y");
    command.add_option("--value", o.columns.values,
                       "column(s) to grid (default: the first other numeric one); co-kriging takes several, "
                       "the primary variable first");
    command
        .add_option("-m,--method", o.method,
                    "ordinary, universal-x, universal-y, universal-xy, universal-xx, universal-yy, "
                    "universal-xxyy, lognormal, lognormal3, indicator, cokriging, or a code 1 to 11")
        ->capture_default_str();
    command.add_option("--thresholds", o.thresholds, "indicator kriging: the thresholds");
    command.add_option("--shift", o.shift, "three-parameter lognormal kriging: the shift added to every value");
    command.add_option("--extent", o.grid.extent, "XMIN YMIN XMAX YMAX (default: the samples' bounding box)")
        ->expected(4);
    command.add_option("--cell", o.grid.cell, "node spacing DX [DY] (default: the longer side / 100)")->expected(1, 2);
    command.add_option("--size", o.grid.size, "node counts NX NY instead of --cell")->expected(2);
    command.add_option("-n,--neighbours", o.neighbours, "samples per node (lowered to the sample count)")
        ->capture_default_str();
    command.add_option("--threads", o.threads, "threads (0: every core); results never depend on it")
        ->capture_default_str();
    command
        .add_option("--fit", o.fit,
                    "automatic variogram fit: legacy (the legacy grids, bit for bit) or robust (weighted "
                    "least squares; always finite when two lag classes have pairs)")
        ->capture_default_str();
    command.add_flag("-q,--quiet", o.quiet, "no progress bar and no report");
}

// The options a run of the sweep's systems reads: `grid` and `cv`.
void AddSolveOptions(CLI::App& command, RunOptions& o) {
    command
        .add_option("--arithmetic", o.arithmetic,
                    "legacy (the legacy grids, bit for bit) or accurate (nearest samples by exact distance, "
                    "systems solved in double, no cut-off; nodes it cannot estimate are no-data)")
        ->capture_default_str();
    command
        .add_option("--model", o.model,
                    "give the spherical model instead of fitting it: NUGGET PARTIAL_SILL RANGE, once for "
                    "both directions or for x then y")
        ->expected(3, 6);
}

int Run(int argc, char** argv) {
    CLI::App app{"mosaro: grid scattered samples by kriging"};
    app.set_version_flag("--version", mosaro_version());
    app.require_subcommand(1);

    RunOptions gridOptions;
    GridOutputs gridOutputs;
    CLI::App* grid = app.add_subcommand("grid", "grid samples onto a regular grid");
    AddRunOptions(*grid, gridOptions);
    grid->add_option("-o,--output", gridOutputs.grid, "grid file: .tif, .asc, .nc, .img, or .grd (binary grid)")
        ->required();
    grid->add_option("--variance", gridOutputs.variance, "also write the kriging variance, in the same way");
    grid->add_option("--png", gridOutputs.picture, "also draw the grid as a picture (.png or .svg)");
    grid->add_option("--crs", gridOutputs.crs,
                     "coordinate reference system of the output, e.g. EPSG:28992 "
                     "(default: the input's)");
    AddSolveOptions(*grid, gridOptions);
    grid->add_option("--condition-mask", gridOutputs.condition_mask,
                     "with --arithmetic accurate: also write a grid that is 1 where a node is no-data or its system "
                     "ill-conditioned (reciprocal condition below 1e-10), 0 elsewhere");
    grid->footer(
        "Examples:\n"
        "  mosaro grid data/meuse.csv --value zinc --method lognormal --cell 40 --crs EPSG:28992 \\\n"
        "      -o zinc.tif --variance zinc-variance.tif --png zinc.png\n"
        "  mosaro grid wells.gpkg --value depth --size 200 150 --model 0 1.5 800 -o depth.asc\n"
        "  mosaro grid soil.csv --method cokriging --value nickel --value chromium -o nickel.grd");

    RunOptions variogramOptions;
    VariogramOutputs variogramOutputs;
    CLI::App* variogram =
        app.add_subcommand("variogram", "print the experimental directional variograms and the fitted models");
    AddRunOptions(*variogram, variogramOptions);
    variogram->add_option("--plot", variogramOutputs.plot, "draw them (.png or .svg)");
    variogram->footer("Example:\n  mosaro variogram data/meuse.csv --value zinc --cell 40 --plot zinc-variogram.png");

    RunOptions cvOptions;
    CrossValidationOutputs cvOutputs;
    CLI::App* cv = app.add_subcommand(
        "cv", "cross-validate: estimate every sample from the others and summarise the errors, per method");
    AddRunOptions(*cv, cvOptions);
    AddSolveOptions(*cv, cvOptions);
    cv->get_option("--method")
        ->description(
            "one method, or several separated by commas (one summary row each); names as for grid, but not indicator");
    cv->add_option("--folds", cvOutputs.folds, "0: leave-one-out; K >= 2: K folds, each estimated from the others")
        ->capture_default_str();
    cv->add_option("--seed", cvOutputs.seed, "seed of the shuffle that deals samples into folds")
        ->capture_default_str();
    cv->add_option("-o,--output", cvOutputs.residuals,
                   "CSV of x, y, observed, estimate, variance, residual, standardised_residual, fold (one method)");
    cv->add_option("--plot", cvOutputs.plot,
                   "draw observed against estimated and the residuals on the map (.png or .svg; one method)");
    cv->footer(
        "Examples:\n"
        "  mosaro cv data/meuse.csv --value zinc --cell 40 --method ordinary,universal-xy,lognormal\n"
        "  mosaro cv data/meuse.csv --value zinc --cell 40 --method lognormal --folds 10 --seed 7 \\\n"
        "      -o zinc-cv.csv --plot zinc-cv.png");

    std::string infoPath;
    CLI::App* info = app.add_subcommand("info", "describe a binary grid file (.grd)");
    info->add_option("GRID", infoPath, "the grid file")->required();
    info->footer("Example:\n  mosaro info zinc.grd");

    ConvertOptions convert;
    CLI::App* convertCommand = app.add_subcommand("convert", "write a binary grid file in another format");
    convertCommand->add_option("GRID", convert.input, "the grid file")->required();
    convertCommand->add_option("OUTPUT", convert.output, ".tif, .asc, .nc, .img or .grd")->required();
    convertCommand
        ->add_option("--origin", convert.origin,
                     "map coordinates X Y of the first node (the grid file does not store them; "
                     "default 0 0)")
        ->expected(2);
    convertCommand->add_option("--crs", convert.crs, "coordinate reference system, e.g. EPSG:28992");
    convertCommand->footer("Example:\n  mosaro convert zinc.grd zinc.tif --origin 178605 329714 --crs EPSG:28992");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    if (*grid) return RunGridCommand(gridOptions, gridOutputs);
    if (*cv) return RunCrossValidationCommand(cvOptions, cvOutputs);
    if (*variogram) return RunVariogramCommand(variogramOptions, variogramOutputs);
    if (*info) return RunInfoCommand(infoPath);
    return RunConvertCommand(convert);
}

}  // namespace

int main(int argc, char** argv) {
    // GDAL's own messages would add lines of their own; the tool reports
    // each failure once, through the message it keeps.
    CPLSetErrorHandler(CPLQuietErrorHandler);
    int status = kExitFailure;
    // Caught from the start, so that Ctrl-C while the samples load or the
    // files are written also removes the staging folder on the way out.
    const InterruptCatcher interrupts;
    try {
        status = Run(argc, argv);
    } catch (const ToolError& e) {
        std::fprintf(stderr, "mosaro: %s\n", e.what());
        status = e.Status();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mosaro: %s\n", e.what());
    }
    // The font caches cairo keeps would otherwise count as leaks.
    ReleasePictureCaches();
    return status;
}
