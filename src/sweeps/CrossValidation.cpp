#include "sweeps/CrossValidation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>

#include "systems/AccurateNodeSystem.h"
#include "platform/FloatArith.h"
#include "neighbours/NearestSamples.h"
#include "systems/NodeSystem.h"
#include "pipeline/RunContext.h"
#include "platform/WorkerPool.h"

namespace mosaro {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

std::uint64_t SplitMix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

// The columns of one estimate: `locations` neighbours, each variable's
// values after the previous variable's, as both systems lay them out.
struct Columns {
    std::vector<int> found;
    std::vector<double> x, y, values;  // scaled coordinates per location; values per column
    std::vector<float> legacyX, legacyY, legacyValues;  // per column
};

struct Estimate {
    double value = kNotANumber;
    double variance = kNotANumber;
};

class SampleEstimator {
public:
    // `accurate` comes from the caller's run context: workers have none.
    SampleEstimator(const SweepPlan& plan, float* const* points, const NodeMethod& method, int perBlock,
                    bool accurate)
        : plan_(plan),
          points_(points),
          method_(method),
          variables_(std::max(method.Variables(), 1)),
          perBlock_(perBlock),
          accurate_(accurate),
          model_(plan.constants),
          system_(method, model_) {}

    Estimate At(int sample, const std::vector<int>& found) {
        const int k = static_cast<int>(found.size());
        const double scale = f64(plan_.constants.scale);
        const float x = points_[0][sample], y = points_[1][sample];
        if (k == 0 || !std::isfinite(x) || !std::isfinite(y)) return Estimate{};
        const std::size_t columns = static_cast<std::size_t>(k) * static_cast<std::size_t>(variables_);
        if (accurate_) {
            c_.x.resize(static_cast<std::size_t>(k));
            c_.y.resize(static_cast<std::size_t>(k));
            c_.values.resize(columns);
            for (int a = 0; a < k; ++a) {
                const std::size_t s = static_cast<std::size_t>(found[static_cast<std::size_t>(a)]);
                c_.x[static_cast<std::size_t>(a)] = f64(points_[0][s]) / scale;
                c_.y[static_cast<std::size_t>(a)] = f64(points_[1][s]) / scale;
                for (int v = 0; v < variables_; ++v) c_.values[static_cast<std::size_t>(v * k + a)] = Value(v, s);
            }
            const AccurateNodeOutcome o =
                system_.Solve(found.data(), c_.x.data(), c_.y.data(), c_.values.data(), k, f64(x) / scale, f64(y) / scale);
            return Estimate{o.estimate, method_.HasVariance() ? o.variance : kNotANumber};
        }
        // The legacy system on the same neighbours: coordinates scaled and
        // rounded as the legacy sweep loads them.
        const float scaleF = plan_.constants.scale;
        c_.legacyX.resize(columns);
        c_.legacyY.resize(columns);
        c_.legacyValues.resize(columns);
        for (int v = 0; v < variables_; ++v)
            for (int a = 0; a < k; ++a) {
                const std::size_t s = static_cast<std::size_t>(found[static_cast<std::size_t>(a)]);
                const std::size_t column = static_cast<std::size_t>(v * k + a);
                c_.legacyX[column] = f32(f64(points_[0][s]) / f64(scaleF));
                c_.legacyY[column] = f32(f64(points_[1][s]) / f64(scaleF));
                c_.legacyValues[column] = points_[2][static_cast<std::size_t>(v) * static_cast<std::size_t>(perBlock_) + s];
            }
        const int m = static_cast<int>(columns);
        if (!legacy_ || legacyColumns_ != m) {
            legacy_ = std::make_unique<NodeSystem>(m, method_.BorderSize());
            legacyColumns_ = m;
        }
        const float nodeX = f32(f64(x) / f64(scaleF)), nodeY = f32(f64(y) / f64(scaleF));
        legacy_->Assemble(c_.legacyX.data(), c_.legacyY.data(), nodeX, nodeY, plan_.constants, method_);
        legacy_->Solve();
        const NodeSolution solution = legacy_->View(c_.legacyValues.data(), plan_.constants);
        return Estimate{f64(ApplyCutOff(method_.Estimate(solution))),
                        method_.HasVariance() ? f64(KrigingVariance(solution)) : kNotANumber};
    }

private:
    double Value(int variable, std::size_t sample) const {
        return f64(points_[2][static_cast<std::size_t>(variable) * static_cast<std::size_t>(perBlock_) + sample]);
    }

