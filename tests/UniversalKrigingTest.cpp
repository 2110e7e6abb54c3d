// Universal kriging: each drift form reproduces a field that is exactly its
// own trend, everywhere the system is solvable, extrapolated corners
// included; ordinary kriging does not.
//
// A pure trend has a variogram without a sill, which the spherical fit
// cannot describe, so these sweeps run on a model set by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "TestSupport.h"
#include "UniversalKriging.h"

using namespace mosaro_test;

namespace {

// Scattered samples over [0, 400)^2 whose value is `trend` of the scaled
// coordinates (the extent of 400 selects a coordinate scale of 100).
SampleTable TrendSamples(unsigned seed, const std::function<double(double, double)>& trend) {
    SampleTable table = RandomSamples(seed, 90, 400.0f, 400.0f);
    for (int i = 0; i < table.Count(); ++i) {
        const double x = table.rows[static_cast<std::size_t>(3 * i)] / 100.0;
        const double y = table.rows[static_cast<std::size_t>(3 * i + 1)] / 100.0;
        table.rows[static_cast<std::size_t>(3 * i + 2)] = static_cast<float>(trend(x, y));
    }
    return table;
}

GridSpec Extrapolating() {
    // Nodes reach 50 m beyond the samples on every side.
    GridSpec spec;
    spec.xMin = spec.yMin = -50.0f;
    spec.xMax = spec.yMax = 450.0f;
    spec.cellX = spec.cellY = 25.0f;
    spec.cellsX = spec.cellsY = 20;
    spec.neighbours = 12;
    return spec;
}

// Largest relative difference between the grid and the trend at the nodes.
double WorstRelativeError(const std::vector<float>& grid, const GridSpec& spec,
                          const std::function<double(double, double)>& trend) {
    double worst = 0.0;
    for (int i = 0; i <= spec.cellsY; ++i) {
        for (int j = 0; j <= spec.cellsX; ++j) {
            const double x = (spec.xMin + j * spec.cellX) / 100.0;
            const double y = (spec.yMin + i * spec.cellY) / 100.0;
            const double expected = trend(x, y);
            const double got = grid[static_cast<std::size_t>(i * (spec.cellsX + 1) + j)];
            worst = std::fmax(worst, std::fabs(got - expected) / expected);
        }
    }
    return worst;
}

struct DriftCase {
    int code;
    const char* form;
    std::function<double(double, double)> trend;
};

template <class Estimator>
std::vector<float> SweepWithModel(const SampleTable& table, const GridSpec& spec) {
    Points points(table);
    Estimator estimator(table.Count(), spec.neighbours, 0.0f, spec.Layout(), spec.Rect());
    // Nugget 1, partial sill 50, range 300 m in both directions.
    estimator.m_VariogramModel[0] = estimator.m_VariogramModel[1] =
        TVARIOGRAMMODEL{1.0f, 51.0f, 300.0f, 50.0f};
    std::vector<float> grid(static_cast<std::size_t>(spec.Nodes()), -7.0f);
    estimator.CalculateKrigingValue(points.Table(), grid.data());
    return grid;
}

std::vector<float> SweepWithModel(int code, const SampleTable& table, const GridSpec& spec) {
    switch (code) {
        case 1: return SweepWithModel<COrdinaryKriging>(table, spec);
        case 2: return SweepWithModel<CUniversalKrigingXDirection>(table, spec);
        case 3: return SweepWithModel<CUniversalKrigingYDirection>(table, spec);
        case 4: return SweepWithModel<CUniversalKrigingXYDirection>(table, spec);
        case 5: return SweepWithModel<CUniversalKrigingXXDirection>(table, spec);
        case 6: return SweepWithModel<CUniversalKrigingYYDirection>(table, spec);
        default: return SweepWithModel<CUniversalKrigingXXYYDirection>(table, spec);
    }
}

}  // namespace

TEST(UniversalKriging, EachDriftReproducesItsOwnTrend) {
    const DriftCase cases[] = {
        {2, "x", [](double x, double) { return 100.0 + 30.0 * x; }},
        {3, "y", [](double, double y) { return 100.0 + 20.0 * y; }},
        {4, "x, y", [](double x, double y) { return 100.0 + 30.0 * x - 15.0 * y; }},
        {5, "x, x^2", [](double x, double) { return 100.0 + 10.0 * x + 8.0 * x * x; }},
        {6, "y, y^2", [](double, double y) { return 100.0 - 10.0 * y + 8.0 * y * y; }},
        {7, "x, x^2, y, y^2, xy",
         [](double x, double y) { return 100.0 + 5 * x + 4 * x * x - 6 * y + 3 * y * y + 2 * x * y; }},
    };
    const GridSpec spec = Extrapolating();
    for (const DriftCase& c : cases) {
        const SampleTable table = TrendSamples(31, c.trend);
        const double drift = WorstRelativeError(SweepWithModel(c.code, table, spec), spec, c.trend);
        EXPECT_LT(drift, 5e-4) << "drift " << c.form;
        // The test discriminates: without the drift, the corners miss.
        const double ordinary = WorstRelativeError(SweepWithModel(1, table, spec), spec, c.trend);
        EXPECT_GT(ordinary, 10 * drift + 1e-3) << "drift " << c.form;
    }
}

TEST(UniversalKriging, FewerNeighboursThanDriftTermsSolveThroughTheGuard) {
    // Five neighbours cannot determine six drift terms: every system is
    // singular and the pivot guard carries the solve through.
    const SampleTable table = RandomSamples(32, 40, 400.0f, 400.0f);
    GridSpec spec = Extrapolating();
    spec.neighbours = 5;
    const std::vector<float> grid = SweepWithModel(7, table, spec);
    int estimated = 0;
    for (float v : grid) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_GE(v, 0.0f);  // every node written, the cut-off applied
        estimated += v > 0.0f;
    }
    EXPECT_GT(estimated, 0);
}

TEST(UniversalKriging, DriftFormsDifferFromEachOther) {
    // Guards against two codes sharing one drift by mistake.
    const SampleTable table = RandomSamples(33, 60, 400.0f, 400.0f);
    const GridSpec spec = Extrapolating();
    std::vector<std::vector<float>> grids;
    for (int code = 1; code <= 7; ++code) grids.push_back(SweepWithModel(code, table, spec));
    for (std::size_t a = 0; a < grids.size(); ++a)
        for (std::size_t b = a + 1; b < grids.size(); ++b)
            EXPECT_FALSE(SameBits(grids[a], grids[b])) << "codes " << a + 1 << " and " << b + 1;
}
