// Experimental variograms: lag classes one cell wide, the two 10-degree
// cones, the distance-weighted semivariance, and the blocked parallel path
// (every pair kernel, thread count and blocking) against the plain pair loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "variogram/ExperimentalVariogram.h"
#include "variogram/LagClasses.h"
#include "variogram/PairCone.h"
#include "variogram/SampleRunBoxes.h"
#include "variogram/VariogramClasses.h"
#include "variogram/VariogramTable.h"

using mosaro::f32;
using mosaro::f64;

namespace {

// Samples as separate columns, the values already widened as the methods
// pass them (NaN allowed).
struct Columns {
    std::vector<float> x, y;
    std::vector<double> values;
    void Add(float px, float py, double value) {
        x.push_back(px);
        y.push_back(py);
        values.push_back(value);
    }
    int Count() const { return static_cast<int>(x.size()); }
};

using Cells = std::pair<float, float>;  // x, then y

// Both tables' three rows (lag, pair count, semivariance), x then y,
// flattened; from the plain pair loop when `kernels` is null.
std::vector<float> Tables(const Columns& samples, TRECTXYMINMAX rect, Cells cells,
                          const mosaro::PairKernelPath* kernels = nullptr, int threads = 1,
                          mosaro::PairBlocking blocking = {}) {
    const TGRIDCELLXY grid{cells.first, cells.second, 0, 0};
    mosaro::Execution execution;
    execution.workers = threads;
    const mosaro::DirectionalTables tables = mosaro::BuildExperimentalVariograms(
        {samples.x.data(), samples.y.data(), samples.values.data(), samples.Count()}, grid, rect, kernels, execution,
        blocking);
    const auto counts = mosaro::ComputeLagClassCounts(grid, rect);
    std::vector<float> rows;
    for (float** table : {tables.x.Get(), tables.y.Get()}) {
        const int classes = table == tables.x.Get() ? counts.x : counts.y;
        for (int row = 0; row < 3; ++row) rows.insert(rows.end(), table[row], table[row] + classes);
    }
    return rows;
}

// Where a row of a direction's table starts in Tables' output, both
// directions having `classes` classes.
std::size_t Row(int direction, int row, int classes) {
    return static_cast<std::size_t>((3 * direction + row) * classes);
}

float Pairs(const std::vector<float>& tables, int direction, int classes) {
    const auto from = tables.begin() + static_cast<std::ptrdiff_t>(Row(direction, mosaro::kPairCountRow, classes));
    return std::accumulate(from, from + classes, 0.0f);
}

// Every kernel path on 1, 2 and 8 threads gives the reference's bits; also
// cut into tiny blocks (pieces of rows) and waves, so that many waves are
// added while the next ones are classified. Tiny, but never more than a few
// hundred waves: each wave hands work between threads, which costs up to a
// millisecond where threads wait through an emulator, and the largest sets
// here hold millions of pairs.
void ExpectFastMatchesReference(const Columns& samples, TRECTXYMINMAX rect, Cells cells, const char* what) {
    const std::vector<float> reference = Tables(samples, rect, cells, nullptr, 1);
    const std::size_t count = static_cast<std::size_t>(samples.Count());
    const std::size_t pairs = count > 1 ? count * (count - 1) / 2 : 0;
    const auto tiny = [&](std::size_t least, std::size_t waveBlocks) {
        return std::max(least, pairs / (300 * waveBlocks));
    };
    for (const mosaro::PairKernelPath& path : mosaro::AvailablePairKernels()) {
        for (int threads : {1, 2, 8})
            EXPECT_TRUE(mosaro_test::SameBits(Tables(samples, rect, cells, &path, threads), reference))
                << what << ": " << path.name << " kernels, " << threads << " threads";
        // Runs of samples passed over by their boxes, whatever the boxes'
        // size, and never.
        using mosaro::RunSkipping;
        for (mosaro::PairBlocking blocking : {mosaro::PairBlocking{tiny(5, 3), 3, RunSkipping::kAlways},
                                              mosaro::PairBlocking{tiny(97, 2), 2, RunSkipping::kNever},
                                              mosaro::PairBlocking{1u << 15, 64, RunSkipping::kAlways}})
            EXPECT_TRUE(mosaro_test::SameBits(Tables(samples, rect, cells, &path, 2, blocking), reference))
                << what << ": " << path.name << " kernels, blocks of " << blocking.blockPairs << ", skipping "
                << static_cast<int>(blocking.runSkipping);
    }
}

std::size_t Index(int k) { return static_cast<std::size_t>(k); }

Columns RandomColumns(unsigned seed, int count, float size) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> u(0.0f, size), v(0.0f, 100.0f);
    Columns c;
    for (int i = 0; i < count; ++i) {
        const float px = u(random), py = u(random);  // in this order
        c.Add(px, py, f64(v(random)));
    }
    return c;
}

