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

bool AllFinite(const double* v, int count) {
    return std::all_of(v, v + count, [](double e) { return std::isfinite(e); });
}

// The minimum-norm solution of a singular system, written to `solution`;
// false unless the equations were consistent.
bool SolveMinimumNorm(const double* matrixEntries, const double* rightSideEntries, int order, double* solution) {
    using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
    const Eigen::Map<const RowMajor> matrix(matrixEntries, order, order);
    const Eigen::Map<const Eigen::VectorXd> rightSide(rightSideEntries, order);
    const Eigen::CompleteOrthogonalDecomposition<Eigen::MatrixXd> decomposition(matrix);
    const Eigen::VectorXd x = decomposition.solve(rightSide);
    if (!x.allFinite()) return false;
    const double residual = (matrix * x - rightSide).lpNorm<Eigen::Infinity>();
    const double size =
        matrix.lpNorm<Eigen::Infinity>() * x.lpNorm<Eigen::Infinity>() + rightSide.lpNorm<Eigen::Infinity>();
    std::copy_n(x.data(), order, solution);
    return residual <= kConsistentResidual * size;
}

}  // namespace

AccurateNodeSystem::AccurateNodeSystem(const NodeMethod& method, const CovarianceModel& model, int covariates)
    : method_(method),
      model_(model),
      unit_(std::isfinite(model.Sill()) && model.Sill() > 0.0 ? model.Sill() : 1.0),
      variables_(std::max(method.Variables(), 1)),
      border_(method.BorderSize()),
      covariates_(covariates),
      terms_(static_cast<std::size_t>(std::max(border_, 1))),
      meanTerms_(terms_.size()),
      covariateOffsets_(static_cast<std::size_t>(covariates)),
      spread_(static_cast<std::size_t>(covariates)) {}

void AccurateNodeSystem::FixFrame(double x, double y, double reach) {
    fixedFrame_ = true;
    frameX_ = x;
    frameY_ = y;
    frameReach_ = reach > 0.0 && std::isfinite(reach) ? reach : 1.0;
}

void AccurateNodeSystem::PairCovariances(const AccurateColumns& c) {
    const std::size_t size = static_cast<std::size_t>(c.locations);
    if (ids_.size() == size && std::equal(ids_.begin(), ids_.end(), c.ids)) return;  // the same locations
    // The pairs are written where the matrix holds them (its first block),
    // the previous matrix kept aside to take the shared ones from.
    std::swap(previousMatrix_, matrix_);
    std::swap(previousIds_, ids_);
    const std::size_t previous = previousIds_.size();
    const std::size_t stride = OrderOf(size), previousStride = OrderOf(previous);
    ids_.assign(c.ids, c.ids + size);
    matrix_.resize(stride * stride);
    // Each previous location's place, looked up by sample (the first place
    // where one appears twice), then the marks taken back.
    for (std::size_t p = previous; p-- > 0;) {
        const std::size_t id = static_cast<std::size_t>(previousIds_[p]);
        if (id >= slotOf_.size()) slotOf_.resize(id + 1, -1);
        slotOf_[id] = static_cast<int>(p);
    }
    previousSlot_.resize(size);
    for (std::size_t a = 0; a < size; ++a) {
        const std::size_t id = static_cast<std::size_t>(ids_[a]);
        previousSlot_[a] = id < slotOf_.size() ? slotOf_[id] : -1;
    }
    for (std::size_t p = 0; p < previous; ++p) slotOf_[static_cast<std::size_t>(previousIds_[p])] = -1;
    // The pairs whose locations both had a place take their previous
    // covariance; the others are listed, to be evaluated together.
    const std::size_t most = size * (size - 1) / 2;
    if (freshX_.size() < most) {
        freshX_.resize(most), freshY_.resize(most), freshCovariance_.resize(most);
        freshA_.resize(most), freshB_.resize(most);
    }
    std::size_t fresh = 0;
    const double diagonal = model_.Sill() / unit_;
    for (std::size_t a = 0; a < size; ++a) {
        matrix_[a * stride + a] = diagonal;
        const int pa = previousSlot_[a];
        for (std::size_t b = a + 1; b < size; ++b) {
            const int pb = previousSlot_[b];
            if (pa >= 0 && pb >= 0) {
                matrix_[a * stride + b] = matrix_[b * stride + a] =
                    previousMatrix_[static_cast<std::size_t>(pa) * previousStride + static_cast<std::size_t>(pb)];
                continue;
            }
            freshX_[fresh] = c.x[a] - c.x[b];
            freshY_[fresh] = c.y[a] - c.y[b];
            freshA_[fresh] = a * stride + b;
            freshB_[fresh++] = b * stride + a;
        }
    }
    // The new pairs' covariances in one call, which a model may vectorise
    // (with At's bits).
    model_.AtMany(freshX_.data(), freshY_.data(), fresh, freshCovariance_.data());
    for (std::size_t f = 0; f < fresh; ++f) matrix_[freshA_[f]] = matrix_[freshB_[f]] = freshCovariance_[f] / unit_;
}

