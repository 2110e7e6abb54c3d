// Sequential Gaussian simulation: what its realisations must reproduce
// (the normal-score histogram, the model's variogram, the data at their
// nodes, the simple-kriging map as their mean), the same bits for a seed at
// any thread count, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <future>
#include <random>
#include <thread>
#include <vector>

#include <Eigen/Dense>

#include "methods/NormalScores.h"
#include "mosaro.h"
#include "pipeline/OrderedDelivery.h"
#include "platform/Random.h"
#include "sweeps/SequentialSimulation.h"
#include "systems/Cholesky.h"

namespace {

constexpr int kSide = 60;       // nodes per side of the grid, cell 1: twelve ranges
constexpr double kRange = 5.0;  // of the model

// A Gaussian field (mean 0, the exponential model with sill 1) at `count`
// nodes of the grid, by the Cholesky factor of its covariance.
struct Field {
    std::vector<double> x, y, v;
};
Field GaussianSamples(unsigned seed, int count) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> node(0, kSide - 1);
    std::normal_distribution<double> normal;
    Field f;
    while (static_cast<int>(f.x.size()) < count) {
        const double x = node(random), y = node(random);
        bool taken = false;
        for (std::size_t i = 0; i < f.x.size(); ++i) taken = taken || (f.x[i] == x && f.y[i] == y);
        if (!taken) f.x.push_back(x), f.y.push_back(y);
    }
    Eigen::MatrixXd c(count, count);
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < count; ++j)
            c(i, j) = std::exp(-std::hypot(f.x[static_cast<std::size_t>(i)] - f.x[static_cast<std::size_t>(j)],
                                           f.y[static_cast<std::size_t>(i)] - f.y[static_cast<std::size_t>(j)]) /
                               kRange);
    Eigen::VectorXd z(count);
    for (int i = 0; i < count; ++i) z(i) = normal(random);
    const Eigen::VectorXd g = c.llt().matrixL() * z;
    f.v.assign(g.data(), g.data() + count);
    return f;
}

struct Simulation {
    mosaro_simulation s;
    mosaro_model model;
    std::vector<double> values;
    Simulation(const Field& f, int realisations) {
        mosaro_simulation_init(&s);
        mosaro_model_init(&model);
        EXPECT_EQ(mosaro_model_parse("1 Exp(5)", &model), MOSARO_OK);
        s.x = f.x.data(), s.y = f.y.data(), s.value = f.v.data(), s.sample_count = static_cast<int>(f.x.size());
        s.model = &model;
        s.cell_size_x = s.cell_size_y = 1;
        s.node_count_x = s.node_count_y = kSide;
        s.realisations = realisations;
        s.seed = 2026;
        values.assign(static_cast<std::size_t>(realisations) * kSide * kSide, 0.0);
        s.values = values.data();
    }
    double At(int r, int node) const {
        return values[static_cast<std::size_t>(r) * kSide * kSide + static_cast<std::size_t>(node)];
    }
};

}  // namespace

// The variogram along x of a realisation's values, lags 1 .. maxLag cells.
std::vector<double> RowVariogram(const std::vector<double>& v, int side, int maxLag) {
    std::vector<double> gamma(static_cast<std::size_t>(maxLag) + 1, 0.0);
    for (int h = 1; h <= maxLag; ++h) {
        double sum = 0.0;
        for (int j = 0; j < side; ++j)
            for (int i = 0; i + h < side; ++i) {
                const double d =
                    v[static_cast<std::size_t>(j * side + i)] - v[static_cast<std::size_t>(j * side + i + h)];
                sum += d * d;
            }
        gamma[static_cast<std::size_t>(h)] = sum / (2.0 * side * (side - h));
    }
    return gamma;
}

