// `mosaro variogram`: the experimental variograms and the models fitted to
// them. By default as the prediction API forms and fits them (directions,
// estimator and template as asked), as text or JSON, with the cloud and the
// map on request; with --legacy the legacy request's directional tables and
// both of its fits, exactly as a gridding run computes them.
#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "Commands.h"
#include "MethodNames.h"
#include "ModernRun.h"
#include "Picture.h"
#include "RasterWriter.h"
#include "Progress.h"
#include "RunReport.h"
#include "StagedOutput.h"
#include "ToolError.h"

namespace mosaro::tool {
namespace {

struct Table {
    const float* lag = nullptr;
    const float* pairs = nullptr;
    const float* semivariance = nullptr;
    int count = 0;
};

Table ReadTable(const mosaro_report& report, int pass, int direction, int pruned) {
    Table t;
    mosaro_report_table(&report, pass, direction, pruned, &t.lag, &t.pairs, &t.semivariance, &t.count);
    return t;
}

void PrintTable(const char* heading, const Table& t) {
    if (t.count == 0) return;
    std::printf("  %s: %d classes\n    %14s %10s %16s\n", heading, t.count, "lag", "pairs", "semivariance");
    for (int k = 0; k < t.count; ++k)
        std::printf("    %14.7g %10.0f %16.9g\n", static_cast<double>(t.lag[k]), static_cast<double>(t.pairs[k]),
                    static_cast<double>(t.semivariance[k]));
}

void PrintModel(const char* name, const mosaro_variogram_model& m, const char* why) {
    std::printf("  %s: nugget %g, partial sill %g, range %g (%s)\n", name, static_cast<double>(m.nugget),
                static_cast<double>(m.partial_sill), static_cast<double>(m.range), why);
}

VariogramModelCurve Curve(const char* label, const mosaro_variogram_model& m) {
    VariogramModelCurve curve;
    curve.label = label;
    curve.nugget = m.nugget;
    curve.partial_sill = m.partial_sill;
    curve.range = m.range;
    return curve;
}

// Both fits in one run: a robust run also reports what the legacy fit gave.
// When the robust fit has too few pairs, the legacy fit alone is reported.
ReportPtr FitVariograms(const PreparedRun& run, bool quiet) {
    const SamplesPtr samples = PrepareSamples(run.request);
    mosaro_request request = run.request;
    request.report_tables = 1;
    ProgressReporter progress(quiet);
    request.progress = &ProgressReporter::Callback;
    request.progress_user_data = &progress;
    for (const mosaro_fit fit : {MOSARO_FIT_ROBUST, MOSARO_FIT_LEGACY}) {
        request.fit = fit;
        mosaro_report* report = nullptr;
        const mosaro_status status = mosaro_fit_variograms(samples.get(), &request, &report);
        ReportPtr owned(report);
        if (status == MOSARO_ERROR_TOO_FEW_PAIRS) continue;
        if (status == MOSARO_ERROR_CANCELLED) ThrowIfInterrupted();
        if (status < 0) throw ToolError(mosaro_last_message());
        return owned;
    }
    throw ToolError("no lag class holds a pair of samples: give a coarser --cell");
}

int RunLegacyVariogram(const RunOptions& options, const RunMode& mode, const VariogramOutputs& outputs) {
    for (const auto& [given, name] : {std::pair{outputs.json, "--json"}, std::pair{!outputs.cloud.empty(), "--cloud"},
                                      std::pair{!outputs.map.empty(), "--map"}})
        if (given)
            throw ToolError(std::string(name) + " needs the prediction API's variogram, but " + mode.why +
                            " runs the legacy request");
    std::optional<PictureFormat> format;
    StagedOutputs staged;
    std::string plotPath;
    if (!outputs.plot.empty()) {
        format = RequirePictureFormat(outputs.plot);
        plotPath = staged.Stage(outputs.plot);
    }
    PreparedRun run;
    PrepareRun(options, mode, run);
    for (const std::string& warning : run.warnings) std::fprintf(stderr, "mosaro: warning: %s\n", warning.c_str());
    const ReportPtr report = FitVariograms(run, options.quiet);

    std::printf("%s\nlag classes of width %g (x) and %g (y)\n", DescribeSamples(options, run.samples, true).c_str(),
                run.grid.cell_x, run.grid.cell_y);
    static const char* const kDirections[3] = {"x direction", "y direction", "omnidirectional"};
    std::vector<VariogramSeries> series;
    for (int p = 0; p < mosaro_report_pass_count(report.get()); ++p) {
        mosaro_pass_info pass{};
        pass.struct_size = sizeof pass;
        if (mosaro_report_pass_info(report.get(), p, &pass) != MOSARO_OK) throw ToolError(mosaro_last_message());
        if (run.method == MOSARO_METHOD_INDICATOR) std::printf("threshold %g\n", static_cast<double>(pass.threshold));
        for (int d = 0; d < 3; ++d) {
            mosaro_direction_fit fit;
            const bool explained = DirectionFit(*report, p, d, fit);
            const Table built = ReadTable(*report, p, d, 0);
            if (d == 2 && built.count == 0) continue;  // no robust run, no omnidirectional table
            std::printf("%s\n", kDirections[d]);
            PrintTable("experimental", built);
            if (d < 2) PrintTable("after pruning (what the legacy fit uses)", ReadTable(*report, p, d, 1));
            const bool robust = explained && fit.fit == MOSARO_FIT_ROBUST;
            const mosaro_variogram_model legacy = robust ? fit.legacy_model : pass.models[d];
            if (d < 2) PrintModel("legacy fit", legacy, BranchName(robust ? fit.legacy_branch : pass.branches[d]));
            if (robust) PrintModel("robust fit", fit.model, fit.reason != nullptr ? fit.reason : "");
            if (p != 0) continue;
            VariogramSeries s;
            s.label = kDirections[d];
            s.lag.assign(built.lag, built.lag + built.count);
            s.pairs.assign(built.pairs, built.pairs + built.count);
            s.semivariance.assign(built.semivariance, built.semivariance + built.count);
            if (d < 2) s.models.push_back(Curve("legacy fit", legacy));
            if (robust) s.models.push_back(Curve("robust fit", fit.model));
            series.push_back(std::move(s));
        }
        // The run behind the report is a robust one whenever the robust fit
        // could run, so its anisotropy is the robust fit's.
        mosaro_direction_fit first;
        const bool robustRun = DirectionFit(*report, p, 0, first) && first.fit == MOSARO_FIT_ROBUST;
        std::printf("anisotropy of the %s fit: %g%s\n", robustRun ? "robust" : "legacy",
                    static_cast<double>(pass.anisotropy), pass.anisotropy_reset ? " (reset to 1)" : "");
    }
    if (format) {
        DrawVariograms(series, run.samples.value_names[0] + ": experimental variograms, legacy and robust fits",
                       *format, plotPath);
        ThrowIfInterrupted();
        staged.Commit();
        std::printf("wrote %s\n", outputs.plot.c_str());
    }
    return kExitOk;
}

// The prediction API's variogram: what `grid` fits when it is given no model.

struct VariogramDeleter {
    void operator()(mosaro_variogram* v) const { mosaro_variogram_free(v); }
};
using VariogramPtr = std::unique_ptr<mosaro_variogram, VariogramDeleter>;

struct DirectionResult {
    mosaro_lag_classes classes{};
    int with_pairs = 0;
    bool fitted = false;
    mosaro_model model{};
    double sse = NAN;
    std::string fit_failure;
};

// Numbers in JSON: every bit of a double (17 digits), null for NaN.
std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
            continue;
        }
        out += c;
    }
    return out + "\"";
}

