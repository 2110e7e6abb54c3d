// Experimental variograms against gstat's variogram() on the demo data
// (log zinc of the meuse samples: pair counts equal, mean distances and
// semivariances to 1e-12), against brute force over every pair on seeded
// samples (the spatial index must neither lose nor repeat a pair), at one
// and at several threads (the same bits), and the class edges gstat uses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "DemoData.h"
#include "variogram/EmpiricalVariogram.h"
#include "variogram/PairMeasure.h"

namespace {

using mosaro::EmpiricalOptions;
using mosaro::LagDirection;
using mosaro::SampleView;
using mosaro::VariogramEstimator;

struct Samples {
    std::vector<double> x, y, value;
    SampleView View() const { return {x.data(), y.data(), value.data(), x.size()}; }
};

Samples Meuse() {
    const std::vector<std::vector<double>> columns = mosaro_test::DemoColumns();
    Samples s{columns[0], columns[1], columns[5]};
    for (double& zinc : s.value) zinc = std::log(zinc);
    return s;
}

Samples Seeded(std::size_t count, unsigned seed, double extent, bool onALattice) {
    std::mt19937_64 random(seed);
    Samples s;
    for (std::size_t i = 0; i < count; ++i) {
        const double u = static_cast<double>(random() >> 11) * 0x1p-53;
        const double v = static_cast<double>(random() >> 11) * 0x1p-53;
        const double w = static_cast<double>(random() >> 11) * 0x1p-53;
        // A lattice puts many pairs exactly on class edges and on the cutoff.
        s.x.push_back(onALattice ? std::floor(u * 20.0) : u * extent);
        s.y.push_back(onALattice ? std::floor(v * 20.0) : v * extent);
        s.value.push_back(std::sin(s.x.back() * 0.01) + w);
    }
    return s;
}

struct GstatClass {
    double azimuth;
    std::uint64_t pairs;
    double distance;
    double gamma;
};

void ExpectGstatClasses(const mosaro::EmpiricalVariogram& v, const std::vector<GstatClass>& expected) {
    std::size_t e = 0;
    for (const mosaro::DirectionalVariogram& d : v.directions)
        for (const mosaro::LagClass& c : d.classes) {
            if (c.pairs == 0) continue;
            ASSERT_LT(e, expected.size());
            const GstatClass& g = expected[e++];
            EXPECT_EQ(d.omnidirectional ? 0.0 : d.direction.azimuth, g.azimuth);
            EXPECT_EQ(c.pairs, g.pairs) << "class at " << g.distance;
            EXPECT_NEAR(c.meanDistance, g.distance, 1e-12 * g.distance);
            EXPECT_NEAR(c.gamma, g.gamma, 1e-12 * g.gamma);
        }
    EXPECT_EQ(e, expected.size());
}

TEST(EmpiricalVariogram, OmnidirectionalClassicIsGstats) {
    // variogram(log(zinc) ~ 1, meuse)
    const std::vector<GstatClass> gstat = {
        {0, 57, 79.292437455826644, 0.12344793490615885},  {0, 299, 163.97366555886859, 0.21621848529650833},
        {0, 419, 267.36482767034101, 0.30278587559454434}, {0, 457, 372.7354223908294, 0.41214476038234027},
        {0, 547, 478.47669504705982, 0.4634127861775284},  {0, 533, 585.340581095414, 0.56469327065524877},
        {0, 574, 693.14525554245313, 0.56896826320820082}, {0, 564, 796.1836488512738, 0.61867685868758426},
        {0, 589, 903.14649830028122, 0.64714788748635788}, {0, 543, 1011.2917733908821, 0.69157048811176514},
        {0, 500, 1117.8623455181942, 0.70339835053586541}, {0, 477, 1221.328098765993, 0.60387703649890301},
        {0, 452, 1329.1640650697661, 0.65171577623457022}, {0, 457, 1437.2562032833191, 0.56653177830552803},
        {0, 415, 1543.2024819996757, 0.57482273406787732},
    };
    const Samples meuse = Meuse();
    const mosaro::EmpiricalVariogram v = mosaro::ComputeEmpiricalVariogram(meuse.View(), {});
    EXPECT_DOUBLE_EQ(v.cutoff, 1596.6066497284619);  // gstat's boundaries end there
    EXPECT_DOUBLE_EQ(v.width, 1596.6066497284619 / 15);
    ExpectGstatClasses(v, gstat);
}

TEST(EmpiricalVariogram, DirectionalRobustIsGstats) {
    // variogram(log(zinc) ~ 1, meuse, cressie = TRUE, alpha = c(0, 45), tol.hor = 22.5)
    const std::vector<GstatClass> gstat = {
        {0, 12, 84.360795302280977, 0.028206424924335758},  {0, 76, 165.5979969433275, 0.17978979747939755},
        {0, 109, 270.29441468915928, 0.20324101155147115},  {0, 134, 371.2782399986188, 0.32924457716673589},
        {0, 158, 478.06479993611731, 0.58190778758569406},  {0, 154, 583.35601199049393, 0.55692440484019567},
        {0, 159, 692.5091137635161, 0.59098910499458424},   {0, 158, 797.5294066804662, 0.71616357656866791},
        {0, 156, 901.86529211941638, 0.74066969427565621},  {0, 156, 1011.5531790653316, 0.8159113903863261},
        {0, 137, 1115.244919379415, 0.97793946938851484},   {0, 135, 1220.3167395176968, 0.77712797375095777},
        {0, 109, 1328.0785889668011, 1.1824877173095365},   {0, 120, 1436.9323714980321, 0.89850651747761667},
        {0, 96, 1544.6855872202966, 1.018160106646542},     {45, 11, 82.066632859814206, 0.049856745097687734},
        {45, 91, 165.75828890500188, 0.09691837391908277},  {45, 118, 266.9309303460426, 0.17284065307991808},
        {45, 136, 374.24886278987356, 0.23232788748048233}, {45, 172, 479.40618266697862, 0.21907610035102532},
        {45, 177, 587.53553561315312, 0.28014367943094126}, {45, 209, 693.02620008611984, 0.38831992290822004},
        {45, 226, 796.37553558910997, 0.46132815002737471}, {45, 283, 905.25037631113935, 0.40972472999359622},
        {45, 264, 1012.2632626236136, 0.47537235411332035}, {45, 274, 1121.2092621801478, 0.47596854820477613},
        {45, 275, 1221.6370414254493, 0.46536460537064744}, {45, 282, 1330.9343055585277, 0.49902345386381231},
        {45, 297, 1438.2126165909669, 0.50752307530617558}, {45, 299, 1542.7551453091012, 0.50547662178659925},
    };
    const Samples meuse = Meuse();
    EmpiricalOptions options;
    options.estimator = VariogramEstimator::kRobust;
    for (double azimuth : {0.0, 45.0}) options.directions.push_back({azimuth, 22.5});
    ExpectGstatClasses(mosaro::ComputeEmpiricalVariogram(meuse.View(), options), gstat);
}

// Every pair by brute force, with the class and direction rules written out
// again: d <= cutoff, class ceil(d / w) - 1 (0 for d = 0), the angle to the
// direction's axis within the tolerance.
struct BruteClass {
    std::uint64_t pairs = 0;
    double distance = 0.0, statistic = 0.0;
};
std::vector<BruteClass> BruteForce(const Samples& s, double cutoff, double width, const LagDirection* direction,
                                   VariogramEstimator estimator, std::size_t classes) {
    std::vector<BruteClass> out(classes);
    const double pi = 3.141592653589793;
    for (std::size_t i = 0; i < s.x.size(); ++i)
        for (std::size_t j = 0; j < i; ++j) {
            const double dx = s.x[i] - s.x[j], dy = s.y[i] - s.y[j];
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d > cutoff) continue;
            if (direction && d > 0) {
                const double along = std::fabs(dx * std::sin(direction->azimuth * pi / 180) +
                                               dy * std::cos(direction->azimuth * pi / 180)) /
                                     d;
                if (along < std::cos(direction->tolerance * pi / 180)) continue;
            }
            const std::size_t k = d == 0 ? 0 : static_cast<std::size_t>(std::ceil(d / width)) - 1;
            const double diff = s.value[i] - s.value[j];
            out[k].pairs++;
            out[k].distance += d;
            out[k].statistic += estimator == VariogramEstimator::kClassic ? diff * diff : std::sqrt(std::fabs(diff));
        }
    return out;
}

