// Experimental variograms and fits in the C API: the classes of each
// direction, the cloud and the map as arrays owned by the handle.
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "api/ApiStatus.h"
#include "platform/Counts.h"
#include "api/ModelConversion.h"
#include "platform/Execution.h"
#include "variogram/EmpiricalVariogram.h"
#include "variogram/ModelFit.h"
#include "variogram/ModelNotation.h"

// The classes of one direction as the C API hands them out.
struct mosaro_direction_rows {
    std::vector<double> lower, upper, pairs, distance, gamma;
};

struct mosaro_variogram {
    mosaro::EmpiricalVariogram empirical;
    std::vector<mosaro_direction_rows> rows;
    bool hasCloud = false;
    std::vector<int> cloudI, cloudJ;
    std::vector<double> cloudDistance, cloudGamma;
    bool hasMap = false;
    mosaro::VariogramMap map;
    std::vector<double> mapPairs;
};

namespace mosaro {
namespace {

constexpr const char* kDefaultTemplate = "Nug + Sph";

// Checks the options (null: defaults) and turns them into the engine's.
EmpiricalOptions ReadOptions(const mosaro_variogram_options* o, mosaro_variogram_options& copy) {
    mosaro_variogram_options_init(&copy);
    ReadCallerStruct(o, "options", "mosaro_variogram_options", sizeof copy, copy);
    const auto positiveOrUnset = [](const char* name, double value) {
        if (!(value == 0.0 || (std::isfinite(value) && value > 0.0)))
            Refuse(
                MOSARO_ERROR_VARIOGRAM,
                FormatMessage("options->%s must be positive and finite, or 0 for the default (got %g)", name, value));
    };
    positiveOrUnset("cutoff", copy.cutoff);
    positiveOrUnset("width", copy.width);
    positiveOrUnset("bandwidth", copy.bandwidth);
    if (!(copy.tolerance == 0.0 || (copy.tolerance > 0.0 && copy.tolerance <= 90.0)))
        Refuse(MOSARO_ERROR_VARIOGRAM,
               FormatMessage("options->tolerance must lie in (0, 90] degrees, or 0 for the default (got %g)",
                             copy.tolerance));
    if (copy.direction_count < 0 || (copy.direction_count > 0 && copy.azimuths == nullptr))
        Refuse(MOSARO_ERROR_VARIOGRAM, FormatMessage("options->direction_count is %d but azimuths is %s",
                                                     copy.direction_count, copy.azimuths ? "set" : "null"));
    if (copy.thread_count < 0)
        Refuse(MOSARO_ERROR_THREAD_COUNT,
               FormatMessage("options->thread_count must be 0 (every core) or more (got %d)", copy.thread_count));
    int estimator = 0;
    std::memcpy(&estimator, &copy.estimator, sizeof estimator);
    if (estimator != MOSARO_ESTIMATOR_CLASSIC && estimator != MOSARO_ESTIMATOR_CRESSIE)
        Refuse(MOSARO_ERROR_VARIOGRAM,
               FormatMessage("options->estimator must be 0 (classic) or 1 (Cressie) (got %d)", estimator));

    EmpiricalOptions options;
    if (copy.cutoff > 0.0) options.cutoff = copy.cutoff;
    if (copy.width > 0.0) options.width = copy.width;
    for (int d = 0; d < copy.direction_count; ++d) {
        const double azimuth = copy.azimuths[d];
        if (!std::isfinite(azimuth))
            Refuse(MOSARO_ERROR_VARIOGRAM, FormatMessage("options->azimuths[%d] must be finite (got %g)", d, azimuth));
        LagDirection direction;
        direction.azimuth = azimuth - 360.0 * std::floor(azimuth / 360.0);
        if (copy.tolerance > 0.0) direction.tolerance = copy.tolerance;
        if (copy.bandwidth > 0.0) direction.bandwidth = copy.bandwidth;
        options.directions.push_back(direction);
    }
    options.estimator =
        estimator == MOSARO_ESTIMATOR_CRESSIE ? VariogramEstimator::kRobust : VariogramEstimator::kClassic;
    options.threads = ResolveWorkerCount(copy.thread_count);
    return options;
}

// The classes of every direction as the C API hands them out.
void FillRows(mosaro_variogram& v) {
    for (const DirectionalVariogram& d : v.empirical.directions) {
        mosaro_direction_rows r;
        for (const LagClass& c : d.classes) {
            r.lower.push_back(c.lower);
            r.upper.push_back(c.upper);
            r.pairs.push_back(CountAsDouble(c.pairs));
            r.distance.push_back(c.meanDistance);
            r.gamma.push_back(c.gamma);
        }
        v.rows.push_back(std::move(r));
    }
}

void RequireDirection(const mosaro_variogram* v, int direction) {
    if (v == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "variogram is null");
    if (direction < 0 || direction >= static_cast<int>(v->rows.size()))
        Refuse(MOSARO_ERROR_INDEX, FormatMessage("direction must lie in [0, %zu) (got %d)", v->rows.size(), direction));
}

}  // namespace

// The engine's options of a C options struct (null: the defaults); for the
// prediction API too.
EmpiricalOptions VariogramOptionsOf(const mosaro_variogram_options* options) {
    mosaro_variogram_options copy;
    return ReadOptions(options, copy);
}

// A handle of the C API holding an engine's variogram.
mosaro_variogram* VariogramHandleOf(EmpiricalVariogram empirical) {
    auto v = std::make_unique<mosaro_variogram>();
    v->empirical = std::move(empirical);
    FillRows(*v);
    return v.release();
}

// Parses a fit template (null: the default), refusing it with a status.
FitTemplate FitTemplateOf(const char* text) {
    try {
        return ParseFitTemplate(text != nullptr ? text : kDefaultTemplate);
    } catch (const std::invalid_argument& e) {
        Refuse(MOSARO_ERROR_MODEL, std::string("fit template: ") + e.what());
    }
}

FitMethod FitWeightsOf(int weights) {
    switch (weights) {
        case 0:
        case MOSARO_WEIGHTS_PAIRS_OVER_LAG: return FitMethod::kPairsOverLagSquared;
        case MOSARO_WEIGHTS_PAIRS: return FitMethod::kPairs;
        case MOSARO_WEIGHTS_PAIRS_OVER_MODEL: return FitMethod::kPairsOverModelSquared;
        case MOSARO_WEIGHTS_EQUAL: return FitMethod::kOrdinary;
        default:
            Refuse(
                MOSARO_ERROR_FIT,
                FormatMessage("fit weights must be 1, 2, 6 or 7 (gstat's fit.method), or 0 for 7 (got %d)", weights));
    }
}

}  // namespace mosaro

