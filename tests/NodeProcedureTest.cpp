// Node procedure: per-call constants, the neighbour sort's tie rule, the
// cut-off. (The covariance and the system are checked bit for bit by the
// golden grids.)
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "Kriging.h"
#include "TestSupport.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

mosaro::KrigingConstants Constants(TRECTXYMINMAX rect, float rangeX = 1, float rangeY = 1) {
    CKriging estimator(1, 1, 0.0f, TGRIDCELLXY{1, 1, 1, 1}, rect);
    estimator.m_VariogramModel[0] = TVARIOGRAMMODEL{0.1f, 1.4f, rangeX, 1.3f};
    estimator.m_VariogramModel[1] = TVARIOGRAMMODEL{0.2f, 0.9f, rangeY, 0.7f};
    return mosaro::KrigingConstants::FromEstimator(estimator);
}

}  // namespace

TEST(NodeProcedure, CoordinateScaleNeedsTheLargerFloatSideStrictlyAbove) {
    struct Case { float extent, scale; } const cases[] = {
        {100, 1}, {100.5f, 100}, {1000, 100}, {10000, 1000}, {100000, 10000}, {250000, 100000}, {-5, 1}, {kNaN, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(Constants({0, 0, 1, c.extent}).scale, c.scale) << c.extent;
    EXPECT_EQ(Constants({-1e-6f, 0, 100, 50}).scale, 1.0f);  // 100 + 1e-6 stores 100
    const mosaro::KrigingConstants c = Constants({0, 0, 10, 10});  // means of the two directions
    EXPECT_EQ(c.partialSill, mosaro::f32((mosaro::f64(1.3f) + mosaro::f64(0.7f)) / 2.0));
    EXPECT_EQ(c.nugget, mosaro::f32((mosaro::f64(0.1f) + mosaro::f64(0.2f)) / 2.0));
}

TEST(NodeProcedure, AnisotropyRatioIsKeptOnlyWhereItIsTrusted) {
    struct Case { float extent, rangeX, rangeY, ratio; } const cases[] = {
        {150, 12, 2, 1},    // 6 > 5 with a' = 0.12 < 2: ignored
        {100, 12, 2, 6},    // scale 1, a' = 12: kept
        {150, 10, 2, 5},    // exactly 5: kept
        {100, 1, 2, 0.5f},  // exactly 0.5: kept
        {100, 0.8f, 2, 1},  // 0.4: ignored
        {100, 0, 0, 1},     // not a number
    };
    for (const Case& c : cases) EXPECT_EQ(Constants({0, 0, 1, c.extent}, c.rangeX, c.rangeY).anisotropy, c.ratio) << c.rangeX;
}

TEST(NodeProcedure, NeighbourSortDecidesTiesByItsExchangeRuleAlone) {
    struct Case { std::vector<float> distances; int passes; std::vector<float> order; } const cases[] = {
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

TEST(NodeProcedure, CutOffComparesInDouble) {
    EXPECT_EQ(mosaro::ApplyCutOff(0.0099999998f), 0.0f);  // the float nearest 0.01 is below it
    EXPECT_EQ(mosaro::ApplyCutOff(0.0100000007f), 0.0100000007f);
    EXPECT_EQ(mosaro::ApplyCutOff(-3.0f), 0.0f);
    EXPECT_EQ(mosaro::ApplyCutOff(kNaN), 0.0f);
}

// The fast sweep against the plain one, whole grids bit for bit: estimates
// and kriging variances, for every thread count.
namespace {

using mosaro_test::GridArgs;
using mosaro_test::SampleTable;

const float kInf = std::numeric_limits<float>::infinity();

struct MethodCall {
    int code;
    float parameter;
    std::vector<float> array;
};

// Ordinary, universal (drift in y; full quadratic), lognormal, indicator
// (three thresholds), co-kriging (two variables: columns 2 and 3).
const MethodCall kMethods[] = {{1, 0, {}}, {4, 0, {}}, {7, 0, {}}, {8, 0, {}}, {10, 3, {35, 50, 65}}, {11, 2, {2, 3}}};

struct SweepRun {
    std::vector<float> grid, variance;
};

SweepRun RunWith(const SampleTable& table, const GridArgs& args, const MethodCall& method, bool reference,
                 int threads, mosaro::ProgressReporter* progress = nullptr) {
    SweepRun run;
    run.variance.assign(static_cast<std::size_t>(args.Nodes()), -5.0f);
    mosaro::RunContext context;
    context.reference = reference;
    context.threads = threads;
    context.variance = run.variance.data();
    context.progress = progress;
    mosaro::RunContextScope scope(context);
    run.grid = mosaro_test::Grid(table, args, method.code, method.parameter,
                                 method.array.empty() ? nullptr : method.array.data());
    return run;
}

// A fourth column, correlated with the value, for co-kriging.
SampleTable WithSecondVariable(const SampleTable& three) {
    SampleTable table;
    table.columns = 4;
    for (int t = 0; t < three.Count(); ++t) {
        const float* row = &three.rows[static_cast<std::size_t>(3 * t)];
        table.rows.insert(table.rows.end(), {row[0], row[1], row[2], 0.7f * row[2] + static_cast<float>(t % 5)});
    }
    return table;
}

void ExpectFastMatchesReference(const SampleTable& three, const GridArgs& args, const char* label) {
    const SampleTable four = WithSecondVariable(three);
    for (const MethodCall& method : kMethods) {
        const SampleTable& table = method.code == 11 ? four : three;
        const SweepRun reference = RunWith(table, args, method, true, 1);
        for (int threads : {1, 2, 8}) {
            const SweepRun fast = RunWith(table, args, method, false, threads);
            EXPECT_TRUE(mosaro_test::SameBits(fast.grid, reference.grid))
                << label << ": method " << method.code << ", " << threads << " threads";
            EXPECT_TRUE(mosaro_test::SameBits(fast.variance, reference.variance))
                << label << ": variance of method " << method.code << ", " << threads << " threads";
        }
    }
}

// Samples on a square lattice, nodes on a finer one: equal distances at
// every node.
SampleTable Lattice(int side, float spacing) {
    SampleTable table;
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j)
            table.Add(spacing * static_cast<float>(j), spacing * static_cast<float>(i),
                      20.0f + static_cast<float>((i * 7 + j * 3) % 11) * 5.0f);
    return table;
}

}  // namespace

TEST(FastSweep, LatticeSamplesTieAtEveryNode) {
    GridArgs args = GridArgs::Square(110, 22, 8);
    ExpectFastMatchesReference(Lattice(12, 10), args, "lattice");
    args.neighbours = 9;  // the ninth nearest ties with others at most nodes
    ExpectFastMatchesReference(Lattice(12, 10), args, "lattice, 9 neighbours");
}

TEST(FastSweep, DuplicateAndNonFiniteLocations) {
    SampleTable duplicates = mosaro_test::StructuredSamples(5, 50, 200);
    for (int t = 0; t < 50; t += 3) {
        const float x = duplicates.At(t, 0), y = duplicates.At(t, 1), value = duplicates.At(t, 2);
        duplicates.Add(x, y, value + 3.0f);  // Add may move the rows
        duplicates.Add(x, y, value - 2.0f);
    }
    ExpectFastMatchesReference(duplicates, GridArgs(), "duplicates");

    SampleTable odd = mosaro_test::StructuredSamples(6, 70, 200);
    odd.At(3, 0) = kInf;
    odd.At(11, 1) = -kInf;
    ExpectFastMatchesReference(odd, GridArgs(), "infinite coordinates");
    odd.At(20, 0) = std::numeric_limits<float>::quiet_NaN();
    ExpectFastMatchesReference(odd, GridArgs(), "coordinate not a number");
}

TEST(FastSweep, NeighbourCountsFromOneToBeyondTheSamples) {
    const SampleTable table = mosaro_test::StructuredSamples(8, 40, 200);
    for (int neighbours : {1, 2, 39, 40, 47}) {
        GridArgs args = GridArgs::Square(200, 12, neighbours);
        ExpectFastMatchesReference(table, args, "neighbour count");
    }
}

TEST(FastSweep, GridShapesAndExtents) {
    const SampleTable table = mosaro_test::StructuredSamples(9, 120, 200);
    // Long rows over a strip: each row starts far from where the last ended.
    GridArgs wide{-100, 0, 300, 200, 2, 40, 200, 5, 12};
    ExpectFastMatchesReference(table, wide, "long rows");
    GridArgs row{0, 50, 200, 200, 1, 1, 200, 0, 10};
    ExpectFastMatchesReference(table, row, "single row");
    GridArgs column{70, 0, 200, 200, 1, 1, 0, 200, 10};
    ExpectFastMatchesReference(table, column, "single column");
    // An extent far larger than the samples (coarse scale, clustered
    // samples) and one far smaller (a corner of the samples).
    GridArgs large{0, 0, 2e6f, 2e6f, 1e5f, 1e5f, 20, 20, 10};
    ExpectFastMatchesReference(table, large, "large extent");
    GridArgs small{10, 10, 10.5f, 10.5f, 0.05f, 0.05f, 10, 10, 10};
    ExpectFastMatchesReference(table, small, "small extent");
    // More nodes than one band of the fast sweep.
    GridArgs many = GridArgs::Square(200, 90, 6);
    ExpectFastMatchesReference(mosaro_test::StructuredSamples(10, 60, 200), many, "several bands");
}

TEST(FastSweep, ProgressIsReportedAndAStopIsPrompt) {
    const SampleTable table = mosaro_test::StructuredSamples(12, 80, 200);
    const GridArgs args = GridArgs::Square(200, 150, 8);  // several bands
    const MethodCall ordinary{1, 0, {}};
    const SweepRun quiet = RunWith(table, args, ordinary, false, 2);

    int sweepReports = 0;
    mosaro::ProgressReporter watching([&](mosaro::Stage stage, int, double) {
        if (stage == mosaro::Stage::kSweep) ++sweepReports;
        return true;
    });
    EXPECT_TRUE(mosaro_test::SameBits(RunWith(table, args, ordinary, false, 2, &watching).grid, quiet.grid));
    EXPECT_GE(sweepReports, 3);

    int afterStop = 0;
    bool stopped = false;
    mosaro::ProgressReporter stopping([&](mosaro::Stage stage, int, double) {
        if (stopped) ++afterStop;
        if (stage != mosaro::Stage::kSweep) return true;
        stopped = true;
        return false;
    });
    RunWith(table, args, ordinary, false, 2, &stopping);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(afterStop, 0);
    EXPECT_TRUE(stopping.CancelRequested());
}
