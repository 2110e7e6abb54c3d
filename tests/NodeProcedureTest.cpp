// Node procedure: per-call constants, the neighbour sort's tie rule, the
// cut-off. (The covariance and the system are checked bit for bit by the
// golden grids.)
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "Kriging.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

mosaro::KrigingConstants Constants(TRECTXYMINMAX rect, float rangeX = 1, float rangeY = 1) {
    CKriging estimator(1, 1, 0.0f, TGRIDCELLXY{1, 1, 1, 1}, rect);
    estimator.m_VariogramModel[0] = TVARIOGRAMMODEL{0.1f, 1.4f, rangeX, 1.3f};
    estimator.m_VariogramModel[1] = TVARIOGRAMMODEL{0.2f, 0.9f, rangeY, 0.7f};
    return mosaro::KrigingConstants::FromEstimator(estimator);
}

}  // namespace

TEST(NodeProcedure, CoordinateScaleNeedsTheLargerFloatSideStrictlyAbove) {
    struct Case { float extent, scale; } const cases[] = {
        {100, 1}, {100.5f, 100}, {1000, 100}, {10000, 1000}, {100000, 10000}, {250000, 100000}, {-5, 1}, {kNaN, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(Constants({0, 0, 1, c.extent}).scale, c.scale) << c.extent;
    EXPECT_EQ(Constants({-1e-6f, 0, 100, 50}).scale, 1.0f);  // 100 + 1e-6 stores 100
    const mosaro::KrigingConstants c = Constants({0, 0, 10, 10});  // means of the two directions
    EXPECT_EQ(c.partialSill, mosaro::f32((mosaro::f64(1.3f) + mosaro::f64(0.7f)) / 2.0));
    EXPECT_EQ(c.nugget, mosaro::f32((mosaro::f64(0.1f) + mosaro::f64(0.2f)) / 2.0));
}

TEST(NodeProcedure, AnisotropyRatioIsKeptOnlyWhereItIsTrusted) {
    struct Case { float extent, rangeX, rangeY, ratio; } const cases[] = {
        {150, 12, 2, 1},    // 6 > 5 with a' = 0.12 < 2: ignored
        {100, 12, 2, 6},    // scale 1, a' = 12: kept
        {150, 10, 2, 5},    // exactly 5: kept
        {100, 1, 2, 0.5f},  // exactly 0.5: kept
        {100, 0.8f, 2, 1},  // 0.4: ignored
        {100, 0, 0, 1},     // not a number
    };
    for (const Case& c : cases) EXPECT_EQ(Constants({0, 0, 1, c.extent}, c.rangeX, c.rangeY).anisotropy, c.ratio) << c.rangeX;
}

TEST(NodeProcedure, NeighbourSortDecidesTiesByItsExchangeRuleAlone) {
    struct Case { std::vector<float> distances; int passes; std::vector<float> order; } const cases[] = {
        {{4, 3, 3, 1}, 3, {4, 3, 2, 1}},  // A, B, C, D, m = 2: D, C, B, A
        {{4, 3, 3, 1}, 2, {4, 3, 1, 2}},  // one pass fewer leaves D, C, A, B
        {{2, 1, 1}, 2, {2, 3, 1}},        // equal distances are never exchanged
        {{1, kNaN, 2}, 3, {3, 2, 1}},     // unordered comparisons exchange
    };
    for (const Case& c : cases) {
        mosaro::WorkingSamples w;
        w.distance = c.distances;
        for (std::size_t i = 1; i <= c.distances.size(); ++i) {
            w.value.push_back(static_cast<float>(i));
            w.x.push_back(static_cast<float>(i));
            w.y.push_back(static_cast<float>(i));
        }
        mosaro::SortNearest(w, c.passes);
        EXPECT_EQ(w.value, c.order);
        EXPECT_EQ(w.y, c.order);  // the arrays move together
    }
}

TEST(NodeProcedure, CutOffComparesInDouble) {
    EXPECT_EQ(mosaro::ApplyCutOff(0.0099999998f), 0.0f);  // the float nearest 0.01 is below it
    EXPECT_EQ(mosaro::ApplyCutOff(0.0100000007f), 0.0100000007f);
    EXPECT_EQ(mosaro::ApplyCutOff(-3.0f), 0.0f);
    EXPECT_EQ(mosaro::ApplyCutOff(kNaN), 0.0f);
}