TEST(Simulation, RealisationsReproduceTheNormalHistogramAndTheModelsVariogram) {
    // Unconditional realisations of 1 Exp(3) on 80 x 80 nodes: the domain
    // holds some 700 correlation areas, so the averages over 50 realisations
    // stand within a few hundredths of what the model says.
    constexpr int side = 80;
    Simulation sim(Field{}, 50);
    EXPECT_EQ(mosaro_model_parse("1 Exp(3)", &sim.model), MOSARO_OK);
    sim.s.node_count_x = sim.s.node_count_y = side;
    sim.values.assign(50u * side * side, 0.0);
    sim.s.values = sim.values.data();
    ASSERT_EQ(mosaro_simulate(&sim.s, nullptr), MOSARO_OK) << mosaro_last_message();
    double meanOfMeans = 0.0, meanOfVariances = 0.0;
    std::vector<double> gamma(4, 0.0);
    for (int r = 0; r < 50; ++r) {
        const std::vector<double> v(sim.values.begin() + r * side * side, sim.values.begin() + (r + 1) * side * side);
        double mean = 0.0, square = 0.0;
        for (double e : v) mean += e, square += e * e;
        mean /= v.size();
        meanOfMeans += mean / 50, meanOfVariances += (square / v.size() - mean * mean) / 50;
        const std::vector<double> g = RowVariogram(v, side, 3);
        for (int h = 1; h <= 3; ++h) gamma[static_cast<std::size_t>(h)] += g[static_cast<std::size_t>(h)] / 50;
    }
    EXPECT_NEAR(meanOfMeans, 0.0, 0.05);
    EXPECT_NEAR(meanOfVariances, 1.0, 0.1);
    for (int h = 1; h <= 3; ++h) {
        const double model = 1.0 - std::exp(-h / 3.0);
        EXPECT_NEAR(gamma[static_cast<std::size_t>(h)], model, 0.15 * model) << "lag " << h;
    }
}

TEST(Simulation, ConditionalRealisationsHonourTheDataAndKeepTheVariogram) {
    const Field f = GaussianSamples(1, 150);
    Simulation sim(f, 50);
    ASSERT_EQ(mosaro_simulate(&sim.s, nullptr), MOSARO_OK) << mosaro_last_message();
    std::vector<double> gamma(static_cast<std::size_t>(kRange) + 1, 0.0);
    std::vector<double> sorted = f.v;
    std::sort(sorted.begin(), sorted.end());
    const auto score = [&](std::size_t i) { return mosaro::InverseNormal((i + 0.5) / sorted.size()); };
    for (int r = 0; r < 50; ++r) {
        for (std::size_t i = 0; i < f.x.size(); ++i)
            ASSERT_EQ(sim.At(r, static_cast<int>(f.y[i]) * kSide + static_cast<int>(f.x[i])), f.v[i]) << r << ", " << i;
        // Each simulated value back to its normal score: linear between the
        // data's (value, score) pairs, the inverse of the back-transform.
        std::vector<double> y(kSide * kSide);
        for (int k = 0; k < kSide * kSide; ++k) {
            const double v = sim.At(r, k);
            const std::size_t hi =
                static_cast<std::size_t>(std::lower_bound(sorted.begin(), sorted.end(), v) - sorted.begin());
            y[static_cast<std::size_t>(k)] = hi == 0               ? score(0)
                                             : hi == sorted.size() ? score(hi - 1)
                                                                   : score(hi - 1) + (v - sorted[hi - 1]) /
                                                                                         (sorted[hi] - sorted[hi - 1]) *
                                                                                         (score(hi) - score(hi - 1));
        }
        const std::vector<double> g = RowVariogram(y, kSide, static_cast<int>(kRange));
        for (std::size_t h = 1; h < gamma.size(); ++h) gamma[h] += g[h] / 50;
    }
    // The data are Gaussian with unit sill: the model is their scores'.
    for (std::size_t h = 1; h < gamma.size(); ++h) {
        const double model = 1.0 - std::exp(-static_cast<double>(h) / kRange);
        EXPECT_NEAR(gamma[h], model, 0.15 * model) << "lag " << h;
    }
}

