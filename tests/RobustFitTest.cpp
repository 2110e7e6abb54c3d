// Robust fit: weighted least squares of the spherical model, the
// omnidirectional variogram it falls back to, and the choice between the
// directional and the omnidirectional models.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "variogram/RobustFit.h"

using mosaro::VariogramRows;

namespace {

double Spherical(double h, double nugget, double partialSill, double range) {
    const double r = std::fmin(h / range, 1.0);
    return nugget + partialSill * (1.5 * r - 0.5 * r * r * r);
}

// `count` classes `cell` apart drawn from the model, each semivariance
// scaled by (1 + noise * u), u uniform in [-1, 1]; pairs grow with the lag
// as in scattered data.
VariogramRows Drawn(unsigned seed, int count, double cell, double nugget, double partialSill, double range,
                    double noise) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    VariogramRows rows;
    for (int k = 1; k <= count; ++k) {
        const double h = k * cell;
        rows.lag.push_back(static_cast<float>(h));
        rows.pairs.push_back(static_cast<float>(20 + 7 * k));
        rows.gamma.push_back(static_cast<float>(Spherical(h, nugget, partialSill, range) * (1.0 + noise * u(random))));
    }
    return rows;
}

bool Finite(const TVARIOGRAMMODEL& m) {
    return std::isfinite(m.fNugget) && std::isfinite(m.fPartialSill) && std::isfinite(m.fRange) &&
           std::isfinite(m.fSill);
}

}  // namespace

TEST(RobustFit, VariogramsDrawnFromASphericalModelGiveItBack) {
    struct Truth {
        double nugget, partialSill, range, cell;
    };
    const Truth truths[] = {
        {0.5, 2.0, 120.0, 10.0}, {0.0, 1.0, 35.0, 2.5}, {3.0e4, 9.0e4, 9.0e3, 400.0}, {0.05, 0.6, 900.0, 50.0}};
    for (const Truth& t : truths) {
        TVARIOGRAMMODEL m;
        ASSERT_TRUE(mosaro::FitSphericalWeighted(Drawn(1, 30, t.cell, t.nugget, t.partialSill, t.range, 0.0), m));
        const double sill = t.nugget + t.partialSill;
        EXPECT_NEAR(m.fNugget, t.nugget, 1e-3 * sill);
        EXPECT_NEAR(m.fPartialSill, t.partialSill, 1e-3 * sill);
        EXPECT_NEAR(m.fRange, t.range, 2e-3 * t.range);
        EXPECT_EQ(m.fSill, static_cast<float>(double{m.fNugget} + m.fPartialSill));
        for (unsigned seed = 2; seed < 12; ++seed) {  // 5 % noise per class
            ASSERT_TRUE(
                mosaro::FitSphericalWeighted(Drawn(seed, 30, t.cell, t.nugget, t.partialSill, t.range, 0.05), m));
            EXPECT_NEAR(m.fNugget, t.nugget, 0.08 * sill) << seed;
            EXPECT_NEAR(m.fSill, sill, 0.05 * sill) << seed;
            EXPECT_NEAR(m.fRange, t.range, 0.15 * t.range) << seed;
        }
    }
}

