// The accurate arithmetic: systems solved in double with pivoting, no
// cut-off, NaN where a node cannot be estimated, and neighbours chosen by
// exact distance with ties by input order (never by the grid).
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "mosaro.h"
#include "neighbours/NearestSamples.h"
#include "neighbours/RankedNearest.h"
#include "systems/CovarianceModel.h"

namespace {

struct Samples {
    std::vector<float> x, y, value;
};

// Scattered samples on [0, size)^2 with values from `field`.
Samples Scattered(unsigned seed, int count, float size, const std::function<double(double, double)>& field) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> position(0.0f, size);
    Samples s;
    for (int i = 0; i < count; ++i) {
        s.x.push_back(position(random));
        s.y.push_back(position(random));
        s.value.push_back(static_cast<float>(field(s.x.back(), s.y.back())));
    }
    return s;
}

// An accurate request over [0, size]^2 with `nodes` nodes per side and a
// given isotropic model, so that every case is exactly the model we state.
struct AccurateRun {
    mosaro_request request;
    std::vector<float> grid, variance, condition;
    mosaro_variogram_model model{0.0f, 0.0f, 60.0f, 4.0f};
    mosaro_report* report = nullptr;

    AccurateRun(const Samples& s, float size, int nodes, int method, int neighbours) {
        mosaro_request_init(&request);
        mosaro_request& r = request;
        r.x = s.x.data(), r.y = s.y.data(), r.value = s.value.data(), r.sample_count = static_cast<int>(s.x.size());
        r.x_min = r.y_min = 0.0f;
        r.x_max = r.y_max = size;
        r.cell_size_x = r.cell_size_y = size / static_cast<float>(nodes - 1);
        r.node_count_x = r.node_count_y = nodes;
        r.neighbour_count = neighbours, r.method = static_cast<mosaro_method>(method);
        r.arithmetic = MOSARO_ARITHMETIC_ACCURATE, r.given_models = &model, r.given_model_count = 1;
        const std::size_t count = static_cast<std::size_t>(nodes) * static_cast<std::size_t>(nodes);
        grid.assign(count, -7.0f), variance.assign(count, -7.0f), condition.assign(count, -7.0f);
        r.grid = grid.data(), r.variance = variance.data(), r.reciprocal_condition = condition.data();
        r.report = &report;
    }
    ~AccurateRun() { mosaro_report_free(report); }

    mosaro_status Run() { return mosaro_grid(&request); }
    mosaro_node_summary Nodes() const {
        mosaro_node_summary n{};
        n.struct_size = sizeof n;
        EXPECT_EQ(mosaro_report_nodes(report, 0, &n), MOSARO_OK);
        return n;
    }
    double NodeX(int j) const { return static_cast<double>(request.cell_size_x) * j; }
    double NodeY(int i) const { return static_cast<double>(request.cell_size_y) * i; }
};

