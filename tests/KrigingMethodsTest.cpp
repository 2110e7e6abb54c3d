// The estimators end to end: the pipeline they share, then per method the
// properties that set it apart. (Every bit of every method is pinned by the
// golden grids.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "TestSupport.h"
#include "legacy/LogarithmNormalKriging.h"
#include "legacy/UniversalKriging.h"
#include "neighbours/ExchangeSort.h"
#include "sweeps/GridNodes.h"
#include "systems/KrigingConstants.h"

using namespace mosaro_test;

TEST(Kriging, ThirdPipelineArgumentIsNotReadAndARerunRepeatsTheRun) {
    const SampleTable table = RandomSamples(12, 40, 100.0f);
    mosaro::PointArrays points = Points(table);
    const GridArgs args = GridArgs::Square(100, 10, 8);
    std::vector<float> first(static_cast<std::size_t>(args.Nodes())), second = first;
    COrdinaryKriging estimator(table.Count(), 8, 0.0f, args.Layout(), args.Rect());
    estimator.KrigingResultValue(points.Table(), first.data(), args.Layout());
    estimator.KrigingResultValue(points.Table(), second.data(), TGRIDCELLXY{3.0f, 0.5f, 2, 1});
    EXPECT_TRUE(SameBits(first, second));
    EXPECT_TRUE(SameBits(first, Grid(table, args)));  // as the entry point computes it
}

// ---- Ordinary kriging

TEST(OrdinaryKriging, SingleNeighbourReproducesTheNearestSample) {
    const SampleTable table = RandomSamples(21, 60, 100.0f);
    const GridArgs args = GridArgs::Square(100, 20, 1);
    const std::vector<float> grid = Grid(table, args);
    int checked = 0;
    for (int i = 0; i <= 20; ++i)
        for (int j = 0; j <= 20; ++j) {
            // Nearest and second nearest sample; skip nodes too close to call.
            double d1 = 1e30, d2 = 1e30;
            float nearest = 0;
            for (int s = 0; s < table.Count(); ++s) {
                const double d = std::hypot(table.rows[3 * s] - 5.0 * j, table.rows[3 * s + 1] - 5.0 * i);
                if (d < d1) {
                    d2 = d1;
                    d1 = d;
                    nearest = table.rows[3 * s + 2];
                } else if (d < d2) d2 = d;
            }
            if (d2 - d1 < 1e-3 * (1 + d1)) continue;
            // The float solve of [[Csum, 1], [1, 0]] gives a weight within a
            // few units in the last place of 1, not exactly 1.
            EXPECT_LE(std::llabs(std::int64_t{Bits(args.At(grid, i, j))} - Bits(nearest)), 4);
            ++checked;
        }
    EXPECT_GT(checked, 400);
}

TEST(OrdinaryKriging, ScalingTheValuesByAPowerOfTwoScalesEveryEstimateExactly) {
    // Every float of the run scales exactly, and the system scales as S K S
    // with S = diag(4, ..., 4, 1/4), so elimination rounds alike.
    const SampleTable table = RandomSamples(23, 80, 100.0f);
    SampleTable scaled = table;
    for (int i = 0; i < table.Count(); ++i) scaled.At(i, 2) *= 4.0f;
    const GridArgs args = GridArgs::Square(100, 16, 10);
    const std::vector<float> base = Grid(table, args), times4 = Grid(scaled, args);
    for (std::size_t k = 0; k < base.size(); ++k) {
        ASSERT_GT(base[k], 1.0f);
        EXPECT_EQ(Bits(times4[k]), Bits(4.0f * base[k])) << k;
    }
}

// ---- Universal kriging: every drift form reproduces a field that is exactly
// its own trend, extrapolated corners included, where ordinary kriging
// misses. A pure trend has no sill for the spherical fit, so the sweeps run
// on a model set by hand.

