// The accurate arithmetic's node step: the samples as it reads them, and
// the step every sweep runs per target (grids, points, blocks,
// cross-validation), one target at a time or several queued and solved
// together, one system per vector lane.
#pragma once

#include <vector>

#include "platform/SampleRows.h"
#include "systems/AccurateNodeSystem.h"
#include "systems/LaneLu.h"

namespace mosaro {

// The samples as the accurate arithmetic reads them: each location's
// coordinates (divided by `scale`, shifted by an origin), the values of
// every variable (co-kriging's blocks share the locations of block 0), and
// the covariates of an external drift.
class AccurateSamples {
public:
    AccurateSamples(const SampleRows& rows, int variables, double scale);
    // The same, location k being the rows' location order[k] (order holds
    // each location once): numbered so that near locations lie near each
    // other in memory.
    AccurateSamples(const SampleRows& rows, int variables, double scale, const std::vector<int>& order);
    // Double coordinates taken as they are, values in double, `covariates`
    // arrays of `count` values each (may be empty).
    AccurateSamples(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& values,
                    const std::vector<std::vector<double>>& covariates);

    int Locations() const { return locations_; }
    int Variables() const { return variables_; }
    int Covariates() const { return static_cast<int>(covariates_.size()); }
    double X(int location) const { return x_[static_cast<std::size_t>(location)]; }
    double Y(int location) const { return y_[static_cast<std::size_t>(location)]; }
    double Value(int variable, int location) const {
        return values_[static_cast<std::size_t>(variable) * static_cast<std::size_t>(locations_) +
                       static_cast<std::size_t>(location)];
    }
    double Covariate(int covariate, int location) const {
        return covariates_[static_cast<std::size_t>(covariate)][static_cast<std::size_t>(location)];
    }
    const std::vector<double>& Xs() const { return x_; }
    const std::vector<double>& Ys() const { return y_; }

private:
    int variables_;
    int locations_;
    std::vector<double> x_, y_, values_;
    std::vector<std::vector<double>> covariates_;
};

// The node step of the accurate arithmetic, written once for every sweep
// that runs it (grids, points, blocks, cross-validation): the columns of
// the chosen locations gathered, the system solved.
class AccurateNodeStep {
public:
    // `lanes`: how many point targets Queue solves at once (see there).
    AccurateNodeStep(const AccurateSamples& samples, const NodeMethod& method, const CovarianceModel& model,
                     SolverLanes lanes = SolverLanes::kScalar);

    void FixFrame(double x, double y, double reach) { system_.FixFrame(x, y, reach); }

    // The target from the locations `ids`, nearest first; NaN throughout
    // when there are none. `exactBelow` as for AccurateNodeSystem::Solve.
    AccurateNodeOutcome Estimate(const std::vector<int>& ids, const AccurateTarget& target, double exactBelow);
    AccurateNodeOutcome Estimate(const std::vector<int>& ids, double x, double y, double exactBelow) {
        return Estimate(ids, PointTarget(x, y), exactBelow);
    }

    // Targets queued, then solved together: point targets' systems of one
    // order, one per vector lane (LaneLu), where the processor has the
    // width and the frame is not fixed. Each outcome is Estimate's, bit for
    // bit, except that a regular system's reciprocal condition is always
    // the estimate itself, never the floor `exactBelow` allows (no decision
    // and no smallest condition differs). Otherwise a target is solved as it
    // is queued. `target` is read during the call only.
    void Queue(const std::vector<int>& ids, const AccurateTarget& target, double exactBelow);
    void Queue(const std::vector<int>& ids, double x, double y, double exactBelow) {
        Queue(ids, PointTarget(x, y), exactBelow);
    }
    // A target whose outcome is already known takes its place in the queue.
    void QueueOutcome(const AccurateNodeOutcome& outcome);
    bool Full() const { return queued_ >= width_; }
    // The queued targets' outcomes, in queue order; the queue is then empty.
    const std::vector<AccurateNodeOutcome>& Flush();

private:
    static AccurateTarget PointTarget(double x, double y) {
        AccurateTarget target;
        target.x = x;
        target.y = y;
        return target;
    }
    AccurateColumns Gather(const std::vector<int>& ids);
    void Append(const AccurateNodeOutcome& outcome, int lane);
    void SolveLanes();

    const AccurateSamples& samples_;
    AccurateNodeSystem system_;
    std::vector<double> x_, y_, values_, covariates_;

    // The queue: per target its outcome, or the lane its system waits in.
    int width_ = 1;
    int queued_ = 0;
    std::vector<AccurateNodeOutcome> outcomes_;
    std::vector<int> laneOf_;  // -1: solved as queued
    // The waiting systems, one after another as LaneLu takes them (entry
    // (r, c) of lane l at [(l * order + r) * order + c]), and per lane what
    // Conclude reads.
    int lanes_ = 0, laneOrder_ = 0, laneColumns_ = 0;
    std::vector<double> matrices_, rightSides_;
    std::vector<std::vector<double>> laneValues_;
    // One lane's right-hand side and solution taken out for Conclude,
    // which scales them in place.
    std::vector<double> rightSide_, solution_;
    std::vector<LaneLuOutcome> laneOutcomes_;
    LaneLu lu_;
};

}  // namespace mosaro