// One structure alone in the notation ("0.591 Sph(897)"), and its family's
// short name: the library writes the notation, so the tool keeps no list.
std::string StructureText(const mosaro_structure& structure) {
    mosaro_model one;
    mosaro_model_init(&one);
    one.structure_count = 1;
    one.structures[0] = structure;
    return ModelText(one);
}

std::string FamilyName(const std::string& structure_text) {
    const std::size_t space = structure_text.find(' ');
    const std::size_t start = space == std::string::npos ? 0 : space + 1;
    return structure_text.substr(start, structure_text.find('(', start) - start);
}

// The notation with every number to four digits, short enough for a
// legend ("0.05066 Nug + 0.5906 Sph(897)"). A number is digits, an optional
// point and digits, and an optional exponent; signs stay as they are.
std::string ShortNotation(const std::string& text) {
    const auto digit = [&text](std::size_t i) {
        return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    };
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (!digit(i)) {
            out += text[i++];
            continue;
        }
        std::size_t end = i;
        while (digit(end)) ++end;
        if (end < text.size() && text[end] == '.') {
            ++end;
            while (digit(end)) ++end;
        }
        if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
            std::size_t exponent = end + 1;
            if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
            if (digit(exponent)) {
                end = exponent;
                while (digit(end)) ++end;
            }
        }
        char rounded[32];
        std::snprintf(rounded, sizeof rounded, "%.4g", std::strtod(text.substr(i, end - i).c_str(), nullptr));
        out += rounded;
        i = end;
    }
    return out;
}

