// Prediction in double precision through the C API: each kind against an
// independent computation (closed forms, a trend it must reproduce, a
// system solved here), the neighbourhood against brute force, the promises
// (a window has the whole grid's bits, the thread count changes nothing,
// far coordinates keep their precision) and every refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <Eigen/Dense>

#include "mosaro.h"
#include "neighbours/SearchNeighbourhood.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Samples {
    std::vector<double> x, y, v, covariate;
};

// Scattered samples of a smooth field over [0, 100]^2.
Samples Field(unsigned seed, int count, double offsetX = 0.0, double offsetY = 0.0) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> place(0.0, 100.0), noise(-0.5, 0.5);
    Samples s;
    for (int i = 0; i < count; ++i) {
        const double x = place(random), y = place(random);
        s.x.push_back(x + offsetX);
        s.y.push_back(y + offsetY);
        s.v.push_back(10.0 + std::sin(x / 13.0) * std::cos(y / 17.0) * 4.0 + noise(random));
        s.covariate.push_back(0.3 * x + noise(random));
    }
    return s;
}

mosaro_model Model(const char* text) {
    mosaro_model m;
    mosaro_model_init(&m);
    EXPECT_EQ(mosaro_model_parse(text, &m), MOSARO_OK) << mosaro_last_message();
    return m;
}

struct Prediction {
    mosaro_prediction p;
    mosaro_model model;
    std::vector<double> estimate, variance, targetX, targetY;
    mosaro_prediction_report report{};

    Prediction(const Samples& s, const char* modelText) {
        mosaro_prediction_init(&p);
        p.x = s.x.data();
        p.y = s.y.data();
        p.value = s.v.data();
        p.sample_count = static_cast<int>(s.x.size());
        model = Model(modelText);
        p.model = &model;
        report.struct_size = sizeof report;
    }
    void Points(std::vector<double> x, std::vector<double> y) {
        targetX = std::move(x), targetY = std::move(y);
        p.target = MOSARO_TARGET_POINTS;
        p.target_x = targetX.data();
        p.target_y = targetY.data();
        p.target_count = static_cast<long long>(targetX.size());
    }
    void Grid(double x0, double y0, double cell, int nx, int ny) {
        p.target = MOSARO_TARGET_GRID;
        p.grid_x = x0, p.grid_y = y0, p.cell_size_x = p.cell_size_y = cell, p.node_count_x = nx, p.node_count_y = ny;
    }
    mosaro_status Go() {
        const long long n = p.target == MOSARO_TARGET_POINTS
                                ? p.target_count
                                : static_cast<long long>(p.window_columns > 0 ? p.window_columns : p.node_count_x) *
                                      (p.window_rows > 0 ? p.window_rows : p.node_count_y);
        estimate.assign(static_cast<std::size_t>(n), -1.0);
        variance.assign(static_cast<std::size_t>(n), -1.0);
        p.estimate = estimate.data();
        p.variance = variance.data();
        return mosaro_predict(&p, &report);
    }
};

double Covariate(double x, double y) { return 0.3 * x + std::cos(y / 20.0); }

// A kind of kriging solved here the textbook way, every sample in the
// system: semivariances bordered by the drift functions (the constant
// first), or covariances sill - gamma about a known mean (simple). A block
// is a square of 3 x 3 Gauss-Legendre points whose own mean semivariance
// counts only the nugget at coincident points (the block mean averages it
// away).
struct ByHand {
    double (*gamma)(double);
    double nugget = 0.0, sill = 0.0;
    int drift = 0;  // 0: none, 1: x and y, 2: the covariate
    bool simple = false;
    double mean = 0.0, block = 0.0;

