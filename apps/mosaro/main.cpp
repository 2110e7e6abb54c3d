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

// The columns, the method (with `method`) and the search: also
// `predict`'s, which has no grid, and `simulate`'s, which has no method.
void AddSampleOptions(CLI::App& command, RunOptions& o, bool method = true) {
    command.add_option("--x", o.columns.x, "column of x (default: point geometries, or a column x/easting/lon)");
    command.add_option("--y", o.columns.y, "column of y");
    command.add_option("--value", o.columns.values,
                       "column(s) to grid (default: the first other numeric one); co-kriging takes several, "
                       "the primary variable first");
    if (method) {
        command
            .add_option("-m,--method", o.method,
                        "ordinary, universal-x, universal-y, universal-xy, universal-xx, universal-yy, "
                        "universal-xxyy, lognormal, lognormal3, indicator, cokriging, or a code 1 to 11. Indicator "
                        "and co-kriging exist only in the legacy request: without --legacy they run there with the "
                        "accurate arithmetic and the robust fit")
            ->capture_default_str();
        command.add_option("--thresholds", o.thresholds, "indicator kriging: the thresholds");
        command.add_option("--shift", o.shift, "three-parameter lognormal kriging: the shift added to every value");
    }
    command.add_option("--nodata", o.nodata,
                       "a value that means \"no value\" (as do an empty cell, NaN and -1e38): left out and counted "
                       "(with --legacy: filled from the sample before)");
    command.add_option(
        "-n,--neighbours,--nmax", o.neighbours,
        "the nearest samples each estimate uses (default " + std::to_string(MOSARO_DEFAULT_NEIGHBOUR_COUNT) + ")");
    command.add_option("--threads", o.threads, "threads (0: every core); results never depend on it")
        ->capture_default_str();
    command.add_flag("-q,--quiet", o.quiet, "no progress bar and no report");
}

// Where the nodes go: `grid`, `variogram`, `cv` and `simulate`.
void AddGridOptions(CLI::App& command, GridChoice& g) {
    command.add_option("--extent", g.extent, "XMIN YMIN XMAX YMAX (default: the samples' bounding box)")->expected(4);
    command.add_option("--cell", g.cell, "node spacing DX [DY] (default: the longer side / 100)")->expected(1, 2);
    command.add_option("--size", g.size, "node counts NX NY instead of --cell")->expected(2);
}

// The options every command that reads samples shares: input, columns,
// method, grid, neighbours.
void AddRunOptions(CLI::App& command, RunOptions& o) {
    command.add_option("INPUT", o.input, "CSV with a header, or any vector file GDAL opens (GeoPackage, ...)")
        ->required();
    AddSampleOptions(command, o);
    AddGridOptions(command, o.grid);
}

void AddLegacyOption(CLI::App& command, RunOptions& o) {
    command.add_flag("--legacy", o.legacy,
                     "the legacy request with its legacy arithmetic, directional variograms and legacy fit: the "
                     "grids of earlier versions, bit for bit");
}

void AddFitOption(CLI::App& command, RunOptions& o) {
    command.add_option("--fit", o.fit,
                       "the legacy request's automatic fit: legacy (the legacy grids, bit for bit) or robust "
                       "(weighted least squares); giving it runs the legacy request");
}

void AddModelOption(CLI::App& command, RunOptions& o) {
    command
        .add_option("--model", o.model,
                    "the model instead of a fit, in gstat's notation (\"0.05 Nug + 0.59 Sph(897)\", \"1.2 Mat(300, "
                    "kappa=1.5)\", \"0.6 Exp(500, azimuth=45, ratio=0.4)\"); or the legacy request's spherical "
                    "model NUGGET PARTIAL_SILL RANGE, once or for x then y (runs the legacy request)")
        ->expected(1, 6);
}

// The options a run of the legacy request's sweep reads: `grid` and `cv`.
void AddArithmeticOption(CLI::App& command, RunOptions& o) {
    command.add_option("--arithmetic", o.arithmetic,
                       "the legacy request's arithmetic: legacy (the legacy grids, bit for bit) or accurate (nearest "
                       "samples by exact distance, systems solved in double); giving it runs the legacy request");
}

