// Indicator kriging: indicators, the threshold loop and the ordered sum.
#include <gtest/gtest.h>

#include <cmath>

#include "IndicatorKriging.h"
#include "TestSupport.h"

using namespace mosaro_test;

namespace {
std::vector<float> Indicator(const SampleTable& table, std::vector<float> thresholds, int neighbours = 10) {
    GridArgs args;
    args.neighbours = neighbours;
    return Grid(table, args, 10, static_cast<float>(thresholds.size()), thresholds.data());
}
}  // namespace

TEST(IndicatorKriging, GridIsTheSumOfThePerThresholdGridsInArrayOrder) {
    const SampleTable table = StructuredSamples(51, 120, 200.0f);
    const std::vector<float> a = Indicator(table, {42}), b = Indicator(table, {55}), c = Indicator(table, {63});
    const std::vector<float> forward = Indicator(table, {42, 55, 63}), backward = Indicator(table, {63, 55, 42});
    int summed = 0;
    for (std::size_t k = 0; k < forward.size(); ++k) {
        summed += a[k] > 0 && c[k] > 0;
        EXPECT_EQ(Bits(forward[k]), Bits((a[k] + b[k]) + c[k])) << k;
        EXPECT_EQ(Bits(backward[k]), Bits((c[k] + b[k]) + a[k])) << k;
    }
    EXPECT_GT(summed, 200);
}

TEST(IndicatorKriging, DegenerateThresholdsGiveZeros) {
    const SampleTable table = StructuredSamples(52, 80, 200.0f);
    const float threshold = 50.0f;
    std::vector<std::vector<float>> grids = {
        Grid(table, GridArgs(), 10, 0.99f, &threshold, 42.0f),  // no threshold: all 0
        Indicator(table, {1.0f}),                              // all neighbours above: V = 0
        Indicator(table, {50.0f, 70.0f}, 1),  // one neighbour: 1 - P is rounding, far below 0.01
    };
    for (const std::vector<float>& grid : grids)
        for (float v : grid) EXPECT_EQ(Bits(v), Bits(0.0f));
}
