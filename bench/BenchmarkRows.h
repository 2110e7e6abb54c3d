// The rows of the benchmark table and the seeded input of each row.
#pragma once

#include <string>
#include <vector>

namespace mosaro_bench {

enum class Mode { kQuick, kDefault, kFull, kTargets };

struct Row {
    std::string effect;  // what the row is there to show
    int samples;
    int cells;  // cells per side: (cells + 1)^2 nodes
    int neighbours;
    int method;
    bool lattice;  // samples on a lattice: ties at every node
    int threads;
    double targetSeconds = 0.0;  // whole call; 0 when the row has no target
    bool memoryTarget = false;   // peak memory under 2 x (input + output) + 64 MiB
};

std::vector<Row> RowsOf(Mode mode);

// One entry-point call's arguments. The grid covers [0, cells]^2 with cells
// of 1: its node count and its lag classes grow together with `cells`.
struct Input {
    std::vector<float> table;
    int columns = 3, valueColumn = 2, cells = 0, neighbours = 0, method = 1;
    float parameter = 0.0f;
    std::vector<float> methodArray;

    int Count() const { return static_cast<int>(table.size()) / columns; }
};

// Smooth field plus noise, or the lattice variant; three thresholds for
// indicator kriging, a second correlated variable for co-kriging.
Input MakeInput(const Row& row);

}  // namespace mosaro_bench
