// Experimental variograms: lag classes one cell wide, the two 10-degree
// cones, and the distance-weighted semivariance.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "Kriging.h"
#include "TestSupport.h"

using mosaro::f32;
using mosaro::f64;

namespace {

// Builds both tables for samples {x, y, value}; owns them.
struct Variograms {
    CKriging estimator;
    Variograms(const mosaro_test::SampleTable& samples, TRECTXYMINMAX rect)
        : estimator(samples.Count(), 1, 0.0f, TGRIDCELLXY{1, 1, 0, 0}, rect) {
        mosaro::PointArrays points = mosaro_test::Points(samples);
        estimator.CalculateVariogramValue(points.Table());
    }
    ~Variograms() { mosaro::ReleaseVariogramTable(estimator.m_ppVariogramX), mosaro::ReleaseVariogramTable(estimator.m_ppVariogramY); }
    static float Pairs(float** table, int classes) {
        float total = 0;
        for (int c = 0; c < classes; ++c) total += table[mosaro::kPairCountRow][c];
        return total;
    }
};

}  // namespace

TEST(ExperimentalVariogram, SemivarianceIsWeightedByPairDistance) {
    // x pairs at 1.0 and about 1.4 (class 1), differences 2 and 1; the
    // other pairs lie near 45 degrees and are not used.
    const Variograms v({{0, 0, 0, 1, 0, 2, 10, 10, 5, 11.4f, 10, 6}}, {0, 0, 20, 20});
    const float d = f32(f64(11.4f) - 10.0);
    const float gamma = f32(f64(f32(4.0 + f64(d))) / (2.0 * f64(f32(1.0 + f64(d)))));
    float** x = v.estimator.m_ppVariogramX;
    EXPECT_EQ(x[mosaro::kPairCountRow][0], 2.0f);
    EXPECT_EQ(x[mosaro::kSemivarianceRow][0], gamma);
    EXPECT_NEAR(gamma, 1.125f, 1e-6f);  // not 1.25, the plain mean of half the squares
    EXPECT_EQ(v.Pairs(v.estimator.m_ppVariogramY, 20), 0.0f);
}

TEST(ExperimentalVariogram, PairsJoinTheConeAndClassOfTheirFloatAngleAndDistance) {
    struct Case { float ax, ay; char direction; int lagClass; } const cases[] = {
        {10.0f, 1.76326978f, 'x', 10},  // exactly 10 degrees as a float
        {10.0f, 1.7632699f, '-', 0},    // the next float angle up
        {1.76326966f, 10.0f, '-', 0},   // exactly 80 degrees: 1.5707963 - theta > the cone
        {1.76326954f, 10.0f, 'y', 10},  // the smallest angle the y cone accepts
        {1.0f, 1.0f, '-', 0},           // 45 degrees
        {0.0f, 2.0f, 'y', 2},           // same x: a y pair
        {0.0f, 0.0f, '-', 0},           // same place: class 0, no class
        {0.49999997f, 0.0f, '-', 0}, {1.5f, 0.0f, 'x', 2},  // [k - 0.5, k + 0.5) cells
        {12.5f, 0.0f, '-', 0},          // (n + 0.5) cells is beyond the last class
    };
    for (const Case& c : cases) {
        const Variograms v({{0, 0, 0, c.ax, c.ay, 1}}, {0, 0, 12, 12});
        float** hit = c.direction == 'x' ? v.estimator.m_ppVariogramX : v.estimator.m_ppVariogramY;
        EXPECT_EQ(v.Pairs(v.estimator.m_ppVariogramX, 12) + v.Pairs(v.estimator.m_ppVariogramY, 12),
                  c.direction == '-' ? 0.0f : 1.0f) << c.ax << ", " << c.ay;
        if (c.direction != '-') {
            EXPECT_EQ(hit[mosaro::kPairCountRow][c.lagClass - 1], 1.0f) << c.ax;
        }
    }
}

TEST(ExperimentalVariogram, ClassCountsTruncateTheDoubleQuotientAndHalveTogether) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case { TRECTXYMINMAX rect; float cell; int x, y; } const cases[] = {
        {{0, 0, 150, 20}, 1.0f, 76, 11},  // both halved when one exceeds 100
        {{0, 0, 5, 2}, 0.1f, 49, 19},     // 5 / 0.1f is 49.99999925 in double
        {{10, 0, 0.5f, 3}, 1.0f, 0, 3},   // inverted
        {{nan, 0, 1, 0.5f}, 1.0f, 0, 0},  // not a number; shorter than a cell
    };
    for (const Case& c : cases) {
        const auto n = mosaro::ComputeLagClassCounts(TGRIDCELLXY{c.cell, c.cell, 0, 0}, c.rect);
        EXPECT_EQ(n.x, c.x) << c.rect.fXMax;
        EXPECT_EQ(n.y, c.y) << c.rect.fYMax;
    }
    EXPECT_THROW(mosaro::ComputeLagClassCounts(TGRIDCELLXY{1, 1, 0, 0}, {0, 0, 1e30f, 1}), std::length_error);
}