TEST(Simulation, TheMeanOfManyRealisationsApproachesSimpleKriging) {
    const Field f = GaussianSamples(2, 60);
    Simulation sim(f, 200);
    std::vector<double> mean(kSide * kSide);
    sim.s.etype_mean = mean.data();
    sim.s.values = nullptr;
    ASSERT_EQ(mosaro_simulate(&sim.s, nullptr), MOSARO_OK) << mosaro_last_message();
    // Simple kriging (mean 0) of the normal scores, taken back, is about the
    // mean map where the back-transform is nearly linear: compare in the
    // middle of the data's range.
    mosaro_prediction p;
    mosaro_prediction_init(&p);
    const mosaro::NormalScores scores(f.v, std::nan(""), std::nan(""));
    p.x = f.x.data(), p.y = f.y.data(), p.value = scores.Scores().data(), p.sample_count = 60;
    p.model = &sim.model, p.kind = MOSARO_KIND_SIMPLE, p.mean = 0.0, p.nmax = 32;
    p.cell_size_x = p.cell_size_y = 1, p.node_count_x = p.node_count_y = kSide;
    std::vector<double> kriged(kSide * kSide), variance(kSide * kSide);
    p.estimate = kriged.data(), p.variance = variance.data();
    ASSERT_EQ(mosaro_predict(&p, nullptr), MOSARO_OK) << mosaro_last_message();
    int compared = 0;
    double worst = 0.0;
    for (int k = 0; k < kSide * kSide; ++k) {
        if (variance[static_cast<std::size_t>(k)] > 0.3) continue;  // near the data, where the mean converges fast
        ++compared;
        worst = std::max(
            worst, std::fabs(mean[static_cast<std::size_t>(k)] - scores.Back(kriged[static_cast<std::size_t>(k)])));
    }
    EXPECT_GT(compared, 100);
    EXPECT_LT(worst, 0.25);
}

TEST(Simulation, ASeedGivesTheSameBitsAtEveryThreadCountAndAnotherSeedOthers) {
    const Field f = GaussianSamples(3, 30);
    std::vector<double> first;
    for (int threads : {1, 2, 8}) {
        Simulation sim(f, 6);
        sim.s.thread_count = threads;
        ASSERT_EQ(mosaro_simulate(&sim.s, nullptr), MOSARO_OK);
        if (first.empty()) first = sim.values;
        EXPECT_EQ(std::memcmp(first.data(), sim.values.data(), first.size() * sizeof(double)), 0) << threads;
    }
    Simulation other(f, 6);
    other.s.seed = 7;
    ASSERT_EQ(mosaro_simulate(&other.s, nullptr), MOSARO_OK);
    EXPECT_NE(std::memcmp(first.data(), other.values.data(), first.size() * sizeof(double)), 0);

    // The bits themselves are pinned: a change that moves them says so. The
    // samples lie between the nodes, so that each node's system holds
    // samples and simulated nodes and every way of filling it is met.
    Field between = f;
    for (double& x : between.x) x += 0.5;
    for (double& y : between.y) y += 0.25;
    const auto hashOf = [](Simulation& pinned) {
        EXPECT_EQ(mosaro_simulate(&pinned.s, nullptr), MOSARO_OK);
        std::uint64_t hash = 14695981039346656037u;
        for (double v : pinned.values) {
            std::uint64_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            hash = (hash ^ bits) * 1099511628211u;
        }
        return hash;
    };
    Simulation pinned(between, 2);
    EXPECT_EQ(hashOf(pinned), 4123290962176209129u);
    // A search radius that leaves out some of a node's nearest samples.
    Simulation close(between, 2);
    close.s.max_distance = 3.0;
    close.s.nmax = 8;
    EXPECT_EQ(hashOf(close), 2557178052194848334u);
    // The nearest of samples and simulated nodes together, with samples as
    // far from many nodes as some of their neighbours (3-4-5 triangles):
    // on a tie the sample comes first.
    Field triangles = f;
    for (double& x : triangles.x) x = 5 * x + 3;
    for (double& y : triangles.y) y = 5 * y + 4;
    Simulation together(triangles, 2);
    together.s.cell_size_x = together.s.cell_size_y = 5;
    together.s.nmax = 8;
    together.s.nmax_simulated = -1;
    EXPECT_EQ(hashOf(together), 13161043144217380218u);
    // A grid wider than the table of node covariances reaches: early in a
    // path two simulated neighbours lie farther apart than it covers, and
    // the range keeps their covariance far from zero.
    Simulation wide(f, 2);
    ASSERT_EQ(mosaro_model_parse("1 Exp(300)", &wide.model), MOSARO_OK);
    wide.s.node_count_x = 600;
    wide.s.node_count_y = 2;
    EXPECT_EQ(hashOf(wide), 8515518481771267829u);
}