// A star of samples around the origin whose quotients ay / ax lie on both
// sides of the cone edges: the float neighbours of ax times each threshold.
Columns ConeEdgeStar(unsigned seed) {
    const mosaro::ConeThresholds& t = mosaro::GetConeThresholds();
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> length(0.5f, 40.0f);
    Columns c;
    c.Add(0, 0, 0.0);
    for (int k = 0; k < 60; ++k) {
        const float ax = length(random);
        for (double q : {t.xMaxQuotient, t.yMinQuotient}) {
            float ay = std::nextafter(std::nextafter(f32(f64(ax) * q), 0.0f), 0.0f);
            for (int step = 0; step < 5; ++step, ay = std::nextafter(ay, 1e9f)) {
                c.Add(ax, ay, k + step);
                c.Add(-ax, -ay, k - step);  // the same quotient, the pair the other way round
            }
        }
    }
    return c;
}

}  // namespace

TEST(ExperimentalVariogram, SemivarianceIsWeightedByPairDistance) {
    // x pairs at 1.0 and about 1.4 (class 1), differences 2 and 1; the
    // other pairs lie near 45 degrees and are not used.
    Columns samples;
    samples.Add(0, 0, 0);
    samples.Add(1, 0, 2);
    samples.Add(10, 10, 5);
    samples.Add(11.4f, 10, 6);
    const std::vector<float> t = Tables(samples, {0, 0, 20, 20}, {1, 1});
    const float d = f32(f64(11.4f) - 10.0);
    const float gamma = f32(f64(f32(4.0 + f64(d))) / (2.0 * f64(f32(1.0 + f64(d)))));
    EXPECT_EQ(t[Row(0, mosaro::kPairCountRow, 20)], 2.0f);
    EXPECT_EQ(t[Row(0, mosaro::kSemivarianceRow, 20)], gamma);
    EXPECT_NEAR(gamma, 1.125f, 1e-6f);  // not 1.25, the plain mean of half the squares
    EXPECT_EQ(Pairs(t, 1, 20), 0.0f);
}

TEST(ExperimentalVariogram, PairCountIsTheFloatChainOfOnesEvenPastItsLastExactValue) {
    // The count is kept as an integer; it must read as the float that adds
    // 1 after every pair, which stops growing at 2^24.
    mosaro::ClassChains chains;
    float literal = 0.0f;
    const std::uint64_t last = mosaro::ClassChains::kLastCountedPair;
    for (std::uint64_t pair = 1; pair <= last + 3; ++pair) {
        chains.Add(1.0f, 0.0);
        literal = f32(f64(literal) + 1.0);
        if (pair + 3 >= last) {
            EXPECT_EQ(chains.PairCount(), literal) << pair;
        }
    }
    EXPECT_EQ(chains.PairCount(), 16777216.0f);
}

