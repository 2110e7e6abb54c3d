// Node procedure: per-call constants, the neighbour sort's tie rule, the
// cut-off; the fast sweep over several bands, its progress and its stop.
// (The covariance and the system are checked bit for bit by the golden grids.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "CaseFile.h"
#include "TestSupport.h"
#include "neighbours/ExchangeSort.h"
#include "systems/KrigingConstants.h"
#include "systems/NodeCovariances.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

mosaro::KrigingConstants Constants(TRECTXYMINMAX rect, float rangeX = 1, float rangeY = 1) {
    const TVARIOGRAMMODEL models[2] = {{0.1f, 1.4f, rangeX, 1.3f}, {0.2f, 0.9f, rangeY, 0.7f}};
    return mosaro::KrigingConstants::FromModels(models, rect);
}

}  // namespace

TEST(NodeProcedure, CoordinateScaleNeedsTheLargerFloatSideStrictlyAbove) {
    struct Case {
        float extent, scale;
    } const cases[] = {
        {100, 1}, {100.5f, 100}, {1000, 100}, {10000, 1000}, {100000, 10000}, {250000, 100000}, {-5, 1}, {kNaN, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(Constants({0, 0, 1, c.extent}).scale, c.scale) << c.extent;
    EXPECT_EQ(Constants({-1e-6f, 0, 100, 50}).scale, 1.0f);        // 100 + 1e-6 stores 100
    const mosaro::KrigingConstants c = Constants({0, 0, 10, 10});  // means of the two directions
    EXPECT_EQ(c.partialSill, mosaro::f32((mosaro::f64(1.3f) + mosaro::f64(0.7f)) / 2.0));
    EXPECT_EQ(c.nugget, mosaro::f32((mosaro::f64(0.1f) + mosaro::f64(0.2f)) / 2.0));
}

TEST(NodeProcedure, AnisotropyRatioIsKeptOnlyWhereItIsTrusted) {
    struct Case {
        float extent, rangeX, rangeY, ratio;
    } const cases[] = {
        {150, 12, 2, 1},     // 6 > 5 with a' = 0.12 < 2: ignored
        {150, 199, 19, 1},   // 10.5 with a' = 1.99, just short of 2: ignored
        {150, 200, 20, 10},  // a' exactly 2: kept
        {150, 250, 25, 10},  // a' = 2.5: kept (the threshold is 2 scaled units, not more)
        {100, 12, 2, 6},     // scale 1, a' = 12: kept
        {150, 10, 2, 5},     // exactly 5: kept
        {100, 1, 2, 0.5f},   // exactly 0.5: kept
        {100, 0.8f, 2, 1},   // 0.4: ignored
        {100, 0, 0, 1},      // not a number
    };
    for (const Case& c : cases)
        EXPECT_EQ(Constants({0, 0, 1, c.extent}, c.rangeX, c.rangeY).anisotropy, c.ratio) << c.rangeX;
}

TEST(NodeProcedure, NeighbourSortDecidesTiesByItsExchangeRuleAlone) {
    struct Case {
        std::vector<float> distances;
        int passes;
        std::vector<float> order;
    } const cases[] = {
        {{4, 3, 3, 1}, 3, {4, 3, 2, 1}},  // A, B, C, D, m = 2: D, C, B, A
        {{4, 3, 3, 1}, 2, {4, 3, 1, 2}},  // one pass fewer leaves D, C, A, B
        {{2, 1, 1}, 2, {2, 3, 1}},        // equal distances are never exchanged
        {{1, kNaN, 2}, 3, {3, 2, 1}},     // unordered comparisons exchange
    };
    for (const Case& c : cases) {
        mosaro::WorkingSamples w;
        w.distance = c.distances;
        for (std::size_t i = 1; i <= c.distances.size(); ++i) {
            w.value.push_back(static_cast<float>(i));
            w.x.push_back(static_cast<float>(i));
            w.y.push_back(static_cast<float>(i));
        }
        mosaro::SortNearest(w, c.passes);
        EXPECT_EQ(w.value, c.order);
        EXPECT_EQ(w.y, c.order);  // the arrays move together
    }
}

// A distance that is not a number (a sample with a NaN coordinate) counts
// as the sill, like a distance of 0, not as beyond the range: the system
// stays finite and the sample keeps its weight.
TEST(NodeProcedure, CovarianceIsTheSillAtZeroAndAtANaNDistanceAndZeroFromTheRangeOn) {
    const mosaro::KrigingConstants c = Constants({0, 0, 10, 10}, 4, 4);  // scale 1: a' = 4
    EXPECT_EQ(c.Covariance(0.0f), c.sill);
    EXPECT_EQ(c.Covariance(kNaN), c.sill);
    EXPECT_EQ(c.Covariance(c.range), 0.0f);
    EXPECT_EQ(c.Covariance(std::numeric_limits<float>::infinity()), 0.0f);
    EXPECT_GT(c.Covariance(0.5f * c.range), 0.0f);
}

TEST(NodeProcedure, CovariancesToANodeInLanesHaveThePlainBits) {
    // Constants with every kind of range and sill (tiny, huge, infinite,
    // not a number), columns at the node, beyond the range, not finite,
    // and counts that leave every tail length.
    const float kInf = std::numeric_limits<float>::infinity();
    std::mt19937 random(8);
    std::uniform_real_distribution<float> place(-3.0f, 3.0f);
    // NaNs with payloads of their own, as a failed fit may leave them: where
    // two meet, the operands' order decides which payload goes on.
    auto fromBits = [](std::uint32_t bits) {
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    };
    const float ranges[] = {2.5f, 1e-30f, 3e38f, kInf, kNaN, 0.0f};
    const float sills[] = {1.0f, 0.0f, fromBits(0x7FC00001u), 1e30f};
    for (float range : ranges) {
        for (float partialSill : sills) {
            const float nugget = std::isnan(partialSill) ? fromBits(0xFFC00002u) : 0.25f;
            mosaro::KrigingConstants c{partialSill, nugget, partialSill + 0.25f, 1.0f, range, 1.7f};
            for (std::size_t count = 0; count < 20; ++count) {
                std::vector<float> x(count), y(count), plain(count), lanes(count);
                for (std::size_t a = 0; a < count; ++a) x[a] = place(random), y[a] = place(random);
                if (count > 3) x[1] = 0.5f, y[1] = -0.5f;           // the node itself
                if (count > 5) x[4] = kNaN, y[5] = kInf;            // not finite
                if (count > 7) x[6] = 1e-42f + 0.5f, y[6] = -0.5f;  // next to the node
                mosaro::CovariancesToNode(c, x.data(), y.data(), count, 0.5f, -0.5f, plain.data(), false);
                mosaro::CovariancesToNode(c, x.data(), y.data(), count, 0.5f, -0.5f, lanes.data(), true);
                for (std::size_t a = 0; a < count; ++a)
                    ASSERT_EQ(mosaro_test::Bits(plain[a]), mosaro_test::Bits(lanes[a]))
                        << "range " << range << ", partial sill " << partialSill << ", column " << a << " of " << count;
            }
        }
    }
    // A nugget that cancels the partial sill's leading bits leaves the
    // float covariance at this distance decided by the cube's last bit: a
    // cube rounded twice gives 1.01132596 instead of 1.01132584.
    const mosaro::KrigingConstants c{1048576.0f, fromBits(0xC97EACABu), 1.0f, 1.0f, 2.5f, 1.0f};
    const float x = fromBits(0x40168155u), y = 0.0f;
    float plain, lanes;
    mosaro::CovariancesToNode(c, &x, &y, 1, 0.0f, 0.0f, &plain, false);
    mosaro::CovariancesToNode(c, &x, &y, 1, 0.0f, 0.0f, &lanes, true);
    EXPECT_EQ(mosaro_test::Bits(plain), mosaro_test::Bits(1.01132584f));
    EXPECT_EQ(mosaro_test::Bits(lanes), mosaro_test::Bits(plain));
}

TEST(NodeProcedure, CutOffComparesInDouble) {
    EXPECT_EQ(mosaro::ApplyCutOff(0.0099999998f), 0.0f);  // the float nearest 0.01 is below it
    EXPECT_EQ(mosaro::ApplyCutOff(0.0100000007f), 0.0100000007f);
    EXPECT_EQ(mosaro::ApplyCutOff(-3.0f), 0.0f);
    EXPECT_EQ(mosaro::ApplyCutOff(kNaN), 0.0f);
}

// The fast sweep finds neighbours and solves systems one band of nodes at a
// time, and keeps indicator kriging's neighbour lists for its later passes.
// The differential test's generated calls fit in one band; these take several.
namespace {

using mosaro_test::GridArgs;
using mosaro_test::SampleTable;

struct MethodCall {
    int code;
    float parameter;
    std::vector<float> array;
};

std::vector<float> RunWith(const SampleTable& table, const GridArgs& args, const MethodCall& method, bool reference,
                           int threads, std::vector<float>* variance, mosaro::ProgressReporter* progress = nullptr) {
    mosaro::RunSettings settings = mosaro_test::PathSettings(reference, threads);
    settings.execution.progress = progress;
    mosaro::PipelineOutputs outputs;
    if (variance != nullptr) {
        variance->assign(static_cast<std::size_t>(args.Nodes()), -5.0f);
        outputs.variance = variance->data();
    }
    return mosaro_test::GridWith(table, args, method.code, method.parameter,
                                 method.array.empty() ? nullptr : method.array.data(), settings, outputs);
}

}  // namespace

TEST(FastSweep, GridsOfSeveralBandsGiveTheReferenceBits) {
    // Ordinary, universal (drift in y; full quadratic), lognormal, indicator
    // (three thresholds), co-kriging (columns 2 and 3).
    const MethodCall methods[] = {{1, 0, {}},     {4, 0, {}}, {7, 0, {}}, {8, 0, {}}, {10, 3, {35, 50, 65}},
                                  {11, 2, {2, 3}}};
    const SampleTable three = mosaro_test::StructuredSamples(10, 60, 200);
    SampleTable four;
    four.columns = 4;
    for (int t = 0; t < three.Count(); ++t) {
        const float* row = &three.rows[static_cast<std::size_t>(3 * t)];
        four.rows.insert(four.rows.end(), {row[0], row[1], row[2], 0.7f * row[2] + static_cast<float>(t % 5)});
    }
    const GridArgs args = GridArgs::Square(200, 90, 6);
    for (const MethodCall& method : methods) {
        const SampleTable& table = method.code == 11 ? four : three;
        std::vector<float> referenceVariance, variance;
        const std::vector<float> reference = RunWith(table, args, method, true, 1, &referenceVariance);
        for (int threads : {1, 2, 8}) {
            EXPECT_TRUE(mosaro_test::SameBits(RunWith(table, args, method, false, threads, &variance), reference))
                << "method " << method.code << ", " << threads << " threads";
            EXPECT_TRUE(mosaro_test::SameBits(variance, referenceVariance))
                << "variance of method " << method.code << ", " << threads << " threads";
        }
    }
}

TEST(FastSweep, ProgressIsReportedAndAStopIsPrompt) {
    const SampleTable table = mosaro_test::StructuredSamples(12, 80, 200);
    const GridArgs args = GridArgs::Square(200, 150, 8);
    const MethodCall ordinary{1, 0, {}};
    const std::vector<float> quiet = RunWith(table, args, ordinary, false, 2, nullptr);

    int sweepReports = 0;
    mosaro::ProgressReporter watching([&](mosaro::Stage stage, int, double) {
        if (stage == mosaro::Stage::kSweep) ++sweepReports;
        return true;
    });
    EXPECT_TRUE(mosaro_test::SameBits(RunWith(table, args, ordinary, false, 2, nullptr, &watching), quiet));
    EXPECT_GE(sweepReports, 3);

    int afterStop = 0;
    bool stopped = false;
    mosaro::ProgressReporter stopping([&](mosaro::Stage stage, int, double) {
        if (stopped) ++afterStop;
        if (stage != mosaro::Stage::kSweep) return true;
        stopped = true;
        return false;
    });
    EXPECT_THROW(RunWith(table, args, ordinary, false, 2, nullptr, &stopping), mosaro::Cancelled);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(afterStop, 0);
    EXPECT_TRUE(stopping.CancelRequested());
}
