// Universal kriging: every drift form reproduces a field that is exactly its
// own trend, extrapolated corners included, where ordinary kriging misses.
// A pure trend has no sill for the spherical fit, so the sweeps run on a
// model set by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "TestSupport.h"
#include "UniversalKriging.h"

using namespace mosaro_test;

namespace {

using Trend = std::function<double(double, double)>;  // of the scaled coordinates

// Nodes reach 50 m beyond samples scattered over [0, 400)^2; the extent of
// 500 selects the coordinate scale 100.
template <class Estimator>
double WorstRelativeError(const Trend& trend, int neighbours = 12) {
    SampleTable table = RandomSamples(31, 90, 400.0f);
    for (int i = 0; i < table.Count(); ++i)
        table.At(i, 2) = static_cast<float>(trend(table.At(i, 0) / 100.0, table.At(i, 1) / 100.0));
    GridArgs args = GridArgs::Square(500, 20, neighbours);
    args.xMin = args.yMin = -50.0f;
    args.xMax = args.yMax = 450.0f;
    mosaro::PointArrays points = Points(table);
    Estimator estimator(table.Count(), neighbours, 0.0f, args.Layout(), args.Rect());
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
    ExpectReproduced<CUniversalKrigingXYDirection>(
        [](double x, double y) { return 100 + 30 * x - 15 * y; }, "x, y");
    ExpectReproduced<CUniversalKrigingXXDirection>(
        [](double x, double) { return 100 + 10 * x + 8 * x * x; }, "x, x^2");
    ExpectReproduced<CUniversalKrigingYYDirection>(
        [](double, double y) { return 100 - 10 * y + 8 * y * y; }, "y, y^2");
    ExpectReproduced<CUniversalKrigingXXYYDirection>(
        [](double x, double y) { return 100 + 5 * x + 4 * x * x - 6 * y + 3 * y * y + 2 * x * y; },
        "x, x^2, y, y^2, xy");
}

