// How runs execute: the worker-count rule, and the progress reporter's
// promises to hosts (few calls, monotone, 1 exactly once, stop on request).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "TestSupport.h"
#include "platform/Execution.h"
#include "platform/WorkerPool.h"

namespace {

using mosaro::ProgressReporter;
using mosaro::Stage;
using mosaro_test::RemoveVariable;
using mosaro_test::SetVariable;

// Drives a reporter the way the pipeline does: per pass, many fine reports
// from the variograms and the sweep, one from the fit.
void RunPasses(ProgressReporter& reporter, int passes, int steps) {
    for (int p = 0; p < passes; ++p) {
        reporter.BeginPass(p, passes);
        for (int s = 0; s <= steps; ++s) reporter.Report(Stage::kVariograms, double(s) / steps);
        reporter.Report(Stage::kFit, 1.0);
        for (int s = 0; s <= steps; ++s) reporter.Report(Stage::kSweep, double(s) / steps);
    }
    reporter.Finish();
}

}  // namespace

TEST(Execution, WorkersComeFromTheRequestThenTheEnvironmentThenTheCoresAndNeverExceedThem) {
    const int cores = mosaro::ProcessorThreads();
    EXPECT_EQ(mosaro::ResolveWorkerCount(1), 1);
    EXPECT_EQ(mosaro::ResolveWorkerCount(cores + 5), cores);
    SetVariable("MOSARO_THREADS", "1");
    EXPECT_EQ(mosaro::ResolveWorkerCount(0), 1);
    EXPECT_EQ(mosaro::ResolveWorkerCount(cores), cores);  // the request wins
    SetVariable("MOSARO_THREADS", "1000");
    EXPECT_EQ(mosaro::ResolveWorkerCount(0), cores);
    for (const char* unusable : {"0", "-2", "two", "4x", ""}) {
        SetVariable("MOSARO_THREADS", unusable);
        EXPECT_EQ(mosaro::ResolveWorkerCount(0), cores) << '"' << unusable << '"';
    }
    RemoveVariable("MOSARO_THREADS");
    EXPECT_EQ(mosaro::ResolveWorkerCount(0), cores);
    EXPECT_EQ(mosaro::ResolveWorkerCount(-3), cores);
}

TEST(Execution, ProgressIsMonotoneBoundedEndsAtOneOnceAndAStopSticks) {
    std::vector<double> fractions;
    std::vector<int> passes;
    std::size_t stopAfter = 0;  // 0: never stop
    auto recording = [&] {
        fractions.clear();
        passes.clear();
        return ProgressReporter([&](Stage, int pass, double fraction) {
            fractions.push_back(fraction);
            passes.push_back(pass);
            return stopAfter == 0 || fractions.size() < stopAfter;
        });
    };
    for (int count : {1, 3, 250}) {
        ProgressReporter reporter = recording();
        RunPasses(reporter, count, 10000);
        ASSERT_FALSE(fractions.empty());
        EXPECT_LE(fractions.size(), 110u) << count;
        for (std::size_t k = 1; k < fractions.size(); ++k) EXPECT_LT(fractions[k - 1], fractions[k]);
        EXPECT_EQ(fractions.back(), 1.0);
        EXPECT_EQ(std::count(fractions.begin(), fractions.end(), 1.0), 1);
        EXPECT_EQ(passes.back(), count - 1);
    }

    stopAfter = 3;
    ProgressReporter reporter = recording();
    EXPECT_THROW(RunPasses(reporter, 1, 10000), mosaro::Cancelled);
    EXPECT_TRUE(reporter.CancelRequested());
    EXPECT_THROW(reporter.Report(Stage::kSweep, 0.0), mosaro::Cancelled);
    EXPECT_THROW(reporter.Finish(), mosaro::Cancelled);
    EXPECT_EQ(fractions.size(), 3u);  // nothing reaches the host after a stop

    ProgressReporter silent;  // no callback: never stops, never calls
    EXPECT_NO_THROW(RunPasses(silent, 2, 100));
}