// Relative agreement of a float result with a double reference.
::testing::AssertionResult Near(double reference, float actual, double relative) {
    if (std::fabs(static_cast<double>(actual) - reference) <= relative * std::max(1.0, std::fabs(reference)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << reference << ", got " << actual;
}

TEST(AccurateArithmetic, OrdinaryKrigingMatchesABruteForceDoubleSolution) {
    // Every sample is a neighbour (m = n), so the neighbour rule plays no
    // part: the grid must be the textbook system solved in double. The
    // reference builds it in the raw scaled coordinates, without the
    // library's rescaling of the covariances and the drift.
    for (unsigned seed = 1; seed <= 6; ++seed) {
        const Samples s =
            Scattered(seed, 12, 100.0f, [](double x, double y) { return 5.0 + std::sin(x / 17.0) * y / 40.0; });
        AccurateRun run(s, 100.0f, 6, MOSARO_METHOD_ORDINARY, 12);
        run.model = mosaro_variogram_model{0.3f, 0.0f, 45.0f, 2.0f};
        ASSERT_EQ(run.Run(), MOSARO_OK);
        const double sill = 2.3, nugget = 0.3, scale = 1.0, range = 45.0;  // extent 100: scale 1
        auto covariance = [&](double h) {
            if (h == 0.0) return sill;
            if (h > range) return 0.0;
            const double t = h / range;
            return sill - (nugget + 2.0 * (1.5 * t - 0.5 * t * t * t));
        };
        const int n = 12;
        for (int i = 0; i < 6; ++i) {
            for (int j = 0; j < 6; ++j) {
                Eigen::MatrixXd k(n + 1, n + 1);
                Eigen::VectorXd r(n + 1);
                for (int a = 0; a < n; ++a) {
                    for (int b = 0; b < n; ++b)
                        k(a, b) = a == b ? sill : covariance(std::hypot(s.x[a] - s.x[b], s.y[a] - s.y[b]) / scale);
                    k(a, n) = k(n, a) = 1.0;
                    r(a) = covariance(std::hypot(s.x[a] - run.NodeX(j), s.y[a] - run.NodeY(i)) / scale);
                }
                k(n, n) = 0.0;
                r(n) = 1.0;
                const Eigen::VectorXd w = k.fullPivLu().solve(r);
                double estimate = 0.0;
                for (int a = 0; a < n; ++a) estimate += w(a) * s.value[static_cast<std::size_t>(a)];
                const std::size_t node = static_cast<std::size_t>(i * 6 + j);
                EXPECT_TRUE(Near(estimate, run.grid[node], 1e-6)) << "seed " << seed << " node " << node;
                EXPECT_TRUE(Near(sill - w.dot(r), run.variance[node], 1e-6)) << "seed " << seed << " node " << node;
            }
        }
    }
}

TEST(AccurateArithmetic, EveryDriftIsReproducedAndSamplesAreHonoured) {
    // Universal kriging is exact for a field in its drift space, whatever
    // the covariances: the quadratic drift of method 7 included, where the
    // single-precision elimination loses the trend.
    struct Case {
        int method;
        std::function<double(double, double)> field;
    };
    const std::vector<Case> cases = {
        {MOSARO_METHOD_ORDINARY, [](double, double) { return 42.5; }},
        {MOSARO_METHOD_UNIVERSAL_X, [](double x, double) { return 3.0 + 0.25 * x; }},
        {MOSARO_METHOD_UNIVERSAL_Y, [](double, double y) { return 3.0 - 0.5 * y; }},
        {MOSARO_METHOD_UNIVERSAL_XY, [](double x, double y) { return 1.0 + 0.1 * x - 0.2 * y; }},
        {MOSARO_METHOD_UNIVERSAL_XX, [](double x, double) { return 2.0 + 0.1 * x - 0.003 * x * x; }},
        {MOSARO_METHOD_UNIVERSAL_YY, [](double, double y) { return 2.0 - 0.1 * y + 0.002 * y * y; }},
        {MOSARO_METHOD_UNIVERSAL_XXYY,
         [](double x, double y) { return 7.0 + 0.1 * x - 0.05 * y + 0.001 * x * x - 0.002 * y * y + 0.003 * x * y; }},
    };
    for (const Case& c : cases) {
        const Samples s = Scattered(11, 60, 1000.0f, [&](double x, double y) { return c.field(x, y); });
        AccurateRun run(s, 1000.0f, 9, c.method, 16);
        run.model = mosaro_variogram_model{0.0f, 0.0f, 400.0f, 3.0f};
        ASSERT_EQ(run.Run(), MOSARO_OK) << mosaro_last_message();
        // The samples hold the field rounded to float: the estimate can be
        // no closer than that rounding, relative to the largest value.
        double largest = 0.0;
        for (float v : s.value) largest = std::max(largest, std::fabs(static_cast<double>(v)));
        for (int i = 0; i < 9; ++i)
            for (int j = 0; j < 9; ++j)
                EXPECT_NEAR(c.field(run.NodeX(j), run.NodeY(i)), run.grid[static_cast<std::size_t>(i * 9 + j)],
                            1e-6 * largest)
                    << "method " << c.method << " node " << i << "," << j;
        EXPECT_EQ(run.Nodes().no_data_count, 0);
    }

    // Without a nugget, a node on a sample takes the sample's value and a
    // variance of 0 (up to rounding); the samples sit on every node here.
    Samples lattice;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
            lattice.x.push_back(25.0f * static_cast<float>(j));
            lattice.y.push_back(25.0f * static_cast<float>(i));
            lattice.value.push_back(static_cast<float>(10 + (i * 7 + j * 3) % 11));
        }
    AccurateRun onSamples(lattice, 100.0f, 5, MOSARO_METHOD_ORDINARY, 9);
    ASSERT_EQ(onSamples.Run(), MOSARO_OK);
    for (std::size_t k = 0; k < lattice.value.size(); ++k) {
        EXPECT_TRUE(Near(lattice.value[k], onSamples.grid[k], 1e-9)) << "node " << k;
        EXPECT_LT(std::fabs(onSamples.variance[k]), 1e-9f) << "node " << k;
    }
}

TEST(AccurateArithmetic, NegativeAndSmallValuesAreNotCutOff) {
    const Samples s = Scattered(5, 40, 100.0f, [](double x, double y) { return -30.0 + 0.001 * x * y; });
    AccurateRun accurate(s, 100.0f, 8, MOSARO_METHOD_ORDINARY, 8);
    ASSERT_EQ(accurate.Run(), MOSARO_OK);
    for (float v : accurate.grid) EXPECT_LT(v, -19.0f);

    // The legacy arithmetic stores every one of them as 0.
    std::vector<float> legacy(accurate.grid.size());
    accurate.request.arithmetic = MOSARO_ARITHMETIC_LEGACY;
    accurate.request.grid = legacy.data();
    accurate.request.report = nullptr;
    ASSERT_EQ(mosaro_grid(&accurate.request), MOSARO_OK);
    for (float v : legacy) EXPECT_EQ(v, 0.0f);
}

TEST(AccurateArithmetic, TiesGoToTheEarlierSampleWhateverTheGrid) {
    // Four samples at distance 1 from the node (2, 2), values 1, 2, 3, 4 in
    // input order, and two neighbours: by symmetry the two chosen weigh
    // alike, so the estimate is the mean of the first two in input order.
    Samples s;
    s.x = {3.0f, 2.0f, 1.0f, 2.0f};
    s.y = {2.0f, 3.0f, 2.0f, 1.0f};
    s.value = {1.0f, 2.0f, 3.0f, 4.0f};
    AccurateRun run(s, 4.0f, 5, MOSARO_METHOD_ORDINARY, 2);
    run.model = mosaro_variogram_model{0.0f, 0.0f, 10.0f, 1.0f};
    ASSERT_EQ(run.Run(), MOSARO_OK);
    EXPECT_TRUE(Near(1.5, run.grid[2 * 5 + 2], 1e-12));

    // Reordering the input changes which two are taken, and nothing else.
    Samples reordered{{2.0f, 1.0f, 3.0f, 2.0f}, {1.0f, 2.0f, 2.0f, 3.0f}, {4.0f, 3.0f, 1.0f, 2.0f}};
    AccurateRun second(reordered, 4.0f, 5, MOSARO_METHOD_ORDINARY, 2);
    second.model = run.model;
    ASSERT_EQ(second.Run(), MOSARO_OK);
    EXPECT_TRUE(Near(3.5, second.grid[2 * 5 + 2], 1e-12));

    // Ties everywhere (samples on a lattice, nodes between them): a node
    // keeps its bits in a grid that starts elsewhere and sweeps differently.
    Samples lattice;
    for (int i = 0; i < 12; ++i)
        for (int j = 0; j < 12; ++j) {
            lattice.x.push_back(static_cast<float>(j * 10));
            lattice.y.push_back(static_cast<float>(i * 10));
            lattice.value.push_back(static_cast<float>((i * 13 + j * 7) % 17));
        }
    AccurateRun whole(lattice, 110.0f, 23, MOSARO_METHOD_UNIVERSAL_XY, 6);  // nodes every 5 units
    ASSERT_EQ(whole.Run(), MOSARO_OK);
    AccurateRun shifted(lattice, 110.0f, 23, MOSARO_METHOD_UNIVERSAL_XY, 6);
    shifted.request.x_min = 55.0f;  // node (i, j) of this grid is node (i, j + 11) of the first
    shifted.request.node_count_x = 12;
    shifted.request.node_count_y = 23;
    shifted.request.x_max = 165.0f;  // same span: same coordinate scale and lag classes
    std::vector<float> part(12 * 23);
    shifted.request.grid = part.data();
    shifted.request.variance = nullptr;
    shifted.request.reciprocal_condition = nullptr;
    ASSERT_EQ(shifted.Run(), MOSARO_OK);
    for (int i = 0; i < 23; ++i)
        for (int j = 0; j < 12; ++j)
            ASSERT_EQ(part[static_cast<std::size_t>(i * 12 + j)], whole.grid[static_cast<std::size_t>(i * 23 + j + 11)])
                << "node " << i << "," << j + 11;
}

// The nearest samples by distance, then input order, against brute force,
// on whole coordinates with duplicates (ties everywhere, which the tree's
// own order must not decide) and two samples that cannot be chosen: single
// searches, within a radius, and a row's searches each bounded by the one
// before, in the samples' numbering and in the local one.
TEST(AccurateArithmetic, NearestSamplesAreTheBruteForcesByDistanceThenInputOrder) {
    std::mt19937 random(5);
    std::vector<double> x, y;
    for (int i = 0; i < 400; ++i) x.push_back(random() % 20), y.push_back(random() % 20);
    x[7] = NAN, y[201] = INFINITY;
    const mosaro::NearestSamples nearest(x.data(), y.data(), 400);
    const std::vector<int>& local = nearest.Local();
    std::vector<int> sorted = local;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 400; ++i) ASSERT_EQ(sorted[static_cast<std::size_t>(i)], i);  // each sample once
    const auto brute = [&](double tx, double ty, int m, double radius2) {
        std::vector<std::pair<double, int>> all;
        for (int i = 0; i < 400; ++i) {
            const double d = (x[i] - tx) * (x[i] - tx) + (y[i] - ty) * (y[i] - ty);
            if (std::isfinite(d) && d <= radius2) all.push_back({d, i});
        }
        std::sort(all.begin(), all.end());
        std::vector<int> ids;
        for (std::size_t k = 0; k < all.size() && k < static_cast<std::size_t>(m); ++k) ids.push_back(all[k].second);
        return ids;
    };
    std::vector<int> found, foundLocal[3], samples;
    for (double ty = -1.5; ty <= 21; ty += 2.5) {
        double previousX = 0.0, worst[3] = {-1.0, -1.0, -1.0}, worstLocal[3] = {-1.0, -1.0, -1.0};
        for (double tx = -3; tx <= 22; tx += 0.5) {
            for (int k = 0; k < 3; ++k) {
                const int m = 1 + 9 * k * k;  // 1, 10, 37
                nearest.Find(tx, ty, m, found);
                ASSERT_EQ(found, brute(tx, ty, m, INFINITY)) << tx << ", " << ty << ", m " << m;
                nearest.FindWithin(tx, ty, m, 9.0, found);
                ASSERT_EQ(found, brute(tx, ty, m, 9.0)) << tx << ", " << ty << ", m " << m << " within 3";
                nearest.FindNear(tx, ty, m, found, previousX, ty, &worst[k]);
                ASSERT_EQ(found, brute(tx, ty, m, INFINITY)) << tx << ", " << ty << ", m " << m << " along the row";
                nearest.FindNearLocal(tx, ty, m, foundLocal[k], previousX, ty, &worstLocal[k]);
                samples.clear();
                for (const int n : foundLocal[k]) samples.push_back(local[static_cast<std::size_t>(n)]);
                ASSERT_EQ(samples, found) << tx << ", " << ty << ", m " << m << " along the row, numbered locally";
            }
            previousX = tx;
        }
    }
}

