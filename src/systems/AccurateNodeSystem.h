// One target's kriging system in the accurate arithmetic: assembled and
// solved in double with a pivoted LU factorisation, its conditioning
// estimated, the estimate and the variance formed in double.
//
// The target is a point, or a block given by its discretisation points
// (block kriging: the covariances to the target are the block means, the
// variance that of the block mean). Two changes of representation leave
// the weights unchanged in exact arithmetic and keep the matrix entries of
// order one, so that the reciprocal condition number measures the geometry
// of the neighbours rather than the units of the data: covariances are
// divided by the sill, and the drift is taken in offsets from the target
// scaled by the neighbourhood's reach (covariates of an external drift in
// offsets from their value at the target, scaled by their spread).
#pragma once

#include <vector>

#include "systems/CovarianceModel.h"
#include "systems/DenseLu.h"
#include "systems/NodeMethod.h"

namespace mosaro {

// Reciprocal condition estimates below this mark a system as
// ill-conditioned: fewer than about six significant digits of its weights
// can be trusted.
constexpr double kIllConditioned = 1e-10;
// Below this the LU factors are not trusted at all: the system is treated as
// singular and solved by a complete orthogonal decomposition instead.
constexpr double kNumericallySingular = 1e-14;

struct AccurateNodeOutcome {
    double estimate = 0.0;  // NaN: the target cannot be estimated
    double variance = 0.0;  // NaN where there is none
    // Reciprocal condition estimate of the system: the smaller of the 1-norm
    // estimate and the ratio of the smallest to the largest pivot of its LU
    // factors; NaN when no system was formed. Where the caller's mark
    // allowed it (see AccurateNodeSystem::Solve), a value it is known not to
    // fall below instead, itself at or above the mark.
    double reciprocalCondition = 0.0;
    bool illConditioned = false;
    // The system was singular but consistent (duplicate locations, or the
    // co-kriging system, singular by construction): its minimum-norm
    // solution was taken.
    bool minimumNorm = false;
};

// The chosen locations of one system: `locations` samples ids[a] at (x[a],
// y[a]); values variable after variable (values[v * locations + a]);
// covariates location after location (covariates[a * count + c]).
struct AccurateColumns {
    const int* ids = nullptr;
    const double* x = nullptr;
    const double* y = nullptr;
    const double* values = nullptr;
    const double* covariates = nullptr;
    int locations = 0;
};

// Where the target lies, in the columns' coordinates.
struct AccurateTarget {
    double x = 0.0;
    double y = 0.0;
    // Block kriging: the discretisation points' offsets from (x, y) and
    // their weights (summing to 1), and the mean covariance of the block
    // with itself; none for a point.
    const double* blockX = nullptr;
    const double* blockY = nullptr;
    const double* blockWeight = nullptr;
    int blockPoints = 0;
    double blockCovariance = 0.0;
    // External drift: the covariates at the target.
    const double* covariates = nullptr;
};

// One assembled system and what its factors gave: all that its outcome is
// formed from.
struct AccurateSolved {
    int order = 0;
    int columns = 0;                 // the locations' columns; the drift's follow
    const double* matrix = nullptr;  // row after row: for a minimum-norm solve
    double* rightSide = nullptr;     // in the covariances' unit; scaled back in place
    // The factors' solution, read where the condition reaches
    // kNumericallySingular; otherwise the minimum-norm solution is written.
    double* solution = nullptr;
    double reciprocalCondition = 0.0;
};

class AccurateNodeSystem {
public:
    // `covariates`: the external drift's covariates per location.
    AccurateNodeSystem(const NodeMethod& method, const CovarianceModel& model, int covariates = 0);

    // Every system takes its drift frame from (x, y) with reach `reach`
    // instead of from its own target and neighbours: with the same
    // locations, two targets then share one matrix, whose factors are kept
    // (global neighbourhoods).
    void FixFrame(double x, double y, double reach);
    bool FrameFixed() const { return fixedFrame_; }