std::string DirectionName(const mosaro_lag_classes& c) {
    if (c.omnidirectional) return "omnidirectional";
    return "azimuth " + MessageNumber(c.azimuth) + " +/- " + MessageNumber(c.tolerance);
}

int FitWeightsUsed(const ModernRun& run) { return run.prediction.fit_weights == 0 ? 7 : run.prediction.fit_weights; }

const char* TemplateUsed(const ModernRun& run) {
    return run.fit_template.empty() ? "Nug + Sph" : run.fit_template.c_str();
}

void PrintJson(const ModernRun& run, const std::vector<DirectionResult>& results) {
    const mosaro_variogram_options& o = run.variogram;
    std::printf("{\n  \"value\": %s,\n  \"samples\": %lld,\n  \"left_out\": %lld,\n  \"estimator\": \"%s\",\n",
                JsonString(run.value_label).c_str(), static_cast<long long>(run.samples.x.size()) - run.samples.blanks,
                run.samples.blanks, o.estimator == MOSARO_ESTIMATOR_CRESSIE ? "cressie" : "classic");
    std::printf("  \"fit_model\": %s,\n  \"fit_weights\": %d,\n  \"directions\": [",
                JsonString(TemplateUsed(run)).c_str(), FitWeightsUsed(run));
    for (std::size_t d = 0; d < results.size(); ++d) {
        const DirectionResult& r = results[d];
        const mosaro_lag_classes& c = r.classes;
        std::printf("%s\n    {\n      \"omnidirectional\": %s,\n      \"azimuth\": %s,\n      \"tolerance\": %s,\n",
                    d ? "," : "", c.omnidirectional ? "true" : "false",
                    c.omnidirectional ? "null" : JsonNumber(c.azimuth).c_str(),
                    c.omnidirectional ? "null" : JsonNumber(c.tolerance).c_str());
        std::printf("      \"cutoff\": %s,\n      \"width\": %s,\n      \"classes\": [", JsonNumber(c.cutoff).c_str(),
                    JsonNumber(c.width).c_str());
        for (int k = 0; k < c.class_count; ++k)
            std::printf("%s\n        {\"lower\": %s, \"upper\": %s, \"pairs\": %s, \"distance\": %s, \"gamma\": %s}",
                        k ? "," : "", JsonNumber(c.lower[k]).c_str(), JsonNumber(c.upper[k]).c_str(),
                        JsonNumber(c.pairs[k]).c_str(), JsonNumber(c.distance[k]).c_str(),
                        JsonNumber(c.gamma[k]).c_str());
        std::printf("\n      ],\n      \"model\": ");
        if (!r.fitted) {
            std::printf("null,\n      \"fit_error\": %s\n    }", JsonString(r.fit_failure).c_str());
            continue;
        }
        std::printf(
            "{\n        \"notation\": %s,\n        \"nugget\": %s,\n        \"weighted_squared_error\": %s,\n"
            "        \"structures\": [",
            JsonString(ModelText(r.model)).c_str(), JsonNumber(r.model.nugget).c_str(), JsonNumber(r.sse).c_str());
        for (int s = 0; s < r.model.structure_count; ++s) {
            const mosaro_structure& st = r.model.structures[s];
            const std::string text = StructureText(st);
            std::printf(
                "%s\n          {\"family\": %s, \"notation\": %s, \"partial_sill\": %s, \"range\": %s, "
                "\"shape\": %s, \"azimuth\": %s, \"ratio\": %s}",
                s ? "," : "", JsonString(FamilyName(text)).c_str(), JsonString(text).c_str(),
                JsonNumber(st.partial_sill).c_str(), JsonNumber(st.range).c_str(), JsonNumber(st.shape).c_str(),
                JsonNumber(st.azimuth).c_str(), JsonNumber(st.ratio).c_str());
        }
        std::printf("\n        ]\n      }\n    }");
    }
    std::printf("\n  ]\n}\n");
}