TEST(EmpiricalVariogram, SpatialIndexMeetsEveryPairOnce) {
    struct Case {
        const char* name;
        Samples samples;
        double cutoff, width;
        bool directional;
        VariogramEstimator estimator;
    };
    const Case cases[] = {
        {"uniform, default cutoff", Seeded(1500, 7, 1000.0, false), std::nan(""), std::nan(""), false,
         VariogramEstimator::kClassic},
        {"uniform, short cutoff", Seeded(1500, 8, 1000.0, false), 60.0, 7.0, false, VariogramEstimator::kRobust},
        {"lattice, edges hit", Seeded(1200, 9, 0.0, true), 10.0, 1.0, false, VariogramEstimator::kClassic},
        {"lattice, directional", Seeded(1200, 10, 0.0, true), 12.0, 2.0, true, VariogramEstimator::kClassic},
        {"uniform, directional", Seeded(1000, 11, 500.0, false), 200.0, 25.0, true, VariogramEstimator::kRobust},
    };
    for (const Case& c : cases) {
        EmpiricalOptions options;
        options.cutoff = c.cutoff;
        options.width = c.width;
        options.estimator = c.estimator;
        if (c.directional) options.directions = {{0.0, 30.0}, {60.0, 30.0}, {120.0, 30.0}};
        const mosaro::EmpiricalVariogram v = mosaro::ComputeEmpiricalVariogram(c.samples.View(), options);
        ASSERT_EQ(v.directions.size(), c.directional ? 3u : 1u);
        for (std::size_t d = 0; d < v.directions.size(); ++d) {
            const std::vector<BruteClass> brute =
                BruteForce(c.samples, v.cutoff, v.width, c.directional ? &v.directions[d].direction : nullptr,
                           c.estimator, v.directions[d].classes.size());
            for (std::size_t k = 0; k < brute.size(); ++k) {
                const mosaro::LagClass& got = v.directions[d].classes[k];
                ASSERT_EQ(got.pairs, brute[k].pairs) << c.name << " direction " << d << " class " << k;
                if (got.pairs == 0) continue;
                const double n = static_cast<double>(got.pairs);
                EXPECT_NEAR(got.meanDistance, brute[k].distance / n, 1e-12 * got.meanDistance) << c.name;
                const double expected = c.estimator == VariogramEstimator::kClassic
                                            ? brute[k].statistic / (2 * n)
                                            : 0.5 * std::pow(brute[k].statistic / n, 4) / (0.457 + 0.494 / n);
                EXPECT_NEAR(got.gamma, expected, 1e-11 * expected) << c.name;
            }
        }
    }
}

