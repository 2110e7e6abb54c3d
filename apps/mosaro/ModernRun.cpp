#include "ModernRun.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "MethodNames.h"
#include "Progress.h"

namespace mosaro::tool {
namespace {

bool Positive(double value) { return std::isfinite(value) && value > 0; }

// The checks that concern options only, so that a mistake costs no reading.
void CheckKrigingOptions(const RunOptions& options, mosaro_method method) {
    const KrigingChoice& k = options.kriging;
    if (!k.kind.empty() && k.kind != "ordinary" && k.kind != "simple")
        throw ToolError("unknown --kind '" + k.kind + "' (use ordinary or simple)");
    const bool simple = k.kind == "simple";
    if (simple && !k.mean) throw ToolError("--kind simple needs --mean (the known mean of the field)");
    if (!simple && k.mean) throw ToolError("--mean is read by simple kriging only (add --kind simple)");
    if (k.mean && !std::isfinite(*k.mean)) throw ToolError("--mean must be finite");
    const unsigned drift = DriftTermsOf(method) | (k.drift.empty() ? 0u : ParseDriftTerms(k.drift));
    if (simple && (drift != 0 || !k.covariates.empty()))
        throw ToolError(std::string("--kind simple takes no drift (") +
                        (DriftTermsOf(method) != 0 ? "--method " + options.method
                         : !k.drift.empty()        ? "--drift " + k.drift
                                                   : std::string("--covariate")) +
                        "): the mean is known, not estimated");
    if (method == MOSARO_METHOD_INDICATOR || method == MOSARO_METHOD_COKRIGING)
        throw ToolError(std::string(MethodDescription(method)) + " runs through the legacy request only");
    if (options.columns.values.size() > 1) throw ToolError("only co-kriging takes several --value columns");
    if (!options.thresholds.empty()) throw ToolError("--thresholds is read by indicator kriging only");
    if (method == MOSARO_METHOD_LOGNORMAL_SHIFTED && !options.shift)
        throw ToolError("three-parameter lognormal kriging needs --shift");
    if (options.shift && method != MOSARO_METHOD_LOGNORMAL_SHIFTED)
        throw ToolError("--shift is read by lognormal3 only (--method lognormal3 --shift S)");
    if (options.shift && !std::isfinite(*options.shift)) throw ToolError("--shift must be finite");
    if (options.neighbours && *options.neighbours < 1) throw ToolError("--nmax (--neighbours) must be at least 1");
    if (k.nmin && *k.nmin < 0) throw ToolError("--nmin must not be negative");
    if (k.nmin && *k.nmin > options.neighbours.value_or(MOSARO_DEFAULT_NEIGHBOUR_COUNT))
        throw ToolError("--nmin " + std::to_string(*k.nmin) + " is more than --nmax " +
                        std::to_string(options.neighbours.value_or(MOSARO_DEFAULT_NEIGHBOUR_COUNT)));
    if (k.max_distance && !Positive(*k.max_distance)) throw ToolError("--maxdist must be positive and finite");
    if (k.octants && k.quadrants) throw ToolError("--octants and --quadrants: give one of them");
    for (const auto& [sectors, name] : {std::pair{k.octants, "--octants"}, std::pair{k.quadrants, "--quadrants"}})
        if (sectors && *sectors < 1)
            throw ToolError(std::string(name) + " takes the samples per sector, at least 1 (got " +
                            std::to_string(*sectors) + ")");
    if (!k.block.empty() && (!Positive(k.block[0]) || !Positive(k.block[1])))
        throw ToolError("--block DX DY must be positive and finite");
    if (!k.block_points.empty() && k.block.empty()) throw ToolError("--block-points needs --block DX DY");
    if (!k.block_points.empty() &&
        (k.block_points[0] < 1 || k.block_points[1] < 1 || k.block_points[0] > 64 || k.block_points[1] > 64))
        throw ToolError("--block-points NX NY must be 1 to 64 each");
    if (k.cutoff && !Positive(*k.cutoff)) throw ToolError("--cutoff must be positive and finite");
    if (k.width && !Positive(*k.width)) throw ToolError("--width must be positive and finite");
    if (!k.estimator.empty() && k.estimator != "classic" && k.estimator != "cressie")
        throw ToolError("unknown --estimator '" + k.estimator + "' (use classic or cressie)");
    if (k.fit_weights && *k.fit_weights != 1 && *k.fit_weights != 2 && *k.fit_weights != 6 && *k.fit_weights != 7)
        throw ToolError("--fit-weights " + std::to_string(*k.fit_weights) +
                        ": use 1 (pairs), 2 (pairs / model^2), 6 (equal) or 7 (pairs / lag^2)");
}

}  // namespace

void PrepareModernRun(const RunOptions& options, ModernRun& run) {
    const KrigingChoice& k = options.kriging;
    run.method = ParseMethod(options.method);
    CheckKrigingOptions(options, run.method);
    if (options.threads < 0) throw ToolError("--threads must be 0 (every core) or more");
    const ModelOption model = ReadModelOption(options.model);
    if (!model.notation.empty()) {
        mosaro_model_init(&run.model);
        mosaro_model_parse(model.notation.c_str(), &run.model);  // read once already
        run.model_given = true;
        if (k.kind == "simple")
            for (int s = 0; s < run.model.structure_count; ++s)
                if (run.model.structures[s].family == MOSARO_FAMILY_POWER)
                    throw ToolError("--model \"" + model.notation +
                                    "\": a power model has no sill and so no covariance, which simple kriging needs");
    }
    for (const std::string& text : k.covariates) {
        const auto [name, path] = SplitCovariate(text);
        run.covariate_names.push_back(name);
        if (path.empty()) run.covariate_rasters.emplace_back();
        else run.covariate_rasters.emplace_back(std::in_place, name, path);
    }

    run.samples =
        LoadSamples(options.input, options.columns, MissingValues{false, options.nodata}, run.covariate_names);
    const SampleTable& samples = run.samples;
    const std::vector<double>& values = samples.exact[0];
    const double shift = options.shift.value_or(0);
    const bool lognormal = TakesLogarithms(run.method);
    int withValue = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (std::isnan(values[i])) continue;
        ++withValue;
        if (lognormal && !(values[i] + shift > 0))
            throw ToolError(options.input + ": row " + std::to_string(samples.row[i]) + " has " +
                            samples.value_names[0] + " = " + MessageNumber(values[i]) + ", which " + options.method +
                            (shift != 0 ? " kriging cannot take (value + shift must be positive)"
                                        : " kriging cannot take (values must be positive)"));
    }
    if (withValue < 2)
        throw ToolError(options.input + ": " + std::to_string(withValue) + " usable sample" +
                        (withValue == 1 ? "" : "s") + " with a value (at least 2 are needed)" +
                        (samples.skipped ? "; first left out: " + samples.first_skipped : "") +
                        (samples.blanks ? "; " + std::to_string(samples.blanks) + " without a value" : ""));
    run.value_label = !lognormal   ? samples.value_names[0]
                      : shift != 0 ? "log(" + samples.value_names[0] + " + " + MessageNumber(shift) + ")"
                                   : "log(" + samples.value_names[0] + ")";
    for (const std::vector<double>& column : samples.extra) run.sample_covariates.push_back(column.data());

