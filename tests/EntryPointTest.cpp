// The entry point: argument normalisation, the point arrays it builds, and
// its behaviour on degenerate arguments (always 1, never outside a buffer).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "GridRequest.h"
#include "PointArrays.h"
#include "TestSupport.h"

using namespace mosaro_test;

namespace {

constexpr float kBlank = -1e38f;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

GridSpec SmallGrid() {
    GridSpec spec;
    spec.cellsX = 6;
    spec.cellsY = 5;
    spec.cellX = spec.cellY = 10.0f;
    spec.xMax = 60.0f;
    spec.yMax = 50.0f;
    spec.neighbours = 5;
    return spec;
}

int Call(const SampleTable& t, const GridSpec& s, std::vector<float>& grid, int method = 1,
         float parameter = 0.0f, const float* methodArray = nullptr) {
    const float rect[4] = {s.xMin, s.yMin, s.xMax, s.yMax};
    return KARVO_ScatToGridWithKrig(t.rows.data(), 2, t.Count(), t.columns, rect, s.cellX, s.cellY,
                                    s.cellsX, s.cellsY, s.neighbours, method, parameter,
                                    methodArray, grid.data());
}

bool AllEqual(const std::vector<float>& grid, float value) {
    for (float v : grid)
        if (Bits(v) != Bits(value)) return false;
    return true;
}

}  // namespace

TEST(EntryPoint, CellSizesThatAreNotPositiveBecomeOne) {
    const SampleTable table = RandomSamples(1, 30, 12.0f, 12.0f);
    GridSpec spec;
    spec.xMax = spec.yMax = 12.0f;
    spec.cellsX = spec.cellsY = 12;
    spec.cellX = spec.cellY = 1.0f;
    const std::vector<float> reference = Grid(table, spec);

    for (float bad : {0.0f, -2.5f, kNaN, -std::numeric_limits<float>::infinity()}) {
        GridSpec degenerate = spec;
        degenerate.cellX = bad;
        degenerate.cellY = bad == 0.0f ? -2.5f : bad;
        EXPECT_TRUE(SameBits(Grid(table, degenerate), reference)) << "cell size " << bad;
    }
}

TEST(EntryPoint, NeighbourCountBelowOneBecomesOne) {
    const SampleTable table = RandomSamples(2, 25, 60.0f, 50.0f);
    GridSpec spec = SmallGrid();
    spec.neighbours = 1;
    const std::vector<float> reference = Grid(table, spec);
    for (int bad : {0, -3}) {
        spec.neighbours = bad;
        EXPECT_TRUE(SameBits(Grid(table, spec), reference)) << "neighbours " << bad;
    }
}

TEST(EntryPoint, CodesNamingNoMethodLeaveTheGridUntouched) {
    const SampleTable table = RandomSamples(3, 20, 60.0f, 50.0f);
    for (int code : {0, 12, -1, 1000}) {
        std::vector<float> grid(static_cast<std::size_t>(SmallGrid().Nodes()), 42.5f);
        EXPECT_EQ(Call(table, SmallGrid(), grid, code), 1);
        EXPECT_TRUE(AllEqual(grid, 42.5f)) << "code " << code;
    }
}

TEST(EntryPoint, ValueComesFromTheNamedColumn) {
    const SampleTable narrow = RandomSamples(4, 30, 60.0f, 50.0f);
    std::vector<float> wide;
    for (int i = 0; i < narrow.Count(); ++i) {
        const float* row = &narrow.rows[static_cast<std::size_t>(3 * i)];
        const float decoys[7] = {row[0], row[1], -1.0f, 999.0f, row[2], 7.0f, -3.0f};
        wide.insert(wide.end(), decoys, decoys + 7);
    }
    const GridSpec spec = SmallGrid();
    std::vector<float> grid(static_cast<std::size_t>(spec.Nodes()), 0.0f);
    const float rect[4] = {spec.xMin, spec.yMin, spec.xMax, spec.yMax};
    KARVO_ScatToGridWithKrig(wide.data(), 4, narrow.Count(), 7, rect, spec.cellX, spec.cellY,
                             spec.cellsX, spec.cellsY, spec.neighbours, 1, 0.0f, nullptr,
                             grid.data());
    EXPECT_TRUE(SameBits(grid, Grid(narrow, spec)));
}