    const SweepPlan& plan_;
    float* const* points_;
    const NodeMethod& method_;
    int variables_;
    int perBlock_;
    bool accurate_;
    AccurateModel model_;
    AccurateNodeSystem system_;
    std::unique_ptr<NodeSystem> legacy_;
    int legacyColumns_ = -1;
    Columns c_;
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

double StandardisedResidual(double observed, double estimate, double variance, double logShift) {
    if (std::isnan(logShift)) return (observed - estimate) / std::sqrt(variance);
    return (std::log(observed + logShift) - std::log(estimate + logShift)) / std::sqrt(variance);
}

ValidationSummary Summarise(const float* observed, const ValidationRun& run, double logShift) {
    ValidationSummary s;
    double sumError = 0.0, sumAbsolute = 0.0, sumSquare = 0.0, sumRatio = 0.0;
    double sumObserved = 0.0, sumEstimate = 0.0;
    int withVariance = 0;
    for (std::size_t i = 0; i < run.estimate.size(); ++i) {
        const double estimate = run.estimate[i];
        if (!std::isfinite(estimate)) {
            ++s.notEstimated;
            continue;
        }
        const double residual = f64(observed[i]) - estimate;
        ++s.estimated;
        sumError += residual;
        sumAbsolute += std::fabs(residual);
        sumSquare += residual * residual;
        sumObserved += f64(observed[i]);
        sumEstimate += estimate;
        if (run.variance[i] > 0.0) {
            const double standardised = StandardisedResidual(f64(observed[i]), estimate, run.variance[i], logShift);
            if (std::isfinite(standardised)) {
                sumRatio += standardised * standardised;
                ++withVariance;
            }
        }
    }
    if (s.estimated == 0) {
        s.meanError = s.meanAbsoluteError = s.rootMeanSquareError = s.meanSquaredDeviationRatio =
            s.correlation = kNotANumber;
        return s;
    }
    const double count = static_cast<double>(s.estimated);
    s.meanError = sumError / count;
    s.meanAbsoluteError = sumAbsolute / count;
    s.rootMeanSquareError = std::sqrt(sumSquare / count);
    s.meanSquaredDeviationRatio = withVariance > 0 ? sumRatio / static_cast<double>(withVariance) : kNotANumber;
    // Centred sums in a second pass: the one-pass formula cancels badly
    // when the values sit far from zero.
    const double meanObserved = sumObserved / count, meanEstimate = sumEstimate / count;
    double so = 0.0, se = 0.0, soe = 0.0;
    for (std::size_t i = 0; i < run.estimate.size(); ++i) {
        if (!std::isfinite(run.estimate[i])) continue;
        const double o = f64(observed[i]) - meanObserved, e = run.estimate[i] - meanEstimate;
        so += o * o;
        se += e * e;
        soe += o * e;
    }
    s.correlation = so > 0.0 && se > 0.0 ? soe / std::sqrt(so * se) : kNotANumber;
    return s;
}

void RunCrossValidation(const SweepPlan& plan, float* const* ppPoints, const NodeMethod& method,
                        ValidationRun& run) {
    const RunContext& context = CurrentRunContext();
    const int variables = std::max(method.Variables(), 1);
    const int perBlock = plan.n / variables;
    const int locations = std::min(plan.m / variables, perBlock);
    const std::size_t n = static_cast<std::size_t>(perBlock);
    run.estimate.assign(n, kNotANumber);
    run.variance.assign(n, kNotANumber);

    const NearestSamples nearest(ppPoints[0], ppPoints[1], perBlock);
    // Samples in fold order, so that a piece of the loop changes its
    // exclusion mask only where a fold ends.
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return run.fold[static_cast<std::size_t>(a)] < run.fold[static_cast<std::size_t>(b)];
    });

    WorkerPool pool(ResolveThreadCount(context));
    ProgressReporter* progress = context.progress;
    const bool accurate = context.arithmetic == Arithmetic::kAccurate;
    std::atomic<std::size_t> done{0};
    pool.For(n, 256, [&](std::size_t first, std::size_t last, int) {
        std::vector<std::uint8_t> excluded(n, 0);
        std::vector<int> found;
        SampleEstimator estimator(plan, ppPoints, method, perBlock, accurate);
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
            nearest.Find(f64(ppPoints[0][sample]), f64(ppPoints[1][sample]), locations, found, &excluded);
            const Estimate e = estimator.At(sample, found);
            run.estimate[static_cast<std::size_t>(sample)] = e.value;
            run.variance[static_cast<std::size_t>(sample)] = e.variance;
        }
        const std::size_t total = done.fetch_add(last - first) + (last - first);
        if (progress != nullptr)
            progress->Report(Stage::kSweep, static_cast<double>(total) / static_cast<double>(std::max<std::size_t>(n, 1)));
    });
}

}  // namespace mosaro