// Returns whether the matrix is the one last factorised (the right-hand
// side is new in any case).
bool AccurateNodeSystem::AssembleEntries(const AccurateColumns& c, const AccurateTarget& target) {
    const int k = c.locations;
    const std::size_t size = static_cast<std::size_t>(k);
    columns_ = variables_ * k;
    order_ = static_cast<int>(OrderOf(size));
    const std::size_t order = static_cast<std::size_t>(order_);
    rightSide_.resize(order);

    // The drift frame: offsets from the target over the neighbourhood's
    // reach, or the fixed frame.
    double originX = target.x, originY = target.y, reach = 0.0;
    if (fixedFrame_) {
        originX = frameX_;
        originY = frameY_;
        reach = frameReach_;
    } else {
        for (int a = 0; a < k; ++a) {
            const double dx = c.x[a] - originX, dy = c.y[a] - originY;
            reach = std::max(reach, dx * dx + dy * dy);
        }
        reach = std::sqrt(reach);
        if (!(reach > 0.0 && std::isfinite(reach))) reach = 1.0;
    }
    // Covariates in offsets from their value at the target (or their mean
    // in a fixed frame), over their spread among the locations.
    for (int v = 0; v < covariates_; ++v) {
        const std::size_t cv = static_cast<std::size_t>(v);
        double origin = 0.0;
        if (fixedFrame_) {
            for (int a = 0; a < k; ++a) origin += c.covariates[static_cast<std::size_t>(a * covariates_ + v)];
            origin /= std::max(k, 1);
        } else {
            origin = target.covariates[cv];
        }
        double spread = 0.0;
        for (int a = 0; a < k; ++a)
            spread = std::max(spread, std::fabs(c.covariates[static_cast<std::size_t>(a * covariates_ + v)] - origin));
        covariateOffsets_[cv] = origin;
        spread_[cv] = spread > 0.0 && std::isfinite(spread) ? spread : 1.0;
    }
    std::vector<double> scaled(static_cast<std::size_t>(covariates_));
    auto scaledCovariates = [&](const double* raw) -> const double* {
        for (int v = 0; v < covariates_; ++v) {
            const std::size_t cv = static_cast<std::size_t>(v);
            scaled[cv] = (raw[cv] - covariateOffsets_[cv]) / spread_[cv];
        }
        return scaled.data();
    };

    // The matrix depends on the locations and the frame only.
    const bool same = fixedFrame_ && !factoredIds_.empty() && factoredIds_.size() == static_cast<std::size_t>(k) &&
                      std::equal(factoredIds_.begin(), factoredIds_.end(), c.ids);
    if (!same) {
        // The pairs' block (PairCovariances wrote it) repeated for every
        // pair of variables.
        for (int v = 0; v < variables_; ++v)
            for (int a = 0; a < k; ++a) {
                double* row = &matrix_[static_cast<std::size_t>(v * k + a) * order];
                for (int w = v == 0 ? 1 : 0; w < variables_; ++w)
                    std::copy_n(&matrix_[static_cast<std::size_t>(a) * order], size,
                                row + static_cast<std::size_t>(w * k));
            }
        for (int v = 0; v < variables_; ++v)
            for (int a = 0; a < k; ++a) {
                const int column = v * k + a;
                const double* covariates =
                    covariates_ > 0 ? scaledCovariates(&c.covariates[static_cast<std::size_t>(a * covariates_)])
                                    : nullptr;
                method_.BorderColumn(v, (c.x[a] - originX) / reach, (c.y[a] - originY) / reach, covariates,
                                     terms_.data());
                for (int t = 0; t < border_; ++t)
                    At(columns_ + t, column) = At(column, columns_ + t) = terms_[static_cast<std::size_t>(t)];
            }
        for (int t = 0; t < border_; ++t)
            for (int u = 0; u < border_; ++u) At(columns_ + t, columns_ + u) = 0.0;
    }

    // Covariances to the target (block means for a block) and the drift at
    // the target (its mean over the block).
    const double* targetCovariates = covariates_ > 0 ? scaledCovariates(target.covariates) : nullptr;
    const int points = target.blockPoints;
    targetX_.resize(size), targetY_.resize(size), targetCovariance_.resize(size);
    if (points == 0) {
        // In one call, which a model may vectorise (with At's bits): the
        // evaluations then overlap instead of waiting on one another.
        for (std::size_t a = 0; a < size; ++a) targetX_[a] = c.x[a] - target.x, targetY_[a] = c.y[a] - target.y;
        model_.AtMany(targetX_.data(), targetY_.data(), size, targetCovariance_.data());
    } else {
        for (std::size_t a = 0; a < size; ++a) {
            double covariance = 0.0;
            for (int p = 0; p < points; ++p)
                covariance += target.blockWeight[p] *
                              model_.At(c.x[a] - (target.x + target.blockX[p]), c.y[a] - (target.y + target.blockY[p]));
            targetCovariance_[a] = covariance;
        }
    }
    for (int v = 0; v < variables_; ++v)
        for (std::size_t a = 0; a < size; ++a)
            rightSide_[static_cast<std::size_t>(v) * size + a] = targetCovariance_[a] / unit_;
    if (points == 0) {
        method_.BorderRightSide((target.x - originX) / reach, (target.y - originY) / reach, targetCovariates,
                                terms_.data());
    } else {
        std::fill(meanTerms_.begin(), meanTerms_.end(), 0.0);
        for (int p = 0; p < points; ++p) {
            method_.BorderRightSide((target.x + target.blockX[p] - originX) / reach,
                                    (target.y + target.blockY[p] - originY) / reach, targetCovariates, terms_.data());
            for (int t = 0; t < border_; ++t)
                meanTerms_[static_cast<std::size_t>(t)] += terms_[static_cast<std::size_t>(t)];
        }
        for (int t = 0; t < border_; ++t)
            terms_[static_cast<std::size_t>(t)] = meanTerms_[static_cast<std::size_t>(t)] / points;
    }
    for (int t = 0; t < border_; ++t)
        rightSide_[static_cast<std::size_t>(columns_ + t)] = terms_[static_cast<std::size_t>(t)];
    return same;
}