TEST(RobustFit, DegenerateTablesGiveAFiniteModelOrSayTheyCannot) {
    TVARIOGRAMMODEL m{};
    // Fewer than two classes with pairs: no fit.
    EXPECT_FALSE(mosaro::FitSphericalWeighted(VariogramRows{{10.0f}, {40.0f}, {2.0f}}, m));
    EXPECT_FALSE(
        mosaro::FitSphericalWeighted(VariogramRows{{10.0f, 20.0f, 30.0f}, {0.0f, 5.0f, 0.0f}, {0.0f, 2.0f, 0.0f}}, m));
    EXPECT_FALSE(mosaro::FitSphericalWeighted(VariogramRows{}, m));
    const float nan = std::nanf("");
    EXPECT_FALSE(mosaro::FitSphericalWeighted(VariogramRows{{10.0f, 20.0f}, {3.0f, 3.0f}, {1.0f, nan}}, m));

    const std::vector<float> lag = {10, 20, 30, 40, 50}, pairs = {5, 9, 14, 20, 22};
    struct Shape {
        const char* name;
        std::vector<float> gamma;
    };
    const Shape shapes[] = {{"flat", {4, 4, 4, 4, 4}},
                            {"falling", {9, 7, 5, 3, 1}},
                            {"all zero", {0, 0, 0, 0, 0}},
                            {"two classes", {1, 2}},
                            {"one spike", {0, 0, 50, 0, 0}}};
    for (const Shape& s : shapes) {
        VariogramRows rows{lag, pairs, s.gamma};
        rows.lag.resize(s.gamma.size());
        rows.pairs.resize(s.gamma.size());
        ASSERT_TRUE(mosaro::FitSphericalWeighted(rows, m)) << s.name;
        EXPECT_TRUE(Finite(m)) << s.name;
        EXPECT_GE(m.fNugget, 0.0f) << s.name;
        EXPECT_GT(m.fPartialSill, 0.0f) << s.name;
        EXPECT_GT(m.fRange, 0.0f) << s.name;
        EXPECT_LE(m.fRange, rows.lag.back()) << s.name;
    }
    // A flat table is fitted as (almost) all nugget at its level.
    ASSERT_TRUE(mosaro::FitSphericalWeighted(VariogramRows{lag, pairs, {4, 4, 4, 4, 4}}, m));
    EXPECT_NEAR(m.fSill, 4.0f, 1e-3f);
    EXPECT_LT(m.fPartialSill, 1e-3f);
}

// The residual the fit minimises, written out: each class weighted by its
// pairs over its squared lag (lags relative to the largest).
double ResidualWrittenOut(const VariogramRows& rows, const TVARIOGRAMMODEL& m) {
    double sum = 0.0;
    for (std::size_t k = 0; k < rows.lag.size(); ++k) {
        const double h = rows.lag[k] / static_cast<double>(rows.lag.back());
        const double r = Spherical(rows.lag[k], m.fNugget, m.fPartialSill, m.fRange) - rows.gamma[k];
        sum += rows.pairs[k] / (h * h) * r * r;
    }
    return sum;
}

TEST(RobustFit, TheFitIsTheLeastWeightedResidualNearby) {
    const VariogramRows rows = Drawn(7, 25, 10.0, 0.3, 1.5, 140.0, 0.08);
    TVARIOGRAMMODEL best;
    ASSERT_TRUE(mosaro::FitSphericalWeighted(rows, best));
    const double residual = ResidualWrittenOut(rows, best);
    EXPECT_NEAR(mosaro::WeightedResidual(rows, best), residual, 1e-6 * residual);
    for (double dn : {-0.02, 0.0, 0.02})
        for (double dc : {-0.02, 0.0, 0.02})
            for (double da : {-2.0, 0.0, 2.0}) {
                TVARIOGRAMMODEL m = best;
                m.fNugget = static_cast<float>(std::fmax(0.0, m.fNugget + dn));
                m.fPartialSill = static_cast<float>(m.fPartialSill + dc);
                m.fRange = static_cast<float>(m.fRange + da);
                EXPECT_GE(ResidualWrittenOut(rows, m), residual * (1.0 - 1e-6)) << dn << " " << dc << " " << da;
            }
}

