// The modern C API: version, request defaults, the prepared-samples handle
// and the gridding calls. Every entry runs inside GuardedEntry; the run
// itself goes through the same engine path as the legacy entry point.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "api/HostProgress.h"
#include "api/ApiStatus.h"
#include "api/ModelReport.h"
#include "api/PreparedSamples.h"
#include "api/RequestValidation.h"
#include "methods/MethodCatalog.h"
#include "pipeline/Pipeline.h"
#include "pipeline/ValidationSummary.h"
#include "sweeps/CrossValidation.h"

namespace mosaro {
namespace {

// The modern codes are the catalogue's codes.
static_assert(static_cast<int>(MOSARO_METHOD_ORDINARY) == kOrdinary &&
                  static_cast<int>(MOSARO_METHOD_LOGNORMAL_SHIFTED) == kLognormalThreeParameter &&
                  static_cast<int>(MOSARO_METHOD_INDICATOR) == kIndicator &&
                  static_cast<int>(MOSARO_METHOD_COKRIGING) == kCoKriging,
              "method codes differ between the two APIs");

#define MOSARO_STRINGIFY_(x) #x
#define MOSARO_STRINGIFY(x) MOSARO_STRINGIFY_(x)
constexpr const char kVersion[] = MOSARO_STRINGIFY(MOSARO_VERSION_MAJOR) "." MOSARO_STRINGIFY(
    MOSARO_VERSION_MINOR) "." MOSARO_STRINGIFY(MOSARO_VERSION_PATCH);

// Both directions' models as the estimator holds them; one model serves
// both directions.
void ExpandGivenModels(const mosaro_request& r, TVARIOGRAMMODEL (&models)[2]) {
    for (int d = 0; d < 2; ++d) {
        const mosaro_variogram_model& m = r.given_models[r.given_model_count == 2 ? d : 0];
        models[d].fNugget = m.nugget;
        models[d].fRange = m.range;
        models[d].fPartialSill = m.partial_sill;
        models[d].fSill = f32(f64(m.nugget) + f64(m.partial_sill));
    }
}

// The pipeline's view of a validated request: counts widened for
// co-kriging, the thresholds' count or the variables' count as the method
// parameter, as the legacy call passes them.
PipelineRun MapToPipeline(const mosaro_request& r, const mosaro_samples& samples) {
    const bool coKriging = r.method == MOSARO_METHOD_COKRIGING;
    const PointArrays& points = coKriging && samples.variables > 1 ? samples.blocks : samples.primary;
    PipelineRun run;
    run.samples = points.Rows();
    run.samples.count = samples.count;
    run.neighbours = r.neighbour_count;
    run.method = MethodSpec{r.method, r.method_parameter, nullptr};
    run.grid = TGRIDCELLXY{r.cell_size_x, r.cell_size_y, r.node_count_x - 1, r.node_count_y - 1};
    run.rect = TRECTXYMINMAX{r.x_min, r.y_min, r.x_max, r.y_max};
    if (r.method == MOSARO_METHOD_INDICATOR) {
        run.method.parameter = static_cast<float>(r.threshold_count);  // exact: at most 2^24
        run.method.thresholds = r.thresholds;
    }
    if (coKriging) {
        // As the legacy call: neighbours per variable, at most a block.
        run.samples.count = samples.count * samples.variables;
        run.neighbours = std::min(r.neighbour_count, samples.count) * samples.variables;
        run.method.parameter = static_cast<float>(samples.variables);
    }
    return run;
}

// Runs a validated request through the pipeline and returns its report
// (kept always: it tells whether the fit gave a model) with the status it
// gives.
mosaro_status RunRequest(const mosaro_samples& samples, const mosaro_request& r, bool fitOnly,
                         std::unique_ptr<mosaro_report>& report, ValidationRun* validation = nullptr) {
    PipelineRun run = MapToPipeline(r, samples);
    run.fit = r.fit == MOSARO_FIT_ROBUST ? FitChoice::kRobust : FitChoice::kLegacy;
    run.fitOnly = fitOnly;
    run.validation = validation;
    run.keepTables = fitOnly || (r.report != nullptr && r.report_tables != 0);
    TVARIOGRAMMODEL givenModels[2];
    if (r.given_models != nullptr) {
        ExpandGivenModels(r, givenModels);
        run.givenModels = givenModels;
    }

    RunSettings settings;
    settings.reference = r.implementation == MOSARO_IMPLEMENTATION_REFERENCE;
    settings.execution.workers = ResolveWorkerCount(r.thread_count);
    settings.arithmetic = r.arithmetic == MOSARO_ARITHMETIC_ACCURATE ? Arithmetic::kAccurate : Arithmetic::kLegacy;
    const std::unique_ptr<ProgressReporter> progress = HostProgress(r.progress, r.progress_user_data);
    settings.execution.progress = progress.get();

    report = std::make_unique<mosaro_report>();
    PipelineOutputs outputs;
    outputs.grid = r.grid;
    outputs.variance = r.variance;
    outputs.report = &report->passes;
    // The condition grid is the smallest over the passes, gathered in a
    // scratch grid so that the caller's is written only after a success.
    std::vector<float> condition;
    if (r.reciprocal_condition != nullptr && settings.arithmetic == Arithmetic::kAccurate && !fitOnly) {
        condition.assign(static_cast<std::size_t>(r.node_count_x) * static_cast<std::size_t>(r.node_count_y),
                         std::nanf(""));
        outputs.reciprocalCondition = condition.data();
    }
    RunPipeline(run, settings, outputs);
    if (!condition.empty()) std::copy(condition.begin(), condition.end(), r.reciprocal_condition);
    return WarnOnNonFiniteModel(report->passes);
}

// Hands the report to the caller if asked for, without the tables unless
// those were asked for too.
void HandOverReport(const mosaro_request& r, std::unique_ptr<mosaro_report>& report) {
    if (r.report == nullptr) return;
    if (!r.report_tables) {
        for (PassReport& pass : report->passes) {
            for (int d = 0; d < 2; ++d)
                for (int row = 0; row < 3; ++row) {
                    std::vector<float>().swap(pass.tables[d][row]);
                    std::vector<float>().swap(pass.prunedTables[d][row]);
                }
            pass.omnidirectional = VariogramRows{};
        }
    }
    *r.report = report.release();
}

mosaro_status GridSamples(const mosaro_samples& samples, const mosaro_request& r) {
    ValidateRequest(r, samples);
    std::unique_ptr<mosaro_report> report;
    const mosaro_status status = RunRequest(samples, r, false, report);
    // A sum of per-threshold estimates has no kriging variance; written only
    // after a run that succeeded, like every other output.
    if (r.variance != nullptr && r.method == MOSARO_METHOD_INDICATOR) {
        const std::size_t nodes = static_cast<std::size_t>(r.node_count_x) * static_cast<std::size_t>(r.node_count_y);
        std::fill_n(r.variance, nodes, std::nanf(""));
    }
    HandOverReport(r, report);
    return status;
}

// The request of a fit-only run: one node into a scratch value (the lag
// classes depend on the extent and the cell sizes only), no outputs.
mosaro_status FitVariograms(const mosaro_samples& samples, mosaro_request r, mosaro_report** out) {
    float scratch = 0.0f;
    r.grid = &scratch;
    r.variance = nullptr;
    r.node_count_x = 1;
    r.node_count_y = 1;
    r.given_models = nullptr;
    r.given_model_count = 0;
    r.report = nullptr;
    ValidateRequest(r, samples);
    std::unique_ptr<mosaro_report> report;
    const mosaro_status status = RunRequest(samples, r, true, report);
    *out = report.release();
    return status;
}

// Cross-validation: the run of a fit-only request whose sweep estimates the
// samples instead of nodes.
mosaro_status CrossValidate(const mosaro_samples& samples, mosaro_request r, const mosaro_validation& v,
                            mosaro_validation_summary* summary) {
    float scratch = 0.0f;
    r.grid = &scratch;
    r.variance = nullptr;
    r.reciprocal_condition = nullptr;
    r.node_count_x = 1;
    r.node_count_y = 1;
    ValidateRequest(r, samples);  // first: only then is the method one of the enumerators
    if (r.method == MOSARO_METHOD_INDICATOR)
        Refuse(MOSARO_ERROR_METHOD,
               "method 10 (indicator kriging) cannot be cross-validated: its estimate has no kriging "
               "system of its own");
    const int count = samples.count;
    if (count < 2)
        Refuse(MOSARO_ERROR_SAMPLE_COUNT, FormatMessage("cross-validation needs at least 2 samples (got %d)", count));
    if (v.folds < 0 || v.folds == 1 || v.folds > count)
        Refuse(MOSARO_ERROR_METHOD_PARAMETER,
               FormatMessage("validation->folds must be 0 (leave-one-out) or 2 to the sample count %d "
                             "(got %d)",
                             count, v.folds));
    // No more neighbours than lie outside the largest fold, so that every
    // estimate of a co-kriging run has a full group per variable.
    const int largestFold = v.folds == 0 ? 1 : (count + v.folds - 1) / v.folds;
    r.neighbour_count = std::min(r.neighbour_count, count - largestFold);

    ValidationRun run;
    run.fold = AssignFolds(count, v.folds, v.seed);
    std::unique_ptr<mosaro_report> report;
    const mosaro_status status = RunRequest(samples, r, false, report, &run);

    const float* observed = samples.primary.value.data();
    const double logShift = r.method == MOSARO_METHOD_LOGNORMAL           ? 0.0
                            : r.method == MOSARO_METHOD_LOGNORMAL_SHIFTED ? f64(r.method_parameter)
                                                                          : std::nan("");
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        const double estimate = run.estimate[i], variance = run.variance[i];
        const double residual = f64(observed[i]) - estimate;
        if (v.estimate != nullptr) v.estimate[i] = f32(estimate);
        if (v.variance != nullptr) v.variance[i] = f32(variance);
        if (v.residual != nullptr) v.residual[i] = f32(residual);
        if (v.standardised_residual != nullptr)
            v.standardised_residual[i] = f32(StandardisedResidual(f64(observed[i]), estimate, variance, logShift));
        if (v.fold != nullptr) v.fold[i] = run.fold[i];
    }
    if (summary != nullptr) {
        const ValidationSummary s = Summarise(observed, run, logShift);
        mosaro_validation_summary out{};
        out.estimated = s.estimated;
        out.not_estimated = s.notEstimated;
        out.mean_error = s.meanError;
        out.mean_absolute_error = s.meanAbsoluteError;
        out.root_mean_square_error = s.rootMeanSquareError;
        out.mean_squared_deviation_ratio = s.meanSquaredDeviationRatio;
        out.correlation = s.correlation;
        CopyOut(out, summary);
    }
    HandOverReport(r, report);
    return status;
}

}  // namespace
}  // namespace mosaro

