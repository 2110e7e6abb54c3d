// Ordinary kriging end to end: properties of the grid that follow from the
// method, not from restating its arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "Kriging.h"
#include "TestSupport.h"

using namespace mosaro_test;

namespace {

GridSpec Square(int cells, float size, int neighbours) {
    GridSpec spec;
    spec.xMax = spec.yMax = size;
    spec.cellsX = spec.cellsY = cells;
    spec.cellX = spec.cellY = size / static_cast<float>(cells);
    spec.neighbours = neighbours;
    return spec;
}

// Index of the sample nearest to (x, y), or -1 when the two nearest are
// too close to call.
int ClearlyNearest(const SampleTable& t, double x, double y) {
    int best = -1;
    double d1 = std::numeric_limits<double>::infinity(), d2 = d1;
    for (int i = 0; i < t.Count(); ++i) {
        const double dx = t.rows[static_cast<std::size_t>(3 * i)] - x;
        const double dy = t.rows[static_cast<std::size_t>(3 * i + 1)] - y;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d < d1) {
            d2 = d1;
            d1 = d;
            best = i;
        } else if (d < d2) {
            d2 = d;
        }
    }
    return d2 - d1 > 1e-3 * (1.0 + d1) ? best : -1;
}

}  // namespace

TEST(OrdinaryKriging, SingleNeighbourReproducesTheNearestSample) {
    const SampleTable table = RandomSamples(21, 60, 100.0f, 100.0f);
    const GridSpec spec = Square(20, 100.0f, 1);
    const std::vector<float> grid = Grid(table, spec);
    int checked = 0;
    for (int i = 0; i <= spec.cellsY; ++i) {
        for (int j = 0; j <= spec.cellsX; ++j) {
            const int nearest = ClearlyNearest(table, j * 5.0, i * 5.0);
            if (nearest < 0) continue;
            const float expected = table.rows[static_cast<std::size_t>(3 * nearest + 2)];
            // The float solve of [[Csum, 1], [1, 0]] gives a weight within a
            // few units in the last place of 1, not exactly 1.
            EXPECT_LE(UlpDistance(grid[static_cast<std::size_t>(i * 21 + j)], expected), 4)
                << "node " << i << "," << j;
            ++checked;
        }
    }
    EXPECT_GT(checked, 400);
}

TEST(OrdinaryKriging, NodeOnASampleReturnsItsValue) {
    // Samples on every other node of a 10 m lattice, so their scaled
    // coordinates equal those of the nodes they sit on.
    SampleTable table;
    const SampleTable noise = RandomSamples(22, 200, 1.0f, 1.0f);
    int k = 0;
    for (int i = 0; i <= 20; i += 2)
        for (int j = (i / 2) % 2; j <= 20; j += 2)
            table.Add(10.0f * static_cast<float>(j), 10.0f * static_cast<float>(i),
                      noise.rows[static_cast<std::size_t>(3 * k++ + 2)] + 0.3f * static_cast<float>(i));
    const GridSpec spec = Square(20, 200.0f, 8);
    const std::vector<float> grid = Grid(table, spec);
    for (int s = 0; s < table.Count(); ++s) {
        const int j = static_cast<int>(table.rows[static_cast<std::size_t>(3 * s)] / 10.0f);
        const int i = static_cast<int>(table.rows[static_cast<std::size_t>(3 * s + 1)] / 10.0f);
        const float expected = table.rows[static_cast<std::size_t>(3 * s + 2)];
        EXPECT_NEAR(grid[static_cast<std::size_t>(i * 21 + j)], expected, 2e-5f * expected)
            << "sample " << s;
    }
}

TEST(OrdinaryKriging, ScalingTheValuesScalesTheEstimates) {
    const SampleTable table = RandomSamples(23, 80, 100.0f, 100.0f);
    const GridSpec spec = Square(16, 100.0f, 10);
    const std::vector<float> base = Grid(table, spec);

    // A power of two scales every float of the run exactly, and the system
    // scales as S K S with S = diag(4, ..., 4, 1/4): the estimates scale
    // bit for bit.
    SampleTable times4 = table, times3 = table;
    for (int i = 0; i < table.Count(); ++i) {
        times4.rows[static_cast<std::size_t>(3 * i + 2)] *= 4.0f;
        times3.rows[static_cast<std::size_t>(3 * i + 2)] *= 3.0f;
    }
    const std::vector<float> scaled4 = Grid(times4, spec);
    const std::vector<float> scaled3 = Grid(times3, spec);
    for (std::size_t n = 0; n < base.size(); ++n) {
        ASSERT_GT(base[n], 1.0f);
        EXPECT_EQ(Bits(scaled4[n]), Bits(4.0f * base[n])) << "node " << n;
        EXPECT_NEAR(scaled3[n], 3.0f * base[n], 1e-4f * 3.0f * base[n]) << "node " << n;
    }
}

TEST(OrdinaryKriging, SingleNodeGridLiesAtTheOrigin) {
    const SampleTable table = RandomSamples(24, 30, 100.0f, 100.0f);
    GridSpec full = Square(10, 100.0f, 6);
    GridSpec single = full;
    single.cellsX = single.cellsY = 0;
    // The variogram depends on the extent, not on the node counts, so the
    // single node equals the first node of the full grid.
    EXPECT_EQ(Bits(Grid(table, single)[0]), Bits(Grid(table, full)[0]));
}

TEST(OrdinaryKriging, ConcurrentCallsGiveIdenticalGrids) {
    const SampleTable table = RandomSamples(25, 150, 1000.0f, 800.0f);
    GridSpec spec;
    spec.xMax = 1000.0f;
    spec.yMax = 800.0f;
    spec.cellX = spec.cellY = 20.0f;
    spec.cellsX = 50;
    spec.cellsY = 40;
    spec.neighbours = 12;
    const std::vector<float> serial = Grid(table, spec);
    std::vector<float> first, second;
    std::thread a([&] { first = Grid(table, spec); });
    std::thread b([&] { second = Grid(table, spec); });
    a.join();
    b.join();
    EXPECT_TRUE(SameBits(first, serial));
    EXPECT_TRUE(SameBits(second, serial));
}

TEST(OrdinaryKriging, HostDrivenEstimatorMatchesTheEntryPoint) {
    const SampleTable table = RandomSamples(26, 50, 100.0f, 100.0f);
    const GridSpec spec = Square(12, 100.0f, 7);
    Points points(table);
    std::vector<float> grid(static_cast<std::size_t>(spec.Nodes()), 0.0f);
    COrdinaryKriging estimator(table.Count(), spec.neighbours, 0.0f, spec.Layout(), spec.Rect());
    estimator.KrigingResultValue(points.Table(), grid.data(), spec.Layout());
    EXPECT_TRUE(SameBits(grid, Grid(table, spec)));
}