void PrintText(const RunOptions& options, const ModernRun& run, const std::vector<DirectionResult>& results) {
    const mosaro_variogram_options& o = run.variogram;
    std::printf("%s\n", DescribeSamples(options, run.samples, false).c_str());
    std::printf("experimental variogram of %s (%s estimator)", run.value_label.c_str(),
                o.estimator == MOSARO_ESTIMATOR_CRESSIE ? "Cressie and Hawkins" : "classic");
    if (!results.empty())
        std::printf(": cutoff %.7g, classes of width %.7g", results[0].classes.cutoff, results[0].classes.width);
    std::printf("\n");
    for (const DirectionResult& r : results) {
        const mosaro_lag_classes& c = r.classes;
        std::printf("%s\n    %12s %12s %10s %14s %16s\n", DirectionName(c).c_str(), "from", "to", "pairs", "distance",
                    "gamma");
        for (int k = 0; k < c.class_count; ++k)
            std::printf("    %12.7g %12.7g %10.0f %14.7g %16.9g\n", c.lower[k], c.upper[k], c.pairs[k], c.distance[k],
                        c.gamma[k]);
        if (r.fitted)
            std::printf("  fitted %s (weights %d, weighted SSE %.6g): %s\n", TemplateUsed(run), FitWeightsUsed(run),
                        r.sse, ModelText(r.model).c_str());
        else std::printf("  no model fitted: %s\n", r.fit_failure.c_str());
    }
}

// A model's curve for the picture: out to where it is within 1 % of its
// sill (a model without one, to the last class).
VariogramModelCurve CurveOf(const std::string& label, const mosaro_model& model, double last_lag) {
    VariogramModelCurve curve;
    curve.label = label;
    const auto shared = std::make_shared<mosaro_model>(model);
    curve.semivariance = [shared](double h) { return mosaro_model_semivariance(shared.get(), h, 0); };
    curve.reach = last_lag;
    double sill = model.nugget;
    bool bounded = true;
    for (int s = 0; s < model.structure_count; ++s) {
        sill += model.structures[s].partial_sill;
        bounded = bounded && model.structures[s].family != MOSARO_FAMILY_POWER &&
                  !(model.structures[s].family == MOSARO_FAMILY_LINEAR && model.structures[s].range == 0);
    }
    while (bounded && curve.reach < 1e3 * last_lag && curve.semivariance(curve.reach) < 0.99 * sill)
        curve.reach *= 1.25;
    for (int step = 0; step <= 64; ++step) curve.top = std::max(curve.top, curve.semivariance(curve.reach * step / 64));
    return curve;
}

void WriteCloud(const mosaro_variogram& variogram, const SampleTable& samples, const std::string& target,
                const std::string& path) {
    long long count = 0;
    const int *i = nullptr, *j = nullptr;
    const double *distance = nullptr, *gamma = nullptr;
    if (mosaro_variogram_cloud(&variogram, &count, &i, &j, &distance, &gamma) != MOSARO_OK)
        throw ToolError(mosaro_last_message());
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) throw ToolError("cannot write '" + target + "'");
    // Pairs named by the samples' rows in the input file, which is what a
    // reader can look up.
    std::fprintf(file, "row_i,row_j,distance,gamma\n");
    for (long long k = 0; k < count; ++k)
        std::fprintf(file, "%lld,%lld,%.17g,%.17g\n", samples.row[static_cast<std::size_t>(i[k])],
                     samples.row[static_cast<std::size_t>(j[k])], distance[k], gamma[k]);
    const bool failed = std::ferror(file) != 0;
    if (std::fclose(file) != 0 || failed) throw ToolError("cannot write '" + target + "'");
}

void WriteMap(const mosaro_variogram& variogram, const std::string& target, const std::string& path) {
    int size = 0;
    double first = 0, width = 0;
    const double *pairs = nullptr, *gamma = nullptr;
    if (mosaro_variogram_map(&variogram, &size, &first, &width, &pairs, &gamma) != MOSARO_OK)
        throw ToolError(mosaro_last_message());
    // Lag space has no CRS; cells without pairs are no-data.
    const Georeference where{first, first, width, width, "", true};
    WriteRaster(RasterView{nullptr, size, size, gamma}, where, target, path);
}

std::vector<VariogramSeries> SeriesOf(const std::vector<DirectionResult>& results) {
    std::vector<VariogramSeries> series;
    for (const DirectionResult& r : results) {
        VariogramSeries s;
        s.label = DirectionName(r.classes);
        double last = 0;
        for (int k = 0; k < r.classes.class_count; ++k) {
            if (!(r.classes.pairs[k] > 0)) continue;
            s.lag.push_back(static_cast<float>(r.classes.distance[k]));
            s.pairs.push_back(static_cast<float>(r.classes.pairs[k]));
            s.semivariance.push_back(static_cast<float>(r.classes.gamma[k]));
            last = std::max(last, r.classes.distance[k]);
        }
        if (r.fitted) {
            s.models.push_back(CurveOf("fit: " + ShortNotation(ModelText(r.model)), r.model, last));
            // Each structure of a nested model on its own, over the nugget.
            if (r.model.structure_count > 1)
                for (int k = 0; k < r.model.structure_count; ++k) {
                    mosaro_model part;
                    mosaro_model_init(&part);
                    part.nugget = r.model.nugget;
                    part.structure_count = 1;
                    part.structures[0] = r.model.structures[k];
                    s.models.push_back(
                        CurveOf("  its " + ShortNotation(StructureText(r.model.structures[k])), part, last));
                }
        }
        series.push_back(std::move(s));
    }
    return series;
}

