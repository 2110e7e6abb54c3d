// Size computations at the edges of int: lag-class counts, node counts,
// widened co-kriging counts, indicator tables, sample tables of several
// variables and grid files. Every product of counts is formed in 64 bits,
// and a run beyond what can be addressed is refused before anything is
// allocated or touched: each call below hands the library one-element
// buffers where the arguments promise far more, so a read or write before
// the refusal would be reported by the sanitizer build.
#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <vector>

#include "api/GridRequest.h"
#include "methods/Indicator.h"
#include "variogram/LagClasses.h"
#include "sweeps/GridNodes.h"
#include "TestSupport.h"
#include "mosaro.h"

using namespace mosaro_test;

namespace {

constexpr float kSentinel = -7.25f;

mosaro::LagClassCounts Classes(float extentX, float extentY, float cell = 1.0f) {
    return mosaro::ComputeLagClassCounts(TGRIDCELLXY{cell, cell, 0, 0}, TRECTXYMINMAX{0, 0, extentX, extentY});
}

TEST(SizeLimits, LagClassCountsAreCheckedInDoubleBeforeAnyConversion) {
    // 2^25 - 2 classes halve to exactly 2^24, the most there may be; 2^25
    // halve to one more.
    EXPECT_EQ(Classes(33554430.0f, 10.0f).x, 1 << 24);
    EXPECT_EQ(Classes(33554430.0f, 10.0f).y, 6);  // halved with x: 10 / 2 + 1
    EXPECT_THROW(Classes(33554432.0f, 10.0f), std::length_error);
    EXPECT_THROW(Classes(10.0f, 33554432.0f), std::length_error);
    // At and beyond int's range the quotient is refused before it is
    // converted (a conversion out of range would be undefined).
    EXPECT_THROW(Classes(2147483648.0f, 1.0f), std::length_error);
    EXPECT_THROW(Classes(1e30f, 1.0f), std::length_error);
    EXPECT_THROW(Classes(1.0f, 1.0f, std::numeric_limits<float>::denorm_min()), std::length_error);
    // Inverted and undefined extents, and those shorter than a cell, have no
    // class at all; the other direction keeps its own.
    EXPECT_EQ(Classes(-5.0f, 10.0f).x, 0);
    EXPECT_EQ(Classes(-5.0f, 10.0f).y, 10);
    EXPECT_EQ(Classes(std::numeric_limits<float>::quiet_NaN(), 10.0f).x, 0);
    EXPECT_EQ(Classes(3.0f, 0.5f).y, 0);
    // Exactly 100 classes are kept; 101 halve both directions.
    EXPECT_EQ(Classes(100.0f, 3.0f).x, 100);
    EXPECT_EQ(Classes(101.0f, 3.0f).x, 51);
    EXPECT_EQ(Classes(101.0f, 3.0f).y, 2);
    // The quotient is truncated in double: 5 / 0.1f is 49.99999925.
    EXPECT_EQ(Classes(5.0f, 2.0f, 0.1f).x, 49);
    EXPECT_EQ(Classes(5.0f, 2.0f, 0.1f).y, 19);
}

TEST(SizeLimits, NodeCountsAreFormedInSixtyFourBitsAndCappedAtWhatCanBeAddressed) {
    EXPECT_EQ(mosaro::NodeCount64(TGRIDCELLXY{1, 1, INT_MAX, INT_MAX}), std::uint64_t{1} << 62);
    EXPECT_EQ(mosaro::NodeCount64(TGRIDCELLXY{1, 1, INT_MAX, 0}), std::uint64_t{1} << 31);
    // The caller's grid and two scratch grids of floats must be addressable.
    EXPECT_LE(mosaro::kMaxNodes * 3 * sizeof(float), static_cast<std::uint64_t>(PTRDIFF_MAX));
    EXPECT_GT((mosaro::kMaxNodes + 1) * 3 * sizeof(float), static_cast<std::uint64_t>(PTRDIFF_MAX));

    const float data[3] = {1, 2, 3};
    float grid[1] = {kSentinel};
    mosaro::GridRequest request{data, 2, 1, 3, {0, 0, 10, 10}, {1, 1, INT_MAX, (1 << 28) - 1}, 1, 1, 0, nullptr, grid};
    if (mosaro::kMaxNodes > static_cast<std::uint64_t>(INT_MAX)) {  // 64-bit addresses
        EXPECT_TRUE(mosaro::Prepare(request).has_value());          // 2^59 nodes: addressable, the caller's to hold
        request.grid.nCellCountY = (1 << 29) - 1;                   // 2^60 nodes: no host can hold them
        EXPECT_FALSE(mosaro::Prepare(request).has_value());
    } else {  // 32-bit: one column of exactly the limit, and one more
        request.grid = TGRIDCELLXY{1, 1, 0, static_cast<int>(mosaro::kMaxNodes) - 1};
        EXPECT_TRUE(mosaro::Prepare(request).has_value());
        request.grid.nCellCountY += 1;
        EXPECT_FALSE(mosaro::Prepare(request).has_value());
    }
}

// The legacy entry point with counts no host can hold: nothing is read or
// written, whatever the method.
TEST(SizeLimits, LegacyCallsBeyondAddressableSizesLeaveTheGridAsPassed) {
    const float data[3] = {1, 2, 3}, rect[4] = {0, 0, 10, 10}, one = 2.0f;
    for (int method = 1; method <= 11; ++method) {
        float grid[1] = {kSentinel};
        // Every node of a 2^31 by 2^31 grid (no samples: the run would
        // write zeros straight away).
        KARVO_ScatToGridWithKrig(data, 2, 0, 3, rect, 1, 1, INT_MAX, INT_MAX, 1, method, 1, &one, grid);
        KARVO_ScatToGridWithKrig(data, 2, 1, 3, rect, 1, 1, INT_MAX, INT_MAX, 1, method, 1, &one, grid);
        EXPECT_EQ(Bits(grid[0]), Bits(kSentinel)) << "method " << method;
    }
    float grid[1] = {kSentinel};
    // Co-kriging: 65536 rows of 32768 variables widen beyond int; refused
    // before a column number is read.
    KARVO_ScatToGridWithKrig(data, 2, 65536, 3, rect, 1, 1, 0, 0, 1, 11, 32768.0f, &one, grid);
    // Indicator kriging: 2^20 + 1 thresholds of 256 samples exceed the 2^28
    // entries of the indicator table; refused before a threshold is read.
    std::vector<float> table(256 * 3, 1.0f);
    KARVO_ScatToGridWithKrig(table.data(), 2, 256, 3, rect, 1, 1, 0, 0, 1, 10, 1048577.0f, &one, grid);
    // A threshold count beyond int, with or without thresholds.
    KARVO_ScatToGridWithKrig(table.data(), 2, 256, 3, rect, 1, 1, 0, 0, 1, 10, 3e9f, &one, grid);
    KARVO_ScatToGridWithKrig(table.data(), 2, 256, 3, rect, 1, 1, 0, 0, 1, 10, 3e9f, nullptr, grid);
    EXPECT_EQ(Bits(grid[0]), Bits(kSentinel));
}

TEST(SizeLimits, GridFilesHoldAtMostTwoToTheThirtyOneMinusOneNodes) {
    const float node = 1.0f;
    for (const auto& counts : {std::pair<int, int>{65536, 32768}, {46341, 46341}, {INT_MAX, INT_MAX}, {INT_MAX, 2}}) {
        EXPECT_EQ(mosaro_grid_file_write("/nonexistent/never-written.grd", &node, counts.first, counts.second, 1, 1),
                  MOSARO_ERROR_TOO_LARGE)
            << counts.first << " x " << counts.second;
    }
    float grid[1] = {0};
    EXPECT_THROW(
        CKriging(1, 1, 0, TGRIDCELLXY{1, 1, 65535, 32767}, TRECTXYMINMAX{0, 0, 1, 1})
            .OutKrigingGridFile(grid, TGRIDCELLXY{1, 1, 65535, 32767}, const_cast<char*>("/nonexistent/x.grd")),
        std::invalid_argument);
}

}  // namespace
