#include "systems/AccurateNodeStep.h"

#include <algorithm>
#include <cstddef>

#include "platform/FloatArith.h"

namespace mosaro {

AccurateSamples::AccurateSamples(const SampleRows& rows, int variables, double scale)
    : AccurateSamples(rows, variables, scale, {}) {}

AccurateSamples::AccurateSamples(const SampleRows& rows, int variables, double scale, const std::vector<int>& order)
    : variables_(std::max(variables, 1)),
      locations_(std::max(rows.count, 0) / variables_),
      x_(static_cast<std::size_t>(locations_)),
      y_(x_.size()),
      values_(static_cast<std::size_t>(locations_) * static_cast<std::size_t>(variables_)) {
    const std::size_t count = x_.size();
    const bool ordered = order.size() == count;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t i = ordered ? static_cast<std::size_t>(order[k]) : k;
        x_[k] = f64(rows.x[i]) / scale;
        y_[k] = f64(rows.y[i]) / scale;
        for (std::size_t v = 0; v < static_cast<std::size_t>(variables_); ++v)
            values_[v * count + k] = f64(rows.value[v * count + i]);
    }
}

AccurateSamples::AccurateSamples(const std::vector<double>& x, const std::vector<double>& y,
                                 const std::vector<double>& values, const std::vector<std::vector<double>>& covariates)
    : variables_(1), locations_(static_cast<int>(x.size())), x_(x), y_(y), values_(values), covariates_(covariates) {}

AccurateNodeStep::AccurateNodeStep(const AccurateSamples& samples, const NodeMethod& method,
                                   const CovarianceModel& model, SolverLanes lanes)
    : samples_(samples), system_(method, model, samples.Covariates()), width_(LaneLu::Width(lanes)) {}

AccurateColumns AccurateNodeStep::Gather(const std::vector<int>& ids) {
    const int k = static_cast<int>(ids.size());
    const int variables = samples_.Variables(), covariates = samples_.Covariates();
    x_.resize(ids.size());
    y_.resize(ids.size());
    values_.resize(ids.size() * static_cast<std::size_t>(variables));
    covariates_.resize(ids.size() * static_cast<std::size_t>(covariates));
    for (int a = 0; a < k; ++a) {
        const int s = ids[static_cast<std::size_t>(a)];
        x_[static_cast<std::size_t>(a)] = samples_.X(s);
        y_[static_cast<std::size_t>(a)] = samples_.Y(s);
        for (int v = 0; v < variables; ++v) values_[static_cast<std::size_t>(v * k + a)] = samples_.Value(v, s);
        for (int c = 0; c < covariates; ++c)
            covariates_[static_cast<std::size_t>(a * covariates + c)] = samples_.Covariate(c, s);
    }
    AccurateColumns columns;
    columns.ids = ids.data();
    columns.x = x_.data();
    columns.y = y_.data();
    columns.values = values_.data();
    columns.covariates = covariates_.data();
    columns.locations = k;
    return columns;
}

AccurateNodeOutcome AccurateNodeStep::Estimate(const std::vector<int>& ids, const AccurateTarget& target,
                                               double exactBelow) {
    if (ids.empty()) return AccurateNodeSystem::Unusable();
    return system_.Solve(Gather(ids), target, exactBelow);
}

void AccurateNodeStep::Append(const AccurateNodeOutcome& outcome, int lane) {
    outcomes_.resize(static_cast<std::size_t>(queued_) + 1);
    laneOf_.resize(outcomes_.size());
    outcomes_.back() = outcome;
    laneOf_.back() = lane;
    ++queued_;
}

void AccurateNodeStep::QueueOutcome(const AccurateNodeOutcome& outcome) { Append(outcome, -1); }

void AccurateNodeStep::Queue(const std::vector<int>& ids, const AccurateTarget& target, double exactBelow) {
    if (ids.empty()) return QueueOutcome(AccurateNodeSystem::Unusable());
    const AccurateColumns columns = Gather(ids);
    if (width_ == 1 || system_.FrameFixed() || target.blockPoints > 0)
        return QueueOutcome(system_.Solve(columns, target, exactBelow));
    if (!system_.Assemble(columns, target)) return QueueOutcome(AccurateNodeSystem::Unusable());
    const int order = system_.Order();
    if (lanes_ > 0 && order != laneOrder_)  // not of the waiting systems' order: alone
        return QueueOutcome(system_.SolveAssembled(columns.values, target, exactBelow));
    // Into the next lane: the matrix and the right-hand side whole, in the
    // lane's slot (LaneLu reads them without changing them), the values
    // kept apart.
    const int lane = lanes_++;
    Append(AccurateNodeOutcome(), lane);
    laneOrder_ = order;
    laneColumns_ = system_.Columns();
    const std::size_t n = static_cast<std::size_t>(order), w = static_cast<std::size_t>(width_);
    const std::size_t l = static_cast<std::size_t>(lane);
    matrices_.resize(n * n * w);
    rightSides_.resize(n * w);
    std::copy_n(system_.Matrix(), n * n, &matrices_[l * n * n]);
    std::copy_n(system_.RightSide(), n, &rightSides_[l * n]);
    laneValues_.resize(w);
    laneValues_[l].assign(columns.values, columns.values + values_.size());
}

void AccurateNodeStep::SolveLanes() {
    const std::size_t n = static_cast<std::size_t>(laneOrder_), w = static_cast<std::size_t>(width_);
    // Lanes left empty repeat the first system: any finite system serves.
    for (std::size_t l = static_cast<std::size_t>(lanes_); l < w; ++l) {
        std::copy_n(matrices_.begin(), n * n, matrices_.begin() + static_cast<std::ptrdiff_t>(l * n * n));
        std::copy_n(rightSides_.begin(), n, rightSides_.begin() + static_cast<std::ptrdiff_t>(l * n));
    }
    laneOutcomes_.resize(w);
    lu_.Solve(matrices_.data(), laneOrder_, rightSides_.data(), width_, laneOutcomes_.data());
    solution_.resize(n);
    rightSide_.resize(n);
    for (std::size_t q = 0; q < outcomes_.size(); ++q) {
        if (laneOf_[q] < 0) continue;
        const int lane = laneOf_[q];
        const std::size_t l = static_cast<std::size_t>(lane);
        const LaneLuOutcome& o = laneOutcomes_[l];
        // As AccurateNodeSystem::Condition with the estimate made: none
        // where a pivot vanished, and never above the pivot ratio.
        double reciprocal = 0.0;
        if (o.regular) reciprocal = o.reciprocalCondition <= o.pivotRatio ? o.reciprocalCondition : o.pivotRatio;
        AccurateSolved solved{laneOrder_, laneColumns_, nullptr, rightSide_.data(), solution_.data(), reciprocal};
        std::copy_n(&rightSides_[l * n], n, rightSide_.begin());
        for (std::size_t r = 0; r < n; ++r) solution_[r] = lu_.Solution(lane, static_cast<int>(r));
        if (reciprocal < kNumericallySingular) solved.matrix = &matrices_[l * n * n];
        outcomes_[q] = system_.Conclude(solved, laneValues_[l].data(), AccurateTarget());
    }
    lanes_ = 0;
}

const std::vector<AccurateNodeOutcome>& AccurateNodeStep::Flush() {
    if (lanes_ > 0) SolveLanes();
    queued_ = 0;
    return outcomes_;
}

}  // namespace mosaro