TEST(ExperimentalVariogram, PairsJoinTheConeAndClassOfTheirFloatAngleAndDistance) {
    struct Case {
        float ax, ay;
        int direction, lagClass;
    } const cases[] = {
        // direction -1: no cone
        {10.0f, 1.76326978f, 0, 10},                      // exactly 10 degrees as a float
        {10.0f, 1.7632699f, -1, 0},                       // the next float angle up
        {1.76326966f, 10.0f, -1, 0},                      // exactly 80 degrees: 1.5707963 - theta > the cone
        {1.76326954f, 10.0f, 1, 10},                      // the smallest angle the y cone accepts
        {1.0f, 1.0f, -1, 0},                              // 45 degrees
        {0.0f, 2.0f, 1, 2},                               // same x: a y pair
        {0.0f, 0.0f, -1, 0},                              // same place: class 0, no class
        {0.49999997f, 0.0f, -1, 0},  {1.5f, 0.0f, 0, 2},  // [k - 0.5, k + 0.5) cells
        {12.5f, 0.0f, -1, 0},                             // (n + 0.5) cells is beyond the last class
    };
    for (const Case& c : cases) {
        Columns samples;
        samples.Add(0, 0, 0);
        samples.Add(c.ax, c.ay, 1);
        const std::vector<float> t = Tables(samples, {0, 0, 12, 12}, {1, 1});
        EXPECT_EQ(Pairs(t, 0, 12) + Pairs(t, 1, 12), c.direction < 0 ? 0.0f : 1.0f) << c.ax << ", " << c.ay;
        if (c.direction >= 0) {
            EXPECT_EQ(t[Row(c.direction, mosaro::kPairCountRow, 12) + c.lagClass - 1], 1.0f) << c.ax;
        }
    }
}

TEST(ExperimentalVariogramFastPath, MatchesTheReferenceBitForBit) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const TRECTXYMINMAX square{0, 0, 100, 100};

    for (unsigned seed : {1u, 2u, 3u})
        ExpectFastMatchesReference(RandomColumns(seed, 700, 100), square, {5, 5}, "random");
    // Each direction with its own cell, reach and class count.
    ExpectFastMatchesReference(RandomColumns(11, 700, 100), {0, 0, 100, 60}, {3.7f, 6}, "two cells");
    ExpectFastMatchesReference(RandomColumns(12, 700, 100), square, {50, 2}, "two cells, far apart");
    // Beyond 100 classes both directions are halved.
    ExpectFastMatchesReference(RandomColumns(4, 900, 300), {0, 0, 300, 250}, {1, 1}, "many classes");
    // Cells the entry point would not pass on: negative with an inverted
    // extent (positive class counts, reach below zero), not a number.
    ExpectFastMatchesReference(RandomColumns(13, 200, 10), {10, 10, 0, 0}, {-1, -0.5f}, "negative cells");
    ExpectFastMatchesReference(RandomColumns(14, 200, 10), square, {nan, 1}, "cell not a number");
    // Lattices: many pairs at exactly 0 and 90 degrees, and distances on the
    // class edges (half-integer multiples of the cell).
    Columns lattice, fine;
    for (int i = 0; i < 24; ++i)
        for (int j = 0; j < 24; ++j) lattice.Add(2.5f * f32(i), 2.5f * f32(j), (i * 7 + j * 3) % 11);
    ExpectFastMatchesReference(lattice, {0, 0, 60, 60}, {5, 5}, "lattice on class edges");
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 30; ++j) fine.Add(0.1f * f32(i), 0.3f * f32(j), f64(0.1f * f32(i * j)));
    ExpectFastMatchesReference(fine, {0, 0, 3, 9}, {0.1f, 0.3f}, "lattice of inexact spacing");
    ExpectFastMatchesReference(ConeEdgeStar(5), {-40, -40, 40, 40}, {1, 1}, "cone edges");
    // Each star sample alone in its run of samples (the rest not a number):
    // a run's box is then one point, and passing over it must decide
    // exactly as the filter does, on both sides of each edge.
    const Columns star = ConeEdgeStar(9);
    Columns lonely;
    for (int i = 0; i < 41; ++i) {  // two rays: both edges, both sides, five steps
        lonely.Add(star.x[i], star.y[i], star.values[i]);
        for (int k = 1; k < 64; ++k) lonely.Add(nan, nan, 0.0);
    }
    ExpectFastMatchesReference(lonely, {-40, -40, 40, 40}, {1, 1}, "cone edges, one per run");
    // Orders that follow the ground, whose runs are compact.
    Columns sorted = RandomColumns(15, 1500, 100);
    std::vector<int> order(static_cast<std::size_t>(sorted.Count()));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const auto at = [&](int k) { return std::pair{static_cast<int>(sorted.y[Index(k)] / 7), sorted.x[Index(k)]}; };
        return at(a) < at(b);
    });
    Columns lines;
    for (int k : order) lines.Add(sorted.x[Index(k)], sorted.y[Index(k)], sorted.values[Index(k)]);
    ExpectFastMatchesReference(lines, square, {0.5f, 2}, "along lines");
    // Three clusters of 512 samples, the second at 45 degrees from the
    // first, the third along x from it: a row of the first meets the third
    // only in a batch whose first samples lie in the second.
    Columns clusters;
    for (const auto& [cx, cy] : {std::pair{5.0f, 5.0f}, std::pair{45.0f, 45.0f}, std::pair{45.0f, 5.0f}}) {
        const Columns cluster = RandomColumns(static_cast<unsigned>(cx + cy), 512, 2);
        for (int k = 0; k < cluster.Count(); ++k)
            clusters.Add(cx + cluster.x[Index(k)], cy + cluster.y[Index(k)], cluster.values[Index(k)]);
    }
    ExpectFastMatchesReference(clusters, square, {0.5f, 0.5f}, "clusters");

    Columns special = RandomColumns(6, 300, 50);
    special.Add(10, 10, 1);
    special.Add(10, 10, 9);
    special.Add(10, 10, 4);  // coincident
    special.Add(nan, 3, 1);
    special.Add(3, nan, 2);
    special.Add(nan, nan, 3);
    special.Add(inf, 5, 4);
    special.Add(5, inf, 5);
    special.Add(-inf, -inf, 6);
    special.Add(inf, inf, 7);
    special.Add(10, 1e30f, 8);
    special.Add(3e38f, 10, 9);
    special.Add(-3e38f, 10, 10);  // overflowing differences
    special.Add(1e-40f, 0, 11);
    special.Add(0, 1e-44f, 12);  // subnormal separations
    special.values[17] = std::numeric_limits<double>::quiet_NaN();
    ExpectFastMatchesReference(special, {0, 0, 50, 50}, {2.5f, 2.5f}, "coincident, not finite, NaN value");

    for (int count : {0, 1, 2})
        ExpectFastMatchesReference(RandomColumns(7, count, 10), {0, 0, 10, 10}, {1, 1}, "few samples");
}