extern "C" MOSARO_API void mosaro_variogram_options_init_size(mosaro_variogram_options* options, size_t size) {
    if (options == nullptr) return;
    mosaro_variogram_options defaults{};
    defaults.struct_size = std::min(size, sizeof defaults);
    std::memcpy(static_cast<void*>(options), &defaults, defaults.struct_size);
}

extern "C" MOSARO_API mosaro_status mosaro_variogram_compute(const double* x, const double* y, const double* value,
                                                             int sample_count, const mosaro_variogram_options* options,
                                                             mosaro_variogram** variogram) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (variogram == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "variogram is null");
        *variogram = nullptr;
        if (sample_count < 0)
            Refuse(MOSARO_ERROR_SAMPLE_COUNT,
                   FormatMessage("sample_count must not be negative (got %d)", sample_count));
        if (sample_count > 0 && (x == nullptr || y == nullptr || value == nullptr))
            Refuse(MOSARO_ERROR_NULL_POINTER, "x, y and value must not be null");
        mosaro_variogram_options copy;
        const EmpiricalOptions o = ReadOptions(options, copy);
        // Samples with a value; coordinates must be finite.
        std::vector<double> sx, sy, sv;
        for (int i = 0; i < sample_count; ++i) {
            if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
                Refuse(MOSARO_ERROR_SAMPLE_VALUE,
                       FormatMessage("x[%d], y[%d] must be finite (got %g, %g)", i, i, x[i], y[i]));
            if (std::isnan(value[i])) continue;
            if (!std::isfinite(value[i]))
                Refuse(MOSARO_ERROR_SAMPLE_VALUE,
                       FormatMessage("value[%d] must be finite or NaN (got %g)", i, value[i]));
            sx.push_back(x[i]), sy.push_back(y[i]), sv.push_back(value[i]);
        }
        if (sv.size() < 2)
            Refuse(
                MOSARO_ERROR_SAMPLE_COUNT,
                FormatMessage("an experimental variogram needs at least 2 samples with a value (got %zu)", sv.size()));
        const SampleView samples{sx.data(), sy.data(), sv.data(), sv.size()};
        auto v = std::make_unique<mosaro_variogram>();
        try {
            v->empirical = ComputeEmpiricalVariogram(samples, o);
            if (copy.map != 0)
                v->map = ComputeVariogramMap(samples, v->empirical.cutoff, v->empirical.width, o.estimator, o.threads);
        } catch (const std::invalid_argument& e) {
            Refuse(MOSARO_ERROR_VARIOGRAM, e.what());
        }
        v->hasMap = copy.map != 0;
        FillRows(*v);
        if (copy.cloud != 0) {
            v->hasCloud = true;
            for (const CloudPair& p : ComputeVariogramCloud(samples, v->empirical.cutoff, o.threads)) {
                v->cloudI.push_back(static_cast<int>(p.i));
                v->cloudJ.push_back(static_cast<int>(p.j));
                v->cloudDistance.push_back(p.distance);
                v->cloudGamma.push_back(p.gamma);
            }
        }
        if (v->hasMap)
            for (std::uint64_t n : v->map.pairs) v->mapPairs.push_back(CountAsDouble(n));
        *variogram = v.release();
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API void mosaro_variogram_free(mosaro_variogram* variogram) { delete variogram; }

