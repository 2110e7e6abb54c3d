#include "RunSetup.h"

#include <cmath>
#include <cstdio>

#include "MethodNames.h"
#include "Progress.h"
#include "ToolError.h"

namespace mosaro::tool {
namespace {

std::vector<mosaro_variogram_model> ParseModels(const std::vector<double>& numbers) {
    if (numbers.empty()) return {};
    if (numbers.size() != 3 && numbers.size() != 6)
        throw ToolError("--model takes NUGGET PARTIAL_SILL RANGE, once for both directions or for x then y");
    std::vector<mosaro_variogram_model> models;
    for (std::size_t i = 0; i < numbers.size(); i += 3) {
        mosaro_variogram_model m{};
        m.nugget = static_cast<float>(numbers[i]);
        m.partial_sill = static_cast<float>(numbers[i + 1]);
        m.range = static_cast<float>(numbers[i + 2]);
        m.sill = m.nugget + m.partial_sill;
        models.push_back(m);
    }
    return models;
}

// The logarithmic methods cannot take a value that is not positive after
// the shift; say which file row holds the first such value. The sum is the
// library's: the value plus the shift as a float, in double.
void CheckLogarithmicValues(const RunOptions& options, const SampleTable& samples, float shift) {
    const std::vector<float>& values = samples.values[0];
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] == kBlank || std::isnan(values[i])) continue;
        if (static_cast<double>(values[i]) + static_cast<double>(shift) > 0) continue;
        throw ToolError(options.input + ": row " + std::to_string(samples.row[i]) + " has " + samples.value_names[0] +
                        " = " + MessageNumber(values[i]) + ", which " + options.method +
                        (shift != 0 ? " kriging cannot take (value + shift must be positive)"
                                    : " kriging cannot take (values must be positive)"));
    }
}

}  // namespace

mosaro_arithmetic ParseArithmetic(const std::string& text) {
    if (text == "legacy") return MOSARO_ARITHMETIC_LEGACY;
    if (text == "accurate") return MOSARO_ARITHMETIC_ACCURATE;
    throw ToolError("unknown arithmetic '" + text + "' (use legacy or accurate)");
}

void PrepareRun(const RunOptions& options, PreparedRun& run) {
    run.method = ParseMethod(options.method);
    const mosaro_arithmetic arithmetic = ParseArithmetic(options.arithmetic);
    run.models = ParseModels(options.model);
    if (run.method == MOSARO_METHOD_INDICATOR && options.thresholds.empty())
        throw ToolError("indicator kriging needs --thresholds");
    if (run.method != MOSARO_METHOD_COKRIGING && options.columns.values.size() > 1)
        throw ToolError("only co-kriging takes several --value columns");
    if (run.method == MOSARO_METHOD_LOGNORMAL_SHIFTED && !options.shift)
        throw ToolError("three-parameter lognormal kriging needs --shift");
    if (options.fit != "legacy" && options.fit != "robust")
        throw ToolError("unknown fit '" + options.fit + "' (use legacy or robust)");
    if (options.neighbours < 1) throw ToolError("--neighbours must be at least 1");
    if (options.threads < 0) throw ToolError("--threads must be 0 (every core) or more");

    run.samples = LoadSamples(options.input, options.columns);
    const SampleTable& samples = run.samples;
    const int count = static_cast<int>(samples.x.size());
    if (count < 2)
        throw ToolError(options.input + ": " + std::to_string(count) + " usable sample" + (count == 1 ? "" : "s") +
                        " (at least 2 are needed)" +
                        (samples.skipped ? "; first left out: " + samples.first_skipped : ""));
    if (TakesLogarithms(run.method))
        CheckLogarithmicValues(
            options, samples,
            run.method == MOSARO_METHOD_LOGNORMAL_SHIFTED ? static_cast<float>(*options.shift) : 0.0f);

    run.neighbours = options.neighbours;
    if (run.neighbours > count) {
        run.warnings.push_back("--neighbours " + std::to_string(run.neighbours) + " is more than the " +
                               std::to_string(count) + " samples; using " + std::to_string(count));
        run.neighbours = count;
    }
    run.grid = ChooseGrid(options.grid, samples.x, samples.y);

    for (double t : options.thresholds) run.thresholds.push_back(static_cast<float>(t));
    for (std::size_t v = 1; v < samples.values.size(); ++v) run.extra_values.push_back(samples.values[v].data());

    mosaro_request& r = run.request;
    mosaro_request_init(&r);
    r.x = samples.x.data();
    r.y = samples.y.data();
    r.value = samples.values[0].data();
    r.sample_count = count;
    r.extra_values = run.extra_values.empty() ? nullptr : run.extra_values.data();
    r.extra_value_count = static_cast<int>(run.extra_values.size());
    r.x_min = run.grid.x_min;
    r.y_min = run.grid.y_min;
    r.x_max = run.grid.x_max;
    r.y_max = run.grid.y_max;
    r.cell_size_x = run.grid.cell_x;
    r.cell_size_y = run.grid.cell_y;
    r.node_count_x = run.grid.nodes_x;
    r.node_count_y = run.grid.nodes_y;
    r.neighbour_count = run.neighbours;
    r.method = run.method;
    r.method_parameter = static_cast<float>(options.shift.value_or(0));
    r.thresholds = run.thresholds.empty() ? nullptr : run.thresholds.data();
    r.threshold_count = static_cast<int>(run.thresholds.size());
    r.thread_count = options.threads;
    r.given_models = run.models.empty() ? nullptr : run.models.data();
    r.given_model_count = static_cast<int>(run.models.size());
    r.fit = options.fit == "robust" ? MOSARO_FIT_ROBUST : MOSARO_FIT_LEGACY;
    r.arithmetic = arithmetic;
}