TEST(ExperimentalVariogramFastPath, RunBoxesPassOverOnlyRunsOutsideBothCones) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Runs of two samples, seen from the origin.
    const std::vector<float> x = {10, 12, 0.5f, -0.5f, 10, 12, 30, 31, nan, 1, 20, 10};
    const std::vector<float> y = {1, -1, 10, 12, 10, 12, 0, 0, 2, nan, 2, 5};
    const mosaro::SampleRunBoxes boxes(x.data(), y.data(), x.size(), 2);
    const mosaro::LagClassifier classes(20, 1.0f);  // out of reach from 20.5
    const mosaro::PairFilterBounds bounds = mosaro::MakePairFilterBounds(mosaro::GetConeThresholds(), classes, classes);
    EXPECT_TRUE(boxes.MayPass(0, 0, 0, bounds));   // along x
    EXPECT_TRUE(boxes.MayPass(1, 0, 0, bounds));   // along y
    EXPECT_FALSE(boxes.MayPass(2, 0, 0, bounds));  // at 45 degrees
    EXPECT_FALSE(boxes.MayPass(3, 0, 0, bounds));  // along x, out of reach
    EXPECT_FALSE(boxes.MayPass(4, 0, 0, bounds));  // no finite sample
    // (20, 2) passes; the box's corner that shows it pairs its farthest x
    // with its nearest y.
    EXPECT_TRUE(boxes.MayPass(5, 0, 0, bounds));
    EXPECT_TRUE(boxes.MayPass(2, 11, 0, bounds));  // from below the run: along y

    // Runs are worth testing when the order follows the ground.
    const Columns random = RandomColumns(16, 6400, 100);
    std::vector<int> order(static_cast<std::size_t>(random.Count()));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const auto at = [&](int k) { return std::pair{static_cast<int>(random.y[Index(k)] / 5), random.x[Index(k)]}; };
        return at(a) < at(b);
    });
    std::vector<float> lineX, lineY;
    for (int k : order) lineX.push_back(random.x[Index(k)]), lineY.push_back(random.y[Index(k)]);
    EXPECT_FALSE(mosaro::SampleRunBoxes(random.x.data(), random.y.data(), 6400, 64).Compact());
    EXPECT_TRUE(mosaro::SampleRunBoxes(lineX.data(), lineY.data(), 6400, 64).Compact());
}

