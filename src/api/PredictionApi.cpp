// The prediction call of the C API: the request checked field by field
// (every refusal names the field and its value, before anything is
// written), then the prediction engine.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <Eigen/Dense>

#include "api/HostProgress.h"
#include "api/ApiStatus.h"
#include "api/ModelConversion.h"
#include "methods/PolynomialDrift.h"
#include "pipeline/Prediction.h"
#include "platform/Execution.h"
#include "variogram/ModelNotation.h"

namespace mosaro {

EmpiricalOptions VariogramOptionsOf(const mosaro_variogram_options* options);
mosaro_variogram* VariogramHandleOf(EmpiricalVariogram empirical);
FitTemplate FitTemplateOf(const char* text);
FitMethod FitWeightsOf(int weights);

namespace {

// The most blocks' discretisation points per side: a block of 64 x 64
// points already costs 4096 covariances per neighbour.
constexpr int kMaxBlockPoints = 64;

template <class Enum>
int StoredCode(const Enum& field) {
    int code;
    std::memcpy(&code, &field, sizeof code);
    return code;
}

void RequireFiniteArray(const char* name, const double* values, long long count) {
    for (long long i = 0; i < count; ++i)
        if (!std::isfinite(values[i]))
            Refuse(MOSARO_ERROR_SAMPLE_VALUE, FormatMessage("%s[%lld] must be finite (got %g)", name, i, values[i]));
}

void CheckSamples(const mosaro_prediction& p) {
    if (p.sample_count < 1)
        Refuse(MOSARO_ERROR_SAMPLE_COUNT, FormatMessage("sample_count must be at least 1 (got %d)", p.sample_count));
    if (p.x == nullptr || p.y == nullptr || p.value == nullptr)
        Refuse(MOSARO_ERROR_NULL_POINTER, "x, y and value must not be null");
    RequireFiniteArray("x", p.x, p.sample_count);
    RequireFiniteArray("y", p.y, p.sample_count);
    int withValue = 0;
    for (int i = 0; i < p.sample_count; ++i) {
        if (std::isnan(p.value[i])) continue;
        if (!std::isfinite(p.value[i]))
            Refuse(MOSARO_ERROR_SAMPLE_VALUE,
                   FormatMessage("value[%d] must be finite, or NaN for none (got %g)", i, p.value[i]));
        if (p.lognormal != 0 && !(p.value[i] + p.shift > 0.0))
            Refuse(MOSARO_ERROR_SAMPLE_VALUE,
                   FormatMessage("value[%d] + shift = %g + %g must be positive for lognormal kriging", i, p.value[i],
                                 p.shift));
        ++withValue;
    }
    if (withValue == 0) Refuse(MOSARO_ERROR_SAMPLE_COUNT, "no sample has a value (every value is NaN)");
    if (p.lognormal != 0 && !std::isfinite(p.shift))
        Refuse(MOSARO_ERROR_METHOD_PARAMETER, FormatMessage("shift must be finite (got %g)", p.shift));
}

void CheckKind(const mosaro_prediction& p) {
    const int kind = StoredCode(p.kind);
    if (kind != MOSARO_KIND_ORDINARY && kind != MOSARO_KIND_SIMPLE)
        Refuse(MOSARO_ERROR_KIND, FormatMessage("kind must be 0 (ordinary) or 1 (simple) (got %d)", kind));
    if (kind == MOSARO_KIND_SIMPLE) {
        if (!std::isfinite(p.mean))
            Refuse(MOSARO_ERROR_KIND, FormatMessage("simple kriging needs a finite mean (got %g)", p.mean));
        if (p.drift_terms != 0 || p.covariate_count != 0)
            Refuse(MOSARO_ERROR_KIND, "simple kriging takes no drift: drift_terms and covariate_count must be 0");
    } else if (!std::isnan(p.mean)) {
        Refuse(MOSARO_ERROR_KIND,
               FormatMessage("mean is given (%g) but only simple kriging uses it (kind is ordinary)", p.mean));
    }
    if ((p.drift_terms & ~(MOSARO_DRIFT_X | MOSARO_DRIFT_XX | MOSARO_DRIFT_Y | MOSARO_DRIFT_YY | MOSARO_DRIFT_XY)) != 0)
        Refuse(MOSARO_ERROR_KIND,
               FormatMessage("drift_terms must be a set of the MOSARO_DRIFT_ bits (got %u)", p.drift_terms));
}

void CheckCovariates(const mosaro_prediction& p, long long targets) {
    if (p.covariate_count < 0)
        Refuse(MOSARO_ERROR_COVARIATES,
               FormatMessage("covariate_count must not be negative (got %d)", p.covariate_count));
    if (p.covariate_count == 0) return;
    if (p.sample_covariates == nullptr || p.target_covariates == nullptr)
        Refuse(MOSARO_ERROR_COVARIATES, "covariates need sample_covariates and target_covariates");
    for (int c = 0; c < p.covariate_count; ++c) {
        if (p.sample_covariates[c] == nullptr || p.target_covariates[c] == nullptr)
            Refuse(MOSARO_ERROR_COVARIATES,
                   FormatMessage("covariate %d has no values at the samples or the targets", c));
        for (int i = 0; i < p.sample_count; ++i)
            if (!std::isnan(p.value[i]) && !std::isfinite(p.sample_covariates[c][i]))
                Refuse(MOSARO_ERROR_COVARIATES,
                       FormatMessage("sample_covariates[%d][%d] must be finite at a sample with a value (got %g)", c, i,
                                     p.sample_covariates[c][i]));
        for (long long t = 0; t < targets; ++t)
            if (!std::isfinite(p.target_covariates[c][t]))
                Refuse(MOSARO_ERROR_COVARIATES,
                       FormatMessage("target_covariates[%d][%lld] must be finite (got %g): the covariate does not "
                                     "cover that target",
                                     c, t, p.target_covariates[c][t]));
    }
}

// A drift that no set of samples can determine (every sample on one line
// x = constant for a drift in x, too few samples for the terms) would make
// every system singular: refused up front, naming the drift.
void CheckDriftDetermined(const mosaro_prediction& p) {
    const int covariates = p.covariate_count;
    if (p.drift_terms == 0 && covariates == 0) return;
    const std::unique_ptr<NodeMethod> drift = MakePolynomialDrift(p.drift_terms, covariates);
    const int terms = drift->BorderSize();
    std::vector<double> row(static_cast<std::size_t>(terms)), at(static_cast<std::size_t>(covariates));
    std::vector<std::vector<double>> rows;
    double cx = 0.0, cy = 0.0, scale = 0.0;
    int n = 0;
    for (int i = 0; i < p.sample_count; ++i)
        if (!std::isnan(p.value[i])) cx += p.x[i], cy += p.y[i], ++n;
    cx /= n, cy /= n;
    for (int i = 0; i < p.sample_count; ++i)
        if (!std::isnan(p.value[i])) scale = std::max(scale, std::max(std::fabs(p.x[i] - cx), std::fabs(p.y[i] - cy)));
    if (!(scale > 0.0)) scale = 1.0;
    Eigen::MatrixXd design(n, terms);
    int r = 0;
    for (int i = 0; i < p.sample_count; ++i) {
        if (std::isnan(p.value[i])) continue;
        for (int c = 0; c < covariates; ++c) at[static_cast<std::size_t>(c)] = p.sample_covariates[c][i];
        drift->Drift((p.x[i] - cx) / scale, (p.y[i] - cy) / scale, at.data(), row.data());
        for (int t = 0; t < terms; ++t) design(r, t) = row[static_cast<std::size_t>(t)];
        ++r;
    }
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(design);
    qr.setThreshold(1e-10);
    if (qr.rank() < terms)
        Refuse(MOSARO_ERROR_KIND,
               FormatMessage("the drift (%d terms: the constant, drift_terms %u, %d covariates) cannot "
                             "be determined from the %d samples: some term is constant or a "
                             "combination of the others there, so every system would be singular",
                             terms, p.drift_terms, covariates, n));
}

NeighbourhoodOptions Neighbourhood(const mosaro_prediction& p) {
    NeighbourhoodOptions n;
    if (p.nmax < -1)
        Refuse(MOSARO_ERROR_NEIGHBOURHOOD,
               FormatMessage("nmax must be -1 (every sample), 0 (the default) or more (got %d)", p.nmax));
    n.nmax = p.nmax == 0 ? MOSARO_DEFAULT_NEIGHBOUR_COUNT : (p.nmax < 0 ? 0 : p.nmax);
    if (p.nmin < 0) Refuse(MOSARO_ERROR_NEIGHBOURHOOD, FormatMessage("nmin must not be negative (got %d)", p.nmin));
    if (n.nmax > 0 && p.nmin > n.nmax)
        Refuse(MOSARO_ERROR_NEIGHBOURHOOD, FormatMessage("nmin %d exceeds nmax %d", p.nmin, n.nmax));
    n.nmin = p.nmin;
    if (!(p.max_distance >= 0.0) || std::isinf(p.max_distance))
        Refuse(MOSARO_ERROR_NEIGHBOURHOOD,
               FormatMessage("max_distance must be positive and finite, or 0 for no limit (got %g)", p.max_distance));
    if (p.max_distance > 0.0) n.maxDistance = p.max_distance;
    if (p.sectors != 0 && p.sectors != 4 && p.sectors != 8)
        Refuse(MOSARO_ERROR_NEIGHBOURHOOD, FormatMessage("sectors must be 0, 4 or 8 (got %d)", p.sectors));
    if (p.sectors != 0 && p.max_per_sector < 1)
        Refuse(MOSARO_ERROR_NEIGHBOURHOOD, FormatMessage("max_per_sector must be at least 1 with %d sectors (got %d)",
                                                         p.sectors, p.max_per_sector));
    if (p.sectors != 0 && n.nmax == 0)
        Refuse(MOSARO_ERROR_NEIGHBOURHOOD, "a sector search needs nmax: a global neighbourhood takes every sample");
    n.sectors = p.sectors;
    n.maxPerSector = p.max_per_sector;
    return n;
}

TargetSet Targets(const mosaro_prediction& p) {
    TargetSet t;
    const int kind = StoredCode(p.target);
    if (kind == MOSARO_TARGET_POINTS) {
        if (p.target_count < 0)
            Refuse(MOSARO_ERROR_TARGETS, FormatMessage("target_count must not be negative (got %lld)", p.target_count));
        if (p.target_count > 0 && (p.target_x == nullptr || p.target_y == nullptr))
            Refuse(MOSARO_ERROR_NULL_POINTER, "target_x and target_y must not be null");
        for (long long i = 0; i < p.target_count; ++i)
            if (!std::isfinite(p.target_x[i]) || !std::isfinite(p.target_y[i]))
                Refuse(MOSARO_ERROR_TARGETS, FormatMessage("target %lld must have finite coordinates (got %g, %g)", i,
                                                           p.target_x[i], p.target_y[i]));
        t.grid = false;
        t.x = p.target_x;
        t.y = p.target_y;
        t.count = p.target_count;
        return t;
    }
    if (kind != MOSARO_TARGET_GRID)
        Refuse(MOSARO_ERROR_TARGETS, FormatMessage("target must be 0 (grid) or 1 (points) (got %d)", kind));
    if (!std::isfinite(p.grid_x) || !std::isfinite(p.grid_y))
        Refuse(MOSARO_ERROR_TARGETS, FormatMessage("grid_x, grid_y must be finite (got %g, %g)", p.grid_x, p.grid_y));
    if (!(std::isfinite(p.cell_size_x) && p.cell_size_x > 0.0 && std::isfinite(p.cell_size_y) && p.cell_size_y > 0.0))
        Refuse(MOSARO_ERROR_CELL_SIZE,
               FormatMessage("cell_size_x, cell_size_y must be positive and finite (got %g, %g)", p.cell_size_x,
                             p.cell_size_y));
    if (p.node_count_x < 1 || p.node_count_y < 1)
        Refuse(MOSARO_ERROR_NODE_COUNT, FormatMessage("node_count_x, node_count_y must be at least 1 (got %d, %d)",
                                                      p.node_count_x, p.node_count_y));
    const int columns = p.window_columns > 0 ? p.window_columns : p.node_count_x;
    const int rows = p.window_rows > 0 ? p.window_rows : p.node_count_y;
    if (p.window_column < 0 || p.window_row < 0 || p.window_columns < 0 || p.window_rows < 0 ||
        static_cast<long long>(p.window_column) + columns > p.node_count_x ||
        static_cast<long long>(p.window_row) + rows > p.node_count_y)
        Refuse(MOSARO_ERROR_TARGETS,
               FormatMessage("the window (column %d, row %d, %d x %d nodes) must lie within the grid of %d x %d nodes",
                             p.window_column, p.window_row, columns, rows, p.node_count_x, p.node_count_y));
    t.grid = true;
    // The whole grid's first node and the window's place in it: every node
    // is placed from the whole grid's first node, so that it has one
    // position whatever the window (x0 + 16 dx + 1 dx is not x0 + 17 dx).
    t.x0 = p.grid_x;
    t.y0 = p.grid_y;
    t.column0 = p.window_column;
    t.row0 = p.window_row;
    t.dx = p.cell_size_x;
    t.dy = p.cell_size_y;
    t.columns = columns;
    t.rows = rows;
    return t;
}

// The engine's request of a checked C request.
PredictionRequest RequestOf(const mosaro_prediction& p, const TargetSet& targets) {
    PredictionRequest r;
    r.x = p.x;
    r.y = p.y;
    r.value = p.value;
    r.count = p.sample_count;
    for (int c = 0; c < p.covariate_count; ++c) r.sampleCovariates.push_back(p.sample_covariates[c]);
    r.kind = StoredCode(p.kind) == MOSARO_KIND_SIMPLE ? KrigingKind::kSimple : KrigingKind::kOrdinary;
    r.mean = p.mean;
    r.driftTerms = p.drift_terms;
    r.lognormal = p.lognormal != 0;
    r.shift = p.lognormal != 0 ? p.shift : 0.0;
    if (p.model != nullptr) r.model = ToVariogramModel(*p.model, "model");
    r.variogram = VariogramOptionsOf(p.variogram);
    r.fitTemplate = FitTemplateOf(p.fit_template);
    r.fit.method = FitWeightsOf(p.fit_weights);
    r.neighbourhood = Neighbourhood(p);
    r.anisotropicSearch = p.anisotropic_search != 0;
    r.targets = targets;
    for (int c = 0; c < p.covariate_count; ++c) r.targets.covariates.push_back(p.target_covariates[c]);
    if (!(p.block_size_x >= 0.0 && p.block_size_y >= 0.0 && std::isfinite(p.block_size_x) &&
          std::isfinite(p.block_size_y)) ||
        ((p.block_size_x > 0.0) != (p.block_size_y > 0.0)))
        Refuse(MOSARO_ERROR_TARGETS, FormatMessage("block_size_x, block_size_y must both be positive and finite, or "
                                                   "both 0 for points (got %g, %g)",
                                                   p.block_size_x, p.block_size_y));
    if (p.frame != nullptr) {
        for (int k = 0; k < 4; ++k)
            if (!std::isfinite(p.frame[k]))
                Refuse(MOSARO_ERROR_TARGETS, FormatMessage("frame[%d] must be finite (got %g)", k, p.frame[k]));
        if (!(p.frame[0] <= p.frame[2] && p.frame[1] <= p.frame[3]))
            Refuse(MOSARO_ERROR_TARGETS, "frame must be x_min, y_min, x_max, y_max with min <= max");
        r.frame = p.frame;
    }
    r.blockX = p.block_size_x;
    r.blockY = p.block_size_y;
    r.pointsX = p.block_points_x == 0 ? 4 : p.block_points_x;
    r.pointsY = p.block_points_y == 0 ? 4 : p.block_points_y;
    if (r.pointsX < 1 || r.pointsY < 1 || r.pointsX > kMaxBlockPoints || r.pointsY > kMaxBlockPoints)
        Refuse(MOSARO_ERROR_TARGETS,
               FormatMessage("block_points_x, block_points_y must lie in [1, %d], or 0 for 4 (got %d, %d)",
                             kMaxBlockPoints, p.block_points_x, p.block_points_y));
    if (p.model_used != nullptr)
        RequireStructSize("model_used", "mosaro_model", p.model_used->struct_size, sizeof(mosaro_model),
                          sizeof(mosaro_model));
    return r;
}

}  // namespace
}  // namespace mosaro

