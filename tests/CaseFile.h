// Cross-check cases: one call of the entry point written as plain text, and
// the grid it must produce as one bit pattern per node. The same files are
// read by the independent model in scripts/crosscheck.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "mosaro.h"

namespace mosaro_test {

struct Case {
    int valueColumn = 0, pointCount = 0, columnCount = 0;
    float cellX = 0, cellY = 0;
    int cellsX = 0, cellsY = 0, neighbours = 0, method = 0;
    float parameter = 0;
    float rect[4] = {0, 0, 0, 0};
    std::vector<float> methodArray;
    float gridInit = 0;
    std::vector<float> data;

    std::size_t Nodes() const {
        if (cellsX < 0 || cellsY < 0) return 0;
        return (static_cast<std::size_t>(cellsX) + 1) * (static_cast<std::size_t>(cellsY) + 1);
    }

    // Runs the entry point on a grid filled with gridInit.
    std::vector<float> Run() const {
        std::vector<float> grid(Nodes(), gridInit);
        KARVO_ScatToGridWithKrig(data.empty() ? nullptr : data.data(), valueColumn, pointCount,
                                 columnCount, rect, cellX, cellY, cellsX, cellsY, neighbours,
                                 method, parameter,
                                 methodArray.empty() ? nullptr : methodArray.data(),
                                 grid.data());
        return grid;
    }
};

// strtof reads every float the model writes (repr of the value) exactly.
inline float ParseFloat(const std::string& token) {
    char* end = nullptr;
    const float value = std::strtof(token.c_str(), &end);
    if (end == token.c_str() || *end != '\0') throw std::runtime_error("bad float: " + token);
    return value;
}

inline Case ReadCase(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    Case c;
    std::string line, key, token;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        if (!(fields >> key)) continue;
        if (key == "args") {
            std::string cx, cy, p;
            fields >> c.valueColumn >> c.pointCount >> c.columnCount >> cx >> cy >> c.cellsX >>
                c.cellsY >> c.neighbours >> c.method >> p;
            c.cellX = ParseFloat(cx);
            c.cellY = ParseFloat(cy);
            c.parameter = ParseFloat(p);
        } else if (key == "rect") {
            for (float& r : c.rect) {
                fields >> token;
                r = ParseFloat(token);
            }
        } else if (key == "methodarray") {
            std::size_t count = 0;
            fields >> count;
            for (std::size_t k = 0; k < count && fields >> token; ++k)
                c.methodArray.push_back(ParseFloat(token));
        } else if (key == "grid_init") {
            fields >> token;
            c.gridInit = ParseFloat(token);
        } else if (key == "data") {
            while (in >> token) c.data.push_back(ParseFloat(token));
        }
    }
    return c;
}

inline std::vector<std::uint32_t> ReadGridBits(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<std::uint32_t> bits;
    std::string token;
    while (in >> token) bits.push_back(static_cast<std::uint32_t>(std::stoul(token, nullptr, 16)));
    return bits;
}

}  // namespace mosaro_test