// Co-kriging with a second variable twice the first, every sample in every
// neighbourhood. The system is singular by construction (both variables
// share one covariance), so the weights are the minimum-norm solution:
// each variable takes half the ordinary weights, shifted by 1 / (2n) so
// that the first sums to 1 and the second to 0. The estimate is then
// 1.5 times the ordinary one less half the samples' mean, which only a
// system whose every block holds the pairs' covariances gives.
TEST(AccurateArithmetic, CoKrigingOfADoubledSecondVariableIsTheMinimumNormBlend) {
    const Samples s = Scattered(23, 20, 100.0f, [](double x, double y) { return 10.0 + 0.1 * x - 0.05 * y; });
    AccurateRun ordinary(s, 100.0f, 7, MOSARO_METHOD_ORDINARY, 40);
    AccurateRun co(s, 100.0f, 7, MOSARO_METHOD_COKRIGING, 40);
    std::vector<float> doubled;
    for (const float v : s.value) doubled.push_back(2.0f * v);
    const float* extra[1] = {doubled.data()};
    co.request.extra_values = extra, co.request.extra_value_count = 1;
    ASSERT_EQ(ordinary.Run(), MOSARO_OK) << mosaro_last_message();
    ASSERT_EQ(co.Run(), MOSARO_OK) << mosaro_last_message();
    double mean = 0.0;
    for (const float v : s.value) mean += v / 20.0;
    for (std::size_t node = 0; node < co.grid.size(); ++node)
        EXPECT_TRUE(Near(1.5 * ordinary.grid[node] - 0.5 * mean, co.grid[node], 1e-5)) << "node " << node;
}

