// Allocation failure at every allocation of a small run, in turn: the
// program's operator new is replaced (the library is linked in statically,
// so its allocations come here too) by one that throws std::bad_alloc at
// the Nth allocation, and the run is repeated for N = 1, 2, ... until it
// completes. Every failed run must end as documented (legacy: 1 and the
// grid as passed; modern API: MOSARO_ERROR_OUT_OF_MEMORY and nothing
// written), never crash, and leak nothing (the sanitizer build's leak check
// runs at exit). A cap on the size of one allocation stands in for inputs
// too large for the machine's memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "CaseGenerator.h"
#include "ModernRequest.h"
#include "TestSupport.h"
#include "mosaro.h"

namespace {

std::atomic<long> g_countdown{0};                     // fail when it reaches 0; negative: never
std::atomic<std::size_t> g_largest{~std::size_t{0}};  // fail anything larger
std::atomic<long> g_allocations{0};

void* Allocate(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (size > g_largest.load(std::memory_order_relaxed)) return nullptr;
    if (g_countdown.load(std::memory_order_relaxed) > 0 && g_countdown.fetch_sub(1) == 1) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

// The replacements pair malloc with free by design; GCC sees only that free
// releases what a new expression returned.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace mosaro_test;

namespace {

constexpr float kSentinel = -7.25f;

// Arms the failure at the Nth allocation from now; disarms on destruction.
class FailAt {
public:
    explicit FailAt(long n) { g_countdown.store(n); }
    ~FailAt() { g_countdown.store(0); }
    bool Fired() const { return g_countdown.load() <= 0; }
    FailAt(const FailAt&) = delete;
    FailAt& operator=(const FailAt&) = delete;
};

class CapAllocations {
public:
    explicit CapAllocations(std::size_t bytes) { g_largest.store(bytes); }
    ~CapAllocations() { g_largest.store(~std::size_t{0}); }
    CapAllocations(const CapAllocations&) = delete;
    CapAllocations& operator=(const CapAllocations&) = delete;
};

bool Untouched(const std::vector<float>& grid) {
    return std::all_of(grid.begin(), grid.end(), [](float v) { return Bits(v) == Bits(kSentinel); });
}

// One small call per method code: few samples, a few nodes.
Case SmallCall(int method) {
    Case c = MakeCase(300u + static_cast<unsigned>(method), method, SampleKind::kSmooth, GridKind::kMatching,
                      NeighbourRule::kSome)
                 .call;
    c.cellsX = std::min(c.cellsX, 4);
    c.cellsY = std::min(c.cellsY, 3);
    c.gridInit = kSentinel;
    return c;
}

class AllocationFailure : public ::testing::TestWithParam<int> {};

// Runs the legacy call failing at allocation 1, 2, ... on one worker (so
// the order of allocations is fixed), then with two workers (a failure in a
// worker thread must reach the caller too). The reference run comes first,
// unarmed (see the modern test on oneTBB's set-up).
TEST_P(AllocationFailure, LegacyCallReturnsWithTheGridAsPassedAtEveryFailure) {
    const Case c = SmallCall(GetParam());
    const std::vector<float> expected = c.Run();
    ASSERT_FALSE(Untouched(expected));
    for (int threads : {1, 2}) {
        long failures = 0;
        for (long n = 1;; ++n) {
            std::vector<float> grid;
            bool fired;
            {
                // The entry point takes its workers from the environment.
                SetVariable("MOSARO_THREADS", threads == 1 ? "1" : "2");
                // The grid is allocated before the failure is armed.
                grid.assign(expected.size(), kSentinel);
                FailAt fail(n);
                KARVO_ScatToGridWithKrig(c.data.data(), c.valueColumn, c.pointCount, c.columnCount, c.rect, c.cellX,
                                         c.cellY, c.cellsX, c.cellsY, c.neighbours, c.method, c.parameter,
                                         c.methodArray.empty() ? nullptr : c.methodArray.data(), grid.data());
                fired = fail.Fired();
            }
            if (!fired) {
                EXPECT_EQ(FirstDifference(expected, grid), "") << "threads " << threads;
                break;
            }
            ++failures;
            ASSERT_TRUE(Untouched(grid)) << "allocation " << n << " failed, threads " << threads;
        }
        EXPECT_GT(failures, 0) << "the run allocates nothing?";
    }
    RemoveVariable("MOSARO_THREADS");
}

// The same through the modern API, with the variance and the report asked
// for, so their allocations fail in turn too.
TEST_P(AllocationFailure, ModernCallReportsOutOfMemoryAndWritesNothing) {
    const Case c = SmallCall(GetParam());
    ModernArrays arrays;
    mosaro_request r = ModernRequest(c, arrays, nullptr);
    r.thread_count = 1;
    const std::size_t nodes = static_cast<std::size_t>(r.node_count_x) * static_cast<std::size_t>(r.node_count_y);
    // One run unarmed first, as the legacy test's reference run: oneTBB sets
    // itself up once per process on first use, and an allocation failing
    // inside that set-up leaves it waiting forever for a set-up that never
    // ends. That failure is oneTBB's, not the library's, and not tested.
    {
        std::vector<float> warmUp(nodes);
        mosaro_request first = r;
        first.grid = warmUp.data();
        ASSERT_GE(mosaro_grid(&first), 0) << mosaro_last_message();
    }
    long failures = 0;
    for (long k = 1;; ++k) {
        std::vector<float> grid(nodes, kSentinel), variance(nodes, kSentinel);
        mosaro_report* report = nullptr;
        r.grid = grid.data();
        r.variance = variance.data();
        r.report = &report;
        int status;
        bool fired;
        {
            FailAt fail(k);
            status = mosaro_grid(&r);
            fired = fail.Fired();
        }
        if (!fired) {
            EXPECT_TRUE(status == MOSARO_OK || status == MOSARO_WARNING_NO_FINITE_MODEL) << status;
            EXPECT_FALSE(Untouched(grid));
            mosaro_report_free(report);
            break;
        }
        ++failures;
        ASSERT_EQ(status, MOSARO_ERROR_OUT_OF_MEMORY) << "allocation " << k << ": " << mosaro_last_message();
        ASSERT_TRUE(Untouched(grid) && Untouched(variance)) << "allocation " << k;
        ASSERT_EQ(report, nullptr) << "allocation " << k;
    }
    EXPECT_GT(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(Methods, AllocationFailure, ::testing::Range(1, 12));

// Inputs too large for memory: the library's copy of a sample table, and
// the scratch grids of indicator kriging, cannot be allocated (every
// allocation above 8 MiB fails here). The legacy call returns with the grid
// as passed; the modern API says out of memory.
TEST(AllocationLimit, TooLargeToAllocateFailsCleanlyThroughBothApis) {
    const int rows = 4 << 20;  // 16 MiB per copied coordinate array
    std::vector<float> table(static_cast<std::size_t>(rows) * 3, 1.0f);
    for (int i = 0; i < rows; ++i) {
        table[3 * static_cast<std::size_t>(i)] = static_cast<float>(i % 1000);
        table[3 * static_cast<std::size_t>(i) + 1] = static_cast<float>(i / 1000);
    }
    const float rect[4] = {0, 0, 1000, 5000};
    std::vector<float> grid(4, kSentinel);
    std::vector<float> big(std::size_t{3} << 20, kSentinel);  // 3 Mi nodes: scratch grids of 12 MiB
    const float threshold = 0.5f;
    std::vector<float> x(static_cast<std::size_t>(rows), 1.0f), small = {1, 2, 3};
    mosaro_request r;
    mosaro_request_init(&r);
    {
        CapAllocations cap(8 << 20);
        EXPECT_EQ(
            KARVO_ScatToGridWithKrig(table.data(), 2, rows, 3, rect, 500, 2500, 1, 1, 4, 1, 0, nullptr, grid.data()),
            1);
        EXPECT_TRUE(Untouched(grid));
        EXPECT_EQ(
            KARVO_ScatToGridWithKrig(table.data(), 2, 3, 3, rect, 1, 1, 1023, 3071, 2, 10, 1, &threshold, big.data()),
            1);
        EXPECT_TRUE(Untouched(big));

        r.x = r.y = r.value = x.data();
        r.sample_count = rows;
        r.x_max = r.y_max = 10;
        r.cell_size_x = r.cell_size_y = 1;
        r.node_count_x = r.node_count_y = 2;
        r.grid = grid.data();
        EXPECT_EQ(mosaro_grid(&r), MOSARO_ERROR_OUT_OF_MEMORY);
        EXPECT_TRUE(Untouched(grid));
    }
}

}  // namespace