// Realisations reach the host in order whatever order they finish in: one
// finished ahead of its turn is kept and its worker not held (up to the
// number allowed; past it a worker waits), the summaries are those of
// realisation order, and nothing is handed on after a refusal.
TEST(Simulation, RealisationsFinishedAheadOfTheirTurnAreKeptAndHandedOnInOrder) {
    const std::vector<std::vector<double>> made = {{1.0, -2.0}, {3.0, 0.5}, {-1.0, 4.0}, {2.0, 2.0}};
    const double threshold = 1.5;
    struct Summaries {
        double mean[2], variance[2], above[2];
        std::vector<int> order;
        mosaro::SimulationOutputs outputs;
        explicit Summaries(const double& threshold) {
            outputs.deliver = [this](int r, const std::vector<double>&) {
                order.push_back(r);
                return true;
            };
            outputs.mean = mean, outputs.variance = variance, outputs.exceedance = above;
            outputs.thresholds = &threshold, outputs.thresholdCount = 1;
        }
    };
    Summaries inOrder(threshold), scrambled(threshold);
    mosaro::OrderedDelivery direct(inOrder.outputs, 2, 0);
    for (int r = 0; r < 4; ++r) EXPECT_TRUE(direct.Deliver(r, made[static_cast<std::size_t>(r)]));
    direct.Finish();

    mosaro::OrderedDelivery delivery(scrambled.outputs, 2, 1);
    EXPECT_TRUE(delivery.Deliver(2, made[2]));  // kept: returns at once
    // No room is left for 3: it waits for its turn. The hand-overs run
    // aside, so that one gone wrong fails the test instead of holding it.
    std::thread late([&] { EXPECT_TRUE(delivery.Deliver(3, made[3])); });
    std::vector<int> afterZero;
    auto rest = std::async(std::launch::async, [&] {
        const bool zero = delivery.Deliver(0, made[0]);  // 1 is missing: 2 stays
        afterZero = scrambled.order;
        return zero && delivery.Deliver(1, made[1]);
    });
    if (rest.wait_for(std::chrono::seconds(20)) != std::future_status::ready) delivery.Stop();
    EXPECT_TRUE(rest.get());
    late.join();
    EXPECT_EQ(afterZero, std::vector<int>{0});
    EXPECT_EQ(scrambled.order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(delivery.Delivered(), 4);
    delivery.Finish();
    EXPECT_EQ(std::memcmp(inOrder.mean, scrambled.mean, sizeof inOrder.mean), 0);
    EXPECT_EQ(std::memcmp(inOrder.variance, scrambled.variance, sizeof inOrder.variance), 0);
    EXPECT_NEAR(scrambled.mean[0], 1.25, 1e-15);
    EXPECT_NEAR(scrambled.variance[1], (3.125 * 3.125 + 0.625 * 0.625 + 2.875 * 2.875 + 0.875 * 0.875) / 4, 1e-14);
    EXPECT_EQ(scrambled.above[0], 0.5);
    EXPECT_EQ(scrambled.above[1], 0.5);

    // A refusal met among the kept ones ends the hand-over there.
    std::vector<int> handed;
    mosaro::SimulationOutputs refusing;
    refusing.deliver = [&](int r, const std::vector<double>&) {
        handed.push_back(r);
        return r != 1;
    };
    mosaro::OrderedDelivery stopping(refusing, 2, 3);
    EXPECT_TRUE(stopping.Deliver(1, made[1]));
    EXPECT_TRUE(stopping.Deliver(2, made[2]));
    EXPECT_FALSE(stopping.Deliver(0, made[0]));
    EXPECT_FALSE(stopping.Deliver(3, made[3]));
    EXPECT_EQ(handed, (std::vector<int>{0, 1}));
    EXPECT_EQ(stopping.Delivered(), 2);
}

// The exponential model of the generated fields.
struct Exponential : mosaro::CovarianceModel {
    double At(double dx, double dy) const override { return std::exp(-std::hypot(dx, dy) / kRange); }
    double Sill() const override { return 1.0; }
    double Nugget() const override { return 0.0; }
    bool Usable() const override { return true; }
};

// The factorisation as textbook steps, one at a time, whose every rounding
// the library's must repeat: the upper factor row by row, each root kept as
// its reciprocal, then the forward substitution of each right side.
std::vector<double> ProjectedOneStepAtATime(std::vector<double> a, std::vector<double> sides) {
    const std::size_t n = static_cast<std::size_t>(std::lround(std::sqrt(static_cast<double>(a.size()))));
    for (std::size_t k = 0; k < n; ++k) {
        a[k * n + k] = 1.0 / std::sqrt(a[k * n + k]);
        for (std::size_t j = k + 1; j < n; ++j) a[k * n + j] = a[k * n + j] * a[k * n + k];
        for (std::size_t i = k + 1; i < n; ++i)
            for (std::size_t j = i; j < n; ++j) a[i * n + j] = a[i * n + j] - a[k * n + i] * a[k * n + j];
    }
    for (std::size_t at = 0; at < sides.size(); at += n) {
        double* b = &sides[at];
        for (std::size_t k = 0; k < n; ++k) {
            b[k] = b[k] * a[k * n + k];
            for (std::size_t i = k + 1; i < n; ++i) b[i] = b[i] - a[k * n + i] * b[k];
        }
    }
    return sides;
}

TEST(Simulation, RealisationsSolvedInLanesHaveTheBitsOfLoneOnes) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    // Orders from 1 to beyond a row block of four, one and two right sides:
    // the textbook's bits, and y . z and y . y are the kriging estimate
    // c^T A^-1 v and the variance's reduction c^T A^-1 c.
    std::mt19937 own(17);
    for (int order = 1; order <= 12; ++order) {
        Eigen::MatrixXd m(order, order);
        for (int e = 0; e < order * order; ++e) m.data()[e] = u(own);
        m = m * m.transpose() + 0.5 * Eigen::MatrixXd::Identity(order, order);
        std::vector<double> a(m.data(), m.data() + order * order), sides(2 * static_cast<std::size_t>(order));
        for (double& v : sides) v = u(own);
        const std::vector<double> expected = ProjectedOneStepAtATime(a, sides);
        const Eigen::Map<const Eigen::VectorXd> c(sides.data(), order), v(sides.data() + order, order);
        const double estimate = c.dot(m.llt().solve(v)), reduction = c.dot(m.llt().solve(c));
        std::vector<double> one(sides.begin(), sides.begin() + order), factor = a;
        EXPECT_EQ(mosaro::CholeskyProjectLanes(factor.data(), order, one.data(), 1, 1), 0u);
        EXPECT_EQ(std::memcmp(one.data(), expected.data(), one.size() * sizeof(double)), 0) << "order " << order;
        EXPECT_EQ(mosaro::CholeskyProjectLanes(a.data(), order, sides.data(), 2, 1), 0u);
        EXPECT_EQ(std::memcmp(sides.data(), expected.data(), sides.size() * sizeof(double)), 0) << "order " << order;
        const Eigen::Map<const Eigen::VectorXd> y(sides.data(), order), z(sides.data() + order, order);
        EXPECT_NEAR(y.dot(z), estimate, 1e-12 * (1.0 + std::fabs(estimate))) << "order " << order;
        EXPECT_NEAR(y.dot(y), reduction, 1e-12 * (1.0 + reduction)) << "order " << order;
    }

    // Systems of several orders padded to one, and a singular one, each
    // against its lone factorisation; 16 and 32 are compiled for their
    // order. The singular system's pivot is rounding, of either sign, so a
    // floor far above rounding and far below the others' pivots (0.5 and
    // more) flags it, as in a simulation.
    constexpr int kLanes = mosaro::kCholeskyLanes;
    constexpr double kFloor = 1e-9;
    for (const int kOrder : {9, 16, 32}) {
        std::vector<double> packed(static_cast<std::size_t>(kOrder * kOrder * kLanes), 0.0),
            right(static_cast<std::size_t>(2 * kOrder * kLanes), 0.0), alone[kLanes];
        for (int l = 0; l < kLanes; ++l) {
            const int order = kOrder - 2 * l;
            Eigen::MatrixXd m = Eigen::MatrixXd::Random(order, order);
            m = m * m.transpose() + (l == 2 ? 0.0 : 0.5) * Eigen::MatrixXd::Identity(order, order);
            // A product of this size is not always symmetric to the last bit,
            // and the lone system reads the other triangle.
            m = (0.5 * (m + m.transpose())).eval();
            if (l == 2) m.row(1) = m.row(0), m.col(1) = m.col(0);  // two equal rows: no Cholesky factor
            std::vector<double> a(m.data(), m.data() + order * order), b(2 * static_cast<std::size_t>(order));
            for (int r = 0; r < kOrder; ++r)
                for (int c = 0; c < kOrder; ++c) {
                    const double padding = r == c ? 1.0 : 0.0;
                    packed[static_cast<std::size_t>((r * kOrder + c) * kLanes + l)] =
                        r < order && c < order ? m(r, c) : padding;
                }
            for (int s = 0; s < 2; ++s)
                for (int r = 0; r < order; ++r)
                    right[static_cast<std::size_t>((s * kOrder + r) * kLanes + l)] =
                        b[static_cast<std::size_t>(s * order + r)] = u(random);
            EXPECT_EQ(mosaro::CholeskyProjectLanes(a.data(), order, b.data(), 2, 1, kFloor), l == 2 ? 1u : 0u)
                << "order " << kOrder;
            alone[l] = b;
        }
        EXPECT_EQ(mosaro::CholeskyProjectLanes(packed.data(), kOrder, right.data(), 2, kLanes, kFloor), 1u << 2)
            << "order " << kOrder;
        for (int l = 0; l < kLanes; ++l) {
            const int order = kOrder - 2 * l;
            for (int s = 0; l != 2 && s < 2; ++s)
                for (int r = 0; r < order; ++r)
                    EXPECT_EQ(right[static_cast<std::size_t>((s * kOrder + r) * kLanes + l)],
                              alone[l][static_cast<std::size_t>(s * order + r)])
                        << "order " << kOrder << ", lane " << l << ", side " << s << ", row " << r;
        }
    }

    // Whole realisations, with separate sample and node counts (so that
    // the orders differ between lanes and steps) and two samples at one
    // place off the nodes (singular systems).
    Field f = GaussianSamples(11, 25);
    f.x.push_back(20.5), f.y.push_back(30.5), f.v.push_back(0.3);
    f.x.push_back(20.5), f.y.push_back(30.5), f.v.push_back(-0.3);
    mosaro::SimulationGrid grid;
    grid.columns = 40, grid.rows = 45;
    mosaro::SimulationNeighbourhood near;
    near.samples = 6, near.simulated = 10, near.radius = 4 * kRange;
    const Exponential model;
    const mosaro::SimulationPlan plan(grid, f.x, f.y, f.v, model, near, 1);
    mosaro::SequentialSimulator lanes(plan, kLanes), lone(plan, 1);
    std::vector<double> together[kLanes], single;
    lanes.Run(9, 4, kLanes, together);
    for (int r = 0; r < kLanes; ++r) {
        lone.Run(9, 4 + r, 1, &single);
        EXPECT_EQ(std::memcmp(single.data(), together[r].data(), single.size() * sizeof(double)), 0) << r;
        EXPECT_TRUE(std::all_of(single.begin(), single.end(), [](double v) { return std::isfinite(v); })) << r;
    }
    // Every sample in every system: the two at one place take half a lone
    // sample's weight each, so they act as one sample of their mean value
    // (a pivot left at rounding size instead would add an error of the
    // order of their difference).
    Field merged = f;
    merged.x.pop_back(), merged.y.pop_back(), merged.v.pop_back();
    merged.v.back() = 0.0;
    near.samples = static_cast<int>(f.x.size());
    const mosaro::SimulationPlan pair(grid, f.x, f.y, f.v, model, near, 1),
        one(grid, merged.x, merged.y, merged.v, model, near, 1);
    std::vector<double> fromPair, fromOne;
    mosaro::SequentialSimulator(pair, 1).Run(9, 4, 1, &fromPair);
    mosaro::SequentialSimulator(one, 1).Run(9, 4, 1, &fromOne);
    for (std::size_t k = 0; k < fromOne.size(); ++k) ASSERT_NEAR(fromPair[k], fromOne[k], 1e-12) << k;
}

