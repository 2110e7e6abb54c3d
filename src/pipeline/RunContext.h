// Per-call settings and hooks that the legacy estimator signatures cannot
// carry: which implementation to run, how many threads, progress and
// cancellation, a model given by the caller, and the optional outputs (model
// report, kriging variance).
//
// The exported classes keep their legacy layout and virtual signatures, so
// these settings travel beside them: a caller installs a RunContext for the
// length of one run with RunContextScope, and the pipeline reads it through
// CurrentRunContext() on the calling thread. Without a scope every run gets
// the defaults: fast path, default thread count, no hooks, no extra outputs
// (exactly what the legacy entry point needs).
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "systems/NodeProcedure.h"
#include "variogram/RobustFit.h"
#include "variogram/VariogramFit.h"
#include "mosaro.h"

namespace mosaro {

struct ValidationRun;

// Stages of one pass of the pipeline, in the order they run.
enum class Stage { kVariograms = 0, kFit = 1, kSweep = 2 };

// Thrown out of the pipeline when the progress callback asked to stop. The
// entry points catch it; it never crosses the C boundary.
class Cancelled : public std::exception {
public:
    const char* what() const noexcept override { return "the run was cancelled"; }
};

// Receives progress as (stage, pass, overall fraction in [0, 1]) and returns
// true to go on, false to stop the run. `pass` is the threshold index of
// indicator kriging, 0 otherwise.
using ProgressCallback = std::function<bool(Stage stage, int pass, double fraction)>;

// Turns the fine-grained progress the engine reports into at most about a
// hundred monotone calls of the host's callback, and remembers a request to
// stop. Safe to call from several threads; the callback itself is never
// entered concurrently.
class ProgressReporter {
public:
    ProgressReporter() = default;
    explicit ProgressReporter(ProgressCallback callback) : callback_(std::move(callback)) {}

    bool Active() const { return static_cast<bool>(callback_); }

    // The run consists of `passes` passes of the pipeline (thresholds of
    // indicator kriging; 1 otherwise). Starts pass `pass`.
    void BeginPass(int pass, int passes);

    // Progress within the current pass: `fraction` of `stage` is done.
    // Throws Cancelled when the host asked to stop, now or before. Only the
    // thread that made the reporter (the host's calling thread) reaches the
    // callback; from any other thread this is a cancellation check, so that
    // parallel loops may report as they go and the host's callback is still
    // never entered from a worker.
    void Report(Stage stage, double fraction);

    // Reports that the whole run is done (fraction exactly 1).
    void Finish();

    // Cheap check for worker loops: true once the host asked to stop.
    bool CancelRequested() const { return cancelled_.load(std::memory_order_relaxed); }
    // Throws Cancelled when the host asked to stop.
    void ThrowIfCancelled() const {
        if (CancelRequested()) throw Cancelled();
    }

private:
    void Emit(Stage stage, double overall, bool force);