TEST(EmpiricalVariogram, ClassEdgesAreGstats) {
    // Four samples on a line: distances 1, 2, 3 (twice), 4 (twice)... with
    // width 1 and cutoff 3: (0,1] (1,2] (2,3], coincident samples in the
    // first class, 4 beyond the cutoff (kept out), 3 exactly on it (kept in).
    const Samples s{{0, 1, 3, 3, 4}, {0, 0, 0, 0, 0}, {0, 1, 2, 5, 4}};
    EmpiricalOptions options;
    options.cutoff = 3.0;
    options.width = 1.0;
    const mosaro::EmpiricalVariogram v = mosaro::ComputeEmpiricalVariogram(s.View(), options);
    const std::vector<mosaro::LagClass>& c = v.directions[0].classes;
    ASSERT_EQ(c.size(), 4u);  // floor(3 / 1) + 1, the last one for distances past 3 w
    // pairs: d=1: (0,1),(3,4),(3',4) ; d=0: (3,3') ; d=2: (1,3),(1,3')
    //        d=3: (0,3),(0,3'),(1,4) ; d=4: (0,4) out
    EXPECT_EQ(c[0].pairs, 4u);
    EXPECT_EQ(c[1].pairs, 2u);
    EXPECT_EQ(c[2].pairs, 3u);
    EXPECT_EQ(c[3].pairs, 0u);
    EXPECT_DOUBLE_EQ(c[0].meanDistance, 0.75);
    // (1 + 4 + 1 + 9) / (2 * 4): differences 1, 2, 1 and 3
    EXPECT_DOUBLE_EQ(c[0].gamma, (1.0 + 4.0 + 1.0 + 9.0) / 8.0);
    EXPECT_EQ(c[3].upper, 3.0);
}