void AccurateNodeSystem::Factorise() {
    regular_ = lu_.Factorise(matrix_.data(), order_, true);  // kriging systems are symmetric
    exact_ = floorKnown_ = false;
    if (regular_) pivotRatio_ = lu_.SmallestPivot() / lu_.LargestPivot();
}

// The reciprocal condition of the factors, or its floor where that settles
// everything the caller and the solve decide on it. A fixed frame keeps its
// factors from target to target, and with them what is already known.
// `rightSide` is solved in the estimate's first pass when the estimate is
// made (`solved` then set).
double AccurateNodeSystem::Condition(double exactBelow, double* rightSide, bool& solved) {
    // The 1-norm estimate can miss an exact dependence that the vectors it
    // tries are blind to (two samples at one location give two equal
    // columns, invisible to a symmetric probe); a vanishing pivot cannot
    // hide, so the smaller of the two measures counts.
    if (!regular_) return 0.0;
    if (exact_) return condition_;
    const double mark = std::max(exactBelow, kIllConditioned);
    if (pivotRatio_ >= mark) {
        if (!floorKnown_) {
            condition_ = std::min(lu_.ReciprocalConditionFloor(mark), pivotRatio_);
            floorKnown_ = true;
        }
        if (condition_ >= mark) return condition_;
    }
    double reciprocal = lu_.ReciprocalCondition(rightSide);
    solved = true;
    if (!(reciprocal <= pivotRatio_)) reciprocal = pivotRatio_;
    condition_ = reciprocal;
    exact_ = true;
    return reciprocal;
}

