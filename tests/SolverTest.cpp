// Solver: elimination without exchanges, the pivot guard before every single
// update, back substitution, all stored in single precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

#include "mosaro.h"
#include "systems/LaneSolver.h"
#include "systems/Solver.h"
#include "TestSupport.h"

using mosaro::f32;
using mosaro::f64;

namespace {

std::vector<float> Solve(std::vector<std::vector<float>> a, std::vector<float> b) {
    std::vector<float*> rows;
    for (auto& row : a) rows.push_back(row.data());
    std::vector<float> x(b.size(), -7.0f);
    const auto before = a;
    const auto rightBefore = b;  // the caller's arrays are never changed
    CKriging(0, 0, 0.0f, TGRIDCELLXY{1, 1, 0, 0}, TRECTXYMINMAX{0, 0, 1, 1})
        .CalculateCoefficient(rows.data(), b.data(), static_cast<int>(b.size()), x.data());
    EXPECT_TRUE(a == before && b == rightBefore);
    return x;
}

// 1e-6 held as a float is still below the 1e-6 threshold: an exact 0 moves twice.
const float kFirstMove = f32(1e-6);
const float kSecondMove = f32(f64(kFirstMove) + 1e-6);

}  // namespace

TEST(Solver, GuardMovesPivotsBelowOneMillionthAwayFromZero) {
    // One unknown: guarded once, then x = b / pivot.
    struct Case {
        float pivot, used;
    } const cases[] = {
        {4.0f, 4.0f},     {0.0f, kFirstMove}, {5e-7f, f32(f64(5e-7f) + 1e-6)}, {-5e-7f, f32(f64(-5e-7f) - 1e-6)},
        {-2e-6f, -2e-6f},
    };
    for (const Case& c : cases) EXPECT_EQ(Solve({{c.pivot}}, {3.0f})[0], f32(3.0 / f64(c.used))) << c.pivot;
}

TEST(Solver, SingularSystemsAreCarriedThroughTheGuard) {
    // Rows (0, 1), (1, 1): step 0 divides by the pivot moved once, then by
    // the pivot moved again; exact solution (1, 1), guarded one about
    // (250000, 0.5).
    const float a11 = f32(1.0 - 1.0 / f64(kFirstMove)), a12 = f32(2.0 - 1.0 / f64(kSecondMove));
    const float x1 = f32(f64(a12) / f64(a11));
    const float x0 = f32((1.0 - f64(x1)) / f64(kSecondMove));
    const std::vector<float> x = Solve({{0, 1}, {1, 1}}, {1, 2});
    EXPECT_EQ(x, (std::vector<float>{x0, x1}));
    EXPECT_NEAR(x[0], 250000.0f, 1.0f);
    EXPECT_NEAR(x[1], 0.5f, 1e-5f);

    // Rows (1, 1), (1, 1): the last pivot is exactly 0 and is guarded once.
    const std::vector<float> y = Solve({{1, 1}, {1, 1}}, {1, 2});
    EXPECT_EQ(y[1], f32(1.0 / f64(kFirstMove)));
    EXPECT_EQ(y[0], f32(1.0 - f64(y[1])));
    EXPECT_NEAR(y[0], -999999.0f, 1.0f);
}

namespace {

// Solves one augmented system with the plain form and with the fast one
// (baseline vectors, and the widest the processor offers) and checks that
// every bit of the unknowns and of the eliminated matrix agrees.
void ExpectBothFormsAgree(const std::vector<float>& augmented, int order) {
    std::vector<float> plain = augmented, plainX(static_cast<std::size_t>(order), -7.0f);
    mosaro::SolveGuardedInPlaceReference(plain.data(), order, plainX.data());
    for (bool widest : {false, true}) {
        std::vector<float> fast = augmented, fastX(plainX.size(), -7.0f);
        mosaro::SolveGuardedInPlace(fast.data(), order, fastX.data(), widest);
        EXPECT_TRUE(mosaro_test::SameBits(plainX, fastX)) << "order " << order;
        // What the back substitution reads: the upper triangle and the
        // right-hand side (the fast form may leave the lower one stale).
        for (int r = 0; r < order; ++r) {
            const std::size_t from = static_cast<std::size_t>(r * (order + 2));
            EXPECT_EQ(0,
                      std::memcmp(&plain[from], &fast[from], static_cast<std::size_t>(order + 1 - r) * sizeof(float)))
                << "order " << order << ", row " << r;
        }
    }
}

}  // namespace