    std::vector<double> Drift(double x, double y) const {
        if (drift == 1) return {1.0, x, y};
        if (drift == 2) return {1.0, Covariate(x, y)};
        return simple ? std::vector<double>{} : std::vector<double>{1.0};
    }
    // Mean semivariance from (x, y) to the target's points, or (own) among them.
    double ToTarget(double x, double y, double tx, double ty, bool own = false) const {
        if (block == 0.0) return gamma(std::hypot(x - tx, y - ty));
        static const double node[3] = {-std::sqrt(0.6), 0.0, std::sqrt(0.6)}, weight[3] = {5.0 / 9, 8.0 / 9, 5.0 / 9};
        double sum = 0.0;
        for (int i = 0; i < 9; ++i) {
            const double px = tx + 0.5 * block * node[i % 3], py = ty + 0.5 * block * node[i / 3];
            const double w = weight[i % 3] * weight[i / 3] / 4;
            sum += own ? w * ToTarget(px, py, tx, ty) - w * w * gamma(0.0) + w * w * nugget
                       : w * gamma(std::hypot(x - px, y - py));
        }
        return sum;
    }
    double Estimate(const Samples& s, double tx, double ty, double* variance) const {
        const int n = static_cast<int>(s.x.size());
        const std::vector<double> at = Drift(tx, ty);
        const int f = static_cast<int>(at.size());
        Eigen::MatrixXd a = Eigen::MatrixXd::Zero(n + f, n + f);
        Eigen::VectorXd b(n + f);
        for (int i = 0; i < n; ++i) {
            const std::size_t si = static_cast<std::size_t>(i);
            for (int j = 0; j < n; ++j)
                a(i, j) = gamma(
                    std::hypot(s.x[si] - s.x[static_cast<std::size_t>(j)], s.y[si] - s.y[static_cast<std::size_t>(j)]));
            const std::vector<double> row = Drift(s.x[si], s.y[si]);
            for (int t = 0; t < f; ++t) a(i, n + t) = a(n + t, i) = row[static_cast<std::size_t>(t)];
            b(i) = ToTarget(s.x[si], s.y[si], tx, ty);
        }
        for (int t = 0; t < f; ++t) b(n + t) = at[static_cast<std::size_t>(t)];
        const double own = block == 0.0 ? 0.0 : ToTarget(tx, ty, tx, ty, true);
        if (simple) {  // covariances: sill less the semivariances
            const Eigen::MatrixXd c = Eigen::MatrixXd::Constant(n, n, sill) - a;
            const Eigen::VectorXd c0 = Eigen::VectorXd::Constant(n, sill) - b;
            const Eigen::VectorXd w = c.fullPivLu().solve(c0);
            *variance = sill - w.dot(c0);
            return mean + w.dot(Eigen::Map<const Eigen::VectorXd>(s.v.data(), n) - Eigen::VectorXd::Constant(n, mean));
        }
        const Eigen::VectorXd w = a.fullPivLu().solve(b);
        *variance = w.dot(b) - own;
        return w.head(n).dot(Eigen::Map<const Eigen::VectorXd>(s.v.data(), n));
    }
};

double PowerGamma(double h) { return 0.5 * std::pow(h, 1.5); }
double ExponentialGamma(double h) { return h > 0.0 ? 0.1 + 2.0 * (1.0 - std::exp(-h / 30.0)) : 0.0; }

}  // namespace

TEST(Prediction, EachKindMatchesItsSystemSolvedByHand) {
    Samples s = Field(1, 40);
    for (std::size_t i = 0; i < s.x.size(); ++i) s.covariate[i] = Covariate(s.x[i], s.y[i]);
    const std::vector<double> tx = {12.5, 50.0, 99.0, 70.3}, ty = {40.0, 50.0, 3.0, 88.8};
    std::vector<double> targetCovariate;
    for (std::size_t t = 0; t < tx.size(); ++t) targetCovariate.push_back(Covariate(tx[t], ty[t]));
    const double* sampleCovariates[1] = {s.covariate.data()};
    const double* targetCovariates[1] = {targetCovariate.data()};
    const char* const exponential = "0.1 Nug + 2 Exp(30)";
    struct Case {
        const char* what;
        const char* model;
        ByHand hand;
        void (*set)(mosaro_prediction&);
    } const cases[] = {
        {"ordinary", exponential, {ExponentialGamma}, [](mosaro_prediction&) {}},
        {"ordinary without a sill", "0.5 Pow(1.5)", {PowerGamma}, [](mosaro_prediction&) {}},
        {"universal x, y",
         exponential,
         {ExponentialGamma, 0.1, 2.1, 1},
         [](mosaro_prediction& p) { p.drift_terms = MOSARO_DRIFT_X | MOSARO_DRIFT_Y; }},
        {"external drift",
         exponential,
         {ExponentialGamma, 0.1, 2.1, 2},
         [](mosaro_prediction& p) { p.covariate_count = 1; }},
        {"simple",
         exponential,
         {ExponentialGamma, 0.1, 2.1, 0, true, 9.5},
         [](mosaro_prediction& p) { p.kind = MOSARO_KIND_SIMPLE, p.mean = 9.5; }},
        {"block",
         exponential,
         {ExponentialGamma, 0.1, 2.1, 0, false, 0.0, 6.0},
         [](mosaro_prediction& p) { p.block_size_x = p.block_size_y = 6.0, p.block_points_x = p.block_points_y = 3; }},
    };
    for (const Case& c : cases) {
        Prediction run(s, c.model);
        run.p.nmax = -1;  // every sample: the system solved by hand
        run.p.sample_covariates = sampleCovariates, run.p.target_covariates = targetCovariates;
        c.set(run.p);
        run.Points(tx, ty);
        ASSERT_EQ(run.Go(), MOSARO_OK) << c.what << ": " << mosaro_last_message();
        for (std::size_t t = 0; t < tx.size(); ++t) {
            double variance = 0.0;
            const double z = c.hand.Estimate(s, tx[t], ty[t], &variance);
            EXPECT_NEAR(run.estimate[t], z, 1e-9 * std::fabs(z)) << c.what << ", target " << t;
            EXPECT_NEAR(run.variance[t], variance, 1e-8 * variance) << c.what << ", target " << t;
        }
    }
    // Far from every sample simple kriging gives its mean with the sill as
    // variance; at a sample without nugget, the sample with variance 0.
    Prediction simple(s, "2 Sph(10)");
    simple.p.kind = MOSARO_KIND_SIMPLE;
    simple.p.mean = 7.0;
    simple.Points({1000.0, s.x[3]}, {1000.0, s.y[3]});
    ASSERT_EQ(simple.Go(), MOSARO_OK) << mosaro_last_message();
    EXPECT_EQ(simple.estimate[0], 7.0);
    EXPECT_EQ(simple.variance[0], 2.0);
    EXPECT_NEAR(simple.estimate[1], s.v[3], 1e-12);
    EXPECT_NEAR(simple.variance[1], 0.0, 1e-12);
}