    mosaro_variogram_options_init(&run.variogram);
    run.variogram.cutoff = k.cutoff.value_or(0);
    run.variogram.width = k.width.value_or(0);
    run.azimuths = k.directions;
    run.variogram.azimuths = run.azimuths.empty() ? nullptr : run.azimuths.data();
    run.variogram.direction_count = static_cast<int>(run.azimuths.size());
    run.variogram.tolerance = k.tolerance.value_or(0);
    run.variogram.bandwidth = k.bandwidth.value_or(0);
    run.variogram.estimator = k.estimator == "cressie" ? MOSARO_ESTIMATOR_CRESSIE : MOSARO_ESTIMATOR_CLASSIC;
    run.variogram.thread_count = options.threads;
    run.fit_template = k.fit_model;
    run.allow_empty = k.allow_empty;

    mosaro_prediction& p = run.prediction;
    mosaro_prediction_init(&p);
    p.x = samples.x.data();
    p.y = samples.y.data();
    p.value = values.data();
    p.sample_count = static_cast<int>(values.size());
    p.covariate_count = static_cast<int>(run.sample_covariates.size());
    p.sample_covariates = run.sample_covariates.empty() ? nullptr : run.sample_covariates.data();
    p.kind = k.kind == "simple" ? MOSARO_KIND_SIMPLE : MOSARO_KIND_ORDINARY;
    if (k.mean) p.mean = *k.mean;
    p.drift_terms = DriftTermsOf(run.method) | (k.drift.empty() ? 0u : ParseDriftTerms(k.drift));
    p.lognormal = lognormal ? 1 : 0;
    p.shift = shift;
    p.model = run.model_given ? &run.model : nullptr;
    p.variogram = &run.variogram;
    p.fit_template = run.fit_template.empty() ? nullptr : run.fit_template.c_str();
    p.fit_weights = k.fit_weights.value_or(0);
    p.nmax = options.neighbours.value_or(0);
    p.nmin = k.nmin.value_or(0);
    p.max_distance = k.max_distance.value_or(0);
    p.anisotropic_search = k.anisotropic_search ? 1 : 0;
    p.sectors = k.octants ? 8 : k.quadrants ? 4 : 0;
    p.max_per_sector = k.octants ? *k.octants : k.quadrants ? *k.quadrants : 0;
    if (!k.block.empty()) {
        p.block_size_x = k.block[0];
        p.block_size_y = k.block[1];
    }
    if (!k.block_points.empty()) {
        p.block_points_x = k.block_points[0];
        p.block_points_y = k.block_points[1];
    }
    p.thread_count = options.threads;
}

