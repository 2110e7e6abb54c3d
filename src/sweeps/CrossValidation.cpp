#include "sweeps/CrossValidation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>

#include "neighbours/NearestSamples.h"
#include "platform/FloatArith.h"
#include "platform/WorkerPool.h"
#include "systems/AccurateNodeStep.h"
#include "systems/NodeSystem.h"

namespace mosaro {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

std::uint64_t SplitMix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

struct Estimate {
    double value = kNotANumber;
    double variance = kNotANumber;
};

// Estimates one sample location at a time in the run's arithmetic.
class SampleEstimator {
public:
    SampleEstimator(const SweepPlan& plan, const NodeMethod& method, const AccurateSamples& accurateSamples,
                    const CovarianceModel& model, bool accurate)
        : plan_(plan),
          method_(method),
          variables_(std::max(method.Variables(), 1)),
          perBlock_(accurateSamples.Locations()),
          accurate_(accurate),
          accurateStep_(accurateSamples, method, model) {}

    Estimate At(int sample, const std::vector<int>& found) {
        const int k = static_cast<int>(found.size());
        const float x = plan_.samples.x[sample], y = plan_.samples.y[sample];
        if (k == 0 || !std::isfinite(x) || !std::isfinite(y)) return Estimate{};
        if (accurate_) {
            const double scale = f64(plan_.constants.scale);
            // The condition is not reported: only the solve's decisions on it count.
            const AccurateNodeOutcome o = accurateStep_.Estimate(found, f64(x) / scale, f64(y) / scale, 0.0);
            return Estimate{o.estimate, method_.HasVariance() ? o.variance : kNotANumber};
        }
        // The legacy step on the same neighbours: coordinates scaled and
        // rounded as the legacy sweep loads them, variable after variable.
        const float scale = plan_.constants.scale;
        const std::size_t columns = static_cast<std::size_t>(k) * static_cast<std::size_t>(variables_);
        x_.resize(columns);
        y_.resize(columns);
        values_.resize(columns);
        for (int v = 0; v < variables_; ++v)
            for (int a = 0; a < k; ++a) {
                const std::size_t s = static_cast<std::size_t>(found[static_cast<std::size_t>(a)]);
                const std::size_t column = static_cast<std::size_t>(v * k + a);
                x_[column] = f32(f64(plan_.samples.x[s]) / f64(scale));
                y_[column] = f32(f64(plan_.samples.y[s]) / f64(scale));
                values_[column] =
                    plan_.samples.value[static_cast<std::size_t>(v) * static_cast<std::size_t>(perBlock_) + s];
            }
        const int m = static_cast<int>(columns);
        if (!legacyStep_ || legacyStep_->Columns() != m)
            legacyStep_ = std::make_unique<LegacyNodeStep>(m, method_, plan_.constants, SolverPath::kFast);
        const NodeEstimate e = legacyStep_->Estimate(x_.data(), y_.data(), values_.data(), f32(f64(x) / f64(scale)),
                                                     f32(f64(y) / f64(scale)));
        return Estimate{f64(e.estimate), f64(e.variance)};
    }

private:
    const SweepPlan& plan_;
    const NodeMethod& method_;
    int variables_;
    int perBlock_;
    bool accurate_;
    AccurateNodeStep accurateStep_;
    std::unique_ptr<LegacyNodeStep> legacyStep_;
    std::vector<float> x_, y_, values_;
};

}  // namespace

std::vector<int> AssignFolds(int count, int folds, std::uint64_t seed) {
    const std::size_t n = static_cast<std::size_t>(std::max(count, 0));
    std::vector<int> fold(n);
    std::iota(fold.begin(), fold.end(), 0);
    if (folds < 2) return fold;
    std::vector<int> order(fold);
    std::uint64_t state = seed;
    for (std::size_t i = n; i > 1; --i) {
        // Multiply-shift maps the draw onto [0, i) with a bias below 2^-32.
        const std::uint64_t draw = SplitMix64(state) >> 32;
        const std::size_t j = static_cast<std::size_t>((draw * static_cast<std::uint64_t>(i)) >> 32);
        std::swap(order[i - 1], order[j]);
    }
    for (std::size_t position = 0; position < n; ++position)
        fold[static_cast<std::size_t>(order[position])] = static_cast<int>(position % static_cast<std::size_t>(folds));
    return fold;
}

void RunCrossValidation(const SweepPlan& plan, const NodeMethod& method, bool accurate, ValidationRun& run,
                        const Execution& execution) {
    const int variables = std::max(method.Variables(), 1);
    const AccurateSamples samples(plan.samples, variables, f64(plan.constants.scale));
    const AveragedSpherical model(plan.constants);
    const int perBlock = samples.Locations();
    const int locations = std::min(plan.m / variables, perBlock);
    const std::size_t n = static_cast<std::size_t>(perBlock);
    run.estimate.assign(n, kNotANumber);
    run.variance.assign(n, kNotANumber);

    const NearestSamples nearest(plan.samples.x, plan.samples.y, perBlock);
    // Samples in fold order, so that a piece of the loop changes its
    // exclusion mask only where a fold ends.
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return run.fold[static_cast<std::size_t>(a)] < run.fold[static_cast<std::size_t>(b)];
    });

    WorkerPool pool(execution.workers);
    std::atomic<std::size_t> done{0};
    pool.For(n, 256, [&](std::size_t first, std::size_t last, int) {
        std::vector<std::uint8_t> excluded(n, 0);
        std::vector<int> found;
        SampleEstimator estimator(plan, method, samples, model, accurate);
        std::size_t foldStart = first;  // first entry of `order` whose fold is masked
        for (std::size_t i = first; i < last; ++i) {
            const int sample = order[i];
            const int fold = run.fold[static_cast<std::size_t>(sample)];
            if (i == first || fold != run.fold[static_cast<std::size_t>(order[i - 1])]) {
                for (std::size_t e = foldStart; e < i; ++e) excluded[static_cast<std::size_t>(order[e])] = 0;
                // Every member of the fold, also those outside this piece.
                std::size_t begin = i, end = i;
                while (begin > 0 && run.fold[static_cast<std::size_t>(order[begin - 1])] == fold) --begin;
                while (end < n && run.fold[static_cast<std::size_t>(order[end])] == fold) ++end;
                for (std::size_t e = begin; e < end; ++e) excluded[static_cast<std::size_t>(order[e])] = 1;
                foldStart = begin;
            }
            nearest.Find(f64(plan.samples.x[sample]), f64(plan.samples.y[sample]), locations, found, &excluded);
            const Estimate e = estimator.At(sample, found);
            run.estimate[static_cast<std::size_t>(sample)] = e.value;
            run.variance[static_cast<std::size_t>(sample)] = e.variance;
        }
        const std::size_t total = done.fetch_add(last - first) + (last - first);
        execution.Report(Stage::kSweep, static_cast<double>(total) / static_cast<double>(std::max<std::size_t>(n, 1)));
    });
}

}  // namespace mosaro