int RunModernVariogram(const RunOptions& options, const VariogramOutputs& outputs) {
    std::optional<PictureFormat> format;
    if (!outputs.plot.empty()) format = RequirePictureFormat(outputs.plot);
    if (!outputs.map.empty()) RasterDriverFor(outputs.map);
    StagedOutputs staged;
    const std::string plotPath = outputs.plot.empty() ? "" : staged.Stage(outputs.plot);
    const std::string cloudPath = outputs.cloud.empty() ? "" : staged.Stage(outputs.cloud);
    const std::string mapPath = outputs.map.empty() ? "" : staged.Stage(outputs.map);

    ModernRun run;
    PrepareModernRun(options, run);
    const mosaro_prediction& p = run.prediction;
    if (p.drift_terms != 0 || p.covariate_count != 0)
        std::fprintf(stderr,
                     "mosaro: warning: this is the variogram of the values; with a drift, grid fits the variogram "
                     "of their residuals from it\n");
    // The values the fit sees: the logarithms for lognormal kriging.
    std::vector<double> values(run.samples.exact[0]);
    if (p.lognormal)
        for (double& v : values) v = std::log(v + p.shift);
    mosaro_variogram_options o = run.variogram;
    o.cloud = cloudPath.empty() ? 0 : 1;
    o.map = mapPath.empty() ? 0 : 1;
    mosaro_variogram* raw = nullptr;
    if (mosaro_variogram_compute(run.samples.x.data(), run.samples.y.data(), values.data(),
                                 static_cast<int>(values.size()), &o, &raw) != MOSARO_OK)
        throw ToolError(mosaro_last_message());
    const VariogramPtr variogram(raw);

    std::vector<DirectionResult> results(static_cast<std::size_t>(mosaro_variogram_direction_count(raw)));
    for (std::size_t d = 0; d < results.size(); ++d) {
        DirectionResult& r = results[d];
        r.classes.struct_size = sizeof r.classes;
        if (mosaro_variogram_classes(raw, static_cast<int>(d), &r.classes) != MOSARO_OK)
            throw ToolError(mosaro_last_message());
        for (int k = 0; k < r.classes.class_count; ++k) r.with_pairs += r.classes.pairs[k] > 0;
        // A model needs a shape to follow: one class is a single number.
        if (r.with_pairs < 2)
            throw ToolError("cutoff " + MessageNumber(r.classes.cutoff) + " and width " +
                            MessageNumber(r.classes.width) + " leave " + std::to_string(r.with_pairs) + " lag class" +
                            (r.with_pairs == 1 ? "" : "es") + " with pairs (" + DirectionName(r.classes) +
                            "); a model needs at least 2: give a larger --cutoff or a smaller --width");
        mosaro_model_init(&r.model);
        if (mosaro_variogram_fit(raw, static_cast<int>(d),
                                 run.fit_template.empty() ? nullptr : run.fit_template.c_str(), p.fit_weights, &r.model,
                                 &r.sse) == MOSARO_OK)
            r.fitted = true;
        else r.fit_failure = mosaro_last_message();
    }

    if (!cloudPath.empty()) WriteCloud(*raw, run.samples, outputs.cloud, cloudPath);
    ThrowIfInterrupted();
    if (!mapPath.empty()) WriteMap(*raw, outputs.map, mapPath);
    ThrowIfInterrupted();
    if (format)
        DrawVariograms(SeriesOf(results),
                       run.samples.value_names[0] + ": experimental variogram of " + run.value_label + ", fitted",
                       *format, plotPath);
    ThrowIfInterrupted();
    staged.Commit();
    if (outputs.json) {
        PrintJson(run, results);
    } else if (!options.quiet) {
        PrintText(options, run, results);
        std::string written;
        for (const std::string* name : {&outputs.cloud, &outputs.map, &outputs.plot})
            if (!name->empty()) written += (written.empty() ? "" : ", ") + *name;
        if (!written.empty()) std::printf("wrote %s\n", written.c_str());
    }
    return kExitOk;
}

}  // namespace

int RunVariogramCommand(const RunOptions& options, const VariogramOutputs& outputs) {
    const RunMode mode = ChooseMode(options);
    return mode.legacy_request ? RunLegacyVariogram(options, mode, outputs) : RunModernVariogram(options, outputs);
}

}  // namespace mosaro::tool