// The nearest few by counting: a sort's first entries for distinct
// distances up to the longest list it takes (and the padding of a list
// that is not a multiple of four), and nothing moved for a tie, a NaN or a
// longer list, which the caller then sorts.
TEST(AccurateArithmetic, NearestByRankIsTheSortsFrontOrRefuses) {
    std::mt19937 random(8);
    std::uniform_real_distribution<double> distance(0.0, 100.0);
    using Candidates = std::vector<std::pair<double, std::uint32_t>>;
    for (std::size_t count = 1; count <= mosaro::kRankedAtMost + 1; ++count) {
        for (std::size_t capacity : {std::size_t{1}, count / 2 + 1, count}) {
            Candidates list;
            for (std::size_t i = 0; i < count; ++i) list.push_back({distance(random), static_cast<std::uint32_t>(i)});
            list[count / 3].first = std::numeric_limits<double>::infinity();
            Candidates sorted = list, ranked = list;
            std::sort(sorted.begin(), sorted.end());
            const bool taken = mosaro::TakeNearestByRank(ranked.data(), count, capacity);
            ASSERT_EQ(taken, count <= mosaro::kRankedAtMost) << count;
            if (!taken) continue;
            EXPECT_TRUE(
                std::equal(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(capacity), ranked.begin()))
                << count << ", " << capacity;
        }
    }
    for (const double odd : {5.0, std::numeric_limits<double>::quiet_NaN()}) {
        Candidates list = {{7.0, 0}, {5.0, 1}, {odd, 2}, {9.0, 3}, {1.0, 4}}, kept = list;
        EXPECT_FALSE(mosaro::TakeNearestByRank(kept.data(), kept.size(), 3)) << odd;
        for (std::size_t i = 0; i < list.size(); ++i)
            EXPECT_TRUE(std::memcmp(&kept[i].first, &list[i].first, sizeof(double)) == 0 &&
                        kept[i].second == list[i].second)
                << odd << ", " << i;
    }
}

