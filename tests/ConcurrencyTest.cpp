// Host threads calling at once. Eight threads each run every method code
// (and the codes beside them) through the legacy entry point, each in its
// own order, all at the same time; every grid must be the one the reference
// computes alone. The fast sweep must also give one grid at 1, 2 and 8 worker
// threads. scripts/tsan.sh runs this under ThreadSanitizer, which reports
// any data race these runs contain even when the bits come out right.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "CaseGenerator.h"
#include "TestSupport.h"

using namespace mosaro_test;

namespace {

constexpr int kHostThreads = 8;

// One call per method code 0 to 12 (0 and 12 run nothing), small enough
// for ThreadSanitizer, each with enough nodes to split among workers.
std::vector<Case> Calls() {
    std::vector<Case> calls;
    for (int method = 0; method <= 12; ++method) {
        const GridKind grid = method % 2 == 0 ? GridKind::kManyRows : GridKind::kMatching;
        Case c = MakeCase(700u + static_cast<unsigned>(method), method, SampleKind::kSmooth, grid, NeighbourRule::kSome)
                     .call;
        c.pointCount = std::min(c.pointCount, 80);
        c.data.resize(static_cast<std::size_t>(c.pointCount) * static_cast<std::size_t>(c.columnCount));
        calls.push_back(c);
    }
    return calls;
}

std::vector<float> RunWith(const Case& c, int threads) { return c.Run(mosaro_test::PathSettings(false, threads)); }

TEST(Concurrency, EightHostThreadsRunningEveryMethodAtOnceGetTheGridsOfLoneCalls) {
    const std::vector<Case> calls = Calls();
    std::vector<std::vector<float>> alone;
    for (const Case& c : calls) alone.push_back(c.Run(PathSettings(true, 1)));

    std::vector<std::vector<std::vector<float>>> results(kHostThreads, std::vector<std::vector<float>>(calls.size()));
    std::vector<std::thread> hosts;
    for (int h = 0; h < kHostThreads; ++h) {
        hosts.emplace_back([&, h] {
            // Each host starts at another method and uses 1 or 2 workers, or
            // the entry point's defaults (every core), so different methods
            // and pool sizes overlap.
            for (std::size_t k = 0; k < calls.size(); ++k) {
                const std::size_t index = (k + static_cast<std::size_t>(h) * 3) % calls.size();
                results[static_cast<std::size_t>(h)][index] =
                    h % 3 == 0 ? calls[index].Run() : RunWith(calls[index], h % 3);
            }
        });
    }
    for (std::thread& host : hosts) host.join();
    for (int h = 0; h < kHostThreads; ++h)
        for (std::size_t k = 0; k < calls.size(); ++k)
            EXPECT_EQ(FirstDifference(alone[k], results[static_cast<std::size_t>(h)][k]), "")
                << "host " << h << ", method " << calls[k].method;
}

TEST(Concurrency, FastSweepGivesOneGridAtOneTwoAndEightWorkers) {
    for (const Case& c : Calls()) {
        const std::vector<float> one = RunWith(c, 1);
        EXPECT_EQ(FirstDifference(one, RunWith(c, 2)), "") << "method " << c.method;
        EXPECT_EQ(FirstDifference(one, RunWith(c, 8)), "") << "method " << c.method;
    }
}

}  // namespace
