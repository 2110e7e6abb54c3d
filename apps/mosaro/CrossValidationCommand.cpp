// `mosaro cv`: how well each method predicts samples it was not given, so
// that a user can choose a method (and model, neighbours, arithmetic)
// before gridding.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "MethodNames.h"
#include "Picture.h"
#include "Progress.h"
#include "RunReport.h"
#include "StagedOutput.h"
#include "ToolError.h"

namespace mosaro::tool {
namespace {

struct MethodResult {
    std::string name;  // as typed
    mosaro_validation_summary summary{};
    std::vector<float> estimate, variance, residual, standardised;
    std::vector<int> fold;
};

std::vector<std::string> SplitMethods(const std::string& list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        const std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (name.empty()) throw ToolError("--method '" + list + "' has an empty name in its list");
        names.push_back(name);
        if (comma == std::string::npos) return names;
        start = comma + 1;
    }
}

MethodResult CrossValidate(const PreparedRun& run, const std::string& name, const CrossValidationOutputs& outputs,
                           bool quiet) {
    const SamplesPtr samples = PrepareSamples(run.request);
    const std::size_t count = run.x.size();
    MethodResult result;
    result.name = name;
    result.estimate.resize(count);
    result.variance.resize(count);
    result.residual.resize(count);
    result.standardised.resize(count);
    result.fold.resize(count);

    mosaro_validation validation{};
    validation.struct_size = sizeof validation;
    validation.folds = outputs.folds;
    validation.seed = outputs.seed;
    validation.estimate = result.estimate.data();
    validation.variance = result.variance.data();
    validation.residual = result.residual.data();
    validation.standardised_residual = result.standardised.data();
    validation.fold = result.fold.data();
    result.summary.struct_size = sizeof result.summary;

    mosaro_request request = run.request;
    ProgressReporter progress(quiet);
    request.progress = &ProgressReporter::Callback;
    request.progress_user_data = &progress;
    const mosaro_status status = mosaro_cross_validate(samples.get(), &request, &validation, &result.summary);
    if (status == MOSARO_ERROR_CANCELLED) ThrowIfInterrupted();
    if (status < 0) throw ToolError(name + ": " + mosaro_last_message());
    if (status == MOSARO_WARNING_NO_FINITE_MODEL)
        std::fprintf(stderr,
                     "mosaro: warning: %s: the automatic fit gave no finite variogram model; give a coarser "
                     "--cell, a model with --model, or --fit robust\n",
                     name.c_str());
    return result;
}

// The values the library validated against: a blank takes the value of the
// sample before it (a leading run, the first value after it).
std::vector<float> ObservedValues(const std::vector<float>& values) {
    const auto blank = [](float v) { return v == kBlank || std::isnan(v); };
    std::vector<float> observed(values);
    std::size_t first = 0;
    while (first < observed.size() && blank(observed[first])) ++first;
    if (first == observed.size()) return observed;
    for (std::size_t i = 0; i < first; ++i) observed[i] = observed[first];
    for (std::size_t i = first + 1; i < observed.size(); ++i)
        if (blank(observed[i])) observed[i] = observed[i - 1];
    return observed;
}

// NaN (not estimated, no variance) is an empty field, which spreadsheets
// and data-frame readers take as missing.
std::string CsvNumber(double value) {
    if (std::isnan(value)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);  // nine digits give the float back
    return text;
}

void WriteResiduals(const std::string& target, const std::string& path, const PreparedRun& run,
                    const std::vector<float>& observed, const MethodResult& r) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) throw ToolError("cannot write '" + target + "'");
    std::fprintf(file, "x,y,observed,estimate,variance,residual,standardised_residual,fold\n");
    for (std::size_t i = 0; i < run.x.size(); ++i)
        std::fprintf(file, "%s,%s,%s,%s,%s,%s,%s,%d\n", CsvNumber(run.x[i]).c_str(), CsvNumber(run.y[i]).c_str(),
                     CsvNumber(observed[i]).c_str(), CsvNumber(r.estimate[i]).c_str(), CsvNumber(r.variance[i]).c_str(),
                     CsvNumber(r.residual[i]).c_str(), CsvNumber(r.standardised[i]).c_str(), r.fold[i]);
    const bool failed = std::ferror(file) != 0;
    if (std::fclose(file) != 0 || failed) throw ToolError("cannot write '" + target + "'");
}