void TargetGrid(const GridGeometry& grid, mosaro_prediction& p) {
    p.target = MOSARO_TARGET_GRID;
    p.grid_x = grid.x_min;
    p.grid_y = grid.y_min;
    p.cell_size_x = grid.cell_x;
    p.cell_size_y = grid.cell_y;
    p.node_count_x = grid.nodes_x;
    p.node_count_y = grid.nodes_y;
}

GridGeometry ChooseSampleGrid(const GridChoice& choice, const SampleTable& samples) {
    std::vector<double> usedX, usedY;
    for (std::size_t i = 0; i < samples.x.size(); ++i)
        if (!std::isnan(samples.exact[0][i])) {
            usedX.push_back(samples.x[i]);
            usedY.push_back(samples.y[i]);
        }
    return ChooseGrid(choice, usedX, usedY, false);
}

PredictionResult Predict(mosaro_prediction prediction, long long target_count, double* const* outputs, int output_count,
                         bool allow_empty, bool quiet, const char* targets) {
    PredictionResult result;
    mosaro_model_init(&result.model);
    result.report.struct_size = sizeof result.report;
    prediction.model_used = &result.model;
    ProgressReporter progress(quiet);
    prediction.progress = &ProgressReporter::Callback;
    prediction.progress_user_data = &progress;
    const mosaro_status status = mosaro_predict(&prediction, &result.report);
    if (status == MOSARO_ERROR_CANCELLED) ThrowIfInterrupted();
    if (status == MOSARO_ERROR_FIT) {
        result.no_model_why = mosaro_last_message();
        if (!allow_empty) throw NoModelError(result.no_model_why);
        // Every target without an estimate, as the outputs say.
        for (int o = 0; o < output_count; ++o)
            if (outputs[o] != nullptr)
                std::fill(outputs[o], outputs[o] + target_count, std::numeric_limits<double>::quiet_NaN());
        result.no_model = true;
        result.report.targets = target_count;
        result.report.no_data = target_count;
        result.report.smallest_reciprocal_condition = NAN;
        return result;
    }
    if (status < 0) throw ToolError(mosaro_last_message());
    const mosaro_prediction_report& r = result.report;
    if (r.targets > 0 && r.no_data == r.targets && !allow_empty)
        throw ToolError("none of the " + std::to_string(r.targets) + " " + targets + " got an estimate" +
                        (r.too_few_neighbours > 0
                             ? " (" + std::to_string(r.too_few_neighbours) + " with fewer than --nmin samples in reach)"
                             : "") +
                        "; nothing written (widen --maxdist, lower --nmin, or --allow-empty to write no-data)");
    return result;
}