// The averaged spherical model's covariances of many lags (the pairs a
// node does not share with the one before) have the bits of one lag at a
// time: at the origin, up to and at the range, beyond it, stretched along
// y, and for a lag that is not a number.
TEST(AccurateArithmetic, ManyCovariancesHaveTheBitsOfOneAtATime) {
    mosaro::KrigingConstants constants{};
    constants.partialSill = 0.8f, constants.nugget = 0.2f, constants.sill = 1.0f;
    constants.range = 3.0f, constants.anisotropy = 1.5f;
    const mosaro::AveragedSpherical model(constants);
    std::mt19937 random(4);
    std::uniform_real_distribution<double> lag(-4.0, 4.0);
    std::vector<double> dx = {0.0, 3.0, -3.0, 0.0, 2.0, std::nan("")}, dy = {0.0, 0.0, 0.0, 2.0, 0.0, 1.0};
    for (int i = 0; i < 37; ++i) dx.push_back(lag(random)), dy.push_back(lag(random));
    std::vector<double> many(dx.size());
    model.AtMany(dx.data(), dy.data(), dx.size(), many.data());
    for (std::size_t i = 0; i < dx.size(); ++i) {
        const double one = model.At(dx[i], dy[i]);
        EXPECT_EQ(std::memcmp(&one, &many[i], sizeof one), 0) << dx[i] << ", " << dy[i];
    }
    const double sill = constants.sill, atRange = sill - (double{constants.nugget} + double{constants.partialSill});
    EXPECT_EQ(many[0], sill);
    EXPECT_EQ(many[1], atRange) << "at the range";
    EXPECT_EQ(many[3], atRange) << "at the range along y, stretched";
    EXPECT_EQ(many[5], 0.0) << "not a number";
}

