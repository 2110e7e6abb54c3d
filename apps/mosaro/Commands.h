// The tool's commands; each returns the exit status or throws ToolError.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "RunSetup.h"

namespace mosaro::tool {

struct GridOutputs {
    std::string grid;            // -o
    std::string variance;        // --variance
    std::string picture;         // --png (.png or .svg)
    std::string crs;             // --crs
    std::string condition_mask;  // --condition-mask (accurate arithmetic)
    int tile = 0;                // --tile: the prediction API in N x N windows, into a tiled GeoTIFF
};
int RunGridCommand(const RunOptions& options, const GridOutputs& outputs);

struct VariogramOutputs {
    std::string plot;   // --plot (.png or .svg)
    std::string cloud;  // --cloud (CSV of pairs)
    std::string map;    // --map (a raster)
    bool json = false;  // --json: the classes and the model on standard output
};
int RunVariogramCommand(const RunOptions& options, const VariogramOutputs& outputs);

struct CrossValidationOutputs {
    int folds = 0;  // 0: leave-one-out
    unsigned long long seed = 0;
    std::string residuals;  // -o, CSV
    std::string plot;       // --plot (.png or .svg)
};
// `options.method` may list several methods, separated by commas.
int RunCrossValidationCommand(const RunOptions& options, const CrossValidationOutputs& outputs);

struct PredictOutputs {
    std::string targets;    // the points' file
    SampleColumns columns;  // --target-x, --target-y
    std::string output;     // -o: the targets with the estimates, any OGR format by the extension
};
int RunPredictCommand(const RunOptions& options, const PredictOutputs& outputs);

struct SimulateOutputs {
    int realisations = 0;
    unsigned long long seed = 0;
    std::optional<int> nmax_simulated;  // -1: one neighbourhood shared with the samples
    std::optional<double> max_distance;
    bool unconditional = false;  // no samples: --model, --extent and --mean
    double mean = 0;
    std::string output;               // -o: a GeoTIFF with a band per realisation, or a pattern with {}
    std::string etype;                // --etype: mean and variance over the realisations, two bands
    std::vector<std::string> exceed;  // --exceed T FILE, repeatable: pairs as typed
    std::string crs;
};
int RunSimulateCommand(const RunOptions& options, const SimulateOutputs& outputs);

int RunInfoCommand(const std::string& grid_file);

struct ConvertOptions {
    std::string input;
    std::string output;
    std::vector<double> origin{0, 0};  // X Y of the first node (the grid file stores none)
    std::string crs;
};
int RunConvertCommand(const ConvertOptions& options);

}  // namespace mosaro::tool
