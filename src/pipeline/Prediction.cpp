#include "pipeline/Prediction.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <Eigen/Dense>

#include "methods/PolynomialDrift.h"
#include "methods/SimpleKriging.h"
#include "platform/PortableMath.h"
#include "platform/Quadrature.h"
#include "systems/CovarianceModel.h"
#include "systems/NodeMethod.h"

namespace mosaro {
namespace {

// The samples with a value, as offsets from the local origin; the values as
// kriged (their logarithms for lognormal kriging).
struct PreparedSamples {
    std::vector<double> x, y, value;
    std::vector<std::vector<double>> covariates;
    double originX = 0.0, originY = 0.0;
    double diagonal = 1.0;  // of the bounding box; 1 when the box is a point
    int leftOut = 0;
};

PreparedSamples Prepare(const PredictionRequest& r) {
    PreparedSamples p;
    double low[2] = {INFINITY, INFINITY}, high[2] = {-INFINITY, -INFINITY};
    for (int i = 0; i < r.count; ++i) {
        if (std::isnan(r.value[i])) continue;
        low[0] = std::min(low[0], r.x[i]), high[0] = std::max(high[0], r.x[i]);
        low[1] = std::min(low[1], r.y[i]), high[1] = std::max(high[1], r.y[i]);
    }
    if (r.frame != nullptr) {
        low[0] = r.frame[0], low[1] = r.frame[1], high[0] = r.frame[2], high[1] = r.frame[3];
    }
    p.originX = 0.5 * (low[0] + high[0]);
    p.originY = 0.5 * (low[1] + high[1]);
    const double diagonal =
        std::sqrt((high[0] - low[0]) * (high[0] - low[0]) + (high[1] - low[1]) * (high[1] - low[1]));
    if (diagonal > 0.0 && std::isfinite(diagonal)) p.diagonal = diagonal;
    p.covariates.resize(r.sampleCovariates.size());
    for (int i = 0; i < r.count; ++i) {
        if (std::isnan(r.value[i])) {
            ++p.leftOut;
            continue;
        }
        p.x.push_back(r.x[i] - p.originX);
        p.y.push_back(r.y[i] - p.originY);
        p.value.push_back(r.lognormal ? NaturalLogarithm(r.value[i] + r.shift) : r.value[i]);
        for (std::size_t c = 0; c < p.covariates.size(); ++c) p.covariates[c].push_back(r.sampleCovariates[c][i]);
    }
    if (p.x.empty())
        throw PredictionError(PredictionError::Cause::kSamples, "no sample has a value (every value is NaN)");
    return p;
}

// The values less their drift fitted by ordinary least squares (the drift
// functions in offsets over the extent, so that the columns are of one
// size); the values themselves without a drift.
std::vector<double> Residuals(const PredictionRequest& r, const PreparedSamples& p) {
    const int covariates = static_cast<int>(p.covariates.size());
    if (r.driftTerms == 0 && covariates == 0) return p.value;
    const std::unique_ptr<NodeMethod> drift = MakePolynomialDrift(r.driftTerms, covariates);
    const int terms = drift->BorderSize();
    const Eigen::Index n = static_cast<Eigen::Index>(p.value.size());
    Eigen::MatrixXd design(n, terms);
    std::vector<double> row(static_cast<std::size_t>(terms)), at(static_cast<std::size_t>(covariates));
    for (Eigen::Index i = 0; i < n; ++i) {
        const std::size_t s = static_cast<std::size_t>(i);
        for (int c = 0; c < covariates; ++c)
            at[static_cast<std::size_t>(c)] = p.covariates[static_cast<std::size_t>(c)][s];
        drift->Drift(p.x[s] / p.diagonal, p.y[s] / p.diagonal, at.data(), row.data());
        for (int t = 0; t < terms; ++t) design(i, t) = row[static_cast<std::size_t>(t)];
    }
    const Eigen::Map<const Eigen::VectorXd> values(p.value.data(), n);
    const Eigen::VectorXd coefficients = design.completeOrthogonalDecomposition().solve(values);
    const Eigen::VectorXd residuals = values - design * coefficients;
    return std::vector<double>(residuals.data(), residuals.data() + n);
}

EmpiricalVariogram VariogramOf(const PredictionRequest& r, const PreparedSamples& p, int threads) {
    const std::vector<double> values = Residuals(r, p);
    EmpiricalOptions options = r.variogram;
    options.threads = threads;
    try {
        return ComputeEmpiricalVariogram(SampleView{p.x.data(), p.y.data(), values.data(), values.size()}, options);
    } catch (const std::invalid_argument& e) {
        throw PredictionError(PredictionError::Cause::kVariogram, e.what());
    }
}

}  // namespace

std::array<double, 4> AnisotropicSearchMap(const VariogramModel& model) {
    if (model.Structures().empty()) return {1.0, 0.0, 0.0, 1.0};
    const Structure& s = model.Structures().front();
    const double radians = s.azimuth * (3.14159265358979323846 / 180.0);
    const double sine = Sine(radians), cosine = Cosine(radians);
    return {sine, cosine, -cosine / s.ratio, sine / s.ratio};
}

namespace {

// The block's discretisation: pointsX x pointsY Gauss-Legendre points and
// weights (as R's gstat), and the block's mean covariance with itself, in
// which coincident points leave the nugget out: the nugget is variation
// below any distance, which the block mean averages away.
void Discretise(const PredictionRequest& r, const CovarianceModel& covariance, TargetSet& targets) {
    if (!(r.blockX > 0.0 && r.blockY > 0.0)) return;
    const QuadratureRule alongX = GaussLegendre(r.pointsX), alongY = GaussLegendre(r.pointsY);
    for (int j = 0; j < r.pointsY; ++j)
        for (int i = 0; i < r.pointsX; ++i) {
            const std::size_t si = static_cast<std::size_t>(i), sj = static_cast<std::size_t>(j);
            targets.blockX.push_back(0.5 * r.blockX * alongX.nodes[si]);
            targets.blockY.push_back(0.5 * r.blockY * alongY.nodes[sj]);
            targets.blockWeight.push_back(0.25 * alongX.weights[si] * alongY.weights[sj]);
        }
    const std::size_t points = targets.blockX.size();
    double sum = 0.0;
    for (std::size_t a = 0; a < points; ++a)
        for (std::size_t b = 0; b < points; ++b) {
            const double c =
                a == b ? covariance.Sill() - covariance.Nugget()
                       : covariance.At(targets.blockX[a] - targets.blockX[b], targets.blockY[a] - targets.blockY[b]);
            sum += targets.blockWeight[a] * targets.blockWeight[b] * c;
        }
    targets.blockCovariance = sum;
}

}  // namespace

EmpiricalVariogram PredictionVariogram(const PredictionRequest& request, int threads) {
    return VariogramOf(request, Prepare(request), threads);
}

PredictionOutcome RunPrediction(const PredictionRequest& r, const TargetOutputs& outputs, const Execution& execution) {
    const PreparedSamples p = Prepare(r);
    PredictionOutcome outcome;
    outcome.samplesUsed = static_cast<int>(p.x.size());
    outcome.samplesLeftOut = p.leftOut;

    execution.Report(Stage::kVariograms, 0.0);
    if (r.model) {
        outcome.model = *r.model;
    } else {
        const EmpiricalVariogram empirical = VariogramOf(r, p, execution.workers);
        execution.Report(Stage::kFit, 0.0);
        const DirectionalVariogram& first = empirical.directions.front();
        FitOptions fit = r.fit;
        fit.azimuth = first.omnidirectional ? 0.0 : first.direction.azimuth;
        const FitResult result = FitModel(first.classes, r.fitTemplate, fit);
        if (result.status != FitStatus::kFitted)
            throw PredictionError(PredictionError::Cause::kFit, "the variogram fit failed: " + result.message);
        outcome.model = result.model;
        outcome.fitted = true;
        outcome.weightedSquaredError = result.weightedSquaredError;
        outcome.cutoff = empirical.cutoff;
        outcome.width = empirical.width;
        outcome.fitMessage = result.message;
    }
    if (!outcome.model.HasCovariance() && r.kind == KrigingKind::kSimple)
        throw PredictionError(PredictionError::Cause::kModel,
                              "simple kriging needs a model with a sill: a power or unbounded linear model has no "
                              "covariance");
    NestedCovariance nested(outcome.model);
    PseudoCovariance pseudo(outcome.model, p.diagonal);
    const CovarianceModel& covariance =
        outcome.model.HasCovariance() ? static_cast<const CovarianceModel&>(nested) : pseudo;

    const std::unique_ptr<NodeMethod> rules =
        r.kind == KrigingKind::kSimple
            ? MakeSimpleKriging(r.mean)
            : (r.driftTerms == 0 && p.covariates.empty()
                   ? std::make_unique<NodeMethod>()
                   : MakePolynomialDrift(r.driftTerms, static_cast<int>(p.covariates.size())));

    NeighbourhoodOptions neighbourhood = r.neighbourhood;
    if (r.anisotropicSearch) neighbourhood.transform = AnisotropicSearchMap(outcome.model);
    if (neighbourhood.nmax <= 0 && outcome.samplesUsed > kMaxGlobalSamples)
        throw PredictionError(PredictionError::Cause::kNeighbourhood,
                              "a global neighbourhood of " + std::to_string(outcome.samplesUsed) +
                                  " samples is too large (at most " + std::to_string(kMaxGlobalSamples) +
                                  "): give nmax");
    const SearchNeighbourhood search(p.x, p.y, neighbourhood);

    // Targets as offsets from the local origin.
    TargetSet targets = r.targets;
    std::vector<double> targetX, targetY;
    if (targets.grid) {
        targets.x0 -= p.originX;
        targets.y0 -= p.originY;
    } else {
        targetX.resize(static_cast<std::size_t>(targets.count));
        targetY.resize(targetX.size());
        for (std::size_t i = 0; i < targetX.size(); ++i) {
            targetX[i] = targets.x[i] - p.originX;
            targetY[i] = targets.y[i] - p.originY;
        }
        targets.x = targetX.data();
        targets.y = targetY.data();
    }
    Discretise(r, covariance, targets);

    const AccurateSamples samples(p.x, p.y, p.value, p.covariates);
    TargetOutputs out = outputs;
    out.lognormal.on = r.lognormal;
    out.lognormal.shift = r.shift;
    execution.Report(Stage::kSweep, 0.0);
    outcome.tally = RunTargetSweep(samples, search, *rules, covariance, p.diagonal, targets, out, execution);
    outcome.targets = targets.Count();
    return outcome;
}

}  // namespace mosaro
