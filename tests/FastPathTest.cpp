// The fast implementation against the plain reference, whole calls through
// the entry point: every generated call must give the same grid bits, and
// the same kriging variance bits, at every thread count (concurrent calls:
// ConcurrencyTest).
#include <gtest/gtest.h>

#include <set>

#include "CaseGenerator.h"
#include "variogram/LagClasses.h"
#include "TestSupport.h"

using namespace mosaro_test;

namespace {

// Enough calls for every pair of method code and sample layout to meet five
// times, few enough for the sanitizer build.
constexpr int kCaseCount = 5 * 13 * kSampleKinds;

const std::vector<GeneratedCase>& Cases() {
    static const std::vector<GeneratedCase> cases = GenerateCases(2026, kCaseCount);
    return cases;
}

struct Outputs {
    std::vector<float> grid, variance;
};

Outputs RunPath(const Case& c, bool reference, int threads, mosaro::SolverLanes lanes = mosaro::SolverLanes::kBest) {
    Outputs out;
    mosaro::PipelineOutputs outputs;
    if (c.method != 10) {  // indicator kriging sums several passes: no single variance
        out.variance.assign(static_cast<std::size_t>(c.cellsX + 1) * static_cast<std::size_t>(c.cellsY + 1), -3.0f);
        outputs.variance = out.variance.data();
    }
    out.grid = c.Run(PathSettings(reference, threads, lanes), outputs);
    return out;
}

class FastPath : public ::testing::TestWithParam<int> {};

// Every thread count, and every width of the solver (systems one at a time,
// four or eight at once; a width the processor lacks runs the next
// narrower one).
TEST_P(FastPath, GivesTheReferenceGridAndVarianceAtEveryThreadCountAndWidth) {
    using mosaro::SolverLanes;
    const Case& c = Cases()[static_cast<std::size_t>(GetParam())].call;
    const Outputs reference = RunPath(c, true, 1);
    const std::pair<int, SolverLanes> runs[] = {
        {1, SolverLanes::kScalar}, {2, SolverLanes::kAvx2}, {8, SolverLanes::kAvx512}, {2, SolverLanes::kBest}};
    for (const auto& [threads, lanes] : runs) {
        const Outputs fast = RunPath(c, false, threads, lanes);
        const int width = mosaro::SolverLaneCount(lanes);
        EXPECT_EQ(FirstDifference(reference.grid, fast.grid), "") << "grid, threads " << threads << ", lanes " << width;
        EXPECT_EQ(FirstDifference(reference.variance, fast.variance), "")
            << "variance, threads " << threads << ", lanes " << width;
    }
}

INSTANTIATE_TEST_SUITE_P(Generated, FastPath, ::testing::Range(0, kCaseCount),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return Cases()[static_cast<std::size_t>(param.param)].name;
                         });

// The differential test proves something only if the generated calls reach
// what they claim to: every method with every layout and every neighbour
// rule, every layout on every kind of grid, grids that are not
// left as passed or all zero (many calls are degenerate on purpose: a fit
// with no usable class, indicator kriging of one neighbour, drift forms
// with fewer neighbours than terms), and more than 100 lag classes.
TEST(FastPathCases, CoverEveryMethodAndLayoutAndMostlyEstimateSomething) {
    std::set<std::pair<int, int>> methodLayout, methodRule, layoutGrid;
    int runnable = 0, estimated = 0, manyLags = 0;
    for (const GeneratedCase& g : Cases()) {
        methodLayout.insert({g.call.method, static_cast<int>(g.samples)});
        methodRule.insert({g.call.method, static_cast<int>(g.rule)});
        layoutGrid.insert({static_cast<int>(g.samples), static_cast<int>(g.grid)});
        const TGRIDCELLXY cells{g.call.cellX, g.call.cellY, g.call.cellsX, g.call.cellsY};
        const TRECTXYMINMAX rect{g.call.rect[0], g.call.rect[1], g.call.rect[2], g.call.rect[3]};
        manyLags += mosaro::ComputeLagClassCounts(cells, rect).x > 100;
        if (g.call.method < 1 || g.call.method > 11) continue;
        ++runnable;
        const std::vector<float> grid = g.call.Run();
        estimated += std::any_of(grid.begin(), grid.end(), [](float v) { return v > 0.0f; });
    }
    EXPECT_EQ(methodLayout.size(), 13u * kSampleKinds);
    EXPECT_EQ(methodRule.size(), 13u * kNeighbourRules);
    EXPECT_EQ(layoutGrid.size(), std::size_t{kSampleKinds} * kGridKinds);
    EXPECT_GE(manyLags, 20);
    EXPECT_GE(3 * estimated, runnable) << estimated << " of " << runnable;
}

}  // namespace
