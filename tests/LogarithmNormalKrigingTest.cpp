// Lognormal and three-parameter lognormal kriging.
#include <gtest/gtest.h>

#include <cmath>

#include "LogarithmNormalKriging.h"
#include "TestSupport.h"

using namespace mosaro_test;

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

    const mosaro::KrigingConstants c = mosaro::KrigingConstants::FromEstimator(estimator);
    mosaro::WorkingSamples w;
    w.Load(points.Table(), table.Count(), c.scale);
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

