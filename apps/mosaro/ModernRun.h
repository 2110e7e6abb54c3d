// The prediction API's side of a run (`grid`, `predict`, `variogram`
// without --legacy): samples in double with missing values left out, the
// method mapped onto a kind, a drift and the lognormal transform, the
// model given in the notation or fitted, the search and the blocks; then
// one mosaro_predict call and the report of what it met.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "CovariateRaster.h"
#include "GridGeometry.h"
#include "RunSetup.h"
#include "SampleLoader.h"
#include "ToolError.h"
#include "mosaro.h"

namespace mosaro::tool {

// Owns everything the prediction points into, so it is neither copied nor
// moved.
struct ModernRun {
    ModernRun() = default;
    ModernRun(const ModernRun&) = delete;
    ModernRun& operator=(const ModernRun&) = delete;

    SampleTable samples;
    mosaro_method method = MOSARO_METHOD_ORDINARY;
    std::string value_label;  // "zinc", or "log(zinc)" for lognormal kriging
    // Covariates by name, with their raster where one was given (grid: all
    // of them; predict: else the targets' own column of that name).
    std::vector<std::string> covariate_names;
    std::vector<std::optional<CovariateRaster>> covariate_rasters;
    std::vector<const double*> sample_covariates;
    bool model_given = false;
    mosaro_model model{};
    std::vector<double> azimuths;
    mosaro_variogram_options variogram{};
    std::string fit_template;
    bool allow_empty = false;
    std::vector<std::string> warnings;
    // Every field but the targets, the outputs and the progress.
    mosaro_prediction prediction{};
};

// Throws ToolError for anything the library would refuse, naming the
// option, file or row; checked before anything is computed.
void PrepareModernRun(const RunOptions& options, ModernRun& run);

// The grid of --extent, --cell and --size around the samples that have a
// value (`grid` and `simulate`); throws ToolError.
GridGeometry ChooseSampleGrid(const GridChoice& choice, const SampleTable& samples);

// Makes every node of `grid` the prediction's targets (`grid` and its tiles).
void TargetGrid(const GridGeometry& grid, mosaro_prediction& p);

// What one mosaro_predict call gave.
struct PredictionResult {
    mosaro_prediction_report report{};
    mosaro_model model{};   // the model used
    bool no_model = false;  // the fit gave none (only with --allow-empty)
    std::string no_model_why;
};

// Runs `prediction` (its targets and outputs set) with the progress bar and
// Ctrl-C. A run that gives no estimate at all (no model could be fitted,
// or every target without neighbours) throws ToolError unless
// `allow_empty`; then the outputs are all NaN. `targets` names the targets
// in messages ("nodes", "points").
PredictionResult Predict(mosaro_prediction prediction, long long target_count, double* const* outputs, int output_count,
                         bool allow_empty, bool quiet, const char* targets);

// The refusal when no model could be fitted (`why`: the library's reason).
ToolError NoModelError(const std::string& why);

// "0.0507 Nug + 0.591 Sph(897)"
std::string ModelText(const mosaro_model& model);

// Report lines: how the model came about and the model; the targets met.
void PrintModelLine(const ModernRun& run, const PredictionResult& result);
void PrintTargetLine(const PredictionResult& result, const char* targets);
// "lognormal kriging, 16 nearest samples, blocks of 40 x 40"
std::string DescribeKriging(const ModernRun& run);

// The covariates at the targets, in the order of the outputs: raster ones
// sampled at (x, y); `where(k)` names target k in a refusal.
template <class Where>
std::vector<std::vector<double>> CovariatesAt(const ModernRun& run, const std::vector<double>& x,
                                              const std::vector<double>& y, Where where);

}  // namespace mosaro::tool

#include "ToolError.h"

namespace mosaro::tool {

template <class Where>
std::vector<std::vector<double>> CovariatesAt(const ModernRun& run, const std::vector<double>& x,
                                              const std::vector<double>& y, Where where) {
    std::vector<std::vector<double>> values;
    for (const std::optional<CovariateRaster>& raster : run.covariate_rasters) {
        values.emplace_back();
        if (!raster) continue;
        values.back().resize(x.size());
        for (std::size_t k = 0; k < x.size(); ++k) {
            const std::optional<double> value = raster->At(x[k], y[k]);
            if (!value)
                throw ToolError("covariate '" + raster->Name() + "' (" + raster->Path() + ") does not cover " +
                                where(k) + " at (" + MessageNumber(x[k]) + ", " + MessageNumber(y[k]) + ")");
            values.back()[k] = *value;
        }
    }
    return values;
}

}  // namespace mosaro::tool
