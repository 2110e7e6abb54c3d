// One measured call of a benchmark row, run in a child process of its own:
// the best of a few repeats, stage by stage, and the bits of the grid.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BenchmarkRows.h"
#include "mosaro.h"
#include "pipeline/RunSettings.h"

namespace mosaro_bench {

// What one child measured.
struct Measurement {
    double whole = 1e300, stage[3] = {1e300, 1e300, 1e300};  // seconds; indexed by mosaro::Stage
    std::uint64_t gridHash = 0;
    int modelsKnown = 0;  // the engine reported the fitted models of the first pass
    TVARIOGRAMMODEL models[2]{};
    std::uint32_t bandNodes = 0;
    // The fast legacy sweep's parts (SweepPartSeconds, in its order):
    // seconds summed over the threads.
    double parts[5] = {1e300, 1e300, 1e300, 1e300, 1e300};
};

// One call: which path, how many samples (a leading subset), how many grid
// rows, and optionally the models to use instead of fitting.
struct Call {
    bool reference = false;
    int threads = 1;
    int samples = 0;
    int cellsY = 0;
    std::optional<std::array<TVARIOGRAMMODEL, 2>> givenModels;
    mosaro::SolverLanes lanes = mosaro::SolverLanes::kBest;
    mosaro::Arithmetic arithmetic = mosaro::Arithmetic::kLegacy;
    bool timeParts = false;  // time the sweep's parts (costs a little)
};

struct Outcome {
    bool ok = false;
    std::string failure;
    Measurement m;
    std::vector<float> band;  // the first `bandRows` rows of the grid
    double peakMiB = 0.0;
};

// Runs `call` for `row` `repeats` times (fewer once they take long) in a
// child limited to `limitSeconds`.
Outcome Launch(const Row& row, const Call& call, int repeats, int bandRows, int limitSeconds);

// The two calls gave the same grid, bit for bit.
bool SameBits(const Outcome& a, const Outcome& b);

}  // namespace mosaro_bench
