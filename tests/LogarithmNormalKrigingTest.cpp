// Lognormal and three-parameter lognormal kriging.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "Kriging.h"
#include "LogarithmNormalKriging.h"
#include "TestSupport.h"

using namespace mosaro_test;

namespace {

GridSpec Layout(int neighbours = 10) {
    GridSpec spec;
    spec.xMax = spec.yMax = 200.0f;
    spec.cellX = spec.cellY = 10.0f;
    spec.cellsX = spec.cellsY = 20;
    spec.neighbours = neighbours;
    return spec;
}

int Positive(const std::vector<float>& grid) {
    int count = 0;
    for (float v : grid) count += v > 0.0f;
    return count;
}

}  // namespace

TEST(LogarithmNormalKriging, ZeroShiftGivesTheTwoParameterGrid) {
    const SampleTable table = StructuredSamples(41, 120, 200.0f);
    const std::vector<float> twoParameter = Grid(table, Layout(), 8);
    ASSERT_GT(Positive(twoParameter), 400);
    EXPECT_TRUE(SameBits(Grid(table, Layout(), 9, 0.0f), twoParameter));
}

TEST(LogarithmNormalKriging, ShiftIsAddedBeforeTheLogarithmAndRemovedAfter) {
    // With integer values, v + 3 is exact in float, so kriging v with a
    // shift of 3 runs the same variogram, model and log estimate T as
    // kriging v + 3 without one; only the back-transform differs:
    // exp(T) - 3 rounded once against exp(T) rounded, then less 3.
    SampleTable table = StructuredSamples(42, 120, 200.0f);
    SampleTable shifted = table;
    for (int i = 0; i < table.Count(); ++i) {
        float& v = table.rows[static_cast<std::size_t>(3 * i + 2)];
        v = std::round(v);
        shifted.rows[static_cast<std::size_t>(3 * i + 2)] = v + 3.0f;
    }
    const std::vector<float> withShift = Grid(table, Layout(), 9, 3.0f);
    const std::vector<float> plain = Grid(shifted, Layout(), 8);
    ASSERT_GT(Positive(plain), 400);
    for (std::size_t k = 0; k < plain.size(); ++k) {
        const double expected = static_cast<double>(plain[k]) - 3.0;
        EXPECT_NEAR(withShift[k], expected, 1e-6 * expected + 4e-6) << "node " << k;
    }
}

TEST(LogarithmNormalKriging, NodeOnASampleReturnsItsValue) {
    // Samples on lattice nodes: the node's own sample gets weight 1 and a
    // multiplier of 0, so the variance term vanishes.
    SampleTable table;
    const SampleTable field = StructuredSamples(43, 221, 200.0f);
    int k = 0;
    for (int i = 0; i <= 20; i += 2)
        for (int j = 0; j <= 20; j += 1 + (i % 4 == 0))
            table.Add(10.0f * static_cast<float>(j), 10.0f * static_cast<float>(i),
                      field.rows[static_cast<std::size_t>(3 * k++ + 2)]);
    for (int code : {8, 9}) {
        const std::vector<float> grid = Grid(table, Layout(8), code, code == 9 ? 12.5f : 0.0f);
        for (int s = 0; s < table.Count(); ++s) {
            const int j = static_cast<int>(table.rows[static_cast<std::size_t>(3 * s)] / 10.0f);
            const int i = static_cast<int>(table.rows[static_cast<std::size_t>(3 * s + 1)] / 10.0f);
            const float expected = table.rows[static_cast<std::size_t>(3 * s + 2)];
            EXPECT_NEAR(grid[static_cast<std::size_t>(i * 21 + j)], expected, 1e-4f * expected)
                << "code " << code << ", sample " << s;
        }
    }
}

TEST(LogarithmNormalKriging, SingleNeighbourAddsTheVarianceTerm) {
    // One neighbour: w = 1 and mu = r - Csum, so z = v exp(Csum - r).
    const SampleTable table = StructuredSamples(44, 60, 200.0f);
    Points points(table);
    const GridSpec spec = Layout(1);
    CLogarithmNormalKriging estimator(table.Count(), 1, 0.0f, spec.Layout(), spec.Rect());
    estimator.m_VariogramModel[0] = estimator.m_VariogramModel[1] =
        TVARIOGRAMMODEL{0.02f, 0.1f, 80.0f, 0.08f};
    std::vector<float> grid(static_cast<std::size_t>(spec.Nodes()), 0.0f);
    estimator.CalculateKrigingValue(points.Table(), grid.data());

    const mosaro::KrigingConstants c = mosaro::KrigingConstants::FromEstimator(estimator);
    for (int i = 0; i <= spec.cellsY; ++i) {
        for (int j = 0; j <= spec.cellsX; ++j) {
            // The nearest sample, as the neighbour sort sees it.
            const float nodeX = mosaro::NodeCoordinate(j, spec.cellX, 0.0f, c.scale);
            const float nodeY = mosaro::NodeCoordinate(i, spec.cellY, 0.0f, c.scale);
            mosaro::WorkingSamples w;
            w.Load(points.Table(), table.Count(), c.scale);
            w.MeasureFrom(nodeX, nodeY);
            mosaro::SortNearest(w, 2);
            const float r = c.Covariance(c.AnisotropicDistance(w.x[0], w.y[0], nodeX, nodeY));
            const double expected = w.value[0] * std::exp(static_cast<double>(c.sill) - r);
            EXPECT_NEAR(grid[static_cast<std::size_t>(i * 21 + j)], expected, 1e-5 * expected)
                << "node " << i << "," << j;
        }
    }
}

TEST(LogarithmNormalKriging, ValuesWithoutALogarithmAreSafe) {
    // Zero and negative values give -inf and NaN logarithms; they propagate
    // by the floating-point rules and such nodes are stored as 0.
    SampleTable table = StructuredSamples(45, 80, 200.0f);
    table.rows[2] = 0.0f;
    table.rows[3 * 5 + 2] = -4.0f;
    for (int code : {8, 9}) {
        for (float v : Grid(table, Layout(), code, code == 9 ? -100.0f : 0.0f)) {
            EXPECT_TRUE(std::isfinite(v));
            EXPECT_GE(v, 0.0f);
        }
    }
    // With a positive shift, zero values are valid samples.
    SampleTable zeros = StructuredSamples(46, 80, 200.0f);
    for (int i = 0; i < zeros.Count(); i += 3) zeros.rows[static_cast<std::size_t>(3 * i + 2)] = 0.0f;
    EXPECT_GT(Positive(Grid(zeros, Layout(), 9, 5.0f)), 400);
}
