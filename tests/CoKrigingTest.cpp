// Co-kriging: its relation to ordinary kriging and its grouped conditions.
// (Block alignment and every bit of the sweep are checked by the golden grids.)
#include <gtest/gtest.h>

#include "CoKriging.h"
#include "TestSupport.h"

using namespace mosaro_test;

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
    std::vector<float> grid = Grid(table, args, 11, 2.0f, columns);
    for (int t = 0; t < 6; ++t)
        EXPECT_NEAR(args.At(grid, 3 * t, 4 * t), table.At(t, 2), 1e-4f * table.At(t, 2)) << t;
}
