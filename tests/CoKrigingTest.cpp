// Co-kriging: the block layout through the sweep, the grouped
// unbiasedness conditions, and its relation to ordinary kriging.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "CoKriging.h"
#include "TestSupport.h"

using namespace mosaro_test;

namespace {

GridSpec Layout(int neighbours) {
    GridSpec spec;
    spec.xMax = spec.yMax = 200.0f;
    spec.cellX = spec.cellY = 10.0f;
    spec.cellsX = spec.cellsY = 20;
    spec.neighbours = neighbours;
    return spec;
}

// Rows of x, y, primary, secondary: the secondary a noisy copy of the primary.
SampleTable TwoVariables(unsigned seed, int count) {
    const SampleTable primary = StructuredSamples(seed, count, 200.0f);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> noise(-3.0f, 3.0f);
    SampleTable table;
    table.columns = 4;
    for (int i = 0; i < count; ++i) {
        const float* row = &primary.rows[static_cast<std::size_t>(3 * i)];
        const float values[4] = {row[0], row[1], row[2], 0.8f * row[2] + noise(random)};
        table.rows.insert(table.rows.end(), values, values + 4);
    }
    return table;
}

}  // namespace

TEST(CoKriging, OneVariableIsOrdinaryKriging) {
    // q passes instead of q + 1 change only the order ties are carried in;
    // scattered samples have no ties, so the grids agree bit for bit.
    const SampleTable table = StructuredSamples(61, 120, 200.0f);
    const float column[1] = {2.0f};
    const std::vector<float> cokriging = Grid(table, Layout(9), 11, 1.0f, column);
    const std::vector<float> ordinary = Grid(table, Layout(9), 1);
    int positive = 0;
    for (float v : ordinary) positive += v > 0.0f;
    ASSERT_GT(positive, 400);
    EXPECT_TRUE(SameBits(cokriging, ordinary));
}

TEST(CoKriging, BlockSortKeepsLocationsAlignedAcrossBlocks) {
    // Two variables at ten locations, q = 3.
    std::mt19937 random(62);
    std::uniform_real_distribution<float> u(0.0f, 10.0f);
    mosaro::WorkingSamples w;
    for (int v = 0; v < 2; ++v) {
        std::mt19937 same(7);
        for (int t = 0; t < 10; ++t) {
            w.x.push_back(u(same));
            w.y.push_back(u(same));
            w.value.push_back(static_cast<float>(100 * v + t));
            w.distance.push_back(0.0f);
        }
    }
    const mosaro::CoKrigingMethod method(2, 10, 3);
    for (int node = 0; node < 25; ++node) {
        w.MeasureFrom(u(random), u(random));
        method.ChooseNeighbours(w, 6);
        for (int t = 0; t < 10; ++t) {
            EXPECT_EQ(w.x[static_cast<std::size_t>(t)], w.x[static_cast<std::size_t>(10 + t)]);
            EXPECT_EQ(w.y[static_cast<std::size_t>(t)], w.y[static_cast<std::size_t>(10 + t)]);
            EXPECT_EQ(w.value[static_cast<std::size_t>(t)] + 100.0f, w.value[static_cast<std::size_t>(10 + t)]);
        }
        for (int a = 0; a < 3; ++a)
            for (int b = a + 1; b < 10; ++b)
                EXPECT_LE(w.distance[static_cast<std::size_t>(a)], w.distance[static_cast<std::size_t>(b)]);
    }
}

TEST(CoKriging, ColumnsAreGroupedByVariable) {
    // V = 2, q = 3: columns 0-2 carry the primary condition (sum 1),
    // columns 3-5 the secondary one (sum 0).
    const mosaro::CoKrigingMethod method(2, 10, 3);
    EXPECT_EQ(method.BorderSize(), 2);
    float terms[2];
    for (int column = 0; column < 6; ++column) {
        method.BorderColumn(column, 0.0f, 0.0f, terms);
        EXPECT_EQ(terms[0], column < 3 ? 1.0f : 0.0f) << column;
        EXPECT_EQ(terms[1], column < 3 ? 0.0f : 1.0f) << column;
    }
    method.BorderRightSide(5.0f, 5.0f, terms);
    EXPECT_EQ(terms[0], 1.0f);
    EXPECT_EQ(terms[1], 0.0f);
}

TEST(CoKriging, NodeOnASampleReturnsThePrimaryValue) {
    // The sample's own column solves the system exactly: weight 1 in the
    // primary group, 0 elsewhere.
    SampleTable table = TwoVariables(63, 60);
    for (int t = 0; t < 6; ++t) {
        table.rows[static_cast<std::size_t>(4 * t)] = 40.0f * static_cast<float>(t);
        table.rows[static_cast<std::size_t>(4 * t + 1)] = 30.0f * static_cast<float>(t);
    }
    const float columns[2] = {2.0f, 3.0f};
    const GridSpec spec = Layout(4);
    std::vector<float> grid(static_cast<std::size_t>(spec.Nodes()), -7.0f);
    const float rect[4] = {spec.xMin, spec.yMin, spec.xMax, spec.yMax};
    KARVO_ScatToGridWithKrig(table.rows.data(), 0, table.Count(), 4, rect, spec.cellX, spec.cellY,
                             spec.cellsX, spec.cellsY, spec.neighbours, 11, 2.0f, columns,
                             grid.data());
    for (int t = 0; t < 6; ++t) {
        const float expected = table.rows[static_cast<std::size_t>(4 * t + 2)];
        EXPECT_NEAR(grid[static_cast<std::size_t>(3 * t * 21 + 4 * t)], expected, 1e-4f * expected)
            << "sample " << t;
    }
}

TEST(CoKriging, NoVariableLeavesTheGridUntouched) {
    const SampleTable table = StructuredSamples(64, 20, 200.0f);
    Points points(table);
    const GridSpec spec = Layout(3);
    CCoKriging estimator(table.Count(), 3, 0.5f, spec.Layout(), spec.Rect());
    std::vector<float> grid(static_cast<std::size_t>(spec.Nodes()), 42.0f);
    estimator.KrigingResultValue(points.Table(), grid.data(), spec.Layout());
    for (float v : grid) EXPECT_EQ(v, 42.0f);
}