void ExpectSameBits(const mosaro::EmpiricalVariogram& a, const mosaro::EmpiricalVariogram& b, const char* what) {
    for (std::size_t d = 0; d < a.directions.size(); ++d)
        for (std::size_t k = 0; k < a.directions[d].classes.size(); ++k) {
            const mosaro::LagClass &x = a.directions[d].classes[k], &y = b.directions[d].classes[k];
            EXPECT_EQ(x.pairs, y.pairs) << what;
            EXPECT_EQ(std::memcmp(&x.gamma, &y.gamma, sizeof x.gamma), 0) << what;
            EXPECT_EQ(std::memcmp(&x.meanDistance, &y.meanDistance, sizeof x.gamma), 0) << what;
        }
}

TEST(EmpiricalVariogram, ThreadsDoNotChangeABit) {
    const Samples s = Seeded(4000, 12, 1000.0, false);
    for (VariogramEstimator estimator : {VariogramEstimator::kClassic, VariogramEstimator::kRobust}) {
        EmpiricalOptions options;
        options.estimator = estimator;
        options.directions = {{30.0, 22.5}, {120.0, 22.5, 80.0}};
        options.threads = 1;
        const mosaro::EmpiricalVariogram one = mosaro::ComputeEmpiricalVariogram(s.View(), options);
        for (int threads : {2, 3, 8}) {
            options.threads = threads;
            ExpectSameBits(one, mosaro::ComputeEmpiricalVariogram(s.View(), options), "threads");
        }
    }
}

TEST(EmpiricalVariogram, EveryVectorPathGivesThePlainBits) {
    // A lattice (pairs on class edges and on the cutoff) and scattered
    // samples; odd counts leave tails to every vector loop.
    const Samples samples[] = {Seeded(1201, 16, 0.0, true), Seeded(3001, 17, 1000.0, false)};
    const std::vector<mosaro::PairMeasure> measures = mosaro::AvailablePairMeasures();
    ASSERT_STREQ(measures.front().name, "plain");
    for (const Samples& s : samples)
        for (VariogramEstimator estimator : {VariogramEstimator::kClassic, VariogramEstimator::kRobust})
            for (bool directional : {false, true}) {
                EmpiricalOptions options;
                options.estimator = estimator;
                options.cutoff = 11.0;
                options.width = 1.0;
                if (s.x.size() > 2000) options.cutoff = options.width = std::nan("");
                // A narrow cone, one with a bandwidth, one that takes every pair.
                if (directional) options.directions = {{0.0, 45.0}, {90.0, 45.0, 3.0}, {30.0, 90.0}};
                const mosaro::EmpiricalVariogram plain =
                    mosaro::ComputeEmpiricalVariogramWith(s.View(), options, measures.front());
                for (const mosaro::PairMeasure& measure : measures)
                    ExpectSameBits(plain, mosaro::ComputeEmpiricalVariogramWith(s.View(), options, measure),
                                   measure.name);
            }
}