namespace {

using Trend = std::function<double(double, double)>;  // of the scaled coordinates

// Nodes reach 50 m beyond samples scattered over [0, 400)^2; the extent of
// 500 selects the coordinate scale 100.
template <class Estimator>
double WorstRelativeError(const Trend& trend) {
    SampleTable table = RandomSamples(31, 90, 400.0f);
    for (int i = 0; i < table.Count(); ++i)
        table.At(i, 2) = static_cast<float>(trend(table.At(i, 0) / 100.0, table.At(i, 1) / 100.0));
    GridArgs args = GridArgs::Square(500, 20, 12);
    args.xMin = args.yMin = -50.0f;
    args.xMax = args.yMax = 450.0f;
    mosaro::PointArrays points = Points(table);
    Estimator estimator(table.Count(), args.neighbours, 0.0f, args.Layout(), args.Rect());
    estimator.m_VariogramModel[0] = estimator.m_VariogramModel[1] = TVARIOGRAMMODEL{1, 51, 300, 50};
    std::vector<float> grid(static_cast<std::size_t>(args.Nodes()), -7.0f);
    estimator.CalculateKrigingValue(points.Table(), grid.data());
    double worst = 0.0;
    for (int i = 0; i <= 20; ++i)
        for (int j = 0; j <= 20; ++j) {
            const double expected = trend((25.0 * j - 50) / 100.0, (25.0 * i - 50) / 100.0);
            worst = std::fmax(worst, std::fabs(args.At(grid, i, j) - expected) / expected);
        }
    return worst;
}

template <class Estimator>
void ExpectReproduced(const Trend& trend, const char* form) {
    const double drift = WorstRelativeError<Estimator>(trend);
    EXPECT_LT(drift, 5e-4) << form;
    EXPECT_GT(WorstRelativeError<COrdinaryKriging>(trend), 10 * drift + 1e-3) << form;
}

}  // namespace

TEST(UniversalKriging, EachDriftReproducesItsOwnTrend) {
    ExpectReproduced<CUniversalKrigingXDirection>([](double x, double) { return 100 + 30 * x; }, "x");
    ExpectReproduced<CUniversalKrigingYDirection>([](double, double y) { return 100 + 20 * y; }, "y");
    ExpectReproduced<CUniversalKrigingXYDirection>([](double x, double y) { return 100 + 30 * x - 15 * y; }, "x, y");
    ExpectReproduced<CUniversalKrigingXXDirection>([](double x, double) { return 100 + 10 * x + 8 * x * x; }, "x, x^2");
    ExpectReproduced<CUniversalKrigingYYDirection>([](double, double y) { return 100 - 10 * y + 8 * y * y; }, "y, y^2");
    ExpectReproduced<CUniversalKrigingXXYYDirection>(
        [](double x, double y) { return 100 + 5 * x + 4 * x * x - 6 * y + 3 * y * y + 2 * x * y; },
        "x, x^2, y, y^2, xy");
}

// ---- Lognormal kriging, two and three parameters

TEST(LogarithmNormalKriging, ZeroShiftGivesTheTwoParameterGrid) {
    const SampleTable table = StructuredSamples(41, 120, 200.0f);
    const std::vector<float> twoParameter = Grid(table, GridArgs(), 8);
    ASSERT_GT(twoParameter[0], 0.0f);
    EXPECT_TRUE(SameBits(Grid(table, GridArgs(), 9, 0.0f), twoParameter));
}

TEST(LogarithmNormalKriging, SingleNeighbourAddsHalfTheKrigingVariance) {
    // w = 1 and mu = r - Csum, so z = v exp(Csum - r) at every node.
    const SampleTable table = StructuredSamples(44, 60, 200.0f);
    mosaro::PointArrays points = Points(table);
    const GridArgs args;
    CLogarithmNormalKriging estimator(table.Count(), 1, 0.0f, args.Layout(), args.Rect());
    estimator.m_VariogramModel[0] = estimator.m_VariogramModel[1] = TVARIOGRAMMODEL{0.02f, 0.1f, 80, 0.08f};
    std::vector<float> grid(static_cast<std::size_t>(args.Nodes()));
    estimator.CalculateKrigingValue(points.Table(), grid.data());

    const mosaro::KrigingConstants c =
        mosaro::KrigingConstants::FromModels(estimator.m_VariogramModel, estimator.m_Rect);
    mosaro::WorkingSamples w;
    w.Load(points.Rows(), c.scale);
    for (int i = 0; i <= args.cellsY; ++i)
        for (int j = 0; j <= args.cellsX; ++j) {
            const float x = mosaro::NodeCoordinate(j, 10, 0, c.scale), y = mosaro::NodeCoordinate(i, 10, 0, c.scale);
            w.MeasureFrom(x, y);
            mosaro::SortNearest(w, 2);
            const float r = c.Covariance(c.AnisotropicDistance(w.x[0], w.y[0], x, y));
            const double expected = w.value[0] * std::exp(static_cast<double>(c.sill) - r);
            EXPECT_NEAR(args.At(grid, i, j), expected, 1e-5 * expected) << i << "," << j;
        }
}

