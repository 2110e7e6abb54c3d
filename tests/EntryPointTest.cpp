// The entry point: normalisation, the point arrays, and degenerate calls
// (always 1, never outside a buffer).
#include <gtest/gtest.h>

#include <limits>

#include "api/GridRequest.h"
#include "api/PointArrays.h"
#include "TestSupport.h"

using namespace mosaro_test;

const float kBlank = -1e38f, kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(EntryPoint, NonPositiveCellSizesAndNeighbourCountsAreReplaced) {
    const SampleTable table = RandomSamples(1, 30, 12.0f);
    const GridArgs args = GridArgs::Square(12.0f, 12, 1);
    for (float bad : {0.0f, -2.5f, kNaN}) {
        GridArgs degenerate = args;
        degenerate.cellX = degenerate.cellY = bad;
        degenerate.neighbours = bad == 0.0f ? 0 : -3;
        EXPECT_TRUE(SameBits(Grid(table, degenerate), Grid(table, args))) << bad;
    }
}

TEST(EntryPoint, PointArraysTakeTheNamedColumnAndFillBlanksFromThePrecedingValue) {
    const float rows[] = {1,      2, -1, 5.0f, 9,  3,    4, -1, kBlank, 9,  5,    6, -1,
                          kBlank, 9, 7,  8,    -1, 2.0f, 9, 9,  0,      -1, kNaN, 9};
    const mosaro::PointArrays points = mosaro::BuildPointArrays(rows, 5, 5, 3);
    EXPECT_EQ(points.x, (std::vector<float>{1, 3, 5, 7, 9}));
    EXPECT_EQ(points.y, (std::vector<float>{2, 4, 6, 8, 0}));
    EXPECT_EQ(points.value, (std::vector<float>{5, 5, 5, 2, 2}));

    // A leading run has nothing before it: it takes the first value after it.
    std::vector<float> leading = {kNaN, kBlank, 4.0f, kBlank};
    mosaro::SubstituteBlanks(leading);
    EXPECT_EQ(leading, (std::vector<float>{4, 4, 4, 4}));
}

TEST(EntryPoint, CoKrigingWidensTheCountsAndRepeatsTheCoordinatesPerBlock) {
    std::vector<float> rows;
    for (float t = 0; t < 10; ++t) rows.insert(rows.end(), {t, 100 + t, 1000 + t, -1, 2000 + t});
    rows[5 * 3 + 4] = kBlank;
    const float columns[2] = {4.7f, 2.0f};  // truncated to 4 and 2
    float grid[1];
    // Two variables (2.9), ten rows, three neighbours per variable.
    mosaro::GridRequest request{rows.data(), 0, 10, 5, {}, {}, 3, 11, 2.9f, columns, grid};
    const auto run = mosaro::Prepare(request);
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->sampleCount, 20);
    EXPECT_EQ(run->neighbourCount, 6);
    for (std::size_t i = 0; i < 20; ++i) {
        const float t = static_cast<float>(i % 10);
        EXPECT_EQ(run->points.x[i], t);
        EXPECT_EQ(run->points.y[i], 100 + t);
        EXPECT_EQ(run->points.value[i], i < 10 ? (t == 3 ? 2002 : 2000 + t) : 1000 + t) << i;
    }
    for (float variables : {0.9f, kNaN, 3e9f}) {  // no division by zero, no overflow
        request.methodParameter = variables;
        EXPECT_FALSE(mosaro::Prepare(request).has_value()) << variables;
    }
}

// Unknown method codes, denormal cells and extents beyond the lag classes
// memory holds are the degenerate matrix's, for every method.
TEST(EntryPoint, RefusedCallsReturnOneAndLeaveTheGridUntouched) {
    const SampleTable table = RandomSamples(6, 20, 60.0f);
    const float* data = table.rows.data();
    const float rect[4] = {0, 0, 60, 50};
    std::vector<float> grid(42, 42.5f);
    float* g = grid.data();
    const int results[] = {
        KARVO_ScatToGridWithKrig(nullptr, 2, 20, 3, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, g),
        KARVO_ScatToGridWithKrig(data, 2, 20, 3, nullptr, 10, 10, 6, 5, 5, 1, 0, nullptr, g),
        KARVO_ScatToGridWithKrig(data, 2, 20, 3, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, nullptr),
        KARVO_ScatToGridWithKrig(data, 2, -4, 3, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, g),
        KARVO_ScatToGridWithKrig(data, 2, 20, 1, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, g),
        KARVO_ScatToGridWithKrig(data, 3, 20, 3, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, g),
        KARVO_ScatToGridWithKrig(data, -1, 20, 3, rect, 10, 10, 6, 5, 5, 1, 0, nullptr, g),
        KARVO_ScatToGridWithKrig(data, 2, 20, 3, rect, 10, 10, -2, 5, 5, 1, 0, nullptr, g),
        KARVO_ScatToGridWithKrig(data, 2, 20, 3, rect, 10, 10, 6, 5, 5, 10, 2, nullptr, g),
        KARVO_ScatToGridWithKrig(data, 2, 20, 3, rect, 10, 10, 6, 5, 5, 11, 1, nullptr, g),
    };
    for (int result : results) EXPECT_EQ(result, 1);
    for (float v : grid) EXPECT_EQ(v, 42.5f);
}

TEST(EntryPoint, DegenerateButRunnableCallsGiveZerosOrUseEverySample) {
    // An inverted extent and no samples at all (every node 0) are the
    // degenerate matrix's, for every method.
    const SampleTable table = RandomSamples(7, 20, 60.0f);
    // No lag class (shorter than a cell): no model, all 0.
    GridArgs tooShort = GridArgs::Square(60, 6, 5);
    tooShort.xMax = tooShort.yMax = 5.0f;
    for (float v : Grid(table, tooShort)) EXPECT_EQ(Bits(v), Bits(0.0f));
    // More neighbours than samples: every sample takes part.
    const SampleTable nine = RandomSamples(8, 9, 60.0f);
    EXPECT_TRUE(SameBits(Grid(nine, GridArgs::Square(60, 6, 500)), Grid(nine, GridArgs::Square(60, 6, 9))));
    // Non-finite coordinates never take the grid out of its bounds or range.
    SampleTable odd = table;
    odd.At(0, 0) = kNaN;
    odd.At(4, 1) = std::numeric_limits<float>::infinity();
    for (float v : Grid(odd, GridArgs::Square(60, 6, 5))) EXPECT_TRUE(std::isfinite(v) && v >= 0.0f);
}
