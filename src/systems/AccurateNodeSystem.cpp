#include "systems/AccurateNodeSystem.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <Eigen/Dense>

namespace mosaro {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// A minimum-norm solution is accepted when it satisfies the system to this
// relative residual: the equations were consistent, only redundant.
constexpr double kConsistentResidual = 1e-8;

}  // namespace

AccurateModel::AccurateModel(const KrigingConstants& c)
    : sill(c.sill), nugget(c.nugget), partialSill(c.partialSill), range(c.range), anisotropy(c.anisotropy) {}

double AccurateModel::Covariance(double h) const {
    if (h == 0.0) return sill;
    if (!(h <= range)) return 0.0;
    const double t = h / range;
    return sill - (nugget + partialSill * (1.5 * t - 0.5 * t * t * t));
}

double AccurateModel::Distance(double dx, double dy) const {
    return std::sqrt(dx * dx + anisotropy * anisotropy * (dy * dy));
}

AccurateNodeSystem::AccurateNodeSystem(const NodeMethod& method, const AccurateModel& model)
    : method_(method),
      model_(model),
      covarianceUnit_(std::isfinite(model.sill) && model.sill > 0.0 ? model.sill : 1.0),
      modelFinite_(std::isfinite(model.sill) && std::isfinite(model.nugget) && std::isfinite(model.partialSill) &&
                   std::isfinite(model.range) && std::isfinite(model.anisotropy)),
      variables_(std::max(method.Variables(), 1)),
      border_(method.BorderSize()),
      terms_(static_cast<std::size_t>(std::max(border_, 1))) {}

void AccurateNodeSystem::PairCovariances(const int* ids, const double* x, const double* y, int k) {
    const std::size_t size = static_cast<std::size_t>(k);
    std::swap(previousPairs_, pairs_);
    std::swap(previousIds_, ids_);
    const std::size_t previous = previousIds_.size();
    ids_.assign(ids, ids + size);
    pairs_.resize(size * size);
    previousSlot_.assign(size, -1);
    for (std::size_t a = 0; a < size; ++a)
        for (std::size_t p = 0; p < previous; ++p)
            if (previousIds_[p] == ids_[a]) {
                previousSlot_[a] = static_cast<int>(p);
                break;
            }
    const double unit = covarianceUnit_;
    for (std::size_t a = 0; a < size; ++a) {
        pairs_[a * size + a] = model_.sill / unit;
        const int pa = previousSlot_[a];
        for (std::size_t b = a + 1; b < size; ++b) {
            const int pb = previousSlot_[b];
            const double c =
                pa >= 0 && pb >= 0
                    ? previousPairs_[static_cast<std::size_t>(pa) * previous + static_cast<std::size_t>(pb)]
                    : model_.Covariance(model_.Distance(x[a] - x[b], y[a] - y[b])) / unit;
            pairs_[a * size + b] = pairs_[b * size + a] = c;
        }
    }
}

void AccurateNodeSystem::Assemble(const double* x, const double* y, int k, double nodeX, double nodeY) {
    columns_ = variables_ * k;
    order_ = columns_ + border_;
    const std::size_t order = static_cast<std::size_t>(order_);
    matrix_.resize(order * order);
    rightSide_.resize(order);

    const double unit = covarianceUnit_;
    const std::size_t size = static_cast<std::size_t>(k);
    double reach = 0.0;
    for (int a = 0; a < k; ++a) {
        const double dx = x[a] - nodeX, dy = y[a] - nodeY;
        reach = std::max(reach, dx * dx + dy * dy);
    }
    reach = std::sqrt(reach);
    if (!(reach > 0.0 && std::isfinite(reach))) reach = 1.0;

    for (int v = 0; v < variables_; ++v)
        for (int a = 0; a < k; ++a) {
            double* row = &matrix_[static_cast<std::size_t>(v * k + a) * order];
            for (int w = 0; w < variables_; ++w)
                std::copy_n(&pairs_[static_cast<std::size_t>(a) * size], size, row + static_cast<std::size_t>(w * k));
        }
    for (int v = 0; v < variables_; ++v) {
        for (int a = 0; a < k; ++a) {
            const int column = v * k + a;
            rightSide_[static_cast<std::size_t>(column)] =
                model_.Covariance(model_.Distance(x[a] - nodeX, y[a] - nodeY)) / unit;
            method_.BorderColumn(v, (x[a] - nodeX) / reach, (y[a] - nodeY) / reach, terms_.data());
            for (int t = 0; t < border_; ++t)
                At(columns_ + t, column) = At(column, columns_ + t) = terms_[static_cast<std::size_t>(t)];
        }
    }
    for (int t = 0; t < border_; ++t)
        for (int u = 0; u < border_; ++u) At(columns_ + t, columns_ + u) = 0.0;
    method_.BorderRightSide(0.0, 0.0, terms_.data());
    for (int t = 0; t < border_; ++t)
        rightSide_[static_cast<std::size_t>(columns_ + t)] = terms_[static_cast<std::size_t>(t)];
}

