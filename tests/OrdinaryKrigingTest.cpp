// Ordinary kriging end to end: properties that follow from the method.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "TestSupport.h"

using namespace mosaro_test;

TEST(OrdinaryKriging, SingleNeighbourReproducesTheNearestSample) {
    const SampleTable table = RandomSamples(21, 60, 100.0f);
    const GridArgs args = GridArgs::Square(100, 20, 1);
    std::vector<float> grid = Grid(table, args);
    int checked = 0;
    for (int i = 0; i <= 20; ++i) {
        for (int j = 0; j <= 20; ++j) {
            // Nearest and second nearest sample; skip nodes too close to call.
            double d1 = 1e30, d2 = 1e30;
            float nearest = 0;
            for (int s = 0; s < table.Count(); ++s) {
                const double d = std::hypot(table.rows[3 * s] - 5.0 * j, table.rows[3 * s + 1] - 5.0 * i);
                if (d < d1) d2 = d1, d1 = d, nearest = table.rows[3 * s + 2];
                else if (d < d2) d2 = d;
            }
            if (d2 - d1 < 1e-3 * (1 + d1)) continue;
            // The float solve of [[Csum, 1], [1, 0]] gives a weight within a
            // few units in the last place of 1, not exactly 1.
            EXPECT_LE(std::llabs(std::int64_t{Bits(args.At(grid, i, j))} - Bits(nearest)), 4);
            ++checked;
        }
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