TEST(Simulation, RefusalsAndTheThresholdWarning) {
    const Field f = GaussianSamples(4, 20);
    Simulation none(f, 2);
    none.s.sample_count = 0, none.s.model = nullptr;
    EXPECT_EQ(mosaro_simulate(&none.s, nullptr), MOSARO_ERROR_MODEL);
    Simulation power(f, 2);
    EXPECT_EQ(mosaro_model_parse("1 Pow(1)", &power.model), MOSARO_OK);
    EXPECT_EQ(mosaro_simulate(&power.s, nullptr), MOSARO_ERROR_MODEL);
    Simulation zero(f, 0);
    EXPECT_EQ(mosaro_simulate(&zero.s, nullptr), MOSARO_ERROR_REALISATIONS);
    Simulation outside(f, 2);
    const double thresholds[1] = {1e6};
    std::vector<double> exceedance(kSide * kSide, -1.0);
    outside.s.thresholds = thresholds, outside.s.threshold_count = 1, outside.s.exceedance = exceedance.data();
    EXPECT_EQ(mosaro_simulate(&outside.s, nullptr), MOSARO_WARNING_THRESHOLD_OUTSIDE);
    EXPECT_EQ(exceedance[0], 0.0);
    // Unconditional, from the model alone.
    Simulation free(f, 3);
    free.s.sample_count = 0;
    free.s.mean = 10.0;
    ASSERT_EQ(mosaro_simulate(&free.s, nullptr), MOSARO_OK) << mosaro_last_message();
    double mean = 0.0;
    for (double v : free.values) mean += v / free.values.size();
    EXPECT_NEAR(mean, 10.0, 1.0);
}