TEST(Prediction, LognormalTakesTheKrigedLogarithmBack) {
    Samples s = Field(3, 50);
    Prediction log(s, "0.02 Nug + 0.1 Sph(40)");
    log.p.lognormal = 1;
    log.p.shift = 1.5;
    std::vector<double> m(4), s2(4);
    log.p.log_estimate = m.data();
    log.p.log_variance = s2.data();
    log.Points({10, 20, 30, 40}, {60, 50, 40, 30});
    ASSERT_EQ(log.Go(), MOSARO_OK) << mosaro_last_message();
    // The logarithms as an ordinary run of ln(v + shift) gives them.
    Samples logs = s;
    for (double& v : logs.v) v = std::log(v + 1.5);
    Prediction plain(logs, "0.02 Nug + 0.1 Sph(40)");
    plain.Points({10, 20, 30, 40}, {60, 50, 40, 30});
    ASSERT_EQ(plain.Go(), MOSARO_OK);
    for (std::size_t t = 0; t < 4; ++t) {
        EXPECT_NEAR(m[t], plain.estimate[t], 1e-12);
        EXPECT_NEAR(s2[t], plain.variance[t], 1e-12);
        EXPECT_NEAR(log.estimate[t], std::exp(m[t] + s2[t] / 2) - 1.5, 1e-12 * log.estimate[t]);
        EXPECT_NEAR(log.variance[t], (std::exp(s2[t]) - 1) * std::exp(2 * m[t] + s2[t]), 1e-12 * log.variance[t]);
    }
}

TEST(Prediction, WindowsThreadsConditionsAndFarCoordinatesChangeNoEstimate) {
    const Samples s = Field(5, 300);
    Prediction whole(s, "0.1 Nug + 2 Exp(25)");
    whole.Grid(-5, -5, 7, 17, 15);
    whole.p.thread_count = 1;
    ASSERT_EQ(whole.Go(), MOSARO_OK);
    // Asking for every target's condition changes no estimate and no count,
    // and the run's smallest is the smallest of them.
    Prediction conditioned(s, "0.1 Nug + 2 Exp(25)");
    conditioned.Grid(-5, -5, 7, 17, 15);
    std::vector<double> condition(17 * 15), windowCondition(9 * 10);
    conditioned.p.reciprocal_condition = condition.data();
    conditioned.p.thread_count = 1;
    ASSERT_EQ(conditioned.Go(), MOSARO_OK);
    EXPECT_EQ(std::memcmp(conditioned.estimate.data(), whole.estimate.data(), condition.size() * sizeof(double)), 0);
    EXPECT_EQ(whole.report.smallest_reciprocal_condition, *std::min_element(condition.begin(), condition.end()));
    EXPECT_EQ(whole.report.ill_conditioned, conditioned.report.ill_conditioned);
    Prediction window(s, "0.1 Nug + 2 Exp(25)");
    window.Grid(-5, -5, 7, 17, 15);
    window.p.window_column = 5, window.p.window_row = 3, window.p.window_columns = 9, window.p.window_rows = 10;
    window.p.thread_count = 2;
    window.p.reciprocal_condition = windowCondition.data();
    ASSERT_EQ(window.Go(), MOSARO_OK);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 9; ++c) {
            const std::size_t w = static_cast<std::size_t>(r * 9 + c),
                              g = static_cast<std::size_t>((r + 3) * 17 + c + 5);
            ASSERT_EQ(std::memcmp(&window.estimate[w], &whole.estimate[g], sizeof(double)), 0) << r << ", " << c;
            ASSERT_EQ(std::memcmp(&window.variance[w], &whole.variance[g], sizeof(double)), 0) << r << ", " << c;
            ASSERT_EQ(windowCondition[w], condition[g]) << r << ", " << c;
        }
    // Blocks are solved one target at a time: each reports its own system's
    // condition, as in a call of its own, not the one solved before it.
    std::vector<double> blockCondition(6 * 5);
    const auto blocks = [&](int column, int row, int columns, int rows, double* out) {
        Prediction b(s, "0.1 Nug + 2 Exp(25)");
        b.Grid(-5, -5, 7, 6, 5);
        b.p.block_size_x = b.p.block_size_y = 6.0, b.p.block_points_x = b.p.block_points_y = 3;
        b.p.window_column = column, b.p.window_row = row, b.p.window_columns = columns, b.p.window_rows = rows;
        b.p.thread_count = 1;
        b.p.reciprocal_condition = out;
        ASSERT_EQ(b.Go(), MOSARO_OK);
    };
    blocks(0, 0, 6, 5, blockCondition.data());
    for (int k = 0; k < 6 * 5; ++k) {
        double own = -1.0;
        blocks(k % 6, k / 6, 1, 1, &own);
        EXPECT_EQ(own, blockCondition[static_cast<std::size_t>(k)]) << k;
    }
    // A survey in UTM: the same samples and nodes near (5e5, 5e6).
    const Samples far = Field(5, 300, 512345.67, 5012345.89);
    Prediction shifted(far, "0.1 Nug + 2 Exp(25)");
    shifted.Grid(-5 + 512345.67, -5 + 5012345.89, 7, 17, 15);
    ASSERT_EQ(shifted.Go(), MOSARO_OK);
    for (std::size_t k = 0; k < whole.estimate.size(); ++k) {
        EXPECT_NEAR(shifted.estimate[k], whole.estimate[k], 1e-9 * std::fabs(whole.estimate[k]));
        EXPECT_NEAR(shifted.variance[k], whole.variance[k], 1e-9 * whole.variance[k]);
    }
}

