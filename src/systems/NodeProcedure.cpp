#include "systems/NodeProcedure.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "sweeps/AccurateSweep.h"
#include "sweeps/CrossValidation.h"
#include "sweeps/FastNodeSweep.h"
#include "platform/FloatArith.h"
#include "systems/NodeSystem.h"
#include "platform/PortableMath.h"
#include "pipeline/RunContext.h"

namespace mosaro {

float CoordinateScale(float extent) {
    if (extent > 100000.0f) return 100000.0f;
    if (extent > 10000.0f) return 10000.0f;
    if (extent > 1000.0f) return 1000.0f;
    if (extent > 100.0f) return 100.0f;
    return 1.0f;
}

KrigingConstants KrigingConstants::FromEstimator(const CKriging& estimator) {
    const TVARIOGRAMMODEL& alongX = estimator.m_VariogramModel[0];
    const TVARIOGRAMMODEL& alongY = estimator.m_VariogramModel[1];
    const TRECTXYMINMAX& rect = estimator.m_Rect;

    KrigingConstants c;
    c.partialSill = f32((f64(alongX.fPartialSill) + f64(alongY.fPartialSill)) / 2.0);
    c.nugget = f32((f64(alongX.fNugget) + f64(alongY.fNugget)) / 2.0);
    c.sill = f32(f64(c.partialSill) + f64(c.nugget));

    float extent = f32(f64(rect.fXMax) - f64(rect.fXMin));
    const float extentY = f32(f64(rect.fYMax) - f64(rect.fYMin));
    if (extentY > extent) extent = extentY;
    c.scale = CoordinateScale(extent);

    c.range = f32(f64(alongX.fRange) / f64(c.scale));
    float ratio = f32(f64(alongX.fRange) / f64(alongY.fRange));
    // A strong anisotropy is trusted only when the range spans a few scaled
    // units; a weak or undefined one is ignored.
    if (f64(ratio) > 5.0 && f64(c.range) < 2.0) ratio = 1.0f;
    if (f64(ratio) < 0.5 || std::isnan(ratio)) ratio = 1.0f;
    c.anisotropy = ratio;
    return c;
}

float KrigingConstants::Covariance(float h) const {
    if (h == 0.0f || std::isnan(h)) return sill;
    if (!(h <= range)) return 0.0f;
    const double hd = f64(h), a = f64(range);
    const float gamma =
        f32(f64(partialSill) * ((hd * 1.5) / a - 0.5 * Cube(hd / a)) + f64(nugget));
    return f32(f64(sill) - f64(gamma));
}

float KrigingConstants::AnisotropicDistance(float x1, float y1, float x2, float y2) const {
    const double dx = f64(x1) - f64(x2);
    const double dy = f64(y1) - f64(y2);
    const double k = f64(anisotropy);
    return f32(std::sqrt(dx * dx + (k * k) * (dy * dy)));
}

float NodeCoordinate(long long index, float cellSize, float origin, float scale) {
    const float offset = f32(static_cast<double>(index) * f64(cellSize));
    const float position = f32(f64(offset) + f64(origin));
    return f32(f64(position) / f64(scale));
}

std::size_t NodeCount(const TGRIDCELLXY& grid) {
    if (grid.nCellCountX < 0 || grid.nCellCountY < 0) return 0;
    return (static_cast<std::size_t>(grid.nCellCountX) + 1) *
           (static_cast<std::size_t>(grid.nCellCountY) + 1);
}

float ApplyCutOff(float estimate) {
    if (f64(estimate) < 0.01 || std::isnan(estimate)) return 0.0f;
    return estimate;
}

void WorkingSamples::Load(float* const* ppPoints, int count, float scale) {
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    x.resize(n);
    y.resize(n);
    value.resize(n);
    distance.assign(n, 0.0f);
    for (std::size_t p = 0; p < n; ++p) {
        x[p] = f32(f64(ppPoints[0][p]) / f64(scale));
        y[p] = f32(f64(ppPoints[1][p]) / f64(scale));
        value[p] = ppPoints[2][p];
    }
}

void WorkingSamples::MeasureFrom(float nodeX, float nodeY) {
    const double X = f64(nodeX), Y = f64(nodeY);
    for (std::size_t p = 0; p < x.size(); ++p) distance[p] = MeasuredDistance(x[p], y[p], X, Y);
}

void WorkingSamples::Swap(std::size_t a, std::size_t b) {
    std::swap(x[a], x[b]);
    std::swap(y[a], y[b]);
    std::swap(value[a], value[b]);
    std::swap(distance[a], distance[b]);
}

void SortNearest(WorkingSamples& samples, int passes) {
    const std::size_t n = samples.x.size();
    const std::size_t last = std::min(n, static_cast<std::size_t>(std::max(passes, 0)));
    const std::vector<float>& d = samples.distance;
    for (std::size_t a = 0; a < last; ++a) {
        for (std::size_t b = a + 1; b < n; ++b) {
            if (!(d[b] >= d[a])) samples.Swap(a, b);  // nearer, or unordered
        }
    }
}

void NodeMethod::ChooseNeighbours(WorkingSamples& samples, int m) const {
    SortNearest(samples, m + 1);
}

void NodeMethod::BorderColumn(int /*column*/, float x, float y, float* terms) const {
    Drift(x, y, terms);
}

void NodeMethod::BorderRightSide(float x, float y, float* terms) const { Drift(x, y, terms); }

void NodeMethod::Drift(float /*x*/, float /*y*/, float* terms) const { terms[0] = 1.0f; }

float NodeMethod::Estimate(const NodeSolution& s) const {
    float z = 0.0f;
    for (int a = 0; a < s.neighbours; ++a) z = f32(f64(z) + f64(s.weights[a]) * f64(s.values[a]));
    return z;
}

void NodeMethod::AccurateBorderColumn(int /*variable*/, double u, double v, double* terms) const {
    AccurateDrift(u, v, terms);
}

void NodeMethod::AccurateBorderRightSide(double* terms) const { AccurateDrift(0.0, 0.0, terms); }

void NodeMethod::AccurateDrift(double /*u*/, double /*v*/, double* terms) const { terms[0] = 1.0; }

double NodeMethod::AccurateEstimate(const AccurateSolution& s) const {
    double z = 0.0;
    for (int a = 0; a < s.neighbours; ++a) z += s.weights[a] * s.values[a];
    return z;
}

float KrigingVariance(const NodeSolution& s) {
    double explained = 0.0;
    for (int i = 0; i < s.order; ++i) explained += f64(s.weights[i]) * f64(s.rightSide[i]);
    return f32(f64(s.constants->sill) - explained);
}

void RunNodeSweep(const CKriging& estimator, float* const* ppPoints, float* pGrid,
                  const NodeMethod& method, SharedNeighbours* shared) {
    const KrigingConstants constants = KrigingConstants::FromEstimator(estimator);
    const TGRIDCELLXY& grid = estimator.m_GridCell;
    const TRECTXYMINMAX& rect = estimator.m_Rect;
    const int n = std::max(estimator.m_nPointCount, 0);
    // More neighbours than samples cannot be chosen: every sample takes part.
    const int m = std::clamp(estimator.m_nNeighbourCount, 0, n);

    const long long columns = static_cast<long long>(grid.nCellCountX) + 1;
    const long long rows = static_cast<long long>(grid.nCellCountY) + 1;
    float* variance = method.HasVariance() ? CurrentRunContext().variance : nullptr;
    const RunContext& context = CurrentRunContext();
    if (context.report != nullptr && !context.report->empty()) context.report->back().sweptNodes = columns * rows;
    if (context.validation != nullptr) {
        RunCrossValidation(SweepPlan{constants, grid, rect, n, m, columns, rows, nullptr}, ppPoints, method,
                           *context.validation);
        return;
    }
    if (context.arithmetic == Arithmetic::kAccurate) {
        RunAccurateSweep(SweepPlan{constants, grid, rect, n, m, columns, rows, variance}, ppPoints, pGrid, method);
        return;
    }
    if (m == 0) {
        // Nothing to estimate from (no samples): every node is 0, whatever
        // the method; the lognormal back-transform of an empty sum would
        // otherwise give exp(0) = 1. Nothing is known, so no variance.
        std::fill_n(pGrid, NodeCount(grid), 0.0f);
        if (variance != nullptr) std::fill_n(variance, NodeCount(grid), std::nanf(""));
        return;
    }

    const SweepPlan plan{constants, grid, rect, n, m, columns, rows, variance};
    if (CurrentRunContext().reference)
        RunReferenceSweep(plan, ppPoints, pGrid, method);
    else
        RunFastSweep(plan, ppPoints, pGrid, method, shared);
}

void RunReferenceSweep(const SweepPlan& plan, float* const* ppPoints, float* pGrid, const NodeMethod& method) {
    const KrigingConstants& constants = plan.constants;
    WorkingSamples work;
    work.Load(ppPoints, plan.n, constants.scale);
    NodeSystem system(plan.m, method.BorderSize());
    for (long long i = 0; i < plan.rows; ++i) {
        const float nodeY = NodeCoordinate(i, plan.grid.fCellSizeY, plan.rect.fYMin, constants.scale);
        for (long long j = 0; j < plan.columns; ++j) {
            const float nodeX = NodeCoordinate(j, plan.grid.fCellSizeX, plan.rect.fXMin, constants.scale);
            work.MeasureFrom(nodeX, nodeY);
            method.ChooseNeighbours(work, plan.m);
            system.Assemble(work.x.data(), work.y.data(), nodeX, nodeY, constants, method);
            system.SolveReference();
            const NodeSolution solution = system.View(work.value.data(), constants);
            pGrid[i * plan.columns + j] = ApplyCutOff(method.Estimate(solution));
            if (plan.variance != nullptr) plan.variance[i * plan.columns + j] = KrigingVariance(solution);
        }
        ReportProgress(Stage::kSweep, static_cast<double>(i + 1) / static_cast<double>(plan.rows));
    }
}

}  // namespace mosaro