ToolError NoModelError(const std::string& why) {
    return ToolError("no variogram model could be fitted, so nothing can be estimated (" + why +
                     "); give --model, another --cutoff or --width, or --allow-empty to write no-data");
}

std::string ModelText(const mosaro_model& model) {
    char text[1024];
    if (mosaro_model_format(&model, text, sizeof text) != MOSARO_OK) return "(a model too long to print)";
    return text;
}

void PrintModelLine(const ModernRun& run, const PredictionResult& result) {
    if (result.no_model) {
        std::printf("model: none (%s)\n", result.no_model_why.c_str());
        return;
    }
    if (!result.report.model_fitted) {
        std::printf("model (given): %s\n", ModelText(result.model).c_str());
        return;
    }
    const mosaro_prediction& p = run.prediction;
    const bool drift = p.drift_terms != 0 || p.covariate_count > 0;
    const int weights = p.fit_weights == 0 ? 7 : p.fit_weights;
    std::printf("model (%s fitted to the omnidirectional variogram of %s%s, weights %d, weighted SSE %.6g): %s\n",
                run.fit_template.empty() ? "Nug + Sph" : run.fit_template.c_str(), drift ? "the residuals of " : "",
                run.value_label.c_str(), weights, result.report.weighted_squared_error,
                ModelText(result.model).c_str());
}

void PrintTargetLine(const PredictionResult& result, const char* targets) {
    const mosaro_prediction_report& r = result.report;
    std::printf("%lld %s: %lld without an estimate", r.targets, targets, r.no_data);
    if (r.too_few_neighbours > 0) std::printf(" (%lld with fewer than --nmin samples in reach)", r.too_few_neighbours);
    std::printf(", %lld ill-conditioned (reciprocal condition < 1e-10)", r.ill_conditioned);
    if (r.minimum_norm > 0) std::printf(", %lld of them minimum-norm", r.minimum_norm);
    if (!std::isnan(r.smallest_reciprocal_condition))
        std::printf("; smallest reciprocal condition %.3g", r.smallest_reciprocal_condition);
    std::printf("\n");
}

std::string DescribeKriging(const ModernRun& run) {
    const mosaro_prediction& p = run.prediction;
    std::string text = p.lognormal ? "lognormal " : "";
    if (p.kind == MOSARO_KIND_SIMPLE) {
        text += "simple kriging with mean " + MessageNumber(p.mean);
    } else if (p.drift_terms != 0 || p.covariate_count > 0) {
        text += "universal kriging with a drift in ";
        std::string terms = DriftTermNames(p.drift_terms);
        for (const std::string& name : run.covariate_names) terms += (terms.empty() ? "" : ", ") + name;
        text += terms;
    } else {
        text += "ordinary kriging";
    }
    if (p.lognormal && p.shift != 0) text += " of value + " + MessageNumber(p.shift);
    text += ", " + (p.nmax == 0 ? std::to_string(MOSARO_DEFAULT_NEIGHBOUR_COUNT) : std::to_string(p.nmax)) +
            " nearest samples";
    if (p.nmin > 0) text += " (at least " + std::to_string(p.nmin) + ")";
    if (p.max_distance > 0) text += " within " + MessageNumber(p.max_distance);
    if (p.sectors > 0)
        text += ", at most " + std::to_string(p.max_per_sector) + " per " + (p.sectors == 8 ? "octant" : "quadrant");
    if (p.anisotropic_search) text += ", searched in the model's anisotropy";
    if (p.block_size_x > 0)
        text += ", blocks of " + MessageNumber(p.block_size_x) + " x " + MessageNumber(p.block_size_y) + " (" +
                std::to_string(p.block_points_x == 0 ? 4 : p.block_points_x) + " x " +
                std::to_string(p.block_points_y == 0 ? 4 : p.block_points_y) + " points)";
    return text;
}

}  // namespace mosaro::tool