AccurateNodeOutcome AccurateNodeSystem::Unusable() {
    AccurateNodeOutcome outcome;
    outcome.estimate = outcome.variance = outcome.reciprocalCondition = kNotANumber;
    return outcome;
}

bool AccurateNodeSystem::Assemble(const AccurateColumns& c, const AccurateTarget& target) {
    // With a usable model and locations of finite coordinates (the only ones
    // chosen) every entry is finite; checking the model once spares
    // scanning every system.
    if (!model_.Usable()) return false;
    PairCovariances(c);
    factored_ = AssembleEntries(c, target);
    return true;
}

AccurateNodeOutcome AccurateNodeSystem::Solve(const AccurateColumns& c, const AccurateTarget& target,
                                              double exactBelow) {
    if (!Assemble(c, target)) return Unusable();
    return SolveAssembled(c.values, target, exactBelow);
}

AccurateNodeOutcome AccurateNodeSystem::SolveAssembled(const double* values, const AccurateTarget& target,
                                                       double exactBelow) {
    if (!factored_) {
        Factorise();
        if (fixedFrame_) factoredIds_ = ids_;
    }
    solution_ = rightSide_;
    bool solved = false;
    AccurateSolved system{order_, columns_, matrix_.data(), rightSide_.data(), solution_.data(), 0.0};
    system.reciprocalCondition = Condition(exactBelow, solution_.data(), solved);
    if (system.reciprocalCondition >= kNumericallySingular && !solved) lu_.Solve(solution_.data());
    return Conclude(system, values, target);
}

AccurateNodeOutcome AccurateNodeSystem::Conclude(const AccurateSolved& s, const double* values,
                                                 const AccurateTarget& target) const {
    AccurateNodeOutcome outcome;
    outcome.reciprocalCondition = s.reciprocalCondition;
    outcome.illConditioned = !(s.reciprocalCondition >= kIllConditioned);
    // Below the singular mark the factors are not trusted at all.
    bool solved;
    if (s.reciprocalCondition >= kNumericallySingular) {
        solved = AllFinite(s.solution, s.order);
    } else {
        solved = SolveMinimumNorm(s.matrix, s.rightSide, s.order, s.solution);
        outcome.minimumNorm = solved;
    }
    if (!solved) {
        outcome.estimate = outcome.variance = kNotANumber;
        return outcome;
    }

    // Back to the model's units: the multipliers and the covariances to the
    // target carry the unit the covariances were divided by.
    double explained = 0.0;
    for (int i = 0; i < s.order; ++i) {
        const std::size_t e = static_cast<std::size_t>(i);
        if (i >= s.columns) s.solution[e] *= unit_;
        else s.rightSide[e] *= unit_;
        explained += s.solution[e] * s.rightSide[e];
    }
    const double targetCovariance = target.blockPoints > 0 ? target.blockCovariance : model_.Sill();
    outcome.variance = targetCovariance - explained;
    const NodeSolution<double> view{s.columns, s.order, s.solution, s.rightSide, values, model_.Sill()};
    outcome.estimate = method_.Estimate(view);
    if (!std::isfinite(outcome.estimate)) outcome.estimate = outcome.variance = kNotANumber;
    return outcome;
}

}  // namespace mosaro
