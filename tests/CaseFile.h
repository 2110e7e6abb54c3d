// Golden cases: one entry-point call as plain text, and the grid it must
// give, one bit pattern per node in hex (README: how the results are
// checked).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/GridRequest.h"
#include "mosaro.h"
#include "pipeline/RunSettings.h"

namespace mosaro_test {

struct Case {
    int valueColumn = 0, pointCount = 0, columnCount = 0, cellsX = 0, cellsY = 0, neighbours = 0, method = 0;
    float cellX = 0, cellY = 0, parameter = 0, gridInit = 0, rect[4] = {0, 0, 0, 0};
    std::vector<float> methodArray, data;

    std::size_t Nodes() const {
        return cellsX < 0 || cellsY < 0 ? 0 : std::size_t(cellsX + 1) * std::size_t(cellsY + 1);
    }

    // Runs the entry point on a grid filled with gridInit.
    std::vector<float> Run() const {
        std::vector<float> grid(Nodes(), gridInit);
        KARVO_ScatToGridWithKrig(data.empty() ? nullptr : data.data(), valueColumn, pointCount, columnCount, rect,
                                 cellX, cellY, cellsX, cellsY, neighbours, method, parameter,
                                 methodArray.empty() ? nullptr : methodArray.data(), grid.data());
        return grid;
    }

    // The entry point's call as the engine runs it, with chosen settings and
    // further outputs.
    mosaro::GridRequest Request(float* grid) const {
        mosaro::GridRequest r;
        r.data = data.empty() ? nullptr : data.data();
        r.valueColumn = valueColumn;
        r.pointCount = pointCount;
        r.columnCount = columnCount;
        r.rect = TRECTXYMINMAX{rect[0], rect[1], rect[2], rect[3]};
        r.grid = TGRIDCELLXY{cellX, cellY, cellsX, cellsY};
        r.neighbourCount = neighbours;
        r.method = method;
        r.methodParameter = parameter;
        r.methodArray = methodArray.empty() ? nullptr : methodArray.data();
        r.output = grid;
        return r;
    }
    std::vector<float> Run(const mosaro::RunSettings& settings, mosaro::PipelineOutputs outputs = {}) const {
        std::vector<float> grid(Nodes(), gridInit);
        mosaro::RunGridRequest(Request(grid.data()), settings, outputs);
        return grid;
    }
};

// The settings of the reference or the fast path on `threads` workers.
inline mosaro::RunSettings PathSettings(bool reference, int threads,
                                        mosaro::SolverLanes lanes = mosaro::SolverLanes::kBest) {
    mosaro::RunSettings settings;
    settings.reference = reference;
    settings.solverLanes = lanes;
    settings.execution.workers = mosaro::ResolveWorkerCount(threads);
    return settings;
}

// Items in a fixed order: args (10 fields), rect (4), methodarray (count,
// then the floats), grid_init, then every float after "data". strtof reads
// back exactly the floats the model writes.
inline Case ReadCase(const std::string& path) {
    std::ifstream in(path);
    std::string key, t[10];
    auto f = [](const std::string& s) { return std::strtof(s.c_str(), nullptr); };
    Case c;
    std::size_t count = 0;
    if (!(in >> key >> t[0] >> t[1] >> t[2] >> t[3] >> t[4] >> t[5] >> t[6] >> t[7] >> t[8] >> t[9]) || key != "args")
        throw std::runtime_error("not a case file: " + path);
    c.valueColumn = std::stoi(t[0]);
    c.pointCount = std::stoi(t[1]);
    c.columnCount = std::stoi(t[2]);
    c.cellX = f(t[3]);
    c.cellY = f(t[4]);
    c.cellsX = std::stoi(t[5]);
    c.cellsY = std::stoi(t[6]);
    c.neighbours = std::stoi(t[7]);
    c.method = std::stoi(t[8]);
    c.parameter = f(t[9]);
    in >> key;
    for (float& r : c.rect) in >> t[0], r = f(t[0]);
    in >> key >> count;
    for (std::size_t k = 0; k < count && in >> t[0]; ++k) c.methodArray.push_back(f(t[0]));
    in >> key >> t[0] >> key;
    c.gridInit = f(t[0]);
    while (in >> t[0]) c.data.push_back(f(t[0]));
    return c;
}

inline std::vector<float> ReadGrid(const std::string& path) {
    std::ifstream in(path);
    std::vector<float> grid;
    for (std::string token; in >> token;) {
        const auto bits = static_cast<std::uint32_t>(std::stoul(token, nullptr, 16));
        std::memcpy(&grid.emplace_back(), &bits, sizeof bits);
    }
    return grid;
}

}  // namespace mosaro_test