// Every output bit of a few predictions, pinned: a grid with each target's
// condition, points whose reach leaves some targets few neighbours (systems
// of several orders) or none, a drift, an external drift and lognormal
// kriging, over samples with duplicates (singular systems). The values were
// taken from the solver that handled one target at a time; the solvers
// that handle several at once must give the same.
TEST(Prediction, PredictionBitsArePinned) {
    Samples s = Field(7, 400);
    for (std::size_t d = 0; d < 30; d += 6) {
        s.x.push_back(s.x[d]), s.y.push_back(s.y[d]), s.v.push_back(s.v[d]);
        s.covariate.push_back(s.covariate[d]);
    }
    std::uint64_t hash = 14695981039346656037u;
    const auto mix = [&hash](const void* data, std::size_t bytes) {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (std::size_t k = 0; k < bytes; ++k) hash = (hash ^ p[k]) * 1099511628211u;
    };
    std::mt19937 random(8);
    std::uniform_real_distribution<double> place(-10.0, 110.0);
    std::vector<double> px(300), py(300), targetCovariate(300);
    for (std::size_t k = 0; k < px.size(); ++k) px[k] = place(random), py[k] = place(random);
    for (std::size_t k = 0; k < px.size(); ++k) targetCovariate[k] = Covariate(px[k], py[k]);
    const double* sampleCovariates[] = {s.covariate.data()};
    const double* targetCovariates[] = {targetCovariate.data()};
    for (int variant = 0; variant < 5; ++variant) {
        Prediction run(s, "0.05 Nug + 2 Sph(40)");
        std::vector<double> condition;
        if (variant == 0) {
            run.Grid(-3, -2, 3.5, 31, 29);
            condition.assign(31 * 29, -1.0);
            run.p.reciprocal_condition = condition.data();
        } else {
            run.Points(px, py);
        }
        run.p.nmax = 16;
        if (variant == 1) run.p.max_distance = 9, run.p.nmin = 4;
        if (variant == 2) run.p.drift_terms = MOSARO_DRIFT_X | MOSARO_DRIFT_Y;
        if (variant == 3) {
            run.p.covariate_count = 1;
            run.p.sample_covariates = sampleCovariates;
            run.p.target_covariates = targetCovariates;
        }
        if (variant == 4) run.p.lognormal = 1;
        ASSERT_EQ(run.Go(), MOSARO_OK) << variant << ": " << mosaro_last_message();
        mix(run.estimate.data(), run.estimate.size() * sizeof(double));
        mix(run.variance.data(), run.variance.size() * sizeof(double));
        mix(condition.data(), condition.size() * sizeof(double));
        const long long counts[] = {run.report.no_data, run.report.ill_conditioned, run.report.too_few_neighbours};
        mix(counts, sizeof counts);
        mix(&run.report.smallest_reciprocal_condition, sizeof(double));
    }
    EXPECT_EQ(hash, 12165832513301447800u);
}

TEST(Prediction, MissingValuesAreLeftOutAndCountedAndNminLeavesNoData) {
    Samples s = Field(6, 30);
    Samples kept = s;
    s.v[4] = s.v[17] = kNaN;
    kept.x.erase(kept.x.begin() + 17), kept.y.erase(kept.y.begin() + 17), kept.v.erase(kept.v.begin() + 17);
    kept.x.erase(kept.x.begin() + 4), kept.y.erase(kept.y.begin() + 4), kept.v.erase(kept.v.begin() + 4);
    Prediction with(s, "1 Sph(30)"), without(kept, "1 Sph(30)");
    for (Prediction* r : {&with, &without}) {
        r->Points({50, 500}, {50, 500});
        r->p.nmin = 3;
        r->p.max_distance = 40;
        ASSERT_EQ(r->Go(), MOSARO_OK);
    }
    EXPECT_EQ(with.report.samples_left_out, 2);
    EXPECT_EQ(with.report.samples_used, 28);
    EXPECT_DOUBLE_EQ(with.estimate[0], without.estimate[0]);
    EXPECT_TRUE(std::isnan(with.estimate[1]));  // nothing within 40 of (500, 500)
    EXPECT_EQ(with.report.no_data, 1);
    EXPECT_EQ(with.report.too_few_neighbours, 1);
}

