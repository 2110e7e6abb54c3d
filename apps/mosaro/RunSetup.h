// What `grid` and `variogram` share: the samples loaded and checked against
// the method, the grid chosen, and a library request filled from both.
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

struct RunOptions {
    std::string input;
    SampleColumns columns;
    std::string method = "ordinary";
    std::vector<double> thresholds;  // indicator kriging
    std::optional<double> shift;     // three-parameter lognormal kriging
    int neighbours = kDefaultNeighbours;
    int threads = 0;
    std::vector<double> model;          // nugget partial-sill range, once or for x then y
    std::string fit = "legacy";         // "legacy" or "robust"
    std::string arithmetic = "legacy";  // "legacy" or "accurate"
    GridChoice grid;
    bool quiet = false;
};

// Owns everything the request points into, so it is neither copied nor moved.
struct PreparedRun {
    PreparedRun() = default;
    PreparedRun(const PreparedRun&) = delete;
    PreparedRun& operator=(const PreparedRun&) = delete;

    SampleTable samples;
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
void PrepareRun(const RunOptions& options, PreparedRun& run);

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
// 7: ...), 1 blank filled from the sample before it"
std::string DescribeSamples(const RunOptions& options, const SampleTable& samples);

}  // namespace mosaro::tool
