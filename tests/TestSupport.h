// Helpers shared by the tests: sample tables, calls of the entry point, and
// comparisons of floats by their bits.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "mosaro.h"

namespace mosaro_test {

inline std::uint32_t Bits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline float FromBits(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Distance in units in the last place between two finite floats of one sign.
inline std::int64_t UlpDistance(float a, float b) {
    return std::llabs(static_cast<std::int64_t>(Bits(a)) - static_cast<std::int64_t>(Bits(b)));
}

// A row-major sample table of x, y, value.
struct SampleTable {
    std::vector<float> rows;
    int columns = 3;
    int Count() const { return static_cast<int>(rows.size()) / columns; }
    void Add(float x, float y, float value) {
        rows.push_back(x);
        rows.push_back(y);
        rows.push_back(value);
    }
};

// Samples scattered uniformly over [0, width) x [0, height), values
// a smooth trend plus noise, all positive.
inline SampleTable RandomSamples(unsigned seed, int count, float width, float height) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> ux(0.0f, width), uy(0.0f, height), noise(0.0f, 5.0f);
    SampleTable table;
    for (int i = 0; i < count; ++i) {
        const float x = ux(random), y = uy(random);
        const float value = 20.0f + 0.1f * x + 0.05f * y + noise(random);
        table.Add(x, y, value);
    }
    return table;
}

// Samples of a stationary, spatially correlated field over [0, size)^2:
// waves about 60 units long plus noise, all values within [10, 90]. Its
// experimental variogram rises and levels off, as the spherical fit expects.
inline SampleTable StructuredSamples(unsigned seed, int count, float size) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> u(0.0f, size), noise(-4.0f, 4.0f);
    SampleTable table;
    for (int i = 0; i < count; ++i) {
        const float x = u(random), y = u(random);
        const double wave = std::sin(x / 19.0) * std::cos(y / 23.0) + 0.5 * std::sin((x + y) / 31.0);
        table.Add(x, y, static_cast<float>(50.0 + 25.0 * wave) + noise(random));
    }
    return table;
}

// Grid arguments of one entry-point call.
struct GridSpec {
    float xMin = 0.0f, yMin = 0.0f, xMax = 100.0f, yMax = 100.0f;
    float cellX = 10.0f, cellY = 10.0f;
    int cellsX = 10, cellsY = 10;
    int neighbours = 8;
    int Nodes() const { return (cellsX + 1) * (cellsY + 1); }
    TGRIDCELLXY Layout() const { return TGRIDCELLXY{cellX, cellY, cellsX, cellsY}; }
    TRECTXYMINMAX Rect() const { return TRECTXYMINMAX{xMin, yMin, xMax, yMax}; }
};

// Runs the entry point on a grid pre-filled with `initial`.
inline std::vector<float> Grid(const SampleTable& table, const GridSpec& spec, int method = 1,
                               float parameter = 0.0f, const float* methodArray = nullptr,
                               int valueColumn = 2, float initial = -7.0f) {
    std::vector<float> grid(static_cast<std::size_t>(spec.Nodes()), initial);
    const float rect[4] = {spec.xMin, spec.yMin, spec.xMax, spec.yMax};
    KARVO_ScatToGridWithKrig(table.rows.data(), valueColumn, table.Count(), table.columns, rect,
                             spec.cellX, spec.cellY, spec.cellsX, spec.cellsY, spec.neighbours,
                             method, parameter, methodArray, grid.data());
    return grid;
}

// The three point arrays of a table, as estimators take them.
struct Points {
    std::vector<float> x, y, value;
    float* rows[3];
    explicit Points(const SampleTable& table) {
        for (int i = 0; i < table.Count(); ++i) {
            x.push_back(table.rows[static_cast<std::size_t>(i * table.columns)]);
            y.push_back(table.rows[static_cast<std::size_t>(i * table.columns + 1)]);
            value.push_back(table.rows[static_cast<std::size_t>(i * table.columns + 2)]);
        }
        rows[0] = x.data();
        rows[1] = y.data();
        rows[2] = value.data();
    }
    float** Table() { return rows; }
};

inline bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return false;
    return a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace mosaro_test