TEST(Prediction, SectorSearchTakesTheNearestWithinEachSectorsLimit) {
    // Tied distances (whole coordinates), a dense cluster beside sparse
    // samples, and targets outside the samples' box, where whole sectors are
    // empty and the search must stop at the box's far corners. Every other
    // target is whole too, so that samples lie exactly on the sectors'
    // boundary rays. Searches with a trail (seeded by the previous target's
    // choice) must choose as searches without one.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> place(-50.0, 50.0), cluster(20.0, 26.0), target(-80.0, 80.0);
    std::vector<double> x, y;
    for (int i = 0; i < 300; ++i) x.push_back(std::round(place(random))), y.push_back(std::round(place(random)));
    for (int i = 0; i < 200; ++i) x.push_back(cluster(random)), y.push_back(cluster(random));
    for (double radius : {30.0, static_cast<double>(INFINITY)}) {
        for (int sectors : {4, 8}) {
            mosaro::NeighbourhoodOptions o;
            o.nmax = 12, o.sectors = sectors, o.maxPerSector = 2, o.maxDistance = radius;
            const mosaro::SearchNeighbourhood search(x, y, o);
            std::vector<int> found, trailed;
            mosaro::SearchNeighbourhood::Trail trail;
            for (int trial = 0; trial < 200; ++trial) {
                double tx = target(random), ty = target(random);
                if (trial % 2 == 1) tx = std::round(tx), ty = std::round(ty);
                search.Find(tx, ty, found);
                search.Find(tx, ty, trailed, &trail);
                ASSERT_EQ(trailed, found) << "trial " << trial;
                // Brute force: by (distance, index), each sector capped.
                std::vector<int> order(x.size());
                for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
                auto d2 = [&](int i) {
                    return (x[static_cast<std::size_t>(i)] - tx) * (x[static_cast<std::size_t>(i)] - tx) +
                           (y[static_cast<std::size_t>(i)] - ty) * (y[static_cast<std::size_t>(i)] - ty);
                };
                std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return d2(a) < d2(b); });
                std::vector<int> expected, taken(8, 0);
                for (int i : order) {
                    if (d2(i) > radius * radius || static_cast<int>(expected.size()) == 12) break;
                    const double dx = x[static_cast<std::size_t>(i)] - tx, dy = y[static_cast<std::size_t>(i)] - ty;
                    // In degrees from +x, counter-clockwise; exact on the
                    // axes and diagonals, whose rays open a sector.
                    double angle = std::atan2(dy, dx) * 180.0 / std::acos(-1.0);
                    if (dx == 0 || dy == 0 || std::fabs(dx) == std::fabs(dy)) angle = 45.0 * std::round(angle / 45.0);
                    if (angle < 0) angle += 360.0;
                    const int sector = std::min(static_cast<int>(angle / (360.0 / sectors)), sectors - 1) % sectors;
                    if (taken[static_cast<std::size_t>(sector)]++ < 2) expected.push_back(i);
                }
                ASSERT_EQ(found, expected) << sectors << " sectors, radius " << radius << ", trial " << trial;
            }
        }
    }
}

