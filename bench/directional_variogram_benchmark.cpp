// The legacy directional variograms of 10^5 seeded samples onto 1000 x 1000
// cells (the grid target's case), with the samples in several orders: random,
// along lines (rows of the extent, west to east), along a space-filling curve
// and sorted by x. Each order runs with runs of samples passed over by their
// boxes (as a call does) and without, side by side, and the tables' bits of
// both must agree.
//
//   mosaro_directional_variogram_bench [SAMPLES [THREADS [REPEATS]]]   (100000, 2, 3)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "variogram/ExperimentalVariogram.h"
#include "variogram/LagClasses.h"

namespace {

struct Samples {
    std::vector<float> x, y;
    std::vector<double> values;
};

// Interleaved bits of two 16-bit cell numbers: a Z-order curve.
std::uint32_t ZOrder(std::uint32_t column, std::uint32_t row) {
    std::uint32_t code = 0;
    for (int bit = 0; bit < 16; ++bit)
        code |= ((column >> bit) & 1u) << (2 * bit) | ((row >> bit) & 1u) << (2 * bit + 1);
    return code;
}

Samples Ordered(const Samples& s, const std::string& order) {
    std::vector<std::size_t> index(s.x.size());
    std::iota(index.begin(), index.end(), std::size_t{0});
    const auto by = [&](auto key) {
        std::stable_sort(index.begin(), index.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    };
    const auto cell = [](float v) { return static_cast<std::uint32_t>(v * 60.0f); };
    if (order == "along lines") by([&](std::size_t k) { return std::pair{static_cast<int>(s.y[k] / 10.0f), s.x[k]}; });
    if (order == "z-curve") by([&](std::size_t k) { return ZOrder(cell(s.x[k]), cell(s.y[k])); });
    if (order == "sorted by x") by([&](std::size_t k) { return s.x[k]; });
    Samples out;
    for (std::size_t k : index) out.x.push_back(s.x[k]), out.y.push_back(s.y[k]), out.values.push_back(s.values[k]);
    return out;
}

// The tables' bits, folded.
std::uint64_t Fold(const mosaro::DirectionalTables& tables, mosaro::LagClassCounts counts) {
    std::uint64_t hash = 1469598103934665603ull;
    for (int row = 0; row < 3; ++row)
        for (const auto& [table, classes] : {std::pair{tables.x.Get(), counts.x}, std::pair{tables.y.Get(), counts.y}})
            for (int k = 0; k < classes; ++k) {
                std::uint32_t bits;
                std::memcpy(&bits, &table[row][k], sizeof bits);
                hash = (hash ^ bits) * 1099511628211ull;
            }
    return hash;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int threads = argc > 2 ? std::atoi(argv[2]) : 2;
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    std::mt19937 random(5);
    std::uniform_real_distribution<float> place(0.0f, 1000.0f), value(0.0f, 100.0f);
    Samples uniform;
    for (int i = 0; i < count; ++i) {
        uniform.x.push_back(place(random));
        uniform.y.push_back(place(random));
        uniform.values.push_back(static_cast<double>(value(random)));
    }
    const TGRIDCELLXY grid{1.0f, 1.0f, 1000, 1000};
    const TRECTXYMINMAX rect{0, 0, 1000, 1000};
    const mosaro::LagClassCounts counts = mosaro::ComputeLagClassCounts(grid, rect);
    mosaro::Execution execution;
    execution.workers = threads;
    std::printf("%d samples, %d threads, %s kernels, best of %d\n\n", count, threads,
                mosaro::PreferredPairKernels().name, repeats);
    std::printf("| order | every run s | runs passed over s | ratio | bits |\n|---|---|---|---|---|\n");
    int failures = 0;
    for (const char* order : {"random", "along lines", "z-curve", "sorted by x"}) {
        const Samples s = Ordered(uniform, order);
        double best[2] = {1e30, 1e30};
        std::uint64_t bits[2] = {0, 0};
        for (int turn = 0; turn < repeats; ++turn)
            for (int mode = 0; mode < 2; ++mode) {
                mosaro::PairBlocking blocking;
                blocking.runSkipping = mode == 0 ? mosaro::RunSkipping::kNever : mosaro::RunSkipping::kWhenCompact;
                const auto start = std::chrono::steady_clock::now();
                const mosaro::DirectionalTables tables =
                    mosaro::BuildExperimentalVariograms({s.x.data(), s.y.data(), s.values.data(), count}, grid, rect,
                                                        &mosaro::PreferredPairKernels(), execution, blocking);
                best[mode] = std::min(best[mode],
                                      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
                bits[mode] = Fold(tables, counts);
            }
        const bool same = bits[0] == bits[1];
        failures += same ? 0 : 1;
        std::printf("| %s | %.3f | %.3f | %.2f | %s |\n", order, best[0], best[1], best[0] / best[1],
                    same ? "same" : "DIFFERENT");
    }
    return failures == 0 ? 0 : 1;
}
