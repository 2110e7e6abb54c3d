// Sequential Gaussian simulation in the C API: the request checked field
// by field before anything is written, then the simulation engine.
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "api/HostProgress.h"
#include "api/ApiStatus.h"
#include "api/ModelConversion.h"
#include "pipeline/Simulation.h"
#include "platform/Execution.h"

namespace mosaro {

EmpiricalOptions VariogramOptionsOf(const mosaro_variogram_options* options);
FitTemplate FitTemplateOf(const char* text);
FitMethod FitWeightsOf(int weights);

namespace {

// The most nodes a simulation grid takes (its per-worker buffers are
// doubles).
constexpr long long kMaxSimulationNodes = 1LL << 31;

void CheckRequest(const mosaro_simulation& s, double& low, double& high) {
    if (s.sample_count < 0)
        Refuse(MOSARO_ERROR_SAMPLE_COUNT, FormatMessage("sample_count must not be negative (got %d)", s.sample_count));
    if (s.sample_count > 0 && (s.x == nullptr || s.y == nullptr || s.value == nullptr))
        Refuse(MOSARO_ERROR_NULL_POINTER, "x, y and value must not be null");
    low = INFINITY, high = -INFINITY;
    for (int i = 0; i < s.sample_count; ++i) {
        if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i]))
            Refuse(MOSARO_ERROR_SAMPLE_VALUE,
                   FormatMessage("x[%d], y[%d] must be finite (got %g, %g)", i, i, s.x[i], s.y[i]));
        if (std::isnan(s.value[i])) continue;
        if (!std::isfinite(s.value[i]))
            Refuse(MOSARO_ERROR_SAMPLE_VALUE,
                   FormatMessage("value[%d] must be finite, or NaN for none (got %g)", i, s.value[i]));
        low = std::min(low, s.value[i]), high = std::max(high, s.value[i]);
    }
    const bool conditional = low <= high;
    if (!conditional && s.model == nullptr)
        Refuse(MOSARO_ERROR_MODEL, "an unconditional simulation (no sample with a value) needs a model");
    if (!std::isnan(s.lower_tail) && !(s.lower_tail <= low))
        Refuse(MOSARO_ERROR_METHOD_PARAMETER,
               FormatMessage("lower_tail must not exceed the smallest value %g (got %g)", low, s.lower_tail));
    if (!std::isnan(s.upper_tail) && !(s.upper_tail >= high))
        Refuse(MOSARO_ERROR_METHOD_PARAMETER,
               FormatMessage("upper_tail must not be below the largest value %g (got %g)", high, s.upper_tail));
    if (!std::isfinite(s.mean))
        Refuse(MOSARO_ERROR_METHOD_PARAMETER, FormatMessage("mean must be finite (got %g)", s.mean));
    if (!std::isfinite(s.grid_x) || !std::isfinite(s.grid_y))
        Refuse(MOSARO_ERROR_TARGETS, FormatMessage("grid_x, grid_y must be finite (got %g, %g)", s.grid_x, s.grid_y));
    if (!(std::isfinite(s.cell_size_x) && s.cell_size_x > 0.0 && std::isfinite(s.cell_size_y) && s.cell_size_y > 0.0))
        Refuse(MOSARO_ERROR_CELL_SIZE,
               FormatMessage("cell_size_x, cell_size_y must be positive and finite (got %g, %g)", s.cell_size_x,
                             s.cell_size_y));
    if (s.node_count_x < 1 || s.node_count_y < 1)
        Refuse(MOSARO_ERROR_NODE_COUNT, FormatMessage("node_count_x, node_count_y must be at least 1 (got %d, %d)",
                                                      s.node_count_x, s.node_count_y));
    if (static_cast<long long>(s.node_count_x) * s.node_count_y > kMaxSimulationNodes)
        Refuse(MOSARO_ERROR_TOO_LARGE, FormatMessage("a simulation grid takes at most 2^31 nodes (got %d x %d)",
                                                     s.node_count_x, s.node_count_y));
    if (s.nmax < 0 || s.nmax_simulated < -1)
        Refuse(MOSARO_ERROR_NEIGHBOURHOOD,
               FormatMessage("nmax must not be negative and nmax_simulated not below -1 (got %d, %d)", s.nmax,
                             s.nmax_simulated));
    if (!(s.max_distance >= 0.0) || std::isinf(s.max_distance))
        Refuse(MOSARO_ERROR_NEIGHBOURHOOD,
               FormatMessage("max_distance must be positive and finite, or 0 (got %g)", s.max_distance));
    if (s.realisations < 1)
        Refuse(MOSARO_ERROR_REALISATIONS, FormatMessage("realisations must be at least 1 (got %d)", s.realisations));
    if (s.threshold_count < 0 || (s.threshold_count > 0 && (s.thresholds == nullptr || s.exceedance == nullptr)))
        Refuse(MOSARO_ERROR_THRESHOLDS,
               FormatMessage("threshold_count %d needs thresholds and exceedance", s.threshold_count));
    for (int t = 0; t < s.threshold_count; ++t)
        if (!std::isfinite(s.thresholds[t]))
            Refuse(MOSARO_ERROR_THRESHOLDS,
                   FormatMessage("thresholds[%d] must be finite (got %g)", t, s.thresholds[t]));
    if (s.thread_count < 0)
        Refuse(MOSARO_ERROR_THREAD_COUNT,
               FormatMessage("thread_count must be 0 (every core) or more (got %d)", s.thread_count));
}

}  // namespace
}  // namespace mosaro