TEST(ExperimentalVariogramFastPath, ConeThresholdsSplitTheQuotientsMonotonically) {
    const mosaro::ConeThresholds& t = mosaro::GetConeThresholds();
    // Every double within 2^16 steps of each threshold, on both sides, is
    // classified by the thresholds as by its angle: the angle tests are
    // monotone where it matters and the comparisons include the thresholds.
    for (double edge : {t.xMaxQuotient, t.yMinQuotient}) {
        double below = edge, above = edge;
        for (int step = 0; step < 65536; ++step) {
            ASSERT_EQ(mosaro::ConeOfQuotient(below, t), mosaro::ConeOfQuotientByAngle(below)) << step;
            ASSERT_EQ(mosaro::ConeOfQuotient(above, t), mosaro::ConeOfQuotientByAngle(above)) << step;
            below = std::nextafter(below, 0.0);
            above = std::nextafter(above, 1e9);
        }
    }
    EXPECT_EQ(mosaro::ConeOfQuotient(t.xMaxQuotient, t), mosaro::PairCone::kX);
    EXPECT_EQ(mosaro::ConeOfQuotient(std::nextafter(t.yMinQuotient, 0.0), t), mosaro::PairCone::kNone);

    // The quotient decides as the angle does for float separations of every
    // kind, among them the float neighbours of the edges.
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<std::pair<float, float>> separations = {
        {0, 0},   {0, 5},   {0, inf}, {0, nan}, {5, 0},           {inf, 0},        {inf, inf},
        {nan, 1}, {1, nan}, {3, inf}, {inf, 3}, {1e-45f, 1e-45f}, {1e-45f, 3e38f}, {3e38f, 1e-45f}};
    const Columns star = ConeEdgeStar(8);
    for (int i = 1; i < star.Count(); ++i) separations.push_back({std::fabs(star.x[i]), std::fabs(star.y[i])});
    for (const auto& [ax, ay] : separations)
        EXPECT_EQ(mosaro::ConeByQuotient(ax, ay, t), mosaro::ConeByAngle(ax, ay)) << ax << ", " << ay;
}

TEST(ExperimentalVariogramFastPath, FloatSeparationsEqualTheReferenceRounding) {
    // The filter works on separations computed in float; its bounds hold only
    // if they are the reference's f32(|double difference|), over the whole
    // exponent range.
    std::mt19937 random(9);
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int k = 0; k < 200000; ++k) {
        float a, b;
        const std::uint32_t ba = bits(random), bb = bits(random) ^ (k % 2 == 0 ? 0u : (ba & 0xFF800000u));
        std::memcpy(&a, &ba, sizeof a), std::memcpy(&b, &bb, sizeof b);
        if (std::isnan(a) || std::isnan(b)) continue;
        ASSERT_EQ(mosaro_test::Bits(std::fabs(a - b)), mosaro_test::Bits(mosaro::Separation(a, b))) << a << ", " << b;
    }
}

TEST(ExperimentalVariogramFastPath, CancelStopsTheBlockedPathAndLeaksNothing) {
    const Columns samples = RandomColumns(10, 8000, 100);
    for (bool reference : {false, true}) {
        std::vector<double> fractions;
        mosaro::ProgressReporter progress([&](mosaro::Stage stage, int, double fraction) {
            EXPECT_EQ(stage, mosaro::Stage::kVariograms);
            fractions.push_back(fraction);
            return fractions.size() < 3;
        });
        const mosaro::Execution execution{2, &progress};
        EXPECT_THROW(
            mosaro::BuildExperimentalVariograms(
                {samples.x.data(), samples.y.data(), samples.values.data(), samples.Count()}, TGRIDCELLXY{5, 5, 0, 0},
                {0, 0, 100, 100}, reference ? nullptr : &mosaro::PreferredPairKernels(), execution),
            mosaro::Cancelled);
        EXPECT_EQ(fractions.size(), 3u);
        EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
        EXPECT_LT(fractions.back(), 0.15);  // stopped early: the stage ends at 0.3
    }
}