TEST(Prediction, BadArgumentsAreRefusedWithTheirStatusBeforeAnythingIsWritten) {
    Samples s = Field(8, 30);
    const double nanTarget[1] = {kNaN};
    // Each case: what the message must say (the argument and its value), the change, the status.
    struct Case {
        const char* what;
        void (*set)(Prediction&);
        mosaro_status status;
    } const cases[] = {
        {"a sector search needs nmax", [](Prediction& r) { r.p.nmax = -1, r.p.sectors = 4, r.p.max_per_sector = 2; },
         MOSARO_ERROR_NEIGHBOURHOOD},
        {"mean is given (3) but only simple kriging uses it", [](Prediction& r) { r.p.mean = 3.0; }, MOSARO_ERROR_KIND},
        {"simple kriging needs a finite mean", [](Prediction& r) { r.p.kind = MOSARO_KIND_SIMPLE; }, MOSARO_ERROR_KIND},
        {"simple kriging takes no drift",
         [](Prediction& r) { r.p.kind = MOSARO_KIND_SIMPLE, r.p.mean = 1, r.p.drift_terms = MOSARO_DRIFT_X; },
         MOSARO_ERROR_KIND},
        {"nmin 6 exceeds nmax 5", [](Prediction& r) { r.p.nmax = 5, r.p.nmin = 6; }, MOSARO_ERROR_NEIGHBOURHOOD},
        {"max_distance must be positive", [](Prediction& r) { r.p.max_distance = -1; }, MOSARO_ERROR_NEIGHBOURHOOD},
        {"sectors must be 0, 4 or 8 (got 3)", [](Prediction& r) { r.p.sectors = 3, r.p.max_per_sector = 1; },
         MOSARO_ERROR_NEIGHBOURHOOD},
        {"block_size_x, block_size_y must both be positive",
         [](Prediction& r) { r.p.block_size_x = r.p.block_size_y = -2; }, MOSARO_ERROR_TARGETS},
        {"block_points_x, block_points_y must lie in [1, 64]",
         [](Prediction& r) { r.p.block_size_x = r.p.block_size_y = 2, r.p.block_points_x = -1; }, MOSARO_ERROR_TARGETS},
        {"the window (column 3, row 0, 3 x 4 nodes) must lie within the grid of 4 x 4",
         [](Prediction& r) { r.p.window_column = 3, r.p.window_columns = 3; }, MOSARO_ERROR_TARGETS},
        {"cannot be determined from the 4 samples",
         [](Prediction& r) {
             r.p.drift_terms = MOSARO_DRIFT_XX | MOSARO_DRIFT_X | MOSARO_DRIFT_Y | MOSARO_DRIFT_YY | MOSARO_DRIFT_XY,
             r.p.sample_count = 4;
         },
         MOSARO_ERROR_KIND},
        {"simple kriging needs a model with a sill",
         [](Prediction& r) {
             static mosaro_model m = Model("1 Pow(1)");
             r.p.model = &m, r.p.kind = MOSARO_KIND_SIMPLE, r.p.mean = 1;
         },
         MOSARO_ERROR_MODEL},
    };
    for (const Case& c : cases) {
        Prediction run(s, "1 Sph(30)");
        run.Grid(0, 0, 10, 4, 4);
        c.set(run);
        EXPECT_EQ(run.Go(), c.status) << c.what << ": " << mosaro_last_message();
        EXPECT_NE(std::string(mosaro_last_message()).find(c.what), std::string::npos) << mosaro_last_message();
        EXPECT_TRUE(std::all_of(run.estimate.begin(), run.estimate.end(), [](double e) { return e == -1.0; }))
            << c.what;
    }
    Prediction points(s, "1 Sph(30)");
    points.Points({1.0}, {1.0});
    points.p.target_x = nanTarget;
    EXPECT_EQ(points.Go(), MOSARO_ERROR_TARGETS);
    Prediction covariate(s, "1 Sph(30)");
    covariate.Points({1.0}, {1.0});
    s.covariate[2] = kNaN;
    const double* sc[1] = {s.covariate.data()};
    const double* tc[1] = {nanTarget};
    covariate.p.covariate_count = 1, covariate.p.sample_covariates = sc, covariate.p.target_covariates = tc;
    EXPECT_EQ(covariate.Go(), MOSARO_ERROR_COVARIATES);
    EXPECT_NE(std::string(mosaro_last_message()).find("sample_covariates[0][2]"), std::string::npos);
}

// The notation itself is ModelNotationTest's; here the C API's hand-over.
TEST(ModelApi, NotationRoundTripsAndErrorsSayWhere) {
    const mosaro_model m = Model("0.6 Exp(500, azimuth=45, ratio=0.4)");
    char written[256];
    ASSERT_EQ(mosaro_model_format(&m, written, sizeof written), MOSARO_OK);
    EXPECT_STREQ(written, "0.6 Exp(500, azimuth=45, ratio=0.4)");
    mosaro_model bad;
    mosaro_model_init(&bad);
    EXPECT_EQ(mosaro_model_parse("0.5 Sph(100) + ", &bad), MOSARO_ERROR_MODEL);
    EXPECT_NE(std::string(mosaro_last_message()).find("15"), std::string::npos) << mosaro_last_message();
    const mosaro_model exp = Model("0.5 Nug + 2 Exp(10)");
    EXPECT_NEAR(mosaro_model_semivariance(&exp, 6, 8), 0.5 + 2 * (1 - std::exp(-1.0)), 1e-15);
}