    ProgressCallback callback_;
    std::thread::id owner_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::atomic<bool> cancelled_{false};
    int pass_ = 0;
    int passes_ = 1;
    double lastEmitted_ = -1.0;
};

// What the pipeline found for one pass: the two fitted directional models,
// the branch each fit took, the averaged constants the sweep used, and the
// experimental tables (lag, pairs, semivariance per class) before and after
// pruning. Filled only when a report is asked for.
struct PassReport {
    float threshold = 0.0f;  // indicator kriging: this pass's threshold
    TVARIOGRAMMODEL models[2]{};
    FitBranch branches[2] = {FitBranch::Spherical, FitBranch::Spherical};
    bool modelGiven = false;  // the caller's model was used; no tables
    KrigingConstants constants{};
    bool anisotropyReset = false;  // the ratio range_x / range_y was replaced by 1
    std::vector<float> tables[2][3];        // before pruning: [direction][row]
    std::vector<float> prunedTables[2][3];  // after pruning
    // What the legacy fit gave for the same tables; in a legacy run the
    // models above, in a robust run the models it replaced.
    TVARIOGRAMMODEL legacyModels[2]{};
    FitBranch legacyBranches[2] = {FitBranch::NotRun, FitBranch::NotRun};
    // Robust runs: why each direction got its model, the omnidirectional
    // table (kept with the other tables) and its model.
    bool robust = false;
    std::string reasons[2];
    VariogramRows omnidirectional;
    bool omnidirectionalFitted = false;  // its table was built (see FitRobustModels)
    TVARIOGRAMMODEL omnidirectionalModel{};
    std::string omnidirectionalReason;
    // The sweep's node counts (accurate arithmetic): nodes that could not be
    // estimated, nodes whose system was ill-conditioned, and of those the
    // singular but consistent ones given their minimum-norm solution; the
    // smallest reciprocal condition estimate of any system (NaN if none).
    bool accurate = false;
    long long sweptNodes = 0;  // nodes of the grid (0 when the pass stopped after the fit)
    long long noDataNodes = 0;
    long long illConditionedNodes = 0;
    long long minimumNormNodes = 0;
    double smallestReciprocalCondition = 0.0;
};

// Which automatic fit gives the models the sweep runs on.
enum class FitChoice { kLegacy = 0, kRobust = 1 };

// How each node's system is built and solved: the legacy single-precision
// procedure (the legacy bits), or in double with pivoting (AccurateSweep.h).
enum class Arithmetic { kLegacy = 0, kAccurate = 1 };

struct RunContext {
    // Runs the plain reference implementation of every algorithm instead of
    // the fast one. Both give the same bits; the reference exists to prove it.
    bool reference = false;
    // Worker threads for the sweep and the variograms; 0 means the default
    // (MOSARO_THREADS from the environment, else every core).
    int threads = 0;
    // Progress and cancellation; inactive by default.
    ProgressReporter* progress = nullptr;
    // When set, the variograms and the fit are skipped and these two
    // directional models (x, then y) are used as if fitted.
    const TVARIOGRAMMODEL* givenModels = nullptr;
    // When set, receives one entry per pass (per threshold for indicator
    // kriging).
    std::vector<PassReport>* report = nullptr;
    // When set, receives the kriging variance of every node, laid out as the
    // grid, for the methods that have one.
    float* variance = nullptr;
    // When set, receives the seconds spent in each stage (indexed by Stage),
    // summed over the passes.
    double* stageSeconds = nullptr;
    // The legacy fit (the legacy bits) or the robust one; the legacy fit
    // runs in either case, so a report can show both.
    FitChoice fit = FitChoice::kLegacy;
    // Each pass stops after the fit: variograms and models only, the grid
    // is not swept (nor written).
    bool fitOnly = false;
    // The caller keeps the experimental tables: a robust run then builds the
    // omnidirectional table even when neither direction needs its model.
    bool keepTables = false;
    Arithmetic arithmetic = Arithmetic::kLegacy;
    // Accurate arithmetic: when set, receives each node's reciprocal
    // condition estimate (NaN where none), the smallest over the passes.
    float* reciprocalCondition = nullptr;
    // When set, the sweep estimates the samples from each other instead of
    // the grid (CrossValidation.h); the grid is not written.
    ValidationRun* validation = nullptr;
};

// Worker threads a run may use: the context's setting if positive, else
// MOSARO_THREADS from the environment if it is a positive number, else the
// number of cores.
int ResolveThreadCount(const RunContext& context);

// The context of the run in progress on this thread (defaults if none).
const RunContext& CurrentRunContext();

// Reports progress through the current context, if it has a reporter.
void ReportProgress(Stage stage, double fraction);

// Installs `context` as this thread's current context until destroyed.
class RunContextScope {
public:
    explicit RunContextScope(const RunContext& context);
    ~RunContextScope();
    RunContextScope(const RunContextScope&) = delete;
    RunContextScope& operator=(const RunContextScope&) = delete;

private:
    const RunContext* previous_;
};

}  // namespace mosaro