bool AccurateNodeSystem::SolveMinimumNorm() {
    using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
    const Eigen::Map<const RowMajor> matrix(matrix_.data(), order_, order_);
    const Eigen::Map<const Eigen::VectorXd> rightSide(rightSide_.data(), order_);
    const Eigen::CompleteOrthogonalDecomposition<Eigen::MatrixXd> decomposition(matrix);
    const Eigen::VectorXd solution = decomposition.solve(rightSide);
    if (!solution.allFinite()) return false;
    const double residual = (matrix * solution - rightSide).lpNorm<Eigen::Infinity>();
    const double size =
        matrix.lpNorm<Eigen::Infinity>() * solution.lpNorm<Eigen::Infinity>() + rightSide.lpNorm<Eigen::Infinity>();
    solution_.assign(solution.data(), solution.data() + order_);
    return residual <= kConsistentResidual * size;
}

AccurateNodeOutcome AccurateNodeSystem::Solve(const int* ids, const double* x, const double* y, const double* values,
                                              int locations, double nodeX, double nodeY) {
    AccurateNodeOutcome outcome;
    PairCovariances(ids, x, y, locations);
    Assemble(x, y, locations, nodeX, nodeY);
    const auto finite = [](const std::vector<double>& v) {
        return std::all_of(v.begin(), v.end(), [](double e) { return std::isfinite(e); });
    };
    // With a finite model and neighbours of finite coordinates (the only
    // ones chosen) every entry is finite; checking the model once spares
    // scanning every system.
    if (!modelFinite_) {
        outcome.estimate = outcome.variance = outcome.reciprocalCondition = kNotANumber;
        return outcome;
    }
    // The 1-norm estimate can miss an exact dependence that the vectors it
    // tries are blind to (two samples at one location give two equal
    // columns, invisible to a symmetric probe); a vanishing pivot cannot
    // hide, so the smaller of the two measures counts.
    const bool regular = lu_.Factorise(matrix_.data(), order_, true);  // kriging systems are symmetric
    double reciprocal = 0.0;
    if (regular) {
        reciprocal = lu_.ReciprocalCondition();
        const double pivotRatio = lu_.SmallestPivot() / lu_.LargestPivot();
        if (!(reciprocal <= pivotRatio)) reciprocal = pivotRatio;
    }
    outcome.reciprocalCondition = reciprocal;
    outcome.illConditioned = !(reciprocal >= kIllConditioned);
    bool solved = true;
    if (reciprocal >= kNumericallySingular) {
        solution_ = rightSide_;
        lu_.Solve(solution_.data());
        solved = finite(solution_);
    } else {
        solved = SolveMinimumNorm();
        outcome.minimumNorm = solved;
    }
    if (!solved) {
        outcome.estimate = outcome.variance = kNotANumber;
        return outcome;
    }

    // Back to the model's units: the multipliers and the covariances to the
    // node carry the unit the covariances were divided by.
    double explained = 0.0;
    for (int i = 0; i < order_; ++i) {
        const std::size_t e = static_cast<std::size_t>(i);
        if (i >= columns_) solution_[e] *= covarianceUnit_;
        else rightSide_[e] *= covarianceUnit_;
        explained += solution_[e] * rightSide_[e];
    }
    outcome.variance = model_.sill - explained;
    const NodeSolution<double> view{columns_, order_, solution_.data(), rightSide_.data(), values, model_.sill};
    outcome.estimate = method_.Estimate(view);
    if (!std::isfinite(outcome.estimate)) outcome.estimate = outcome.variance = kNotANumber;
    return outcome;
}

AccurateSamples::AccurateSamples(const SampleRows& rows, int variables, double scale)
    : variables_(std::max(variables, 1)),
      locations_(std::max(rows.count, 0) / variables_),
      x_(static_cast<std::size_t>(locations_)),
      y_(x_.size()),
      value_(rows.value) {
    for (std::size_t i = 0; i < x_.size(); ++i) {
        x_[i] = f64(rows.x[i]) / scale;
        y_[i] = f64(rows.y[i]) / scale;
    }
}

AccurateNodeOutcome AccurateNodeStep::Estimate(const std::vector<int>& ids, double nodeX, double nodeY) {
    const int k = static_cast<int>(ids.size());
    if (k == 0) {
        AccurateNodeOutcome none;
        none.estimate = none.variance = none.reciprocalCondition = kNotANumber;
        return none;
    }
    const int variables = samples_.Variables();
    x_.resize(ids.size());
    y_.resize(ids.size());
    values_.resize(ids.size() * static_cast<std::size_t>(variables));
    for (int a = 0; a < k; ++a) {
        const int s = ids[static_cast<std::size_t>(a)];
        x_[static_cast<std::size_t>(a)] = samples_.X(s);
        y_[static_cast<std::size_t>(a)] = samples_.Y(s);
        for (int v = 0; v < variables; ++v) values_[static_cast<std::size_t>(v * k + a)] = samples_.Value(v, s);
    }
    return system_.Solve(ids.data(), x_.data(), y_.data(), values_.data(), k, nodeX, nodeY);
}

}  // namespace mosaro