TEST(Simulation, NormalDistributionAndItsInverseAgreeWithKnownValuesAndEachOther) {
    struct Case {
        double x, p;
    } const cases[] = {{1.959963984540054, 0.975},
                       {-6.361340902404056, 1e-10},
                       {0.0, 0.5},
                       {-8.0, 6.22096057427178e-16},
                       {3.090232306167813, 0.999},
                       {-1.0, 0.15865525393145707},
                       // Far tails, down to the smallest normal double.
                       {-20.0, 2.7536241186062337e-89},
                       {-30.0, 4.9067139271481872e-198},
                       {-37.5, 4.6053530095819552e-308}};
    for (const Case& c : cases) {
        EXPECT_NEAR(mosaro::NormalDistribution(c.x), c.p, 2e-15 * c.p + 1e-17) << c.x;
        EXPECT_NEAR(mosaro::InverseNormal(c.p), c.x, 1e-14 * std::fabs(c.x) + 1e-15) << c.p;
    }
    for (double p = 1e-12; p < 1.0; p *= 1.7)
        EXPECT_NEAR(mosaro::NormalDistribution(mosaro::InverseNormal(p)), p, 1e-13 * p);
}

TEST(Simulation, NormalScoresAndTheRandomStreamFollowTheirClosedForms) {
    // Ranks 1, 2 and 3 (a tie), 4 of four values: probabilities (rank - 1/2) / n,
    // the tie at the mean of its two.
    const mosaro::NormalScores scores({3.0, 1.0, 2.0, 2.0}, 0.0, 5.0);
    const double low = mosaro::InverseNormal(0.125), high = mosaro::InverseNormal(0.875);
    EXPECT_EQ(scores.Scores(), (std::vector<double>{high, low, 0.0, 0.0}));
    // Back: the data's values at their scores, linear between them, and
    // linear in probability towards the bounds 0 and 5 in the tails.
    EXPECT_EQ(scores.Back(high), 3.0);
    EXPECT_NEAR(scores.Back(0.5 * low), 1.5, 1e-15);
    EXPECT_NEAR(scores.Back(mosaro::InverseNormal(0.0625)), 0.5, 1e-12);
    EXPECT_NEAR(scores.Back(mosaro::InverseNormal(0.9375)), 4.0, 1e-12);

    // Between the scores, the bits of a plain binary search and
    // interpolation, for data whose scores crowd some slices of their
    // range and leave others empty (ties, a cluster, outliers), at every
    // score of the data, halfway between neighbours and at random.
    std::vector<double> skewed = {7.0, 7.0, 7.0, -40.0, 1e-3, 2e-3, 3e-3, 1e6};
    std::mt19937 random(3);
    std::lognormal_distribution<double> spread(0.0, 2.0);
    for (int k = 0; k < 300; ++k) skewed.push_back(std::round(spread(random) * 8.0) / 8.0);
    const mosaro::NormalScores many(skewed, std::nan(""), std::nan(""));
    std::vector<std::pair<double, double>> pairs;  // (score, value), distinct and ascending
    for (std::size_t k = 0; k < skewed.size(); ++k) pairs.emplace_back(many.Scores()[k], skewed[k]);
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    const auto plain = [&](double z) {
        const auto at = std::lower_bound(pairs.begin(), pairs.end(), std::make_pair(z, -HUGE_VAL));
        if (at->first == z) return at->second;
        const auto before = at - 1;
        const double t = (z - before->first) / (at->first - before->first);
        return before->second + t * (at->second - before->second);
    };
    std::vector<double> probes;
    for (std::size_t k = 0; k + 1 < pairs.size(); ++k) {
        probes.push_back(pairs[k + 1].first);
        probes.push_back(0.5 * (pairs[k].first + pairs[k + 1].first));
    }
    std::uniform_real_distribution<double> inside(pairs.front().first, pairs.back().first);
    for (int k = 0; k < 2000; ++k) probes.push_back(inside(random));
    for (const double z : probes) {
        if (!(z > pairs.front().first && z < pairs.back().first)) continue;
        const double found = many.Back(z), expected = plain(z);
        EXPECT_EQ(std::memcmp(&found, &expected, sizeof found), 0) << z;
    }

    // Below is the high word of the 128-bit product; uniforms fill (0, 1).
    mosaro::RandomStream a(7, 3), b(7, 3);
    double sum = 0.0, largest = 0.0;
    for (int k = 0; k < 100000; ++k) {
        const std::uint64_t bound = k % 2 ? 0xFFFFFFFFFFFFull - static_cast<std::uint64_t>(k) : 1000u + k;
        ASSERT_EQ(a.Below(bound), static_cast<std::uint64_t>((static_cast<unsigned __int128>(b.Next()) * bound) >> 64));
        const double u = a.Uniform();
        b.Next();
        sum += u, largest = std::max(largest, u);
    }
    EXPECT_NEAR(sum / 100000, 0.5, 0.005);
    EXPECT_GT(largest, 0.999);

    // Deviates drawn by the block are those drawn one at a time, and leave
    // the stream where those would: blocks short and long, tails included.
    mosaro::RandomStream byBlock(11, 2), oneByOne(11, 2);
    for (const std::size_t count : {1, 3, 64, 65, 300}) {
        std::vector<double> block(count);
        byBlock.Normals(block.data(), count);
        for (const double deviate : block) {
            const double alone = oneByOne.Normal();
            ASSERT_EQ(std::memcmp(&deviate, &alone, sizeof alone), 0) << count;
        }
    }
    EXPECT_EQ(byBlock.Next(), oneByOne.Next());
}