    // The covariance of a pair of samples is a pure function of the two, so
    // pairs already met at the previous target are taken from it instead of
    // being computed again.
    //
    // `exactBelow`: the caller needs the reciprocal condition estimate only
    // where it may lie below this mark (infinity: always; a sweep's smallest
    // so far: only where it could lower it). Above both the mark and the
    // ill-conditioned mark a cheap floor of the estimate stands in for it:
    // every decision taken on the estimate is then the same, and the
    // estimate's several solves are spared.
    AccurateNodeOutcome Solve(const AccurateColumns& columns, const AccurateTarget& target, double exactBelow);

    // Solve in two halves, for callers that factorise several systems at
    // once. Assemble forms the matrix and the right-hand side (false: the
    // model cannot serve, and the outcome is Unusable()); they stay until
    // the next call. Conclude forms the outcome of any system assembled
    // here, from what its factors gave.
    bool Assemble(const AccurateColumns& columns, const AccurateTarget& target);
    int Order() const { return order_; }
    int Columns() const { return columns_; }
    const double* Matrix() const { return matrix_.data(); }
    const double* RightSide() const { return rightSide_.data(); }
    AccurateNodeOutcome SolveAssembled(const double* values, const AccurateTarget& target, double exactBelow);
    AccurateNodeOutcome Conclude(const AccurateSolved& solved, const double* values,
                                 const AccurateTarget& target) const;
    static AccurateNodeOutcome Unusable();

private:
    // The order of a system of `locations` locations: a column per
    // location and variable, then the border's.
    std::size_t OrderOf(std::size_t locations) const {
        return locations * static_cast<std::size_t>(variables_) + static_cast<std::size_t>(border_);
    }
    void PairCovariances(const AccurateColumns& columns);
    bool AssembleEntries(const AccurateColumns& columns, const AccurateTarget& target);
    void Factorise();
    double Condition(double exactBelow, double* rightSide, bool& solved);
    double& At(int row, int column) {
        return matrix_[static_cast<std::size_t>(row) * static_cast<std::size_t>(order_) +
                       static_cast<std::size_t>(column)];
    }

    const NodeMethod& method_;
    const CovarianceModel& model_;
    double unit_;  // the sill, or 1 when the sill cannot serve
    int variables_;
    int border_;
    int covariates_;
    bool fixedFrame_ = false;
    double frameX_ = 0.0, frameY_ = 0.0, frameReach_ = 1.0;
    int columns_ = 0;
    int order_ = 0;
    bool factored_ = false;       // the assembled matrix is the one whose factors lu_ holds
    std::vector<double> matrix_;  // row after row; its first k x k block holds the pairs' covariances
    std::vector<double> rightSide_;
    std::vector<double> solution_;
    DenseLu lu_;
    std::vector<double> terms_, meanTerms_, covariateOffsets_, spread_;
    std::vector<int> ids_;                // the samples the matrix's pairs belong to
    std::vector<double> previousMatrix_;  // the matrix before, whose pairs the next may share
    std::vector<int> previousIds_;
    std::vector<int> previousSlot_;  // per location: its place among the previous ones, or -1
    std::vector<int> slotOf_;        // by sample: its place among the previous ones while they are matched, else -1
    // The pairs not shared with the previous locations: their lags,
    // covariances and both places in the matrix, evaluated in one call.
    std::vector<double> freshX_, freshY_, freshCovariance_;
    std::vector<std::size_t> freshA_, freshB_;
    // The lags to the target and their covariances, evaluated in one call.
    std::vector<double> targetX_, targetY_, targetCovariance_;
    // The matrix the LU factors belong to (fixed frame only): its locations.
    std::vector<int> factoredIds_;
    // The factors' condition, worked out only as far as a caller needed it.
    bool regular_ = false;     // no pivot vanished
    bool exact_ = false;       // condition_ holds the estimate itself
    double pivotRatio_ = 0.0;  // smallest over largest pivot
    double condition_ = 0.0;   // the estimate, or its floor
    bool floorKnown_ = false;  // condition_ holds the floor
};

}  // namespace mosaro