TEST(EntryPoint, BlankAndNaNValuesTakeThePrecedingValue) {
    std::vector<float> values = {5.0f, kBlank, kBlank, 2.0f, kNaN, 3.0f};
    mosaro::SubstituteBlanks(values);
    EXPECT_EQ(values, (std::vector<float>{5.0f, 5.0f, 5.0f, 2.0f, 2.0f, 3.0f}));

    // A leading run has nothing before it: it takes the first value after it.
    std::vector<float> leading = {kNaN, kBlank, 4.0f, kBlank};
    mosaro::SubstituteBlanks(leading);
    EXPECT_EQ(leading, (std::vector<float>{4.0f, 4.0f, 4.0f, 4.0f}));

    // Nothing to copy from: the values stay.
    std::vector<float> allBlank = {kBlank, kBlank};
    mosaro::SubstituteBlanks(allBlank);
    EXPECT_EQ(Bits(allBlank[0]), Bits(kBlank));
    EXPECT_EQ(Bits(allBlank[1]), Bits(kBlank));

    // End to end: a table with blanks grids as the substituted table does.
    SampleTable withBlanks = RandomSamples(5, 30, 60.0f, 50.0f);
    SampleTable substituted = withBlanks;
    for (int i : {0, 7, 8, 20}) withBlanks.rows[static_cast<std::size_t>(3 * i + 2)] = kBlank;
    withBlanks.rows[3 * 21 + 2] = kNaN;
    substituted.rows[2] = substituted.rows[3 + 2];
    for (int i : {7, 8}) substituted.rows[static_cast<std::size_t>(3 * i + 2)] = substituted.rows[3 * 6 + 2];
    for (int i : {20, 21}) substituted.rows[static_cast<std::size_t>(3 * i + 2)] = substituted.rows[3 * 19 + 2];
    EXPECT_TRUE(SameBits(Grid(withBlanks, SmallGrid()), Grid(substituted, SmallGrid())));
}

TEST(EntryPoint, CoKrigingWidensCountsAndLaysOutOneBlockPerVariable) {
    // 10 rows of x, y, a, b, c; variables from columns 4 and 2 (2.9 -> 2).
    std::vector<float> rows;
    for (int t = 0; t < 10; ++t) {
        const float row[5] = {static_cast<float>(t), static_cast<float>(100 + t),
                              static_cast<float>(1000 + t), -1.0f, static_cast<float>(2000 + t)};
        rows.insert(rows.end(), row, row + 5);
    }
    rows[5 * 3 + 4] = kBlank;  // row 3 of the first variable
    const float columns[2] = {4.7f, 2.0f};
    float grid[1];
    mosaro::GridRequest request;
    request.data = rows.data();
    request.pointCount = 10;
    request.columnCount = 5;
    request.neighbourCount = 3;
    request.method = 11;
    request.methodParameter = 2.9f;
    request.methodArray = columns;
    request.output = grid;
    const auto run = mosaro::Prepare(request);
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->sampleCount, 20);
    EXPECT_EQ(run->neighbourCount, 6);
    ASSERT_EQ(run->points.value.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        const int t = i % 10;
        const std::size_t k = static_cast<std::size_t>(i);
        EXPECT_EQ(run->points.x[k], static_cast<float>(t));
        EXPECT_EQ(run->points.y[k], static_cast<float>(100 + t));
        const float expected = i < 10 ? (t == 3 ? 2002.0f : static_cast<float>(2000 + t))
                                      : static_cast<float>(1000 + t);
        EXPECT_EQ(run->points.value[k], expected) << "entry " << i;
    }

    // A neighbour count above the rows is capped before widening.
    request.neighbourCount = 1000000000;
    EXPECT_EQ(mosaro::Prepare(request)->neighbourCount, 20);

    // Variables that cannot be honoured: nothing runs.
    for (float variables : {0.9f, -2.0f, kNaN, 3e9f}) {
        request.methodParameter = variables;
        EXPECT_FALSE(mosaro::Prepare(request).has_value()) << variables;
    }
    request.methodParameter = 2.0f;
    const float outside[2] = {5.0f, 1.0f};
    request.methodArray = outside;
    EXPECT_FALSE(mosaro::Prepare(request).has_value());
    request.methodArray = nullptr;
    EXPECT_FALSE(mosaro::Prepare(request).has_value());
}