TEST(AccurateArithmetic, DegenerateSystemsAreCountedAndNeverGuessed) {
    // Two samples 1e-7 apart without a nugget: nearly equal columns.
    Samples close = Scattered(3, 30, 100.0f, [](double x, double) { return 10.0 + x / 10.0; });
    close.x.push_back(close.x[0] + 1e-5f);
    close.y.push_back(close.y[0]);
    close.value.push_back(close.value[0] + 0.5f);
    AccurateRun nearSingular(close, 100.0f, 11, MOSARO_METHOD_ORDINARY, 30);
    // A long range makes every covariance nearly the sill, so the two
    // columns differ in the tenth digit.
    nearSingular.model.range = 1e5f;
    ASSERT_EQ(nearSingular.Run(), MOSARO_OK);
    const mosaro_node_summary n = nearSingular.Nodes();
    EXPECT_EQ(n.arithmetic, MOSARO_ARITHMETIC_ACCURATE);
    EXPECT_EQ(n.node_count, 121);
    EXPECT_GT(n.ill_conditioned_count, 0);
    EXPECT_LT(n.smallest_reciprocal_condition, 1e-10);
    int flagged = 0;
    for (float c : nearSingular.condition) flagged += c < 1e-10f;
    EXPECT_EQ(flagged, n.ill_conditioned_count);
    // Without the per-node output a node's condition is worked out only as
    // far as the counts and the solve need it: the same nodes flagged and
    // solved alike, also after a duplicate has made the smallest 0.
    close.x.push_back(close.x[1]);
    close.y.push_back(close.y[1]);
    close.value.push_back(close.value[1]);
    AccurateRun counted(close, 100.0f, 11, MOSARO_METHOD_ORDINARY, 30), unreported(close, 100.0f, 11, 1, 30);
    for (AccurateRun* run : {&counted, &unreported}) {
        run->model.range = 1e5f;
        run->request.thread_count = 1;
    }
    unreported.request.reciprocal_condition = nullptr;
    ASSERT_EQ(counted.Run(), MOSARO_OK);
    ASSERT_EQ(unreported.Run(), MOSARO_OK);
    EXPECT_EQ(0, std::memcmp(counted.grid.data(), unreported.grid.data(), counted.grid.size() * sizeof(float)));
    EXPECT_EQ(counted.Nodes().minimum_norm_count, unreported.Nodes().minimum_norm_count);
    EXPECT_EQ(counted.Nodes().ill_conditioned_count, unreported.Nodes().ill_conditioned_count);
    EXPECT_EQ(counted.Nodes().smallest_reciprocal_condition, unreported.Nodes().smallest_reciprocal_condition);

    // Exact duplicates: singular but consistent, solved by the minimum-norm
    // weights, which split the weight of the location evenly.
    Samples twice = Scattered(4, 20, 100.0f, [](double x, double) { return 10.0 + x / 10.0; });
    const Samples once = twice;
    twice.x.push_back(twice.x[3]);
    twice.y.push_back(twice.y[3]);
    twice.value.push_back(twice.value[3]);
    AccurateRun duplicated(twice, 100.0f, 5, MOSARO_METHOD_ORDINARY, 21);
    AccurateRun single(once, 100.0f, 5, MOSARO_METHOD_ORDINARY, 20);
    ASSERT_EQ(duplicated.Run(), MOSARO_OK);
    ASSERT_EQ(single.Run(), MOSARO_OK);
    EXPECT_EQ(duplicated.Nodes().ill_conditioned_count, 25);
    EXPECT_GT(duplicated.Nodes().minimum_norm_count, 0);
    for (std::size_t k = 0; k < single.grid.size(); ++k) EXPECT_TRUE(Near(single.grid[k], duplicated.grid[k], 1e-6));

    // A drift in x over neighbours that all share one x cannot reach a node
    // off their line: no estimate, and the node says so.
    Samples line;
    for (int i = 0; i < 6; ++i) {
        line.x.push_back(50.0f);
        line.y.push_back(static_cast<float>(i * 20));
        line.value.push_back(static_cast<float>(i));
    }
    AccurateRun inconsistent(line, 100.0f, 3, MOSARO_METHOD_UNIVERSAL_X, 6);
    ASSERT_EQ(inconsistent.Run(), MOSARO_OK);
    EXPECT_TRUE(std::isnan(inconsistent.grid[0]));
    EXPECT_FALSE(std::isnan(inconsistent.grid[1]));  // the node on the line
    EXPECT_EQ(inconsistent.Nodes().no_data_count, 6);
}