extern "C" MOSARO_API void mosaro_prediction_init_size(mosaro_prediction* prediction, size_t size) {
    if (prediction == nullptr) return;
    mosaro_prediction defaults{};
    defaults.struct_size = std::min(size, sizeof defaults);
    defaults.mean = std::numeric_limits<double>::quiet_NaN();
    std::memcpy(static_cast<void*>(prediction), &defaults, defaults.struct_size);
}

extern "C" MOSARO_API mosaro_status mosaro_tile_samples(const mosaro_prediction* prediction, long long* indices,
                                                        long long* count) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (prediction == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "prediction is null");
        if (indices == nullptr || count == nullptr)
            Refuse(MOSARO_ERROR_NULL_POINTER, "indices and count must not be null");
        mosaro_prediction p;
        mosaro_prediction_init(&p);
        ReadCallerStruct(prediction, "prediction", "mosaro_prediction", sizeof p, p);
        CheckSamples(p);
        const TargetSet t = Targets(p);
        if (!t.grid) Refuse(MOSARO_ERROR_TARGETS, "the samples of a tile are those of a grid window");
        const NeighbourhoodOptions n = Neighbourhood(p);
        // The search's metric: Euclidean, or the first structure's anisotropy.
        std::array<double, 4> map = {1.0, 0.0, 0.0, 1.0};
        if (p.anisotropic_search != 0) {
            if (p.model == nullptr) Refuse(MOSARO_ERROR_MODEL, "an anisotropic search needs the model to be given");
            map = AnisotropicSearchMap(ToVariogramModel(*p.model, "model"));
        }
        const auto length = [&](double dx, double dy) {
            const double u = map[0] * dx + map[1] * dy, v = map[2] * dx + map[3] * dy;
            return std::sqrt(u * u + v * v);
        };
        const double cx = t.x0 + (static_cast<double>(t.column0) + 0.5 * static_cast<double>(t.columns - 1)) * t.dx;
        const double cy = t.y0 + (static_cast<double>(t.row0) + 0.5 * static_cast<double>(t.rows - 1)) * t.dy;
        const double ex = 0.5 * static_cast<double>(t.columns - 1) * t.dx,
                     ey = 0.5 * static_cast<double>(t.rows - 1) * t.dy;
        const double halfDiagonal = std::max(length(ex, ey), length(ex, -ey));
        std::vector<std::pair<double, long long>> withValue;
        for (int i = 0; i < p.sample_count; ++i)
            if (!std::isnan(p.value[i])) withValue.emplace_back(length(p.x[i] - cx, p.y[i] - cy), i);
        double reach = INFINITY;
        const bool everySample = n.nmax == 0 || (n.sectors != 0 && !std::isfinite(n.maxDistance));
        if (!everySample) {
            if (n.sectors == 0 && static_cast<std::size_t>(n.nmax) < withValue.size()) {
                std::nth_element(withValue.begin(), withValue.begin() + (n.nmax - 1), withValue.end());
                // Any node's nmax-th neighbour lies within this of the node,
                // hence twice the half diagonal more of the centre.
                reach = withValue[static_cast<std::size_t>(n.nmax - 1)].first + 2.0 * halfDiagonal;
            }
            if (std::isfinite(n.maxDistance)) reach = std::min(reach, n.maxDistance + halfDiagonal);
        }
        // A margin for the roundings of the distances on either side.
        reach = reach * (1.0 + 1e-12) + 1e-300;
        std::vector<long long> needed;
        for (const auto& [distance, i] : withValue)
            if (everySample || distance <= reach) needed.push_back(i);
        std::sort(needed.begin(), needed.end());
        std::copy(needed.begin(), needed.end(), indices);
        *count = static_cast<long long>(needed.size());
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_prediction_variogram(const mosaro_prediction* prediction,
                                                                mosaro_variogram** variogram) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (prediction == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "prediction is null");
        if (variogram == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "variogram is null");
        *variogram = nullptr;
        mosaro_prediction p;
        mosaro_prediction_init(&p);
        ReadCallerStruct(prediction, "prediction", "mosaro_prediction", sizeof p, p);
        CheckSamples(p);
        CheckKind(p);
        const TargetSet targets = Targets(p);
        CheckCovariates(p, targets.Count());
        CheckDriftDetermined(p);
        const PredictionRequest r = RequestOf(p, targets);
        try {
            *variogram = VariogramHandleOf(PredictionVariogram(r, ResolveWorkerCount(p.thread_count)));
        } catch (const PredictionError& e) {
            Refuse(MOSARO_ERROR_VARIOGRAM, e.what());
        }
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_predict(const mosaro_prediction* prediction,
                                                   mosaro_prediction_report* report) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (prediction == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "prediction is null");
        mosaro_prediction p;
        mosaro_prediction_init(&p);
        ReadCallerStruct(prediction, "prediction", "mosaro_prediction", sizeof p, p);
        if (report != nullptr)
            RequireStructSize("report", "mosaro_prediction_report", report->struct_size,
                              offsetof(mosaro_prediction_report, smallest_reciprocal_condition) +
                                  sizeof report->smallest_reciprocal_condition,
                              sizeof(mosaro_prediction_report));
        CheckSamples(p);
        CheckKind(p);
        const TargetSet targets = Targets(p);
        const long long count = targets.Count();
        if (count > 0 && p.estimate == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "estimate is null");
        CheckCovariates(p, count);
        CheckDriftDetermined(p);
        if (p.thread_count < 0)
            Refuse(MOSARO_ERROR_THREAD_COUNT,
                   FormatMessage("thread_count must be 0 (every core) or more (got %d)", p.thread_count));

        const PredictionRequest r = RequestOf(p, targets);
        Execution execution;
        execution.workers = ResolveWorkerCount(p.thread_count);
        const std::unique_ptr<ProgressReporter> progress = HostProgress(p.progress, p.progress_user_data);
        execution.progress = progress.get();
        TargetOutputs outputs;
        outputs.estimate = p.estimate;
        outputs.variance = p.variance;
        outputs.reciprocalCondition = p.reciprocal_condition;
        outputs.lognormal.logEstimate = p.log_estimate;
        outputs.lognormal.logVariance = p.log_variance;

        PredictionOutcome outcome;
        try {
            outcome = RunPrediction(r, outputs, execution);
        } catch (const PredictionError& e) {
            switch (e.Reason()) {
                case PredictionError::Cause::kSamples: Refuse(MOSARO_ERROR_SAMPLE_COUNT, e.what());
                case PredictionError::Cause::kVariogram: Refuse(MOSARO_ERROR_VARIOGRAM, e.what());
                case PredictionError::Cause::kFit: Refuse(MOSARO_ERROR_FIT, e.what());
                case PredictionError::Cause::kNeighbourhood: Refuse(MOSARO_ERROR_NEIGHBOURHOOD, e.what());
                case PredictionError::Cause::kModel:
                default: Refuse(MOSARO_ERROR_MODEL, e.what());
            }
        }
        if (progress) progress->Finish();
        if (p.model_used != nullptr) FromVariogramModel(outcome.model, p.model_used);
        if (report != nullptr) {
            mosaro_prediction_report out{};
            out.model_fitted = outcome.fitted ? 1 : 0;
            out.weighted_squared_error =
                outcome.fitted ? outcome.weightedSquaredError : std::numeric_limits<double>::quiet_NaN();
            out.samples_used = outcome.samplesUsed;
            out.samples_left_out = outcome.samplesLeftOut;
            out.targets = outcome.targets;
            out.no_data = outcome.tally.nodes.noData;
            out.too_few_neighbours = outcome.tally.tooFewNeighbours;
            out.ill_conditioned = outcome.tally.nodes.illConditioned;
            out.minimum_norm = outcome.tally.nodes.minimumNorm;
            out.smallest_reciprocal_condition = outcome.tally.nodes.SmallestReciprocalCondition();
            out.variogram_cutoff = outcome.cutoff;
            out.variogram_width = outcome.width;
            CopyOut(out, report);
        }
        return MOSARO_OK;
    });
}