TEST(EntryPoint, DegenerateArgumentsReturnOneAndTouchNothing) {
    const SampleTable table = RandomSamples(6, 20, 60.0f, 50.0f);
    const GridSpec s = SmallGrid();
    const float rect[4] = {s.xMin, s.yMin, s.xMax, s.yMax};
    const float* data = table.rows.data();
    std::vector<float> grid(static_cast<std::size_t>(s.Nodes()), 42.5f);
    auto untouched = [&] { return AllEqual(grid, 42.5f); };

    EXPECT_EQ(KARVO_ScatToGridWithKrig(nullptr, 2, 20, 3, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, grid.data()), 1);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(KARVO_ScatToGridWithKrig(data, 2, 20, 3, nullptr, 10, 10, 6, 5, 5, 1, 0, nullptr, grid.data()), 1);
    EXPECT_EQ(KARVO_ScatToGridWithKrig(data, 2, 20, 3, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, nullptr), 1);
    EXPECT_EQ(KARVO_ScatToGridWithKrig(data, 2, -4, 3, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, grid.data()), 1);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(KARVO_ScatToGridWithKrig(data, 2, 20, 1, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, grid.data()), 1);
    EXPECT_TRUE(untouched());
    for (int column : {-1, 3, 1 << 30}) {
        EXPECT_EQ(KARVO_ScatToGridWithKrig(data, column, 20, 3, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, grid.data()), 1);
        EXPECT_TRUE(untouched()) << "value column " << column;
    }
    EXPECT_EQ(KARVO_ScatToGridWithKrig(data, 2, 20, 3, rect, 10, 10, -2, 5, 5, 1, 0, nullptr, grid.data()), 1);
    EXPECT_TRUE(untouched());

    // An extent of 1e30 with a cell of 1 needs more lag classes than any
    // memory holds: the run is refused before any node is written.
    const float huge[4] = {0.0f, 0.0f, 1e30f, 50.0f};
    EXPECT_EQ(KARVO_ScatToGridWithKrig(data, 2, 20, 3, huge, 1, 1, 6, 5, 5, 1, 0, nullptr, grid.data()), 1);
    EXPECT_TRUE(untouched());
}

TEST(EntryPoint, ExtentsWithoutLagClassesGiveAGridOfZeros) {
    // Inverted, not a number, or shorter than a cell: no lag class, so no
    // variogram model, and every estimate is not a number, stored as 0.
    const SampleTable table = RandomSamples(7, 20, 60.0f, 50.0f);
    GridSpec inverted = SmallGrid();
    std::swap(inverted.xMin, inverted.xMax);
    std::swap(inverted.yMin, inverted.yMax);
    GridSpec notANumber = SmallGrid();
    notANumber.xMax = kNaN;
    notANumber.yMax = kNaN;
    GridSpec tooShort = SmallGrid();
    tooShort.xMax = 5.0f;
    tooShort.yMax = 5.0f;
    for (const GridSpec& spec : {inverted, notANumber, tooShort}) {
        EXPECT_TRUE(AllEqual(Grid(table, spec), 0.0f));
    }
}

TEST(EntryPoint, FewOrNoSamplesAreSafe) {
    const GridSpec spec = SmallGrid();
    // No samples at all: nothing to estimate from, every node 0.
    std::vector<float> grid(static_cast<std::size_t>(spec.Nodes()), 42.5f);
    const float rect[4] = {spec.xMin, spec.yMin, spec.xMax, spec.yMax};
    EXPECT_EQ(KARVO_ScatToGridWithKrig(nullptr, 2, 0, 3, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, grid.data()), 1);
    EXPECT_TRUE(AllEqual(grid, 0.0f));

    // More neighbours than samples: every sample takes part.
    const SampleTable table = RandomSamples(8, 9, 60.0f, 50.0f);
    GridSpec all = spec;
    all.neighbours = 9;
    GridSpec more = spec;
    more.neighbours = 500;
    EXPECT_TRUE(SameBits(Grid(table, more), Grid(table, all)));
}

TEST(EntryPoint, NonFiniteCoordinatesStayWithinBounds) {
    SampleTable table = RandomSamples(9, 25, 60.0f, 50.0f);
    table.rows[0] = kNaN;
    table.rows[3 * 4 + 1] = std::numeric_limits<float>::infinity();
    table.rows[3 * 9] = -std::numeric_limits<float>::infinity();
    for (const float v : Grid(table, SmallGrid())) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_GE(v, 0.0f);
    }
}
