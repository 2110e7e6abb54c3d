// Indicator kriging: the threshold loop, the indicators, and the sum.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "IndicatorKriging.h"
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

std::vector<float> Indicator(const SampleTable& table, std::vector<float> thresholds,
                             int neighbours = 10) {
    return Grid(table, Layout(neighbours), 10, static_cast<float>(thresholds.size()),
                thresholds.data());
}

}  // namespace

TEST(IndicatorKriging, IndicatorIsOneAtOrBelowTheThreshold) {
    SampleTable table;
    table.Add(0, 0, 1.0f);
    table.Add(1, 0, 2.0f);
    table.Add(2, 0, 2.5f);
    table.Add(3, 0, std::nanf(""));
    Points points(table);
    float thresholds[2] = {2.0f, 0.5f};
    CIndicatorKriging estimator(4, 1, 2.0f, Layout().Layout(), Layout().Rect());
    estimator.SetThresholdValue(thresholds);
    std::vector<float> rows(8, -1.0f);
    float* table2[2] = {rows.data(), rows.data() + 4};
    estimator.m_ppIndicator = table2;
    estimator.CalculateIndicatorValue(points.Table());
    // Equal to the threshold counts as at or below; a NaN difference too.
    EXPECT_EQ(rows, (std::vector<float>{1, 1, 0, 1, 0, 0, 0, 1}));
    estimator.m_ppIndicator = nullptr;
}

TEST(IndicatorKriging, GridIsTheSumOfThePerThresholdGridsInOrder) {
    const SampleTable table = StructuredSamples(51, 120, 200.0f);
    const std::vector<float> low = Indicator(table, {42.0f});
    const std::vector<float> mid = Indicator(table, {55.0f});
    const std::vector<float> high = Indicator(table, {63.0f});
    int positive = 0;
    for (std::size_t k = 0; k < high.size(); ++k) positive += low[k] > 0.0f && high[k] > 0.0f;
    ASSERT_GT(positive, 200);

    const std::vector<float> forward = Indicator(table, {42.0f, 55.0f, 63.0f});
    const std::vector<float> backward = Indicator(table, {63.0f, 55.0f, 42.0f});
    for (std::size_t k = 0; k < forward.size(); ++k) {
        // Single-precision sums from 0, in the order of the caller's array.
        const float f = static_cast<float>(static_cast<float>(low[k] + mid[k]) + high[k]);
        const float b = static_cast<float>(static_cast<float>(high[k] + mid[k]) + low[k]);
        EXPECT_EQ(Bits(forward[k]), Bits(f)) << "node " << k;
        EXPECT_EQ(Bits(backward[k]), Bits(b)) << "node " << k;
    }
}

TEST(IndicatorKriging, NoThresholdGivesAGridOfZeros) {
    const SampleTable table = StructuredSamples(52, 60, 200.0f);
    const float thresholds[1] = {50.0f};
    for (float count : {0.0f, 0.99f, -3.0f}) {
        const std::vector<float> grid = Grid(table, Layout(), 10, count, thresholds, 2, 42.0f);
        for (float v : grid) EXPECT_EQ(Bits(v), Bits(0.0f)) << "count " << count;
    }
    // Thresholds promised but missing: nothing runs, the grid stays.
    const std::vector<float> grid = Grid(table, Layout(), 10, 2.0f, nullptr, 2, 42.0f);
    for (float v : grid) EXPECT_EQ(v, 42.0f);
}

TEST(IndicatorKriging, NeighboursAllAboveTheThresholdEstimateZero) {
    // No neighbour at or below: c becomes 1 and the value sum is 0.
    const SampleTable table = StructuredSamples(53, 80, 200.0f);
    for (float v : Indicator(table, {1.0f})) EXPECT_EQ(Bits(v), Bits(0.0f));
}

TEST(IndicatorKriging, SingleNeighbourLeavesOnlyRoundingOfTheWeight) {
    // One neighbour has weight 1 up to a few units in the last place, so
    // (1 - P) V / c stays far below the cut-off.
    const SampleTable table = StructuredSamples(54, 80, 200.0f);
    for (float v : Indicator(table, {50.0f, 70.0f}, 1)) EXPECT_EQ(Bits(v), Bits(0.0f));
}