extern "C" MOSARO_API int mosaro_variogram_direction_count(const mosaro_variogram* variogram) {
    return variogram == nullptr ? 0 : static_cast<int>(variogram->rows.size());
}

extern "C" MOSARO_API mosaro_status mosaro_variogram_classes(const mosaro_variogram* variogram, int direction,
                                                             mosaro_lag_classes* classes) {
    using namespace mosaro;
    return GuardedEntry([&] {
        RequireDirection(variogram, direction);
        if (classes == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "classes is null");
        RequireStructSize("classes", "mosaro_lag_classes", classes->struct_size,
                          offsetof(mosaro_lag_classes, gamma) + sizeof classes->gamma, sizeof(mosaro_lag_classes));
        const DirectionalVariogram& d = variogram->empirical.directions[static_cast<std::size_t>(direction)];
        const mosaro_direction_rows& r = variogram->rows[static_cast<std::size_t>(direction)];
        mosaro_lag_classes out{};
        out.omnidirectional = d.omnidirectional ? 1 : 0;
        out.azimuth = d.omnidirectional ? 0.0 : d.direction.azimuth;
        out.tolerance = d.omnidirectional ? 90.0 : d.direction.tolerance;
        out.cutoff = variogram->empirical.cutoff;
        out.width = variogram->empirical.width;
        out.class_count = static_cast<int>(r.lower.size());
        out.lower = r.lower.data();
        out.upper = r.upper.data();
        out.pairs = r.pairs.data();
        out.distance = r.distance.data();
        out.gamma = r.gamma.data();
        CopyOut(out, classes);
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_variogram_cloud(const mosaro_variogram* variogram, long long* count,
                                                           const int** i, const int** j, const double** distance,
                                                           const double** gamma) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (variogram == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "variogram is null");
        if (count == nullptr || i == nullptr || j == nullptr || distance == nullptr || gamma == nullptr)
            Refuse(MOSARO_ERROR_NULL_POINTER, "count, i, j, distance and gamma must not be null");
        if (!variogram->hasCloud)
            Refuse(MOSARO_ERROR_VARIOGRAM, "the variogram was computed without its cloud (set options->cloud)");
        *count = static_cast<long long>(variogram->cloudI.size());
        *i = variogram->cloudI.data();
        *j = variogram->cloudJ.data();
        *distance = variogram->cloudDistance.data();
        *gamma = variogram->cloudGamma.data();
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_variogram_map(const mosaro_variogram* variogram, int* size, double* first,
                                                         double* width, const double** pairs, const double** gamma) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (variogram == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "variogram is null");
        if (size == nullptr || first == nullptr || width == nullptr || pairs == nullptr || gamma == nullptr)
            Refuse(MOSARO_ERROR_NULL_POINTER, "size, first, width, pairs and gamma must not be null");
        if (!variogram->hasMap)
            Refuse(MOSARO_ERROR_VARIOGRAM, "the variogram was computed without its map (set options->map)");
        *size = variogram->map.size;
        *first = -variogram->map.cutoff;
        *width = variogram->map.width;
        *pairs = variogram->mapPairs.data();
        *gamma = variogram->map.gamma.data();
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_variogram_fit(const mosaro_variogram* variogram, int direction,
                                                         const char* model_template, int weights, mosaro_model* model,
                                                         double* weighted_squared_error) {
    using namespace mosaro;
    return GuardedEntry([&] {
        RequireDirection(variogram, direction);
        if (model == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "model is null");
        RequireStructSize("model", "mosaro_model", model->struct_size, sizeof(mosaro_model), sizeof(mosaro_model));
        const FitTemplate fitTemplate = FitTemplateOf(model_template);
        const DirectionalVariogram& d = variogram->empirical.directions[static_cast<std::size_t>(direction)];
        FitOptions options;
        options.method = FitWeightsOf(weights);
        options.azimuth = d.omnidirectional ? 0.0 : d.direction.azimuth;
        const FitResult fit = FitModel(d.classes, fitTemplate, options);
        if (fit.status != FitStatus::kFitted) Refuse(MOSARO_ERROR_FIT, fit.message);
        FromVariogramModel(fit.model, model);
        if (weighted_squared_error != nullptr) *weighted_squared_error = fit.weightedSquaredError;
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_variogram_sums(const double* x, const double* y, const double* value,
                                                          const long long* rank, int sample_count, int owned_count,
                                                          const mosaro_variogram_options* options, double* pairs,
                                                          double* distance, double* statistic) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (sample_count < 0 || owned_count < 0 || owned_count > sample_count)
            Refuse(MOSARO_ERROR_SAMPLE_COUNT,
                   FormatMessage("owned_count %d must lie in [0, sample_count %d]", owned_count, sample_count));
        if (sample_count > 0 && (x == nullptr || y == nullptr || value == nullptr || rank == nullptr))
            Refuse(MOSARO_ERROR_NULL_POINTER, "x, y, value and rank must not be null");
        if (pairs == nullptr || distance == nullptr || statistic == nullptr)
            Refuse(MOSARO_ERROR_NULL_POINTER, "pairs, distance and statistic must not be null");
        if (options == nullptr || !(options->cutoff > 0.0) || !(options->width > 0.0))
            Refuse(MOSARO_ERROR_VARIOGRAM, "sums of a part of a set need options with the cutoff and the width");
        const EmpiricalOptions o = VariogramOptionsOf(options);
        for (int i = 0; i < sample_count; ++i)
            if (!std::isfinite(x[i]) || !std::isfinite(y[i]) || !std::isfinite(value[i]))
                Refuse(MOSARO_ERROR_SAMPLE_VALUE, FormatMessage("sample %d must be finite (got %g, %g, %g); leave the "
                                                                "samples without a value out",
                                                                i, x[i], y[i], value[i]));
        VariogramSums sums;
        try {
            static_assert(sizeof(long long) == sizeof(std::int64_t), "ranks are 64-bit");
            sums = SumOwnedPairs(SampleView{x, y, value, static_cast<std::size_t>(sample_count)},
                                 reinterpret_cast<const std::int64_t*>(rank), static_cast<std::size_t>(owned_count), o);
        } catch (const std::invalid_argument& e) {
            Refuse(MOSARO_ERROR_VARIOGRAM, e.what());
        }
        std::copy(sums.pairs.begin(), sums.pairs.end(), pairs);
        std::copy(sums.distance.begin(), sums.distance.end(), distance);
        std::copy(sums.statistic.begin(), sums.statistic.end(), statistic);
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_variogram_from_sums(const mosaro_variogram_options* options,
                                                               const double* pairs, const double* distance,
                                                               const double* statistic, mosaro_variogram** variogram) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (variogram == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "variogram is null");
        *variogram = nullptr;
        if (pairs == nullptr || distance == nullptr || statistic == nullptr)
            Refuse(MOSARO_ERROR_NULL_POINTER, "pairs, distance and statistic must not be null");
        if (options == nullptr || !(options->cutoff > 0.0) || !(options->width > 0.0))
            Refuse(MOSARO_ERROR_VARIOGRAM, "a variogram of sums needs options with the cutoff and the width");
        const EmpiricalOptions o = VariogramOptionsOf(options);
        VariogramSums sums;
        sums.directions = std::max<std::size_t>(o.directions.size(), 1);
        const double classes = std::floor(options->cutoff / options->width) + 1.0;
        if (!(classes <= 1048576.0))
            Refuse(MOSARO_ERROR_VARIOGRAM, "more than 2^20 lag classes: choose a larger width");
        sums.classes = static_cast<std::size_t>(classes);
        const std::size_t n = sums.directions * sums.classes;
        sums.pairs.assign(pairs, pairs + n);
        sums.distance.assign(distance, distance + n);
        sums.statistic.assign(statistic, statistic + n);
        auto v = std::make_unique<mosaro_variogram>();
        try {
            v->empirical = VariogramFromSums(sums, o);
        } catch (const std::invalid_argument& e) {
            Refuse(MOSARO_ERROR_VARIOGRAM, e.what());
        }
        FillRows(*v);
        *variogram = v.release();
        return MOSARO_OK;
    });
}