TEST(RobustFit, OmnidirectionalTableHasEveryPairWithinTheLargestLagWhateverTheThreads) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> place(0.0f, 100.0f);
    std::vector<float> x(300), y(300);
    std::vector<double> v(300);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = place(random);
        y[i] = place(random);
        v[i] = std::sin(x[i] / 15.0) + 0.01 * y[i];
    }
    // 20 x 12 classes of 5 by 8: the classes are 5 wide out to 20 * 5 = 100.
    const mosaro::OmnidirectionalClasses classes =
        mosaro::ComputeOmnidirectionalClasses(TGRIDCELLXY{5.0f, 8.0f, 0, 0}, TRECTXYMINMAX{0, 0, 100, 96});
    ASSERT_EQ(classes.width, 5.0);
    ASSERT_EQ(classes.count, 20);
    const VariogramRows one =
        mosaro::BuildOmnidirectionalVariogram(x.data(), y.data(), v.data(), 300, classes, mosaro::Execution{1});
    const VariogramRows two =
        mosaro::BuildOmnidirectionalVariogram(x.data(), y.data(), v.data(), 300, classes, mosaro::Execution{2});
    EXPECT_EQ(one.pairs, two.pairs);
    EXPECT_EQ(one.gamma, two.gamma);

    std::vector<double> count(20, 0.0), distance(20, 0.0), weighted(20, 0.0);
    for (std::size_t i = 0; i < x.size(); ++i)
        for (std::size_t j = i + 1; j < x.size(); ++j) {
            const double d = std::hypot(double{x[i]} - x[j], double{y[i]} - y[j]);
            const long k = std::lround(std::floor(d / 5.0 + 0.5));
            if (k < 1 || k > 20) continue;
            count[static_cast<std::size_t>(k - 1)] += 1.0;
            distance[static_cast<std::size_t>(k - 1)] += d;
            weighted[static_cast<std::size_t>(k - 1)] += d * (v[i] - v[j]) * (v[i] - v[j]);
        }
    for (std::size_t k = 0; k < 20; ++k) {
        EXPECT_EQ(one.lag[k], 5.0f * static_cast<float>(k + 1));
        EXPECT_EQ(one.pairs[k], static_cast<float>(count[k])) << k;
        EXPECT_NEAR(one.gamma[k], weighted[k] / (2.0 * distance[k]), 1e-6 * one.gamma[k]) << k;
    }
}

TEST(RobustFit, ADirectionWithTooFewPairsTakesTheOmnidirectionalModelInBoth) {
    const VariogramRows omni = Drawn(1, 20, 10.0, 0.2, 1.0, 80.0, 0.0);
    const VariogramRows good = Drawn(2, 20, 10.0, 0.1, 1.2, 120.0, 0.0);
    VariogramRows thin = good;
    for (std::size_t k = 2; k < thin.Size(); ++k) thin.pairs[k] = 0.0f;  // two classes left
    int builds = 0;
    const auto buildOmni = [&] {
        ++builds;
        return omni;
    };
    VariogramRows built;

    // Both directions carry their own models: the costly table is not built
    // unless the caller keeps it.
    const VariogramRows both[2] = {good, good};
    mosaro::RobustFitResult fit = mosaro::FitRobustModels(both, buildOmni, false, built);
    EXPECT_EQ(builds, 0);
    EXPECT_FALSE(fit.omnidirectionalFitted);
    for (int d = 0; d < 2; ++d) {
        EXPECT_EQ(fit.branches[d], mosaro::FitBranch::RobustDirectional);
        EXPECT_NEAR(fit.models[d].fRange, 120.0f, 0.5f);
        EXPECT_NE(fit.reasons[d].find("this direction's table: 20 classes"), std::string::npos) << fit.reasons[d];
    }
    fit = mosaro::FitRobustModels(both, buildOmni, true, built);
    EXPECT_EQ(builds, 1);
    EXPECT_TRUE(fit.omnidirectionalFitted);
    EXPECT_NEAR(fit.omnidirectionalModel.fRange, 80.0f, 0.5f);
    EXPECT_EQ(fit.branches[0], mosaro::FitBranch::RobustDirectional);

    const VariogramRows oneThin[2] = {good, thin};
    fit = mosaro::FitRobustModels(oneThin, buildOmni, false, built);
    EXPECT_EQ(builds, 2);
    EXPECT_EQ(built.Size(), omni.Size());
    for (int d = 0; d < 2; ++d) {
        EXPECT_EQ(fit.branches[d], mosaro::FitBranch::RobustOmnidirectional);
        EXPECT_NEAR(fit.models[d].fRange, 80.0f, 0.5f);
        EXPECT_NE(fit.reasons[d].find("the y direction has 2 classes"), std::string::npos) << fit.reasons[d];
    }
    const VariogramRows none[2] = {thin, thin};
    EXPECT_THROW(mosaro::FitRobustModels(
                     none,
                     [] {
                         return VariogramRows{{10.0f}, {50.0f}, {1.0f}};
                     },
                     false, built),
                 mosaro::TooFewPairsToFit);
}
