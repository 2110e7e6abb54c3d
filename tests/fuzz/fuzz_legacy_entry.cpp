// Fuzz target: the legacy entry point with every argument decoded from the
// input. Buffers are allocated to exactly the sizes the caller contract
// implies (rows x columns samples, (cells + 1)^2 nodes, the thresholds or
// variable columns the method parameter promises), so any read or write
// beyond them is the library's fault and the sanitizers report it.
//
// Calls whose contract promises more memory than a test can give (a grid of
// 2^60 nodes, 2^31 thresholds) are made only where the library must refuse
// them before touching anything; there the buffers are one element, and the
// grid must come back as passed. Calls that would merely be slow (large
// grids times many neighbours) are not made, to keep the fuzzer fast.
//
// Now and then the same call also runs on the reference path: the two
// implementations must give the same bits.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "FuzzInput.h"
#include "api/GridRequest.h"
#include "methods/Indicator.h"
#include "methods/MethodCatalog.h"
#include "mosaro.h"
#include "sweeps/GridNodes.h"
#include "variogram/LagClasses.h"

namespace {

constexpr float kSentinel = -7.25f;

// Aborts the fuzz run with a message (the fuzzer saves the input).
void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_legacy_entry: %s\n", what);
    std::abort();
}

struct Call {
    std::vector<float> data;
    int valueColumn = 2, points = 0, columns = 3;
    float rect[4] = {0, 0, 100, 100};
    float cellX = 10, cellY = 10;
    int cellsX = 10, cellsY = 10, neighbours = 8, method = 1;
    float parameter = 0;
    std::vector<float> methodArray;
    bool nullData = false, nullRect = false, nullGrid = false, nullArray = false;
};

// Rough work of a call: nodes times the cost of one node's system, times
// the passes of indicator kriging.
double Work(const Call& c, std::uint64_t nodes, long long passes) {
    const long long n = std::max(c.points, 0);
    long long m = std::min<long long>(std::max(c.neighbours, 1), n);
    if (c.method == mosaro::kCoKriging) m *= std::max<long long>(1, mosaro::TruncatedCount(c.parameter));
    const double node = static_cast<double>(m) * static_cast<double>(m) * static_cast<double>(m) +
                        static_cast<double>(n) * static_cast<double>(m + 1);
    return static_cast<double>(nodes) * node * static_cast<double>(std::max(passes, 1LL)) +
           static_cast<double>(n) * static_cast<double>(n) * static_cast<double>(std::max(passes, 1LL));
}

// The entry point itself, which runs on the workers MOSARO_THREADS names.
std::vector<float> Run(const Call& c, std::size_t gridSize, int threads) {
    std::vector<float> grid(gridSize, kSentinel);
    ::setenv("MOSARO_THREADS", threads == 1 ? "1" : "2", 1);
    const int result = KARVO_ScatToGridWithKrig(
        c.nullData ? nullptr : c.data.data(), c.valueColumn, c.points, c.columns, c.nullRect ? nullptr : c.rect,
        c.cellX, c.cellY, c.cellsX, c.cellsY, c.neighbours, c.method, c.parameter,
        c.nullArray ? nullptr : c.methodArray.data(), c.nullGrid ? nullptr : grid.data());
    if (result != 1) Fail("the entry point returned something other than 1");
    return grid;
}