TEST(EmpiricalVariogram, BandwidthKeepsPairsNearTheAxis) {
    // Samples on a cross: a pair along x at offset 5 in y is inside a 22.5
    // degree tolerance at distance 20 but 5 from the axis.
    const Samples s{{0, 20, 0}, {0, 5, 30}, {1, 2, 3}};
    EmpiricalOptions options;
    options.cutoff = 40;
    options.width = 40;
    options.directions = {{90.0, 22.5, 4.0}, {90.0, 22.5, 6.0}};
    const mosaro::EmpiricalVariogram v = mosaro::ComputeEmpiricalVariogram(s.View(), options);
    EXPECT_EQ(v.directions[0].classes[0].pairs, 0u);
    EXPECT_EQ(v.directions[1].classes[0].pairs, 1u);
}

TEST(EmpiricalVariogram, CloudListsEveryPairWithinTheCutoff) {
    const Samples s = Seeded(400, 13, 100.0, false);
    const std::vector<mosaro::CloudPair> cloud = mosaro::ComputeVariogramCloud(s.View(), 30.0, 2);
    std::size_t expected = 0;
    for (std::size_t i = 0; i < s.x.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (std::hypot(s.x[i] - s.x[j], s.y[i] - s.y[j]) <= 30.0) ++expected;
    ASSERT_EQ(cloud.size(), expected);
    for (std::size_t k = 0; k < cloud.size(); ++k) {
        const mosaro::CloudPair& p = cloud[k];
        EXPECT_GT(p.i, p.j);
        if (k > 0) {
            EXPECT_TRUE(cloud[k - 1].i < p.i || (cloud[k - 1].i == p.i && cloud[k - 1].j < p.j));
        }
        const double diff = s.value[p.i] - s.value[p.j];
        EXPECT_DOUBLE_EQ(p.gamma, 0.5 * diff * diff);
    }
}

TEST(EmpiricalVariogram, MapCountsEachPairAtBothLagVectors) {
    const Samples s = Seeded(300, 14, 100.0, false);
    const mosaro::VariogramMap map = mosaro::ComputeVariogramMap(s.View(), 30.0, 10.0);
    ASSERT_EQ(map.size, 7);
    std::vector<std::uint64_t> pairs(49, 0);
    std::vector<double> sums(49, 0.0);
    for (std::size_t i = 0; i < s.x.size(); ++i)
        for (std::size_t j = 0; j < s.x.size(); ++j) {
            if (i == j) continue;
            const double dx = s.x[i] - s.x[j], dy = s.y[i] - s.y[j];
            const double column = std::floor((dx + 35.0) / 10.0), row = std::floor((dy + 35.0) / 10.0);
            if (column < 0 || column > 6 || row < 0 || row > 6) continue;
            const std::size_t cell = static_cast<std::size_t>(row) * 7 + static_cast<std::size_t>(column);
            pairs[cell]++;
            sums[cell] += (s.value[i] - s.value[j]) * (s.value[i] - s.value[j]);
        }
    for (std::size_t c = 0; c < 49; ++c) {
        EXPECT_EQ(map.pairs[c], pairs[c]) << c;
        if (pairs[c]) {
            EXPECT_NEAR(map.gamma[c], sums[c] / (2.0 * static_cast<double>(pairs[c])), 1e-12);
        }
        // symmetric about the origin
        EXPECT_EQ(map.pairs[c], map.pairs[48 - c]);
    }
}

TEST(EmpiricalVariogram, RefusesWhatCannotBeComputed) {
    Samples s = Seeded(10, 15, 10.0, false);
    EmpiricalOptions options;
    options.width = -1;
    EXPECT_THROW(mosaro::ComputeEmpiricalVariogram(s.View(), options), std::invalid_argument);
    options.width = std::nan("");
    options.directions = {{0.0, 0.0}};
    EXPECT_THROW(mosaro::ComputeEmpiricalVariogram(s.View(), options), std::invalid_argument);
    s.value[3] = std::nan("");
    EXPECT_THROW(mosaro::ComputeEmpiricalVariogram(s.View(), {}), std::invalid_argument);
}

}  // namespace