SamplesPtr PrepareSamples(const mosaro_request& r) {
    mosaro_samples* raw = nullptr;
    if (mosaro_samples_create(r.x, r.y, r.value, r.sample_count, r.extra_values, r.extra_value_count, &raw) !=
        MOSARO_OK)
        throw ToolError(mosaro_last_message());
    return SamplesPtr(raw);
}

ReportPtr RunRequest(mosaro_request request, bool quiet) {
    mosaro_report* report = nullptr;
    request.report = &report;
    ProgressReporter progress(quiet);
    request.progress = &ProgressReporter::Callback;
    request.progress_user_data = &progress;
    const mosaro_status status = mosaro_grid(&request);
    ReportPtr owned(report);
    if (status == MOSARO_ERROR_CANCELLED) ThrowIfInterrupted();
    if (status < 0) throw ToolError(mosaro_last_message());
    if (status == MOSARO_WARNING_NO_FINITE_MODEL)
        std::fprintf(
            stderr,
            "mosaro: warning: the automatic fit gave no finite variogram model, so %s; give a coarser "
            "--cell, a model with --model, or --fit robust\n",
            request.arithmetic == MOSARO_ARITHMETIC_ACCURATE ? "every node is no-data" : "the grid is all zeros");
    return owned;
}

PictureFormat RequirePictureFormat(const std::string& path) {
    const auto format = PictureFormatForPath(path);
    if (!format) throw ToolError("unknown picture format '" + path + "' (use .png or .svg)");
    return *format;
}

std::string DescribeSamples(const RunOptions& options, const SampleTable& samples) {
    std::string names;
    for (const std::string& name : samples.value_names) names += (names.empty() ? "'" : ", '") + name + "'";
    std::string text = std::to_string(samples.x.size()) + " samples read from " + options.input + " (" +
                       samples.coordinates_from + "; value " + names + ")";
    if (samples.skipped)
        text += ", " + std::to_string(samples.skipped) + " rows skipped (first: " + samples.first_skipped + ")";
    if (samples.blanks) text += ", " + std::to_string(samples.blanks) + " blank values taken from the sample before";
    return text;
}

}  // namespace mosaro::tool