// The same call on the reference path, as the entry point makes it.
std::vector<float> RunReference(const Call& c, std::size_t gridSize) {
    std::vector<float> grid(gridSize, kSentinel);
    mosaro::GridRequest r;
    r.data = c.nullData ? nullptr : c.data.data();
    r.valueColumn = c.valueColumn;
    r.pointCount = c.points;
    r.columnCount = c.columns;
    r.rect = TRECTXYMINMAX{c.rect[0], c.rect[1], c.rect[2], c.rect[3]};
    r.grid = TGRIDCELLXY{c.cellX, c.cellY, c.cellsX, c.cellsY};
    r.neighbourCount = c.neighbours;
    r.method = c.method;
    r.methodParameter = c.parameter;
    r.methodArray = c.nullArray ? nullptr : c.methodArray.data();
    r.output = c.nullGrid ? nullptr : grid.data();
    mosaro::RunSettings settings;
    settings.reference = true;
    try {
        mosaro::RunGridRequest(r, settings);
    } catch (...) {
        // As the entry point: a failure ends the call, the grid as passed.
    }
    return grid;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    mosaro_fuzz::FuzzInput in(bytes, size);
    Call c;
    c.method = in.Small(-2, 14);
    c.points = in.Count(0, 40);
    c.columns = in.Small(0, 6);
    c.valueColumn = in.Small(-1, 6);
    const float spread = in.Float(1000.0f);
    c.rect[0] = in.Float(spread);
    c.rect[1] = in.Float(spread);
    c.rect[2] = in.Float(spread);
    c.rect[3] = in.Float(spread);
    c.cellX = in.Float(spread / 8.0f);
    c.cellY = in.Float(spread / 8.0f);
    c.cellsX = in.Count(-2, 15);
    c.cellsY = in.Count(-2, 15);
    c.neighbours = in.Count(-2, 24);
    c.parameter = in.Float(8.0f);
    const std::uint8_t nulls = in.Byte();
    c.nullData = (nulls & 0x0F) == 1;
    c.nullRect = (nulls & 0x0F) == 2;
    c.nullGrid = (nulls & 0x0F) == 3;
    c.nullArray = (nulls & 0x0F) == 4;
    const bool compareReference = (nulls & 0x30) == 0x30;
    const int threads = (nulls >> 6) == 3 ? 2 : 1;  // starting workers is slow under the sanitizers

    // The sample table: rows x columns floats; a negative count promises
    // nothing (one float), and a huge one more than a harness can give.
    if (c.points > 200) return 0;
    // A null extent ends the call before anything is written (the reference
    // run below cannot be handed one, so it must not be compared).
    bool mustRefuse = c.points < 0 || c.nullRect;
    const std::size_t cells = static_cast<std::size_t>(std::max(c.points, 0)) * static_cast<std::size_t>(c.columns);
    c.data.resize(std::max<std::size_t>(cells, 1));
    for (std::size_t k = 0; k < cells; ++k) c.data[k] = in.Float(spread);

    // The method array the parameter promises.
    long long passes = 1;
    const int promised = mosaro::TruncatedCount(c.parameter);
    if (c.method == mosaro::kIndicator || c.method == mosaro::kCoKriging) {
        const bool indicator = c.method == mosaro::kIndicator;
        if (promised >= 0 && promised <= (indicator ? 1000 : 8)) {
            c.methodArray.resize(static_cast<std::size_t>(promised));
            for (float& entry : c.methodArray) entry = indicator ? in.Float(spread) : in.Float(8.0f);
            if (indicator) passes = promised;
        } else if (indicator && promised > 1000 &&
                   static_cast<double>(promised) * std::max(c.points, 1) > mosaro::kMaxIndicatorEntries) {
            c.methodArray.assign(1, 0.0f);
            mustRefuse = true;  // the indicator table is refused before a threshold is read
        } else if (!indicator && promised > 8 && c.points > 0 &&
                   static_cast<long long>(promised) * c.points > INT_MAX) {
            c.methodArray.assign(1, 0.0f);
            mustRefuse = true;  // the widened sample count is refused before a column is read
        } else if (promised < 0 && c.parameter >= 1.0f) {
            c.methodArray.assign(1, 0.0f);
            mustRefuse = true;  // beyond int: refused (co-kriging) or beyond any table (indicator)
        } else {
            return 0;  // a contract this harness cannot honour cheaply
        }
    }

    // The grid: exact size, or one node where the library must refuse.
    std::size_t gridSize = 1;
    std::uint64_t nodes = 0;
    if (c.cellsX >= 0 && c.cellsY >= 0) {
        nodes = (static_cast<std::uint64_t>(c.cellsX) + 1) * (static_cast<std::uint64_t>(c.cellsY) + 1);
        if (nodes > mosaro::kMaxNodes) {
            mustRefuse = true;
        } else if (nodes <= 256) {
            gridSize = static_cast<std::size_t>(nodes);
        } else {
            return 0;
        }
    } else {
        mustRefuse = true;
    }
    // Cell sizes as the library normalises them; an absurd lag-class count
    // is refused before anything is allocated, a merely large one is slow.
    const TGRIDCELLXY normalised{c.cellX > 0.0f ? c.cellX : 1.0f, c.cellY > 0.0f ? c.cellY : 1.0f, 0, 0};
    try {
        const mosaro::LagClassCounts counts =
            mosaro::ComputeLagClassCounts(normalised, TRECTXYMINMAX{c.rect[0], c.rect[1], c.rect[2], c.rect[3]});
        if (counts.x > 20000 || counts.y > 20000) return 0;
    } catch (const std::length_error&) {
        mustRefuse = mustRefuse || c.method == mosaro::kOrdinary;
    }
    if (!mustRefuse && Work(c, nodes, passes) > 3e5) return 0;

    const std::vector<float> fast = Run(c, gridSize, threads);
    if (mustRefuse) {
        for (float node : fast)
            if (std::memcmp(&node, &kSentinel, sizeof node) != 0) Fail("a refused call wrote the grid");
    }
    if (compareReference && !mustRefuse) {
        const std::vector<float> reference = RunReference(c, gridSize);
        if (std::memcmp(fast.data(), reference.data(), fast.size() * sizeof(float)) != 0)
            Fail("the fast path and the reference path gave different grids");
    }
    return 0;
}
