// Spherical fit: pruning to a non-decreasing variogram, the scale divisor,
// the weighted cubic fit and its two fallbacks. (Every bit of the fit is
// also checked against the independent model through the golden grids.)
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/FloatArith.h"
#include "variogram/VariogramFit.h"

using mosaro::f32;
using mosaro::f64;

namespace {

struct Table {
    std::vector<float> rows[3];  // lag, pair count, semivariance
    float* pointers[3];
    Table(std::vector<float> lag, std::vector<float> pairs, std::vector<float> gamma)
        : rows{std::move(lag), std::move(pairs), std::move(gamma)},
          pointers{rows[0].data(), rows[1].data(), rows[2].data()} {}
    TVARIOGRAMMODEL Fit() { return mosaro::FitSphericalModel(pointers, static_cast<int>(rows[0].size())); }
};

// One pair per class at lags 1..count of the spherical model (nugget, C, a).
Table Spherical(int count, float nugget, float partialSill, float range) {
    std::vector<float> lag, pairs, gamma;
    for (int h = 1; h <= count; ++h) {
        const double r = std::fmin(h / f64(range), 1.0);
        lag.push_back(static_cast<float>(h));
        pairs.push_back(1.0f);
        gamma.push_back(f32(f64(nugget) + f64(partialSill) * (1.5 * r - 0.5 * r * r * r)));
    }
    return Table(lag, pairs, gamma);
}

}  // namespace

TEST(VariogramFit, PruningDropsEveryClassBelowTheLastOneKept) {
    struct Case {
        std::vector<float> gamma, kept;
    } const cases[] = {
        {{1, 3, 2, 2.5f, 4}, {1, 3, 4}}, {{1, 1, 2, 2}, {1, 1, 2, 2}},
        {{0, 0, 1, 2}, {0, 0, 1, 2}},  // leading empty classes stay
        {{0, 2, 0, 3}, {0, 2, 3}},       {{}, {}},
    };
    for (const Case& c : cases) {
        std::vector<float> lag;
        for (std::size_t k = 1; k <= c.gamma.size(); ++k) lag.push_back(static_cast<float>(k));
        Table t(lag, lag, c.gamma);
        const int kept = mosaro::PruneToNonDecreasing(t.pointers, static_cast<int>(lag.size()));
        EXPECT_EQ(std::vector<float>(t.rows[2].begin(), t.rows[2].begin() + kept), c.kept);
        for (int i = 0; i < kept; ++i) EXPECT_EQ(c.gamma[static_cast<std::size_t>(t.rows[1][i]) - 1], t.rows[2][i]);
    }
}

TEST(VariogramFit, ScaleDivisorIsAFloatChosenByTheLastLag) {
    struct Case {
        float lastLag;
        double divisor;
    } const cases[] = {
        {9.99f, 10}, {NAN, 10}, {10, 1000}, {1000, 99999997952.0} /* 1e11 as a float */, {1e6f, f64(1e30f)},
    };
    for (const Case& c : cases) EXPECT_EQ(f64(mosaro::ScaleDivisor(c.lastLag)), c.divisor) << c.lastLag;
}

TEST(VariogramFit, SphericalDataGiveBackTheirModel) {
    // b0 = 1, b1 = 0.3, b3 = -0.001: nugget 1, range 10, partial sill 2.
    const TVARIOGRAMMODEL m = Spherical(9, 1.0f, 2.0f, 10.0f).Fit();
    EXPECT_NEAR(m.fNugget, 1.0f, 1e-5f);
    EXPECT_NEAR(m.fRange, 10.0f, 1e-4f);
    EXPECT_NEAR(m.fPartialSill, 2.0f, 1e-5f);
    EXPECT_EQ(m.fSill, f32(f64(m.fNugget) + f64(m.fPartialSill)));
    // A negative intercept is fitted again through the origin: nugget +0.
    const TVARIOGRAMMODEL origin = Spherical(8, -0.1f, 2.0f, 6.0f).Fit();
    EXPECT_EQ(std::signbit(origin.fNugget), false);
    EXPECT_EQ(origin.fNugget, 0.0f);
    EXPECT_NEAR(origin.fRange, 6.67f, 0.01f);
}

TEST(VariogramFit, FallbacksForCubicsWithoutASill) {
    // Straight line through classes 0 and 1 (slope 0.25, intercept 0.75);
    // range and sill from the last class but one.
    TVARIOGRAMMODEL m = Table({1, 2, 3, 4, 5, 6}, {2, 1, 3, 1, 2, 1}, {1, 1.25f, 1.5f, 2, 3, 4.5f}).Fit();
    EXPECT_EQ(m.fNugget, 0.75f);
    EXPECT_EQ(m.fRange, 5.0f);
    EXPECT_EQ(m.fSill, 3.0f);
    EXPECT_EQ(m.fPartialSill, 2.25f);
    // A direction without pairs, or without classes: nugget 0, the rest NaN.
    for (Table t : {Table({1, 2, 3}, {0, 0, 0}, {0, 0, 0}), Table({}, {}, {})}) {
        m = t.Fit();
        EXPECT_EQ(m.fNugget, 0.0f);
        EXPECT_TRUE(std::isnan(m.fRange) && std::isnan(m.fPartialSill) && std::isnan(m.fSill));
    }
}