TEST(VariogramApi, ClassesFitAndTheirRefusals) {
    const Samples s = Field(9, 200);
    mosaro_variogram* v = nullptr;
    ASSERT_EQ(mosaro_variogram_compute(s.x.data(), s.y.data(), s.v.data(), 200, nullptr, &v), MOSARO_OK);
    mosaro_lag_classes c{};
    c.struct_size = sizeof c;
    ASSERT_EQ(mosaro_variogram_classes(v, 0, &c), MOSARO_OK);
    EXPECT_EQ(c.class_count, 16);  // cutoff / width = 15 classes, the last holding the cutoff
    EXPECT_NEAR(
        c.cutoff,
        0.33333 * std::hypot(*std::max_element(s.x.begin(), s.x.end()) - *std::min_element(s.x.begin(), s.x.end()),
                             *std::max_element(s.y.begin(), s.y.end()) - *std::min_element(s.y.begin(), s.y.end())),
        1e-9);
    // Brute force: the pairs of the first class.
    double pairs = 0;
    for (std::size_t i = 0; i < 200; ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (std::hypot(s.x[i] - s.x[j], s.y[i] - s.y[j]) <= c.width) ++pairs;
    EXPECT_EQ(c.pairs[0], pairs);
    mosaro_model m;
    mosaro_model_init(&m);
    double sse = 0;
    ASSERT_EQ(mosaro_variogram_fit(v, 0, "Nug + Sph", 0, &m, &sse), MOSARO_OK) << mosaro_last_message();
    EXPECT_EQ(m.structure_count, 1);
    EXPECT_EQ(m.structures[0].family, MOSARO_FAMILY_SPHERICAL);
    EXPECT_EQ(mosaro_variogram_fit(v, 0, "Nug + Sphx", 0, &m, &sse), MOSARO_ERROR_MODEL);
    EXPECT_EQ(mosaro_variogram_fit(v, 1, nullptr, 0, &m, &sse), MOSARO_ERROR_INDEX);
    long long count = 0;
    const int *i = nullptr, *j = nullptr;
    const double *d = nullptr, *g = nullptr;
    EXPECT_EQ(mosaro_variogram_cloud(v, &count, &i, &j, &d, &g), MOSARO_ERROR_VARIOGRAM);  // not asked for
    mosaro_variogram_free(v);
    mosaro_variogram_options o;
    mosaro_variogram_options_init(&o);
    o.width = -1;
    EXPECT_EQ(mosaro_variogram_compute(s.x.data(), s.y.data(), s.v.data(), 200, &o, &v), MOSARO_ERROR_VARIOGRAM);
    EXPECT_EQ(v, nullptr);
}

// With a drift the fitted variogram is the residuals': least squares of
// the values on 1, x, y solved here, their variogram computed directly.
TEST(VariogramApi, APredictionWithADriftFitsTheVariogramOfItsResiduals) {
    Samples s = Field(12, 150);
    for (std::size_t i = 0; i < s.v.size(); ++i) s.v[i] += 0.3 * s.x[i] - 0.2 * s.y[i];
    Prediction run(s, "1 Sph(30)");
    run.p.model = nullptr;
    run.p.drift_terms = MOSARO_DRIFT_X | MOSARO_DRIFT_Y;
    run.Grid(0, 0, 10, 4, 4);
    mosaro_variogram* fitted = nullptr;
    ASSERT_EQ(mosaro_prediction_variogram(&run.p, &fitted), MOSARO_OK) << mosaro_last_message();
    Eigen::MatrixXd design(150, 3);
    for (int i = 0; i < 150; ++i) design.row(i) << 1.0, s.x[std::size_t(i)], s.y[std::size_t(i)];
    const Eigen::Map<const Eigen::VectorXd> v(s.v.data(), 150);
    const Eigen::VectorXd residual = v - design * design.colPivHouseholderQr().solve(v);
    mosaro_variogram* direct = nullptr;
    ASSERT_EQ(mosaro_variogram_compute(s.x.data(), s.y.data(), residual.data(), 150, nullptr, &direct), MOSARO_OK);
    mosaro_lag_classes a{}, b{};
    a.struct_size = b.struct_size = sizeof a;
    ASSERT_EQ(mosaro_variogram_classes(fitted, 0, &a), MOSARO_OK);
    ASSERT_EQ(mosaro_variogram_classes(direct, 0, &b), MOSARO_OK);
    ASSERT_EQ(a.class_count, b.class_count);
    for (int k = 0; k < a.class_count; ++k) {
        EXPECT_EQ(a.pairs[k], b.pairs[k]) << k;
        if (b.pairs[k] > 0) {
            EXPECT_NEAR(a.gamma[k], b.gamma[k], 1e-9 * b.gamma[k]) << k;
        }
    }
    mosaro_variogram_free(fitted);
    mosaro_variogram_free(direct);
}

// A grid cut into tiles, each handed only the samples mosaro_tile_samples
// names (in their order) and the whole set's frame: the whole grid's bits.
TEST(Tiles, EachTileWithItsOwnSamplesGivesTheWholeGridsBits) {
    Samples s = Field(10, 400);
    for (int i = 0; i < 60; ++i) {  // a dense cluster beside empty space
        s.x.push_back(70.0 + 0.01 * i), s.y.push_back(70.0 + 0.013 * (i % 7)), s.v.push_back(8.0 + 0.1 * i);
        s.covariate.push_back(0.0);
    }
    const double frame[4] = {0, 0, 100, 100};
    for (int sectors : {0, 8}) {
        Prediction whole(s, "0.2 Nug + 1.5 Exp(20, azimuth=30, ratio=0.8)");
        whole.Grid(0.3, 0.7, 3.1, 32, 32);  // a cell no binary fraction holds
        whole.p.frame = frame;
        whole.p.anisotropic_search = 1;
        whole.p.nmax = 12, whole.p.sectors = sectors, whole.p.max_per_sector = 3;
        if (sectors != 0) whole.p.max_distance = 15;
        ASSERT_EQ(whole.Go(), MOSARO_OK) << mosaro_last_message();
        long long handed = 0;
        for (int tile = 0; tile < 16; ++tile) {
            Prediction part(s, "0.2 Nug + 1.5 Exp(20, azimuth=30, ratio=0.8)");
            part.p = whole.p;
            part.p.window_column = (tile % 4) * 8, part.p.window_row = (tile / 4) * 8;
            part.p.window_columns = part.p.window_rows = 8;
            std::vector<long long> needed(s.x.size());
            long long count = 0;
            ASSERT_EQ(mosaro_tile_samples(&part.p, needed.data(), &count), MOSARO_OK) << mosaro_last_message();
            handed += count;
            Samples subset;
            for (long long k = 0; k < count; ++k) {
                const std::size_t i = static_cast<std::size_t>(needed[static_cast<std::size_t>(k)]);
                subset.x.push_back(s.x[i]), subset.y.push_back(s.y[i]), subset.v.push_back(s.v[i]);
            }
            part.p.x = subset.x.data(), part.p.y = subset.y.data(), part.p.value = subset.v.data();
            part.p.sample_count = static_cast<int>(count);
            ASSERT_EQ(part.Go(), MOSARO_OK) << mosaro_last_message();
            for (int r = 0; r < 8; ++r)
                for (int c = 0; c < 8; ++c) {
                    const std::size_t w = static_cast<std::size_t>(r * 8 + c);
                    const std::size_t g =
                        static_cast<std::size_t>((r + part.p.window_row) * 32 + c + part.p.window_column);
                    ASSERT_EQ(std::memcmp(&part.estimate[w], &whole.estimate[g], sizeof(double)), 0)
                        << "sectors " << sectors << ", tile " << tile << ", node " << r << ", " << c;
                }
        }
        EXPECT_LT(handed, 16 * static_cast<long long>(s.x.size()) / 2) << "tiles need a part of the samples";
    }
}

// Block sums: each block owns its samples, sees its neighbours within the
// cutoff, and the reduced sums are the one-process variogram's.
TEST(Tiles, BlockSumsOfAVariogramAddUpToTheWholeSets) {
    const Samples s = Field(11, 900);
    mosaro_variogram_options o;
    mosaro_variogram_options_init(&o);
    o.cutoff = 35, o.width = 2.5;
    const double azimuths[2] = {0, 60};
    o.azimuths = azimuths, o.direction_count = 2, o.tolerance = 30;
    mosaro_variogram* one = nullptr;
    ASSERT_EQ(mosaro_variogram_compute(s.x.data(), s.y.data(), s.v.data(), 900, &o, &one), MOSARO_OK);
    const std::size_t cells = 2 * 15;
    std::vector<double> pairs(cells, 0.0), distance(cells, 0.0), statistic(cells, 0.0);
    for (int block = 0; block < 9; ++block) {  // 3 x 3 blocks of the square
        const double bx = (block % 3) * 100.0 / 3, by = (block / 3) * 100.0 / 3;
        std::vector<double> x, y, v;
        std::vector<long long> rank;
        for (int pass = 0; pass < 2; ++pass)  // the block's own, then those within the cutoff
            for (std::size_t i = 0; i < s.x.size(); ++i) {
                const bool own = s.x[i] >= bx && s.x[i] < bx + 100.0 / 3 && s.y[i] >= by && s.y[i] < by + 100.0 / 3;
                const double gx = std::max(0.0, std::max(bx - s.x[i], s.x[i] - (bx + 100.0 / 3)));
                const double gy = std::max(0.0, std::max(by - s.y[i], s.y[i] - (by + 100.0 / 3)));
                if ((pass == 0) == own && (own || std::hypot(gx, gy) <= 35))
                    x.push_back(s.x[i]), y.push_back(s.y[i]), v.push_back(s.v[i]),
                        rank.push_back(static_cast<long long>(i));
            }
        int owned = 0;
        for (std::size_t i = 0; i < x.size(); ++i)
            owned += x[i] >= bx && x[i] < bx + 100.0 / 3 && y[i] >= by && y[i] < by + 100.0 / 3;
        std::vector<double> p(cells), d(cells), t(cells);
        ASSERT_EQ(mosaro_variogram_sums(x.data(), y.data(), v.data(), rank.data(), static_cast<int>(x.size()), owned,
                                        &o, p.data(), d.data(), t.data()),
                  MOSARO_OK)
            << mosaro_last_message();
        for (std::size_t c = 0; c < cells; ++c) pairs[c] += p[c], distance[c] += d[c], statistic[c] += t[c];
    }
    mosaro_variogram* reduced = nullptr;
    ASSERT_EQ(mosaro_variogram_from_sums(&o, pairs.data(), distance.data(), statistic.data(), &reduced), MOSARO_OK);
    for (int direction = 0; direction < 2; ++direction) {
        mosaro_lag_classes a{}, b{};
        a.struct_size = b.struct_size = sizeof a;
        ASSERT_EQ(mosaro_variogram_classes(one, direction, &a), MOSARO_OK);
        ASSERT_EQ(mosaro_variogram_classes(reduced, direction, &b), MOSARO_OK);
        ASSERT_EQ(a.class_count, b.class_count);
        for (int k = 0; k < a.class_count; ++k) {
            EXPECT_EQ(a.pairs[k], b.pairs[k]) << direction << ", class " << k;
            if (a.pairs[k] > 0) {
                EXPECT_NEAR(a.gamma[k], b.gamma[k], 1e-12 * a.gamma[k]) << direction << ", class " << k;
            }
        }
    }
    mosaro_variogram_free(one);
    mosaro_variogram_free(reduced);
}
