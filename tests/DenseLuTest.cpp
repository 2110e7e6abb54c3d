// The small dense LU of the accurate arithmetic against Eigen's pivoted LU
// and an exact condition number, on random, symmetric indefinite (kriging
// shaped) and singular matrices.
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "systems/DenseLu.h"
#include "systems/LaneLu.h"

namespace {

using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// Reciprocal 1-norm condition number from the explicit inverse.
double ExactReciprocal(const RowMajor& a) {
    const double norm = a.cwiseAbs().colwise().sum().maxCoeff();
    const double inverse = a.inverse().cwiseAbs().colwise().sum().maxCoeff();
    return 1.0 / (norm * inverse);
}

void ExpectSolvesLikeEigen(const RowMajor& a, bool symmetric) {
    mosaro::DenseLu lu;
    ASSERT_TRUE(lu.Factorise(a.data(), static_cast<int>(a.rows()), symmetric));
    Eigen::VectorXd b = Eigen::VectorXd::LinSpaced(a.rows(), -1.0, 2.0);
    const Eigen::VectorXd expected = a.partialPivLu().solve(b);
    lu.Solve(b.data());
    EXPECT_LT((b - expected).norm(), 1e-10 * (1.0 + expected.norm()));
    // An estimate is a lower bound of the condition number, here within a
    // factor of 10 of it (Hager's method is usually exact on such sizes).
    const double exact = ExactReciprocal(a), estimate = lu.ReciprocalCondition();
    EXPECT_GE(estimate, exact * (1.0 - 1e-9));
    EXPECT_LE(estimate, 10.0 * exact);
    // The floor stands in for the estimate: never above it, and zero when it
    // cannot reach the mark asked for.
    const double floor = lu.ReciprocalConditionFloor(1e-300);
    EXPECT_GT(floor, 0.0);
    EXPECT_LE(floor, estimate);
    EXPECT_EQ(lu.ReciprocalConditionFloor(floor * 1.01), 0.0);
    EXPECT_EQ(lu.ReciprocalConditionFloor(floor * 0.99), floor);
}

TEST(DenseLu, SolvesAndEstimatesTheCondition) {
    std::mt19937 random(5);
    std::normal_distribution<double> normal;
    for (int order : {1, 2, 5, 17, 40}) {
        RowMajor general(order, order);
        for (int r = 0; r < order; ++r)
            for (int c = 0; c < order; ++c) general(r, c) = normal(random);
        ExpectSolvesLikeEigen(general, false);

        // Bordered like a kriging system: a symmetric block with a zero
        // corner, which needs row exchanges.
        RowMajor bordered = RowMajor::Zero(order + 2, order + 2);
        for (int r = 0; r < order; ++r) {
            for (int c = r; c < order; ++c) bordered(r, c) = bordered(c, r) = std::exp(-std::abs(r - c) / 3.0);
            bordered(r, order) = bordered(order, r) = 1.0;
            bordered(r, order + 1) = bordered(order + 1, r) = r;
        }
        if (order > 1) ExpectSolvesLikeEigen(bordered, true);

        // -1 below (above) a unit diagonal: L (U) is the matrix itself and
        // its comparison matrix, with an inverse of 1-norm 2^(order-1); the
        // floor is then the condition itself, less its margin.
        for (bool lower : {true, false}) {
            RowMajor triangle = RowMajor::Identity(order, order);
            for (int r = 0; r < order; ++r)
                for (int c = 0; c < r; ++c) (lower ? triangle(r, c) : triangle(c, r)) = -1.0;
            mosaro::DenseLu lu;
            ASSERT_TRUE(lu.Factorise(triangle.data(), order));
            const double reciprocal = 1.0 / (order * std::ldexp(1.0, order - 1));
            EXPECT_LE(lu.ReciprocalConditionFloor(1e-300), reciprocal);
            EXPECT_GE(lu.ReciprocalConditionFloor(1e-300), reciprocal * (1.0 - 1e-6)) << order;
        }
    }
}

TEST(DenseLu, ReportsAVanishingPivot) {
    RowMajor twice(3, 3);
    twice << 1, 2, 3, 2, 4, 6, 1, 0, 1;  // row 1 is twice row 0
    mosaro::DenseLu lu;
    EXPECT_FALSE(lu.Factorise(twice.data(), 3));
    RowMajor nearly = twice;
    nearly(1, 2) += 1e-13;
    ASSERT_TRUE(lu.Factorise(nearly.data(), 3));
    EXPECT_LT(lu.ReciprocalCondition(), 1e-12);
    EXPECT_LT(lu.SmallestPivot() / lu.LargestPivot(), 1e-12);
}

// Several systems solved at once, one per vector lane, give each system's
// bits of DenseLu one at a time: the factors' pivot ratio, the condition
// estimate and the solution, lane by lane. The lanes differ in everything
// that steers the scalar code: row exchanges, a vanishing pivot, zero
// factors next to negative zeros, estimates that stop after one step or
// run on.
TEST(DenseLu, LanesGiveEachSystemsBitsOneAtATime) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (mosaro::SolverLanes width : {mosaro::SolverLanes::kAvx2, mosaro::SolverLanes::kAvx512}) {
        const int lanes = mosaro::LaneLu::Width(width);
        if (lanes == 1 || (width == mosaro::SolverLanes::kAvx512 && lanes != 8)) continue;  // not on this processor
        for (int order : {1, 2, 3, 5, 9, 17, 26}) {
            const std::size_t n = static_cast<std::size_t>(order), w = static_cast<std::size_t>(lanes);
            std::vector<RowMajor> systems;
            std::vector<double> matrices(n * n * w), rightSides(n * w);
            for (int l = 0; l < lanes; ++l) {
                // Kriging shaped: covariances of random points (some beyond
                // the range: exact zeros), bordered by a unit row.
                const int points = order > 2 ? order - 1 : order;
                std::vector<double> x(static_cast<std::size_t>(points)), y(x.size());
                for (std::size_t p = 0; p < x.size(); ++p) x[p] = unit(random), y[p] = unit(random);
                if (l == 1 && points > 2) x[1] = x[0], y[1] = y[0];  // a duplicate: a pivot vanishes
                const double range = l == 2 ? 0.3 : 5.0;
                RowMajor a = RowMajor::Zero(order, order);
                for (int r = 0; r < points; ++r)
                    for (int c = 0; c < points; ++c) {
                        const double h = std::hypot(x[static_cast<std::size_t>(r)] - x[static_cast<std::size_t>(c)],
                                                    y[static_cast<std::size_t>(r)] - y[static_cast<std::size_t>(c)]);
                        a(r, c) = h < range ? 1.0 - 1.5 * h / range + 0.5 * std::pow(h / range, 3) : 0.0;
                    }
                if (points < order)
                    for (int r = 0; r < points; ++r) a(r, order - 1) = a(order - 1, r) = 1.0;
                if (l == 3)  // signed zeros off the diagonal, and a diagonal that dominates
                    for (int r = 0; r < order; ++r) {
                        a(r, r) = 4.0 + r;
                        for (int c = 0; c < r; ++c) a(r, c) = a(c, r) = (r + c) % 3 == 0 ? -0.0 : (r + c) % 3 - 1.5;
                    }
                if (l == 0 || l >= 5)  // symmetric indefinite: the estimate takes more steps
                    for (int r = 0; r < order; ++r)
                        for (int c = 0; c <= r; ++c) a(r, c) = a(c, r) = unit(random) - 0.5;
                for (std::size_t r = 0; r < n; ++r) {
                    for (std::size_t c = 0; c < n; ++c)
                        matrices[(static_cast<std::size_t>(l) * n + r) * n + c] =
                            a(static_cast<Eigen::Index>(r), static_cast<Eigen::Index>(c));
                    rightSides[static_cast<std::size_t>(l) * n + r] = unit(random) - 0.5;
                }
                systems.push_back(a);
            }
            std::vector<mosaro::LaneLuOutcome> outcomes(w);
            mosaro::LaneLu batch;
            ASSERT_TRUE(batch.Solve(matrices.data(), order, rightSides.data(), lanes, outcomes.data()));
            for (int l = 0; l < lanes; ++l) {
                const std::size_t lane = static_cast<std::size_t>(l);
                mosaro::DenseLu one;
                const bool regular = one.Factorise(systems[lane].data(), order, true);
                ASSERT_EQ(outcomes[lane].regular, regular)
                    << "lanes " << lanes << ", order " << order << ", lane " << l;
                if (!regular) continue;
                std::vector<double> b(n);
                for (std::size_t r = 0; r < n; ++r) b[r] = rightSides[lane * n + r];
                const double reciprocal = one.ReciprocalCondition(b.data());
                EXPECT_TRUE(same(outcomes[lane].pivotRatio, one.SmallestPivot() / one.LargestPivot())) << l;
                EXPECT_TRUE(same(outcomes[lane].reciprocalCondition, reciprocal))
                    << "lanes " << lanes << ", order " << order << ", lane " << l << ": "
                    << outcomes[lane].reciprocalCondition << " against " << reciprocal;
                for (int r = 0; r < order; ++r)
                    EXPECT_TRUE(same(batch.Solution(l, r), b[static_cast<std::size_t>(r)])) << l << ", row " << r;
            }
        }
    }
}

}  // namespace
