// One node's kriging system in the accurate arithmetic: assembled and
// solved in double with a pivoted LU factorisation, its conditioning
// estimated, the estimate and the variance formed in double.
//
// The system is that of the legacy node procedure (same averaged spherical
// model, anisotropy and border conditions) with two changes of
// representation that leave the weights unchanged in exact arithmetic:
// covariances are divided by the sill, and the drift is taken in offsets
// from the node scaled by the neighbourhood's reach. Both keep the matrix
// entries of order one, so that the reciprocal condition number measures
// the geometry of the neighbours rather than the units of the data.
#pragma once

#include <vector>

#include "platform/SampleRows.h"

#include "systems/DenseLu.h"
#include "systems/KrigingConstants.h"
#include "systems/NodeMethod.h"
#include "platform/FloatArith.h"

namespace mosaro {

// Reciprocal condition estimates below this mark a system as
// ill-conditioned: fewer than about six significant digits of its weights
// can be trusted.
constexpr double kIllConditioned = 1e-10;
// Below this the LU factors are not trusted at all: the system is treated as
// singular and solved by a complete orthogonal decomposition instead.
constexpr double kNumericallySingular = 1e-14;

// The averaged spherical model of a sweep, in double.
struct AccurateModel {
    double sill;
    double nugget;
    double partialSill;
    double range;       // in scaled units
    double anisotropy;  // stretch of y differences

    explicit AccurateModel(const KrigingConstants& c);

    // Csum at h = 0, Csum - gamma(h) within the range, 0 beyond (and for a
    // range that is not a number).
    double Covariance(double h) const;
    double Distance(double dx, double dy) const;
};

struct AccurateNodeOutcome {
    double estimate = 0.0;  // NaN: the node cannot be estimated
    double variance = 0.0;  // NaN where there is none
    // Reciprocal condition estimate of the system: the smaller of the 1-norm
    // estimate and the ratio of the smallest to the largest pivot of its LU
    // factors; NaN when no system was formed.
    double reciprocalCondition = 0.0;
    bool illConditioned = false;
    // The system was singular but consistent (duplicate locations, or the
    // co-kriging system, singular by construction): its minimum-norm
    // solution was taken.
    bool minimumNorm = false;
};

class AccurateNodeSystem {
public:
    AccurateNodeSystem(const NodeMethod& method, const AccurateModel& model);

    // `locations` neighbours at scaled coordinates (x[a], y[a]), samples
    // ids[a]; the system has method.Variables() columns per location, values
    // laid out variable after variable (values[v * locations + a]). The node
    // is at (nodeX, nodeY). The covariance of a pair of samples is a pure
    // function of the two, so pairs already met at the previous node are
    // taken from it instead of being computed again.
    AccurateNodeOutcome Solve(const int* ids, const double* x, const double* y, const double* values, int locations,
                              double nodeX, double nodeY);

private:
    void PairCovariances(const int* ids, const double* x, const double* y, int k);
    void Assemble(const double* x, const double* y, int locations, double nodeX, double nodeY);
    bool SolveMinimumNorm();
    double& At(int row, int column) {
        return matrix_[static_cast<std::size_t>(row) * static_cast<std::size_t>(order_) +
                       static_cast<std::size_t>(column)];
    }

    const NodeMethod& method_;
    AccurateModel model_;
    double covarianceUnit_;  // the sill, or 1 when the sill cannot serve
    bool modelFinite_;
    int variables_;
    int border_;
    int columns_ = 0;
    int order_ = 0;
    std::vector<double> matrix_;  // row after row
    std::vector<double> rightSide_;
    std::vector<double> solution_;
    DenseLu lu_;
    std::vector<double> terms_;
    std::vector<double> pairs_;  // k x k covariances of the locations, in units
    std::vector<int> ids_;       // the samples pairs_ belongs to
    std::vector<double> previousPairs_;
    std::vector<int> previousIds_;
    std::vector<int> previousSlot_;  // per location: its place among the previous ones, or -1
};

// The samples as the accurate arithmetic reads them: each location's
// coordinates divided by the sweep's scale, in double, and the values of
// every variable (co-kriging's blocks share the locations of block 0).
class AccurateSamples {
public:
    AccurateSamples(const SampleRows& rows, int variables, double scale);

    int Locations() const { return locations_; }
    int Variables() const { return variables_; }
    double X(int location) const { return x_[static_cast<std::size_t>(location)]; }
    double Y(int location) const { return y_[static_cast<std::size_t>(location)]; }
    double Value(int variable, int location) const {
        return f64(value_[static_cast<std::size_t>(variable) * static_cast<std::size_t>(locations_) +
                          static_cast<std::size_t>(location)]);
    }

private:
    int variables_;
    int locations_;
    std::vector<double> x_, y_;
    const float* value_;
};

// The node step of the accurate arithmetic, written once for every sweep
// that runs it (the grid sweep, cross-validation): the columns of the
// chosen locations gathered, the system solved.
class AccurateNodeStep {
public:
    AccurateNodeStep(const AccurateSamples& samples, const NodeMethod& method, const AccurateModel& model)
        : samples_(samples), system_(method, model) {}

    // The node at scaled (nodeX, nodeY) from the locations `ids`, nearest
    // first; NaN throughout when there are none.
    AccurateNodeOutcome Estimate(const std::vector<int>& ids, double nodeX, double nodeY);

private:
    const AccurateSamples& samples_;
    AccurateNodeSystem system_;
    std::vector<double> x_, y_, values_;
};

}  // namespace mosaro
