#include "BenchmarkRows.h"

#include <algorithm>
#include <cmath>

#include "CaseGenerator.h"

namespace mosaro_bench {
namespace {

constexpr int k1e3 = 1000, k1e4 = 10000, k1e5 = 100000;

Row Plain(std::string effect, int samples, int cells, int neighbours = 16, int method = 1, int threads = 2) {
    return Row{std::move(effect), samples, cells, neighbours, method, false, threads};
}

}  // namespace

std::vector<Row> RowsOf(Mode mode) {
    Row big = Plain("target", k1e5, 1000);
    big.targetSeconds = 8.0, big.memoryTarget = true;
    Row mid = Plain("target", k1e4, 300);
    mid.targetSeconds = 0.1;
    if (mode == Mode::kTargets) return {mid, big};

    if (mode == Mode::kQuick) {
        Row lattice = Plain("lattice", k1e3, 100);
        lattice.lattice = true;
        return {Plain("base", k1e3, 100),           Plain("threads", k1e3, 100, 16, 1, 1), Plain("m", k1e3, 100, 8),
                Plain("method", k1e3, 100, 16, 10), Plain("method", k1e3, 100, 16, 11),    lattice};
    }

    // Each group varies one thing around n = 10^4, 300 x 300, m = 16,
    // ordinary kriging, two threads.
    std::vector<Row> rows = {mid};
    for (int n : {k1e3, k1e5}) rows.push_back(Plain("n", n, 300));
    for (int cells : {100, 1000}) rows.push_back(Plain("grid", k1e4, cells));
    for (int m : {8, 32}) rows.push_back(Plain("m", k1e4, 300, m));
    for (int method : {4, 7, 8, 10, 11}) rows.push_back(Plain("method", k1e4, 300, 16, method));
    Row lattice = Plain("lattice", k1e4, 300);
    lattice.lattice = true;
    rows.push_back(lattice);
    rows.push_back(Plain("threads", k1e4, 300, 16, 1, 1));
    big.threads = 1;
    rows.push_back(big);
    big.threads = 2;
    rows.push_back(big);
    if (mode == Mode::kDefault) return rows;

    // The whole picture at the largest sizes.
    for (int n : {k1e3, k1e4})
        for (int cells : {100, 300, 1000}) rows.push_back(Plain("n x grid", n, cells));
    for (int m : {8, 32}) rows.push_back(Plain("m", k1e5, 1000, m));
    for (int method : {4, 7, 8, 10, 11}) rows.push_back(Plain("method", k1e5, 1000, 16, method));
    lattice.samples = k1e5, lattice.cells = 1000;
    rows.push_back(lattice);
    return rows;
}

Input MakeInput(const Row& row) {
    Input input;
    input.cells = row.cells;
    input.neighbours = row.neighbours;
    input.method = row.method;
    const unsigned seed = 20261206u + static_cast<unsigned>(row.samples);
    if (row.lattice) {
        // Whole-number spacing in cells: every node sees mirror-image samples
        // at exactly equal distances.
        const int side = static_cast<int>(std::lround(std::sqrt(static_cast<double>(row.samples))));
        input.table = mosaro_test::LatticeSamples(seed, side, static_cast<float>(std::max(1, row.cells / side)));
    } else {
        input.table = mosaro_test::SmoothSamples(seed, row.samples, static_cast<float>(row.cells));
    }
    if (row.method == 10) {
        input.methodArray = {40.0f, 50.0f, 60.0f};
        input.parameter = 3.0f;
    }
    if (row.method == 11) {
        std::vector<float> wide;
        for (std::size_t i = 0; i + 2 < input.table.size(); i += 3) {
            const float v = input.table[i + 2];
            wide.insert(wide.end(),
                        {input.table[i], input.table[i + 1], v, 0.6f * v + 0.01f * static_cast<float>(i % 97)});
        }
        input.table = std::move(wide);
        input.columns = 4;
        input.methodArray = {2.0f, 3.0f};
        input.parameter = 2.0f;
    }
    return input;
}

}  // namespace mosaro_bench