extern "C" MOSARO_API void mosaro_simulation_init_size(mosaro_simulation* simulation, size_t size) {
    if (simulation == nullptr) return;
    mosaro_simulation defaults{};
    defaults.struct_size = std::min(size, sizeof defaults);
    defaults.lower_tail = defaults.upper_tail = std::numeric_limits<double>::quiet_NaN();
    defaults.realisations = 1;
    std::memcpy(static_cast<void*>(simulation), &defaults, defaults.struct_size);
}

extern "C" MOSARO_API mosaro_status mosaro_simulate(const mosaro_simulation* simulation,
                                                    mosaro_simulation_report* report) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (simulation == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "simulation is null");
        mosaro_simulation s;
        mosaro_simulation_init(&s);
        ReadCallerStruct(simulation, "simulation", "mosaro_simulation", sizeof s, s);
        if (report != nullptr)
            RequireStructSize("report", "mosaro_simulation_report", report->struct_size,
                              sizeof(mosaro_simulation_report), sizeof(mosaro_simulation_report));
        double low = 0.0, high = 0.0;
        CheckRequest(s, low, high);

        SimulationRequest r;
        r.x = s.x;
        r.y = s.y;
        r.value = s.value;
        r.count = s.sample_count;
        if (s.model != nullptr) r.model = ToVariogramModel(*s.model, "model");
        r.variogram = VariogramOptionsOf(s.variogram);
        r.fitTemplate = FitTemplateOf(s.fit_template);
        r.fit.method = FitWeightsOf(s.fit_weights);
        r.lower = s.lower_tail;
        r.upper = s.upper_tail;
        r.mean = s.mean;
        r.x0 = s.grid_x, r.y0 = s.grid_y, r.dx = s.cell_size_x, r.dy = s.cell_size_y;
        r.columns = s.node_count_x, r.rows = s.node_count_y;
        r.samples = s.nmax == 0 ? MOSARO_DEFAULT_NEIGHBOUR_COUNT : s.nmax;
        r.simulated = s.nmax_simulated <= 0 ? MOSARO_DEFAULT_NEIGHBOUR_COUNT : s.nmax_simulated;
        r.combined = s.nmax_simulated < 0;
        r.maxDistance = s.max_distance;
        r.realisations = s.realisations;
        r.seed = s.seed;
        if (s.model_used != nullptr)
            RequireStructSize("model_used", "mosaro_model", s.model_used->struct_size, sizeof(mosaro_model),
                              sizeof(mosaro_model));

        const long long nodes = static_cast<long long>(s.node_count_x) * s.node_count_y;
        SimulationOutputs out;
        out.mean = s.etype_mean;
        out.variance = s.etype_variance;
        out.thresholds = s.thresholds;
        out.thresholdCount = s.threshold_count;
        out.exceedance = s.exceedance;
        bool stoppedByHost = false;
        out.deliver = [&](int realisation, const std::vector<double>& values) {
            if (s.values != nullptr)
                std::copy(values.begin(), values.end(), s.values + static_cast<std::ptrdiff_t>(realisation) * nodes);
            if (s.realisation != nullptr &&
                s.realisation(s.realisation_user_data, realisation, values.data(), nodes) == 0) {
                stoppedByHost = true;
                return false;
            }
            return true;
        };

        Execution execution;
        execution.workers = ResolveWorkerCount(s.thread_count);
        const std::unique_ptr<ProgressReporter> progress = HostProgress(s.progress, s.progress_user_data);
        execution.progress = progress.get();
        SimulationOutcome outcome;
        try {
            outcome = RunSimulation(r, out, execution);
        } catch (const SimulationError& e) {
            Refuse(std::string(e.what()).find("fit") != std::string::npos ? MOSARO_ERROR_FIT : MOSARO_ERROR_MODEL,
                   e.what());
        } catch (const std::invalid_argument& e) {
            Refuse(MOSARO_ERROR_VARIOGRAM, e.what());
        }
        if (stoppedByHost)
            Refuse(MOSARO_ERROR_CANCELLED,
                   FormatMessage("the realisation callback stopped the run after %d realisations", outcome.delivered));
        if (progress) progress->Finish();
        if (s.model_used != nullptr) FromVariogramModel(outcome.model, s.model_used);
        if (report != nullptr) {
            mosaro_simulation_report rep{};
            rep.model_fitted = outcome.fitted ? 1 : 0;
            rep.samples_used = outcome.samplesUsed;
            rep.samples_left_out = outcome.samplesLeftOut;
            rep.realisations = outcome.delivered;
            CopyOut(rep, report);
        }
        for (int t = 0; t < s.threshold_count; ++t)
            if (low <= high && (s.thresholds[t] < low || s.thresholds[t] > high)) {
                SetLastMessageFormatted("thresholds[%d] = %g lies outside the data's range [%g, %g]", t,
                                        s.thresholds[t], low, high);
                return MOSARO_WARNING_THRESHOLD_OUTSIDE;
            }
        return MOSARO_OK;
    });
}
