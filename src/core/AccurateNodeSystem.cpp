#include "AccurateNodeSystem.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mosaro {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// A minimum-norm solution is accepted when it satisfies the system to this
// relative residual: the equations were consistent, only redundant.
constexpr double kConsistentResidual = 1e-8;

}  // namespace

AccurateModel::AccurateModel(const KrigingConstants& c)
    : sill(c.sill),
      nugget(c.nugget),
      partialSill(c.partialSill),
      range(c.range),
      anisotropy(c.anisotropy) {}

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
      variables_(std::max(method.Variables(), 1)),
      border_(method.BorderSize()),
      terms_(static_cast<std::size_t>(std::max(border_, 1))) {}

void AccurateNodeSystem::Assemble(const double* x, const double* y, int k, double nodeX,
                                  double nodeY) {
    columns_ = variables_ * k;
    const int order = columns_ + border_;
    matrix_.resize(order, order);
    rightSide_.resize(order);
    matrix_.bottomRightCorner(border_, border_).setZero();

    const double unit = covarianceUnit_;
    locationCovariance_.resize(static_cast<std::size_t>(k) * static_cast<std::size_t>(k));
    auto pair = [&](int a, int b) -> double& {
        return locationCovariance_[static_cast<std::size_t>(a) * static_cast<std::size_t>(k) +
                                   static_cast<std::size_t>(b)];
    };
    double reach = 0.0;
    for (int a = 0; a < k; ++a) {
        pair(a, a) = model_.sill / unit;
        for (int b = a + 1; b < k; ++b)
            pair(a, b) = pair(b, a) = model_.Covariance(model_.Distance(x[a] - x[b], y[a] - y[b])) / unit;
        const double dx = x[a] - nodeX, dy = y[a] - nodeY;
        reach = std::max(reach, dx * dx + dy * dy);
    }
    reach = std::sqrt(reach);
    if (!(reach > 0.0 && std::isfinite(reach))) reach = 1.0;

    for (int v = 0; v < variables_; ++v)
        for (int w = 0; w < variables_; ++w)
            for (int a = 0; a < k; ++a)
                for (int b = 0; b < k; ++b) matrix_(v * k + a, w * k + b) = pair(a, b);
    for (int v = 0; v < variables_; ++v) {
        for (int a = 0; a < k; ++a) {
            const int column = v * k + a;
            rightSide_(column) = model_.Covariance(model_.Distance(x[a] - nodeX, y[a] - nodeY)) / unit;
            method_.AccurateBorderColumn(v, (x[a] - nodeX) / reach, (y[a] - nodeY) / reach,
                                         terms_.data());
            for (int t = 0; t < border_; ++t)
                matrix_(columns_ + t, column) = matrix_(column, columns_ + t) = terms_[static_cast<std::size_t>(t)];
        }
    }
    method_.AccurateBorderRightSide(terms_.data());
    for (int t = 0; t < border_; ++t) rightSide_(columns_ + t) = terms_[static_cast<std::size_t>(t)];
}

bool AccurateNodeSystem::SolveMinimumNorm() {
    Eigen::CompleteOrthogonalDecomposition<Eigen::MatrixXd> decomposition(matrix_);
    solution_ = decomposition.solve(rightSide_);
    if (!solution_.allFinite()) return false;
    const double residual = (matrix_ * solution_ - rightSide_).lpNorm<Eigen::Infinity>();
    const double size = matrix_.lpNorm<Eigen::Infinity>() * solution_.lpNorm<Eigen::Infinity>() +
                        rightSide_.lpNorm<Eigen::Infinity>();
    return residual <= kConsistentResidual * size;
}

AccurateNodeOutcome AccurateNodeSystem::Solve(const double* x, const double* y, const double* values,
                                              int locations, double nodeX, double nodeY) {
    AccurateNodeOutcome outcome;
    Assemble(x, y, locations, nodeX, nodeY);
    if (!matrix_.allFinite() || !rightSide_.allFinite()) {
        // A model that is not finite: no system to speak of.
        outcome.estimate = outcome.variance = outcome.reciprocalCondition = kNotANumber;
        return outcome;
    }
    lu_.compute(matrix_);
    // The 1-norm estimate can miss an exact dependence that the right-hand
    // sides it tries are blind to (two samples at one location give two
    // equal columns, invisible to a symmetric probe); a vanishing pivot
    // cannot hide, so the smaller of the two measures counts.
    const Eigen::VectorXd pivots = lu_.matrixLU().diagonal().cwiseAbs();
    const double pivotRatio = pivots.minCoeff() / pivots.maxCoeff();
    double reciprocal = lu_.rcond();  // NaN when its probe met an exact zero pivot
    if (!(reciprocal <= pivotRatio)) reciprocal = pivotRatio;
    outcome.reciprocalCondition = reciprocal;
    outcome.illConditioned = !(reciprocal >= kIllConditioned);
    bool solved = true;
    if (reciprocal >= kNumericallySingular) {
        solution_ = lu_.solve(rightSide_);
        solved = solution_.allFinite();
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
    const int order = columns_ + border_;
    solution_.tail(border_) *= covarianceUnit_;
    rightSide_.head(columns_) *= covarianceUnit_;
    outcome.variance = model_.sill - solution_.dot(rightSide_);
    const AccurateSolution view{columns_, order, solution_.data(), rightSide_.data(), values, model_.sill};
    outcome.estimate = method_.AccurateEstimate(view);
    if (!std::isfinite(outcome.estimate)) outcome.estimate = outcome.variance = kNotANumber;
    return outcome;
}

}  // namespace mosaro
