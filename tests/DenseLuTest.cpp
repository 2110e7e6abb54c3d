// The small dense LU of the accurate arithmetic against Eigen's pivoted LU
// and an exact condition number, on random, symmetric indefinite (kriging
// shaped) and singular matrices.
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <cmath>
#include <random>
#include <vector>

#include "systems/DenseLu.h"

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

}  // namespace
