// The worker pool under the parallel stages: every index once, worker
// numbers a piece may use for its scratch space, the loop beside the
// calling thread's work, and failures that come back to the caller.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "platform/WorkerPool.h"

namespace {

TEST(WorkerPool, RunsEveryIndexOnceInPiecesOfTheGrainWithWorkersInRange) {
    for (int threads : {1, 2, 5}) {
        mosaro::WorkerPool pool(threads);
        ASSERT_EQ(pool.Size(), threads);
        for (std::size_t count : {0u, 1u, 63u, 64u, 1000u}) {
            std::vector<std::atomic<int>> visits(count);
            std::vector<std::atomic<int>> running(static_cast<std::size_t>(threads));
            std::atomic<bool> misuse{false};
            pool.For(count, 64, [&](std::size_t first, std::size_t last, int worker) {
                if (worker < 0 || worker >= threads || last - first > 64 || first >= last) {
                    misuse = true;
                    return;
                }
                // Two pieces of one worker at once would share its scratch space.
                if (running[static_cast<std::size_t>(worker)].fetch_add(1) != 0) misuse = true;
                for (std::size_t k = first; k < last; ++k) ++visits[k];
                running[static_cast<std::size_t>(worker)].fetch_sub(1);
            });
            EXPECT_FALSE(misuse) << threads << " threads, " << count << " indices";
            for (std::size_t k = 0; k < count; ++k) ASSERT_EQ(visits[k], 1) << "index " << k;
        }
    }
    EXPECT_EQ(mosaro::WorkerPool(0).Size(), 1);
}

TEST(WorkerPool, AlongsideRunsTheCallersWorkAndTheLoopToTheEnd) {
    mosaro::WorkerPool pool(3);
    for (int round = 0; round < 50; ++round) {
        std::atomic<std::size_t> sum{0};
        bool alongsideRan = false;
        pool.ForAlongside(
            100, 7,
            [&](std::size_t first, std::size_t last, int) {
                for (std::size_t k = first; k < last; ++k) sum += k;
            },
            [&] { alongsideRan = true; });
        ASSERT_TRUE(alongsideRan);
        ASSERT_EQ(sum, 4950u) << "round " << round;
    }
}

TEST(WorkerPool, AFailureReachesTheCallerAndThePoolStaysUsable) {
    mosaro::WorkerPool pool(2);
    EXPECT_THROW(pool.For(1000, 1,
                          [](std::size_t first, std::size_t, int) {
                              if (first == 500) throw std::runtime_error("piece 500");
                          }),
                 std::runtime_error);
    EXPECT_THROW(pool.ForAlongside(
                     10, 1, [](std::size_t, std::size_t, int) {}, [] { throw std::runtime_error("caller"); }),
                 std::runtime_error);
    std::atomic<int> pieces{0};
    pool.For(10, 1, [&](std::size_t, std::size_t, int) { ++pieces; });
    EXPECT_EQ(pieces, 10);
}

}  // namespace