// How the experimental variogram that the fit sees is formed, and the fit.
void AddVariogramOptions(CLI::App& command, KrigingChoice& k) {
    command.add_option("--cutoff", k.cutoff, "largest pair distance (default: a third of the bounding-box diagonal)");
    command.add_option("--width", k.width, "lag class width (default: cutoff / 15)");
    command.add_option("--estimator", k.estimator, "classic (default) or cressie (robust, Cressie and Hawkins)");
    command.add_option("--fit-model", k.fit_model,
                       "the template fitted when no --model is given (default \"Nug + Sph\"; values written are "
                       "fixed, e.g. \"Nug + Sph + Exp\", \"0.1 Nug + Sph(~900)\")");
    command.add_option("--fit-weights", k.fit_weights,
                       "weights of the fit, gstat's fit.method: 1 pairs, 2 pairs / model^2, 6 equal, 7 pairs / lag^2 "
                       "(default)");
}

// The prediction API's kriging options: `grid` and `predict`.
void AddKrigingOptions(CLI::App& command, KrigingChoice& k, bool predict) {
    command.add_option("--kind", k.kind, "ordinary (default: unknown mean) or simple (known mean, --mean)");
    command.add_option("--mean", k.mean, "simple kriging: the mean (of the logarithms for lognormal kriging)");
    command.add_option("--drift", k.drift,
                       "polynomial drift terms, any of x,y,xy,x2,y2 separated by commas (universal kriging); added "
                       "to a universal --method's");
    command.add_option("--covariate", k.covariates,
                       predict ? "external drift: NAME (a column of the samples and of the targets) or NAME=RASTER "
                                 "(at the targets read from the raster, bilinear); repeatable"
                               : "external drift: NAME=RASTER, NAME a column of the samples; the raster (GDAL, band "
                                 "1) is sampled bilinearly at every node, and a node it does not cover is an error; "
                                 "repeatable");
    command.add_option("--block", k.block, "block kriging: blocks DX DY centred on the targets")->expected(2);
    command.add_option("--block-points", k.block_points, "points discretising a block, NX NY (default 4 4)")
        ->expected(2);
    command.add_option("--nmin", k.nmin, "fewer samples in reach: no estimate (no-data, counted)");
    command.add_option("--maxdist", k.max_distance, "only samples within this distance");
    command.add_flag("--anisotropic-search", k.anisotropic_search,
                     "measure the search distances in the model's (first structure's) anisotropy");
    command.add_option("--octants", k.octants, "at most N samples from each of 8 sectors around the target");
    command.add_option("--quadrants", k.quadrants, "at most N samples from each of 4 sectors around the target");
    command.add_flag("--allow-empty", k.allow_empty,
                     "write the outputs even when no target gets an estimate (all no-data) instead of failing");
    AddVariogramOptions(command, k);
}

