#include "RunSetup.h"

#include <cmath>
#include <cstdio>

#include "MethodNames.h"
#include "SampleLoader.h"
#include "Progress.h"
#include "ToolError.h"

namespace mosaro::tool {
namespace {

// A legacy model from the notation: the legacy request takes a nugget and
// one isotropic spherical structure, nothing else.
mosaro_variogram_model LegacyModelOf(const std::string& notation) {
    mosaro_model model;
    mosaro_model_init(&model);
    if (mosaro_model_parse(notation.c_str(), &model) != MOSARO_OK)
        throw ToolError("--model: " + std::string(mosaro_last_message()));
    const mosaro_structure& s = model.structures[0];
    if (model.structure_count != 1 || s.family != MOSARO_FAMILY_SPHERICAL || s.ratio != 1.0)
        throw ToolError("--model '" + notation +
                        "': the legacy request takes a nugget and one isotropic Sph only (or NUGGET PARTIAL_SILL "
                        "RANGE); drop --legacy, --arithmetic and --fit to run it through the prediction API");
    mosaro_variogram_model m{};
    m.nugget = static_cast<float>(model.nugget);
    m.partial_sill = static_cast<float>(s.partial_sill);
    m.range = static_cast<float>(s.range);
    m.sill = m.nugget + m.partial_sill;
    return m;
}

std::vector<std::string> Words(const std::vector<std::string>& texts) {
    std::vector<std::string> words;
    for (const std::string& text : texts) {
        std::size_t start = 0;
        while ((start = text.find_first_not_of(" \t", start)) != std::string::npos) {
            const std::size_t end = text.find_first_of(" \t", start);
            words.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            start = end;
        }
    }
    return words;
}

// The logarithmic methods cannot take a value that is not positive after
// the shift; say which file row holds the first such value. The sum is the
// library's: the value plus the shift as a float, in double.
void CheckLogarithmicValues(const RunOptions& options, const SampleTable& samples, const std::vector<float>& values,
                            float shift) {
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

std::vector<std::string> KrigingChoice::Given() const {
    std::vector<std::string> given;
    const auto note = [&given](bool set, const char* name) {
        if (set) given.emplace_back(name);
    };
    note(!kind.empty(), "--kind");
    note(mean.has_value(), "--mean");
    note(!drift.empty(), "--drift");
    note(!covariates.empty(), "--covariate");
    note(!block.empty(), "--block");
    note(!block_points.empty(), "--block-points");
    note(nmin.has_value(), "--nmin");
    note(max_distance.has_value(), "--maxdist");
    note(anisotropic_search, "--anisotropic-search");
    note(octants.has_value(), "--octants");
    note(quadrants.has_value(), "--quadrants");
    note(allow_empty, "--allow-empty");
    note(cutoff.has_value(), "--cutoff");
    note(width.has_value(), "--width");
    note(!directions.empty(), "--direction");
    note(tolerance.has_value(), "--tolerance");
    note(bandwidth.has_value(), "--bandwidth");
    note(!estimator.empty(), "--estimator");
    note(!fit_model.empty(), "--fit-model");
    note(fit_weights.has_value(), "--fit-weights");
    return given;
}

ModelOption ReadModelOption(const std::vector<std::string>& texts) {
    ModelOption option;
    const std::vector<std::string> words = Words(texts);
    if (words.empty()) return option;
    std::vector<double> numbers;
    for (const std::string& word : words)
        if (const auto number = ParseNumber(word.c_str())) numbers.push_back(*number);
    if (numbers.size() == words.size()) {
        if (numbers.size() != 3 && numbers.size() != 6)
            throw ToolError(
                "--model takes a model such as \"0.05 Nug + 0.59 Sph(897)\", or NUGGET PARTIAL_SILL RANGE once for "
                "both directions or for x then y (got " +
                std::to_string(numbers.size()) + " numbers)");
        for (std::size_t i = 0; i < numbers.size(); i += 3) {
            mosaro_variogram_model m{};
            m.nugget = static_cast<float>(numbers[i]);
            m.partial_sill = static_cast<float>(numbers[i + 1]);
            m.range = static_cast<float>(numbers[i + 2]);
            m.sill = m.nugget + m.partial_sill;
            option.legacy.push_back(m);
        }
        return option;
    }
    for (const std::string& word : words) option.notation += (option.notation.empty() ? "" : " ") + word;
    mosaro_model model;
    mosaro_model_init(&model);
    if (mosaro_model_parse(option.notation.c_str(), &model) != MOSARO_OK)
        throw ToolError("--model \"" + option.notation + "\": " + mosaro_last_message());
    return option;
}

RunMode ChooseMode(const RunOptions& options, bool cross_validation) {
    // cv's --method is a list, each checked by its own run.
    const mosaro_method method = cross_validation ? MOSARO_METHOD_ORDINARY : ParseMethod(options.method);
    const ModelOption model = ReadModelOption(options.model);
    RunMode mode;
    if (cross_validation) mode.why = "cv";
    else if (options.legacy) mode.why = "--legacy";
    else if (method == MOSARO_METHOD_INDICATOR || method == MOSARO_METHOD_COKRIGING)
        mode.why = MethodDescription(method);
    else if (options.arithmetic) mode.why = "--arithmetic";
    else if (options.fit) mode.why = "--fit";
    else if (!model.legacy.empty()) mode.why = "--model NUGGET PARTIAL_SILL RANGE";
    mode.legacy_request = !mode.why.empty();
    if (!mode.legacy_request) return mode;
    // The legacy request has no kriging kind, drift, covariates, blocks or
    // search options: refused rather than silently dropped.
    const std::vector<std::string> given = options.kriging.Given();
    if (!given.empty())
        throw ToolError(
            given.front() + " needs the prediction API, but " + mode.why + " runs the legacy request" +
            (mode.why == "--legacy" || cross_validation ? "" : " (drop it, or drop " + given.front() + ")"));
    const bool legacyDefaults = cross_validation || options.legacy;
    mode.arithmetic = options.arithmetic ? ParseArithmetic(*options.arithmetic)
                      : legacyDefaults   ? MOSARO_ARITHMETIC_LEGACY
                                         : MOSARO_ARITHMETIC_ACCURATE;
    if (options.fit && *options.fit != "legacy" && *options.fit != "robust")
        throw ToolError("unknown fit '" + *options.fit + "' (use legacy or robust)");
    mode.fit = options.fit      ? (*options.fit == "robust" ? MOSARO_FIT_ROBUST : MOSARO_FIT_LEGACY)
               : legacyDefaults ? MOSARO_FIT_LEGACY
                                : MOSARO_FIT_ROBUST;
    return mode;
}

const char* ArithmeticName(mosaro_arithmetic arithmetic) {
    return arithmetic == MOSARO_ARITHMETIC_ACCURATE ? "accurate" : "legacy";
}

mosaro_arithmetic ParseArithmetic(const std::string& text) {
    if (text == "legacy") return MOSARO_ARITHMETIC_LEGACY;
    if (text == "accurate") return MOSARO_ARITHMETIC_ACCURATE;
    throw ToolError("unknown arithmetic '" + text + "' (use legacy or accurate)");
}

void PrepareRun(const RunOptions& options, const RunMode& mode, PreparedRun& run) {
    run.mode = mode;
    run.method = ParseMethod(options.method);
    const ModelOption model = ReadModelOption(options.model);
    run.models = model.legacy;
    if (!model.notation.empty()) run.models.push_back(LegacyModelOf(model.notation));
    if (run.method == MOSARO_METHOD_INDICATOR && options.thresholds.empty())
        throw ToolError("indicator kriging needs --thresholds");
    if (run.method != MOSARO_METHOD_COKRIGING && options.columns.values.size() > 1)
        throw ToolError("only co-kriging takes several --value columns");
    if (run.method == MOSARO_METHOD_LOGNORMAL_SHIFTED && !options.shift)
        throw ToolError("three-parameter lognormal kriging needs --shift");
    const int neighbours = options.neighbours.value_or(kDefaultNeighbours);
    if (neighbours < 1) throw ToolError("--neighbours must be at least 1");
    if (options.threads < 0) throw ToolError("--threads must be 0 (every core) or more");

    run.samples = LoadSamples(options.input, options.columns, MissingValues{true, options.nodata});
    const SampleTable& samples = run.samples;
    const int count = static_cast<int>(samples.x.size());
    if (count < 2)
        throw ToolError(options.input + ": " + std::to_string(count) + " usable sample" + (count == 1 ? "" : "s") +
                        " (at least 2 are needed)" +
                        (samples.skipped ? "; first left out: " + samples.first_skipped : ""));
    run.x.assign(samples.x.begin(), samples.x.end());
    run.y.assign(samples.y.begin(), samples.y.end());
    run.values = samples.values;
    if (TakesLogarithms(run.method))
        CheckLogarithmicValues(
            options, samples, run.values[0],
            run.method == MOSARO_METHOD_LOGNORMAL_SHIFTED ? static_cast<float>(*options.shift) : 0.0f);

    run.neighbours = neighbours;
    if (run.neighbours > count) {
        run.warnings.push_back("--neighbours " + std::to_string(run.neighbours) + " is more than the " +
                               std::to_string(count) + " samples; using " + std::to_string(count));
        run.neighbours = count;
    }
    // The layout of the coordinates the request holds, in float.
    run.grid = ChooseGrid(options.grid, std::vector<double>(run.x.begin(), run.x.end()),
                          std::vector<double>(run.y.begin(), run.y.end()), true);

    for (double t : options.thresholds) run.thresholds.push_back(static_cast<float>(t));
    for (std::size_t v = 1; v < run.values.size(); ++v) run.extra_values.push_back(run.values[v].data());

    mosaro_request& r = run.request;
    mosaro_request_init(&r);
    r.x = run.x.data();
    r.y = run.y.data();
    r.value = run.values[0].data();
    r.sample_count = count;
    r.extra_values = run.extra_values.empty() ? nullptr : run.extra_values.data();
    r.extra_value_count = static_cast<int>(run.extra_values.size());
    r.x_min = static_cast<float>(run.grid.x_min);
    r.y_min = static_cast<float>(run.grid.y_min);
    r.x_max = static_cast<float>(run.grid.x_max);
    r.y_max = static_cast<float>(run.grid.y_max);
    r.cell_size_x = static_cast<float>(run.grid.cell_x);
    r.cell_size_y = static_cast<float>(run.grid.cell_y);
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
    r.fit = mode.fit;
    r.arithmetic = mode.arithmetic;
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

std::string DescribeSamples(const RunOptions& options, const SampleTable& samples, bool legacy_blanks) {
    std::string names;
    for (const std::string& name : samples.value_names) names += (names.empty() ? "'" : ", '") + name + "'";
    const long long kept = static_cast<long long>(samples.x.size()) - (legacy_blanks ? 0 : samples.blanks);
    std::string text = std::to_string(kept) + " samples read from " + options.input + " (" + samples.coordinates_from +
                       "; value " + names + ")";
    if (samples.skipped)
        text += ", " + std::to_string(samples.skipped) + " rows skipped (first: " + samples.first_skipped + ")";
    if (samples.blanks && legacy_blanks)
        text += ", " + std::to_string(samples.blanks) + " blank values taken from the sample before";
    if (samples.blanks && !legacy_blanks)
        text += ", " + std::to_string(samples.blanks) + " sample" + (samples.blanks == 1 ? "" : "s") +
                " without a value left out";
    return text;
}

}  // namespace mosaro::tool