// ---- Indicator kriging: indicators, the threshold loop and the ordered sum

namespace {

std::vector<float> Indicator(const SampleTable& table, std::vector<float> thresholds, int neighbours = 10) {
    GridArgs args;
    args.neighbours = neighbours;
    return Grid(table, args, 10, static_cast<float>(thresholds.size()), thresholds.data());
}

}  // namespace

TEST(IndicatorKriging, GridIsTheSumOfThePerThresholdGridsInArrayOrder) {
    const SampleTable table = StructuredSamples(51, 120, 200.0f);
    const std::vector<float> a = Indicator(table, {42}), b = Indicator(table, {55}), c = Indicator(table, {63});
    const std::vector<float> forward = Indicator(table, {42, 55, 63}), backward = Indicator(table, {63, 55, 42});
    int summed = 0;
    for (std::size_t k = 0; k < forward.size(); ++k) {
        summed += a[k] > 0 && c[k] > 0;
        EXPECT_EQ(Bits(forward[k]), Bits((a[k] + b[k]) + c[k])) << k;
        EXPECT_EQ(Bits(backward[k]), Bits((c[k] + b[k]) + a[k])) << k;
    }
    EXPECT_GT(summed, 200);
}

TEST(IndicatorKriging, DegenerateThresholdsGiveZeros) {
    const SampleTable table = StructuredSamples(52, 80, 200.0f);
    const float threshold = 50.0f;
    const std::vector<float> grids[] = {
        Grid(table, GridArgs(), 10, 0.99f, &threshold, 42.0f),  // no threshold: all 0
        Indicator(table, {1.0f}),                               // all neighbours above: V = 0
        Indicator(table, {50.0f, 70.0f}, 1),                    // one neighbour: 1 - P is rounding, far below 0.01
    };
    for (const std::vector<float>& grid : grids)
        for (float v : grid) EXPECT_EQ(Bits(v), Bits(0.0f));
}

// ---- Co-kriging: its relation to ordinary kriging and its grouped conditions

TEST(CoKriging, OneVariableIsOrdinaryKriging) {
    // q passes instead of q + 1 only change how ties are carried; scattered
    // samples have none, so the grids agree bit for bit.
    const SampleTable table = StructuredSamples(61, 120, 200.0f);
    const float column = 2.0f;
    const std::vector<float> ordinary = Grid(table, GridArgs(), 1);
    ASSERT_GT(ordinary[0], 0.0f);
    EXPECT_TRUE(SameBits(Grid(table, GridArgs(), 11, 1.0f, &column), ordinary));
}

TEST(CoKriging, NodeOnASampleReturnsThePrimaryValue) {
    // That sample's column alone solves the system: weight 1 in group 0.
    SampleTable table;
    table.columns = 4;
    const SampleTable source = StructuredSamples(63, 60, 200.0f);
    for (int t = 0; t < 60; ++t) {
        const float x = t < 6 ? 40.0f * t : source.rows[3 * t], y = t < 6 ? 30.0f * t : source.rows[3 * t + 1];
        table.rows.insert(table.rows.end(), {x, y, source.rows[3 * t + 2], 0.8f * source.rows[3 * t + 2] + t % 3});
    }
    const float columns[2] = {2.0f, 3.0f};
    GridArgs args;
    args.neighbours = 4;
    const std::vector<float> grid = Grid(table, args, 11, 2.0f, columns);
    for (int t = 0; t < 6; ++t) EXPECT_NEAR(args.At(grid, 3 * t, 4 * t), table.At(t, 2), 1e-4f * table.At(t, 2)) << t;
}