int Run(int argc, char** argv) {
    CLI::App app{"mosaro: grid scattered samples by kriging"};
    app.set_version_flag("--version", mosaro_version());
    app.require_subcommand(1);

    RunOptions gridOptions;
    GridOutputs gridOutputs;
    CLI::App* grid = app.add_subcommand("grid", "grid samples onto a regular grid");
    AddRunOptions(*grid, gridOptions);
    grid->add_option("-o,--output", gridOutputs.grid, "grid file: .tif, .asc, .nc, .img, or .grd (binary grid, floats)")
        ->required();
    grid->add_option("--variance", gridOutputs.variance, "also write the kriging variance, in the same way");
    grid->add_option("--png", gridOutputs.picture, "also draw the grid as a picture (.png or .svg)");
    grid->add_option("--crs", gridOutputs.crs,
                     "coordinate reference system of the output, e.g. EPSG:28992 "
                     "(default: the input's)");
    AddModelOption(*grid, gridOptions);
    AddKrigingOptions(*grid, gridOptions.kriging, false);
    AddLegacyOption(*grid, gridOptions);
    AddArithmeticOption(*grid, gridOptions);
    AddFitOption(*grid, gridOptions);
    grid->add_option("--condition-mask", gridOutputs.condition_mask,
                     "with --arithmetic accurate: also write a grid that is 1 where a node is no-data or its system "
                     "ill-conditioned (reciprocal condition below 1e-10), 0 elsewhere");
    grid->add_option("--tile", gridOutputs.tile,
                     "compute the grid in windows of N x N nodes (a multiple of 16), each from only the samples it "
                     "needs, into a tiled GeoTIFF, one row of tiles in memory at a time: the same bits as one piece "
                     "(the prediction API only; a fitted model is fitted once, from every sample)");
    grid->footer(
        "By default the prediction API grids: an omnidirectional variogram (gstat's cutoff and width), a fitted\n"
        "Nug + Sph, estimates in double (no-data where a node has none). --legacy gives the grids of earlier\n"
        "versions bit for bit.\n\n"
        "Examples:\n"
        "  mosaro grid data/meuse.csv --value zinc --method lognormal --cell 40 --crs EPSG:28992 \\\n"
        "      -o zinc.tif --variance zinc-variance.tif --png zinc.png\n"
        "  mosaro grid data/meuse.csv --value zinc --method lognormal --cell 40 \\\n"
        "      --model \"0.05 Nug + 0.59 Sph(897)\" --block 40 40 -o zinc-blocks.tif\n"
        "  mosaro grid wells.gpkg --value depth --size 200 150 --drift x,y --nmax 30 -o depth.asc\n"
        "  mosaro grid data/meuse.csv --value zinc --method lognormal --cell 40 --legacy -o zinc-legacy.tif\n"
        "  mosaro grid soil.csv --method cokriging --value nickel --value chromium -o nickel.grd");

    RunOptions predictOptions;
    PredictOutputs predictOutputs;
    CLI::App* predict = app.add_subcommand(
        "predict", "estimate at the points of a file and write them back with estimate and variance columns");
    predict->add_option("SAMPLES", predictOptions.input, "the samples: CSV or any vector file GDAL opens")->required();
    predict->add_option("TARGETS", predictOutputs.targets, "the points to estimate at: CSV or any vector file")
        ->required();
    predict
        ->add_option("-o,--output", predictOutputs.output,
                     "the targets with estimate and variance columns (log_estimate, log_variance for lognormal "
                     "kriging); the format by the extension: .csv, .gpkg, .geojson, .shp, ...")
        ->required();
    AddSampleOptions(*predict, predictOptions);
    // One value column: a list would swallow the TARGETS that may follow.
    predict->get_option("--value")->expected(1)->allow_extra_args(false)->description(
        "column to estimate (default: the first other numeric one)");
    predict->add_option("--target-x", predictOutputs.columns.x, "column of the targets' x (default: as for --x)");
    predict->add_option("--target-y", predictOutputs.columns.y, "column of the targets' y");
    AddModelOption(*predict, predictOptions);
    AddKrigingOptions(*predict, predictOptions.kriging, true);
    predict->footer(
        "Examples:\n"
        "  mosaro predict data/meuse.csv wells.csv --value zinc --method lognormal -o wells-zinc.csv\n"
        "  mosaro predict soil.gpkg sites.gpkg --value lead --covariate dist -o sites-lead.gpkg");

    RunOptions variogramOptions;
    VariogramOutputs variogramOutputs;
    CLI::App* variogram = app.add_subcommand(
        "variogram", "print the experimental variograms and the model fitted to them, as text or JSON, and plot them");
    AddRunOptions(*variogram, variogramOptions);
    AddVariogramOptions(*variogram, variogramOptions.kriging);
    variogram
        ->add_option("--direction", variogramOptions.kriging.directions,
                     "azimuths AZ[,AZ...] in degrees clockwise from north (default: omnidirectional)")
        ->delimiter(',');
    variogram->add_option("--tolerance", variogramOptions.kriging.tolerance,
                          "degrees either side of a direction (default 90 / the number of directions)");
    variogram->add_option("--bandwidth", variogramOptions.kriging.bandwidth,
                          "largest distance of a pair's lag from a direction's axis (default: none)");
    variogram->add_option("--cloud", variogramOutputs.cloud,
                          "write every pair within the cutoff as CSV: i, j (sample rows), distance, gamma");
    variogram->add_option("--map", variogramOutputs.map,
                          "write the variogram map (gamma over lag vectors of the width) as a raster: .tif, .asc, ...");
    variogram->add_flag("--json", variogramOutputs.json,
                        "print the classes of every direction and the fitted model as JSON instead of text");
    variogram->add_option("--plot", variogramOutputs.plot, "draw them (.png or .svg)");
    AddLegacyOption(*variogram, variogramOptions);
    AddFitOption(*variogram, variogramOptions);
    variogram->footer(
        "By default: the experimental variogram as gstat forms it (omnidirectional, or --direction) and a fitted\n"
        "Nug + Sph; with --legacy the legacy request's directional variograms and both of its fits.\n\n"
        "Examples:\n"
        "  mosaro variogram data/meuse.csv --value zinc --method lognormal --plot zinc-variogram.png\n"
        "  mosaro variogram data/meuse.csv --value zinc --method lognormal --direction 0,45,90,135 \\\n"
        "      --fit-model \"Nug + Sph + Exp\" --json\n"
        "  mosaro variogram data/meuse.csv --value zinc --cell 40 --legacy --plot zinc-legacy-variogram.png");

    RunOptions cvOptions;
    CrossValidationOutputs cvOutputs;
    CLI::App* cv = app.add_subcommand(
        "cv", "cross-validate: estimate every sample from the others and summarise the errors, per method");
    AddRunOptions(*cv, cvOptions);
    AddArithmeticOption(*cv, cvOptions);
    AddFitOption(*cv, cvOptions);
    AddModelOption(*cv, cvOptions);
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
        "cv runs the legacy request, with the legacy arithmetic and fit unless --arithmetic and --fit say\n"
        "otherwise; --model takes three numbers, or a nugget and one isotropic Sph in the notation.\n\n"
        "Examples:\n"
        "  mosaro cv data/meuse.csv --value zinc --cell 40 --method ordinary,universal-xy,lognormal\n"
        "  mosaro cv data/meuse.csv --value zinc --cell 40 --method lognormal --folds 10 --seed 7 \\\n"
        "      -o zinc-cv.csv --plot zinc-cv.png");

    RunOptions simulateOptions;
    SimulateOutputs simulateOutputs;
    CLI::App* simulate = app.add_subcommand(
        "simulate",
        "sequential Gaussian simulation: equally likely grids that honour the samples, one per realisation");
    simulate->add_option("SAMPLES", simulateOptions.input, "the samples: CSV or any vector file GDAL opens");
    AddSampleOptions(*simulate, simulateOptions, false);
    simulate->get_option("--value")->expected(1)->allow_extra_args(false)->description(
        "column to simulate (default: the first other numeric one)");
    simulate->get_option("--nmax")->description("the nearest samples each node uses (default 16)");
    simulate->get_option("--nodata")
        ->description("a value that means \"no value\" (as do an empty cell, NaN and -1e38): left out and counted");
    AddGridOptions(*simulate, simulateOptions.grid);
    simulate
        ->add_option("--realisations", simulateOutputs.realisations,
                     "how many realisations (each is one band, or one file)")
        ->required();
    simulate->add_option("--seed", simulateOutputs.seed, "seed: the same seed gives the same bits on any machine")
        ->capture_default_str();
    simulate->add_option("--nmax-simulated", simulateOutputs.nmax_simulated,
                         "the nearest nodes simulated before a node that it also uses (default 16; -1: --nmax "
                         "counts samples and simulated nodes together)");
    simulate->add_option("--maxdist", simulateOutputs.max_distance,
                         "only neighbours within this distance (default: three times the model's largest range)");
    AddModelOption(*simulate, simulateOptions);
    simulate->get_option("--model")->description(
        "the model of the normal scores in gstat's notation (\"0.1 Nug + 0.9 Sph(900)\"); default: fitted to "
        "their experimental variogram");
    AddVariogramOptions(*simulate, simulateOptions.kriging);
    simulate->add_flag("--unconditional", simulateOutputs.unconditional,
                       "no samples: --mean plus a Gaussian field of --model, on the grid of --extent");
    simulate->add_option("--mean", simulateOutputs.mean, "with --unconditional: the mean of the field")
        ->capture_default_str();
    simulate
        ->add_option("-o,--output", simulateOutputs.output,
                     "a GeoTIFF (.tif) with one band per realisation, or a name with {} for one file per "
                     "realisation ({} becomes 1, 2, ..., padded to the count's digits; any raster format)")
        ->required();
    simulate->add_option("--etype", simulateOutputs.etype,
                         "also write the mean and the variance over the realisations, bands 1 and 2 of a .tif");
    simulate
        ->add_option("--exceed", simulateOutputs.exceed,
                     "T FILE: also write the share of realisations above T at every node; repeatable")
        ->expected(2)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    simulate->add_option("--crs", simulateOutputs.crs,
                         "coordinate reference system of the outputs (default: the input's)");
    simulate->footer(
        "Examples:\n"
        "  mosaro simulate data/meuse.csv --value zinc --cell 40 --realisations 100 --seed 1 -o zinc-sims.tif \\\n"
        "      --etype zinc-etype.tif --exceed 500 zinc-above-500.tif\n"
        "  mosaro simulate data/meuse.csv --value zinc --cell 40 --realisations 10 -o 'zinc-{}.asc'\n"
        "  mosaro simulate --unconditional --model \"1 Exp(300)\" --extent 0 0 5000 5000 --cell 25 \\\n"
        "      --realisations 5 -o field.tif");

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
    if (*predict) return RunPredictCommand(predictOptions, predictOutputs);
    if (*simulate) return RunSimulateCommand(simulateOptions, simulateOutputs);
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