namespace {

float DefaultNaN() {
    const std::uint32_t bits = 0xFFC00000u;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// An adversarial system of `order` unknowns, the kind chosen by `trial`.
std::vector<float> AdversarialSystem(std::mt19937& random, int trial, int order) {
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    // Around the guard's limit, at and beside the float nearest to 1e-6.
    const float tiny[] = {0.0f,
                          -0.0f,
                          5e-7f,
                          -5e-7f,
                          1e-6f,
                          -9.99e-7f,
                          1e-30f,
                          2e-6f,
                          std::nextafter(1e-6f, 0.0f),
                          std::nextafter(1e-6f, 1.0f),
                          -std::nextafter(1e-6f, 1.0f)};
    // The NaN of a failed operation (what a failed fit leaves), and another.
    const float nonFinite[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 1e30f,
                               DefaultNaN()};
    std::vector<float> a(static_cast<std::size_t>(order) * static_cast<std::size_t>(order + 1));
    for (float& v : a) v = u(random);
    // Entries a few units in the last place apart: every product and
    // quotient lands near a rounding boundary, rows nearly cancel.
    if (trial % 5 == 1)
        for (float& v : a) v = 1.0f + static_cast<float>(random() % 8) * std::numeric_limits<float>::epsilon();
    // Kriging-like systems: symmetric with a zero border block, which
    // makes the last pivots vanish or nearly so.
    if (trial % 3 == 0 || trial % 5 == 1) {
        const int border = trial % 3 == 0 ? 1 + static_cast<int>(random() % 3) : 0;
        for (int r = 0; r < order; ++r)
            for (int c = 0; c < order; ++c) {
                float& v = a[static_cast<std::size_t>(r * (order + 1) + c)];
                if (r >= order - border && c >= order - border) v = 0.0f;
                else if (c < r) v = a[static_cast<std::size_t>(c * (order + 1) + r)];
            }
    }
    // Pivots the guard must move (once, twice, or not at all), and
    // entries that are not finite.
    const int spoiled = static_cast<int>(random() % 4);
    for (int s = 0; s < spoiled; ++s) {
        const int k = static_cast<int>(random() % static_cast<unsigned>(order));
        a[static_cast<std::size_t>(k * (order + 2))] = tiny[random() % std::size(tiny)];
    }
    if (trial % 50 == 0) a[random() % a.size()] = nonFinite[random() % 4];
    if (trial % 11 == 0) a[random() % a.size()] = DefaultNaN();
    // Duplicate rows: singular, pivots cancel to exact zeros. Every
    // other time the column too (two samples at one location), which
    // keeps the system symmetric until the guard moves a pivot.
    if (trial % 7 == 0 && order > 2) {
        std::copy_n(a.begin(), order + 1, a.begin() + (order + 1));
        if (trial % 2 == 0)
            for (int r = 0; r < order; ++r)
                a[static_cast<std::size_t>(r * (order + 1) + 1)] = a[static_cast<std::size_t>(r * (order + 1))];
    }
    return a;
}

}  // namespace

TEST(Solver, FastFormGivesThePlainFormsBits) {
    std::mt19937 random(42);
    for (int trial = 0; trial < 3000; ++trial) {
        const int order = 1 + static_cast<int>(random() % 24);
        ExpectBothFormsAgree(AdversarialSystem(random, trial, order), order);
    }
    ExpectBothFormsAgree(std::vector<float>(20 * 21, 0.0f), 20);  // every pivot moved twice
}

// Systems of one order side by side, one per lane, each held to the plain
// form's unknowns and upper triangle. The lanes of one call mix kinds, so a
// lane the guard acts on sits beside lanes it leaves alone, and a
// non-symmetric lane beside symmetric ones.
TEST(Solver, LanesGiveThePlainFormsBitsAtEveryWidth) {
    for (mosaro::SolverLanes width : {mosaro::SolverLanes::kAvx2, mosaro::SolverLanes::kAvx512}) {
        const int lanes = mosaro::SolverLaneCount(width);
        if (lanes == 1 || (width == mosaro::SolverLanes::kAvx512 && lanes != 8)) {
            std::printf("this processor lacks the width; not tested\n");
            continue;
        }
        std::mt19937 random(7);
        int solved = 0;
        for (int call = 0; call < 1500; ++call) {
            const int order = 1 + static_cast<int>(random() % 24);
            const std::size_t size = static_cast<std::size_t>(order) * static_cast<std::size_t>(order + 1);
            std::vector<std::vector<float>> systems;
            std::vector<float> together(size * static_cast<std::size_t>(lanes)),
                x(static_cast<std::size_t>(order * lanes));
            for (int l = 0; l < lanes; ++l) {
                systems.push_back(AdversarialSystem(random, call * lanes + l, order));
                for (std::size_t k = 0; k < size; ++k)
                    together[k * static_cast<std::size_t>(lanes) + static_cast<std::size_t>(l)] = systems.back()[k];
            }
            if (!mosaro::SolveLanesGuardedInPlace(together.data(), order, x.data(), lanes)) {
                bool anyNaN = false;
                for (const auto& a : systems)
                    anyNaN |= std::any_of(a.begin(), a.end(), [](float v) { return std::isnan(v); });
                EXPECT_TRUE(anyNaN) << "refused without a NaN, call " << call;
                continue;
            }
            ++solved;
            for (int l = 0; l < lanes; ++l) {
                std::vector<float> plain = systems[static_cast<std::size_t>(l)],
                                   plainX(static_cast<std::size_t>(order));
                mosaro::SolveGuardedInPlaceReference(plain.data(), order, plainX.data());
                for (int i = 0; i < order; ++i) {
                    ASSERT_TRUE(mosaro_test::SameBits(std::vector<float>{plainX[static_cast<std::size_t>(i)]},
                                                      std::vector<float>{x[static_cast<std::size_t>(i * lanes + l)]}))
                        << "lanes " << lanes << ", call " << call << ", lane " << l << ", unknown " << i;
                    for (int c = i; c <= order; ++c) {
                        const std::size_t k = static_cast<std::size_t>(i * (order + 1) + c);
                        ASSERT_EQ(
                            0, std::memcmp(&plain[k],
                                           &together[k * static_cast<std::size_t>(lanes) + static_cast<std::size_t>(l)],
                                           sizeof(float)))
                            << "lanes " << lanes << ", call " << call << ", lane " << l << ", entry " << i << "," << c;
                    }
                }
            }
        }
        EXPECT_GT(solved, 1000);
    }
}
