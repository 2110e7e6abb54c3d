// What `grid`, `variogram`, `predict` and `cv` share: the options, which of
// the library's two interfaces a run goes through, and for the legacy
// request the samples loaded and checked against the method, the grid
// chosen, and the request filled from both (the prediction API's side is in
// ModernRun.h).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "GridGeometry.h"
#include "Picture.h"
#include "SampleLoader.h"
#include "mosaro.h"

namespace mosaro::tool {

constexpr int kDefaultNeighbours = MOSARO_DEFAULT_NEIGHBOUR_COUNT;

// The options only the prediction API reads (kriging kind, drift,
// covariates, search, blocks, the variogram the fit sees).
struct KrigingChoice {
    std::string kind;                     // "ordinary" or "simple"; empty: ordinary
    std::optional<double> mean;           // simple kriging
    std::string drift;                    // "x,y,xy,x2,y2", any subset
    std::vector<std::string> covariates;  // NAME=RASTER (grid); NAME or NAME=RASTER (predict)
    std::vector<double> block;            // DX DY
    std::vector<int> block_points;        // NX NY
    std::optional<int> nmin;
    std::optional<double> max_distance;
    bool anisotropic_search = false;
    std::optional<int> octants;    // N per sector
    std::optional<int> quadrants;  // N per sector
    bool allow_empty = false;
    // The experimental variogram and the fit.
    std::optional<double> cutoff;
    std::optional<double> width;
    std::vector<double> directions;  // azimuths (variogram command)
    std::optional<double> tolerance;
    std::optional<double> bandwidth;
    std::string estimator;  // "classic" or "cressie"; empty: classic
    std::string fit_model;  // template; empty: the library's ("Nug + Sph")
    std::optional<int> fit_weights;

    // The option names given, for the refusals of the legacy request.
    std::vector<std::string> Given() const;
};

struct RunOptions {
    std::string input;
    SampleColumns columns;
    std::string method = "ordinary";
    std::vector<double> thresholds;  // indicator kriging
    std::optional<double> shift;     // three-parameter lognormal kriging
    std::optional<int> neighbours;   // -n, --neighbours, --nmax
    int threads = 0;
    // --model: gstat's notation in one string, or the legacy three numbers
    // (once, or for x then y), as typed.
    std::vector<std::string> model;
    bool legacy = false;                    // --legacy
    std::optional<std::string> fit;         // "legacy" or "robust" (the legacy request)
    std::optional<std::string> arithmetic;  // "legacy" or "accurate" (the legacy request)
    std::optional<double> nodata;           // --nodata: a value that means "none"
    GridChoice grid;
    KrigingChoice kriging;
    bool quiet = false;
};

// Which interface of the library a run goes through, and why.
struct RunMode {
    bool legacy_request = false;  // false: the prediction API
    mosaro_arithmetic arithmetic = MOSARO_ARITHMETIC_LEGACY;
    mosaro_fit fit = MOSARO_FIT_LEGACY;
    std::string why;  // "--legacy", "indicator kriging", "--arithmetic", ...
};

// The legacy request runs with --legacy (its arithmetic and fit then
// default to legacy, today's bits), for indicator and co-kriging, which
// only it has, and when --arithmetic, --fit or a three-number --model asks
// for it (the arithmetic and fit then default to accurate and robust).
// `cv` always runs it with the legacy defaults. Throws ToolError for a
// modern-only option on a legacy run, naming both.
RunMode ChooseMode(const RunOptions& options, bool cross_validation = false);

// The --model option: the legacy request's spherical models (three numbers
// once or twice), or a model in the notation (`notation` non-empty).
struct ModelOption {
    std::vector<mosaro_variogram_model> legacy;
    std::string notation;
};
// Throws ToolError for a model neither way reads.
ModelOption ReadModelOption(const std::vector<std::string>& words);

// Owns everything the request points into, so it is neither copied nor moved.
struct PreparedRun {
    PreparedRun() = default;
    PreparedRun(const PreparedRun&) = delete;
    PreparedRun& operator=(const PreparedRun&) = delete;

    SampleTable samples;
    // The samples as the legacy request takes them, in float.
    std::vector<float> x, y;
    std::vector<std::vector<float>> values;
    RunMode mode;
    GridGeometry grid;
    mosaro_method method = MOSARO_METHOD_ORDINARY;
    int neighbours = kDefaultNeighbours;
    std::vector<std::string> warnings;
    std::vector<float> thresholds;
    std::vector<const float*> extra_values;
    std::vector<mosaro_variogram_model> models;
    mosaro_request request{};  // every field but the outputs and progress
};

// "legacy" or "accurate"; throws ToolError naming both.
mosaro_arithmetic ParseArithmetic(const std::string& text);

// Throws ToolError for anything the library would refuse, naming the file,
// row or option.
void PrepareRun(const RunOptions& options, const RunMode& mode, PreparedRun& run);

struct ReportDeleter {
    void operator()(mosaro_report* report) const { mosaro_report_free(report); }
};
using ReportPtr = std::unique_ptr<mosaro_report, ReportDeleter>;

struct SamplesDeleter {
    void operator()(mosaro_samples* samples) const { mosaro_samples_free(samples); }
};
using SamplesPtr = std::unique_ptr<mosaro_samples, SamplesDeleter>;

// The request's samples prepared once, for the calls that take a handle;
// throws ToolError with the library's message.
SamplesPtr PrepareSamples(const mosaro_request& request);

// Runs `request` (its outputs set) with the progress bar and Ctrl-C, and
// hands out the model report. Throws ToolError for a refusal or a
// cancellation; warns on standard error when the fit gave no finite model.
ReportPtr RunRequest(mosaro_request request, bool quiet);

// The format of a picture output; throws ToolError naming the ones there are.
PictureFormat RequirePictureFormat(const std::string& path);

// "155 samples read from F (columns 'x', 'y'; value 'zinc'), 2 skipped (row
// 7: ...), 1 blank filled from the sample before it" (the legacy request)
// or "2 samples without a value left out" (the prediction API).
std::string DescribeSamples(const RunOptions& options, const SampleTable& samples, bool legacy_blanks);

// The arithmetic's name as the report prints it.
const char* ArithmeticName(mosaro_arithmetic arithmetic);

}  // namespace mosaro::tool