TEST(AccurateArithmetic, ProgressReachesTheHostOnItsOwnThreadOnly) {
    // Rows run on workers; a host with an interpreter lock must still be
    // called on the thread that made the call, for grids and validations.
    const Samples s = Scattered(10, 2000, 1000.0f, [](double x, double y) { return 10.0 + x / 100.0 + y / 300.0; });
    struct Seen {
        std::thread::id caller = std::this_thread::get_id();
        int calls = 0, foreign = 0;
    } seen;
    const mosaro_progress_fn onProgress = [](void* user, mosaro_stage, int, double) {
        Seen& v = *static_cast<Seen*>(user);
        ++v.calls;
        if (std::this_thread::get_id() != v.caller) ++v.foreign;
        return 1;
    };
    AccurateRun run(s, 1000.0f, 120, MOSARO_METHOD_ORDINARY, 16);
    run.request.thread_count = 4;
    run.request.progress = onProgress;
    run.request.progress_user_data = &seen;
    ASSERT_EQ(run.Run(), MOSARO_OK);
    mosaro_samples* samples = nullptr;
    ASSERT_EQ(mosaro_samples_create(s.x.data(), s.y.data(), s.value.data(), 2000, nullptr, 0, &samples), MOSARO_OK);
    mosaro_validation v{};
    v.struct_size = sizeof v;
    run.request.report = nullptr;  // the grid's report is still held
    EXPECT_EQ(mosaro_cross_validate(samples, &run.request, &v, nullptr), MOSARO_OK);
    mosaro_samples_free(samples);
    EXPECT_GT(seen.calls, 2);
    EXPECT_EQ(seen.foreign, 0);
}

// Every output bit of a few sweeps, pinned: the grids, the variances, the
// per-node conditions and the counts, over well-posed nodes, nodes that
// need drift terms, and duplicates that leave systems singular. The
// values were taken from the solver that handled one node at a time; the
// solvers that handle several at once must give the same.
TEST(AccurateArithmetic, SweepBitsArePinned) {
    Samples s =
        Scattered(12, 500, 1000.0f, [](double x, double y) { return 20.0 + std::sin(x / 110.0) * std::cos(y / 80.0); });
    for (int d = 0; d < 40; d += 7) {  // duplicates: singular but consistent systems
        s.x.push_back(s.x[static_cast<std::size_t>(d)]);
        s.y.push_back(s.y[static_cast<std::size_t>(d)]);
        s.value.push_back(s.value[static_cast<std::size_t>(d)]);
    }
    std::uint64_t hash = 14695981039346656037u;
    const auto mix = [&hash](const void* data, std::size_t bytes) {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (std::size_t k = 0; k < bytes; ++k) hash = (hash ^ p[k]) * 1099511628211u;
    };
    for (int method : {MOSARO_METHOD_ORDINARY, MOSARO_METHOD_UNIVERSAL_XXYY, MOSARO_METHOD_LOGNORMAL}) {
        for (bool outputs : {true, false}) {
            AccurateRun run(s, 1000.0f, 37, method, method == MOSARO_METHOD_ORDINARY ? 16 : 11);
            run.model = {0.02f, 0.0f, 300.0f, 1.0f};
            if (!outputs) run.request.variance = run.request.reciprocal_condition = nullptr;
            ASSERT_EQ(run.Run(), MOSARO_OK);
            mix(run.grid.data(), run.grid.size() * sizeof(float));
            if (outputs) {
                mix(run.variance.data(), run.variance.size() * sizeof(float));
                mix(run.condition.data(), run.condition.size() * sizeof(float));
            }
            const mosaro_node_summary n = run.Nodes();
            const long long counts[] = {n.no_data_count, n.ill_conditioned_count, n.minimum_norm_count};
            mix(counts, sizeof counts);
            mix(&n.smallest_reciprocal_condition, sizeof(double));
        }
    }
    EXPECT_EQ(hash, 9569036831918286898u);
}

TEST(AccurateArithmetic, ThreadCountChangesNoBit) {
    const Samples s =
        Scattered(9, 400, 1000.0f, [](double x, double y) { return 100.0 + std::sin(x / 90.0) * std::cos(y / 70.0); });
    std::vector<float> first;
    for (int threads : {1, 2, 5}) {
        AccurateRun run(s, 1000.0f, 31, MOSARO_METHOD_UNIVERSAL_XXYY, 16);
        run.request.thread_count = threads;
        ASSERT_EQ(run.Run(), MOSARO_OK);
        if (first.empty()) first = run.grid;
        else EXPECT_EQ(0, std::memcmp(first.data(), run.grid.data(), first.size() * sizeof(float))) << threads;
    }
}

}  // namespace