void PrintSummaries(const std::vector<MethodResult>& results) {
    std::size_t width = 6;
    for (const MethodResult& r : results) width = std::max(width, r.name.size());
    std::printf("%-*s %9s %13s %12s %12s %12s %12s %11s\n", static_cast<int>(width), "method", "estimated",
                "not estimated", "mean error", "mean |error|", "RMSE", "MSDR", "correlation");
    for (const MethodResult& r : results) {
        const mosaro_validation_summary& s = r.summary;
        std::printf("%-*s %9d %13d %12.5g %12.5g %12.5g %12.5g %11.4f\n", static_cast<int>(width), r.name.c_str(),
                    s.estimated, s.not_estimated, s.mean_error, s.mean_absolute_error, s.root_mean_square_error,
                    s.mean_squared_deviation_ratio, s.correlation);
    }
}

}  // namespace

int RunCrossValidationCommand(const RunOptions& options, const CrossValidationOutputs& outputs) {
    const std::vector<std::string> names = SplitMethods(options.method);
    for (const std::string& name : names)
        if (ParseMethod(name) == MOSARO_METHOD_INDICATOR)
            throw ToolError(
                "indicator kriging estimates probabilities, not the samples' values, so it cannot be "
                "cross-validated; choose another --method");
    if (names.size() > 1 && (!outputs.residuals.empty() || !outputs.plot.empty()))
        throw ToolError("-o and --plot show one method's residuals; --method lists " + std::to_string(names.size()));
    if (outputs.folds < 0 || outputs.folds == 1)
        throw ToolError("--folds must be 0 (leave-one-out) or at least 2 (got " + std::to_string(outputs.folds) + ")");
    const RunMode mode = ChooseMode(options, true);
    std::optional<PictureFormat> format;
    if (!outputs.plot.empty()) format = RequirePictureFormat(outputs.plot);
    StagedOutputs staged;
    const std::string residualsPath = outputs.residuals.empty() ? "" : staged.Stage(outputs.residuals);
    const std::string plotPath = outputs.plot.empty() ? "" : staged.Stage(outputs.plot);

    // Every method's samples are checked before the first run, so that a
    // value one method cannot take costs no time.
    std::vector<std::unique_ptr<PreparedRun>> runs;
    for (const std::string& name : names) {
        RunOptions one = options;
        one.method = name;
        runs.push_back(std::make_unique<PreparedRun>());
        PrepareRun(one, mode, *runs.back());
    }
    const PreparedRun& run = *runs.front();
    for (const std::string& warning : run.warnings) std::fprintf(stderr, "mosaro: warning: %s\n", warning.c_str());
    std::vector<MethodResult> results;
    for (std::size_t m = 0; m < names.size(); ++m)
        results.push_back(CrossValidate(*runs[m], names[m], outputs, options.quiet));

    if (!options.quiet) {
        std::printf("%s\n", DescribeSamples(options, run.samples, true).c_str());
        if (outputs.folds == 0)
            std::printf("leave-one-out cross-validation, %d neighbours, %s arithmetic\n", run.neighbours,
                        ArithmeticName(mode.arithmetic));
        else
            std::printf("%d-fold cross-validation (seed %llu), %d neighbours, %s arithmetic\n", outputs.folds,
                        outputs.seed, run.neighbours, ArithmeticName(mode.arithmetic));
    }
    PrintSummaries(results);

    if (results.size() == 1 && (!residualsPath.empty() || format)) {
        const MethodResult& r = results[0];
        const std::vector<float> observed = ObservedValues(run.values[0]);
        ThrowIfInterrupted();
        if (!residualsPath.empty()) WriteResiduals(outputs.residuals, residualsPath, run, observed, r);
        if (format) {
            ValidationPicture picture;
            picture.x.assign(run.x.begin(), run.x.end());
            picture.y.assign(run.y.begin(), run.y.end());
            picture.observed.assign(observed.begin(), observed.end());
            picture.estimate.assign(r.estimate.begin(), r.estimate.end());
            picture.residual.assign(r.residual.begin(), r.residual.end());
            picture.title = run.samples.value_names[0] + ", " + MethodDescription(run.method) + ": " +
                            (outputs.folds == 0 ? "leave-one-out" : std::to_string(outputs.folds) + "-fold") +
                            " cross-validation";
            picture.value_name = run.samples.value_names[0];
            DrawValidation(picture, *format, plotPath);
        }
        ThrowIfInterrupted();
        staged.Commit();
        if (!options.quiet) {
            std::printf("wrote");
            if (!outputs.residuals.empty()) std::printf(" %s", outputs.residuals.c_str());
            if (!outputs.plot.empty()) std::printf("%s %s", outputs.residuals.empty() ? "" : ",", outputs.plot.c_str());
            std::printf("\n");
        }
    }
    return kExitOk;
}

}  // namespace mosaro::tool