extern "C" MOSARO_API const char* mosaro_version(void) { return mosaro::kVersion; }

extern "C" MOSARO_API void mosaro_request_init_size(mosaro_request* request, size_t size) {
    if (request == nullptr) return;
    mosaro_request defaults{};
    defaults.struct_size = std::min(size, sizeof(mosaro_request));
    defaults.neighbour_count = MOSARO_DEFAULT_NEIGHBOUR_COUNT;
    defaults.method = MOSARO_METHOD_ORDINARY;
    defaults.implementation = MOSARO_IMPLEMENTATION_FAST;
    defaults.fit = MOSARO_FIT_LEGACY;
    std::memcpy(static_cast<void*>(request), &defaults, defaults.struct_size);
}

// The exported name of the first layout; the header's macro of the same name
// is kept out by the parentheses.
extern "C" MOSARO_API void(mosaro_request_init)(mosaro_request* request) {
    mosaro_request_init_size(request, offsetof(mosaro_request, fit));
}

extern "C" MOSARO_API mosaro_status mosaro_samples_create(const float* x, const float* y, const float* value,
                                                          int sample_count, const float* const* extra_values,
                                                          int extra_value_count, mosaro_samples** samples) {
    return mosaro::GuardedEntry([&] {
        if (samples == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "samples is null");
        *samples = nullptr;
        *samples = mosaro::PrepareSamples(x, y, value, sample_count, extra_values, extra_value_count).release();
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API void mosaro_samples_free(mosaro_samples* samples) { delete samples; }

extern "C" MOSARO_API mosaro_status mosaro_grid_samples(const mosaro_samples* samples, const mosaro_request* request) {
    return mosaro::GuardedEntry([&] {
        const mosaro_request r = mosaro::ReadRequest(request);
        if (samples == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "samples is null");
        return mosaro::GridSamples(*samples, r);
    });
}

extern "C" MOSARO_API mosaro_status mosaro_grid(const mosaro_request* request) {
    return mosaro::GuardedEntry([&] {
        const mosaro_request r = mosaro::ReadRequest(request);
        const std::unique_ptr<mosaro_samples> samples =
            mosaro::PrepareSamples(r.x, r.y, r.value, r.sample_count, r.extra_values, r.extra_value_count);
        return mosaro::GridSamples(*samples, r);
    });
}

extern "C" MOSARO_API mosaro_status mosaro_fit_variograms(const mosaro_samples* samples, const mosaro_request* request,
                                                          mosaro_report** report) {
    return mosaro::GuardedEntry([&] {
        const mosaro_request r = mosaro::ReadRequest(request);
        if (samples == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "samples is null");
        if (report == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "report is null");
        *report = nullptr;
        return mosaro::FitVariograms(*samples, r, report);
    });
}

extern "C" MOSARO_API mosaro_status mosaro_cross_validate(const mosaro_samples* samples, const mosaro_request* request,
                                                          const mosaro_validation* validation,
                                                          mosaro_validation_summary* summary) {
    return mosaro::GuardedEntry([&] {
        const mosaro_request r = mosaro::ReadRequest(request);
        if (samples == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "samples is null");
        if (validation == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "validation is null");
        mosaro::RequireStructSize("validation", "mosaro_validation", validation->struct_size,
                                  offsetof(mosaro_validation, fold) + sizeof validation->fold,
                                  sizeof(mosaro_validation));
        if (summary != nullptr)
            mosaro::RequireStructSize("summary", "mosaro_validation_summary", summary->struct_size,
                                      offsetof(mosaro_validation_summary, estimated) + sizeof summary->estimated,
                                      sizeof(mosaro_validation_summary));
        return mosaro::CrossValidate(*samples, r, *validation, summary);
    });
}
