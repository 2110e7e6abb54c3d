// Helpers shared by the tests: sample tables, entry-point calls, bit
// comparisons.
#pragma once

#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "api/GridRequest.h"
#include "api/PointArrays.h"
#include "mosaro.h"
#include "pipeline/RunSettings.h"

namespace mosaro_test {

// setenv is POSIX; the Windows C runtime has _putenv_s, where an empty value
// removes the variable.
inline void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    ::setenv(name, value, 1);
#endif
}
inline void RemoveVariable(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
}

inline std::uint32_t Bits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Empty when the two agree bit for bit, else where and how they first part.
inline std::string FirstDifference(const std::vector<float>& expected, const std::vector<float>& actual) {
    if (expected.size() != actual.size()) return "sizes differ";
    for (std::size_t k = 0; k < expected.size(); ++k)
        if (Bits(expected[k]) != Bits(actual[k])) {
            std::ostringstream out;
            out << "node " << k << ": expected " << std::hexfloat << expected[k] << std::hex << " ("
                << Bits(expected[k]) << "), got " << actual[k] << " (" << Bits(actual[k]) << ")";
            return out.str();
        }
    return {};
}

// Row-major sample table: x, y, then the value columns.
struct SampleTable {
    std::vector<float> rows;
    int columns = 3;
    int Count() const { return static_cast<int>(rows.size()) / columns; }
    float& At(int row, int column) { return rows[static_cast<std::size_t>(row * columns + column)]; }
    void Add(float x, float y, float value) { rows.insert(rows.end(), {x, y, value}); }
};

// Rows of x, y, value: `count` uniform random places in [0, extent)^2, each
// valued field(x, y, noise), the noise uniform in [-noise, noise).
template <class Field>
std::vector<float> ScatteredSamples(unsigned seed, int count, float extent, float noise, Field field) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> place(0.0f, extent), jitter(-noise, noise);
    std::vector<float> rows;
    for (int i = 0; i < count; ++i) {
        const float x = place(random), y = place(random);
        rows.insert(rows.end(), {x, y, field(x, y, jitter(random))});
    }
    return rows;
}

// Samples over [0, size)^2. Structured: a stationary field (waves about 60
// units long plus noise, values 10 to 90) whose variogram levels off, as the
// spherical fit expects. Otherwise a planar trend plus noise.
inline SampleTable Samples(unsigned seed, int count, float size, bool structured) {
    return SampleTable{ScatteredSamples(seed, count, size, 4.0f, [structured](float x, float y, float noise) {
        const double wave = std::sin(x / 19.0) * std::cos(y / 23.0) + 0.5 * std::sin((x + y) / 31.0);
        return structured ? static_cast<float>(50.0 + 25.0 * wave) + noise
                          : 22.0f + 0.1f * x + 0.05f * y + noise / 1.6f;
    })};
}
inline SampleTable RandomSamples(unsigned seed, int count, float size) { return Samples(seed, count, size, false); }
inline SampleTable StructuredSamples(unsigned seed, int count, float size) { return Samples(seed, count, size, true); }

// Grid arguments of one call; by default 21 x 21 nodes over [0, 200]^2.
struct GridArgs {
    float xMin = 0, yMin = 0, xMax = 200, yMax = 200, cellX = 10, cellY = 10;
    int cellsX = 20, cellsY = 20, neighbours = 10;

    static GridArgs Square(float size, int cells, int neighbours) {
        return GridArgs{
            0,     0,     size,      size, size / static_cast<float>(cells), size / static_cast<float>(cells),
            cells, cells, neighbours};
    }
    int Nodes() const { return (cellsX + 1) * (cellsY + 1); }
    float At(const std::vector<float>& grid, int row, int column) const {
        return grid[static_cast<std::size_t>(row * (cellsX + 1) + column)];
    }
    TGRIDCELLXY Layout() const { return TGRIDCELLXY{cellX, cellY, cellsX, cellsY}; }
    TRECTXYMINMAX Rect() const { return TRECTXYMINMAX{xMin, yMin, xMax, yMax}; }
};

// Runs the entry point on a grid pre-filled with `initial`.
inline std::vector<float> Grid(const SampleTable& table, const GridArgs& s, int method = 1, float parameter = 0.0f,
                               const float* methodArray = nullptr, float initial = -7.0f) {
    std::vector<float> grid(static_cast<std::size_t>(s.Nodes()), initial);
    const float rect[4] = {s.xMin, s.yMin, s.xMax, s.yMax};
    KARVO_ScatToGridWithKrig(table.rows.data(), 2, table.Count(), table.columns, rect, s.cellX, s.cellY, s.cellsX,
                             s.cellsY, s.neighbours, method, parameter, methodArray, grid.data());
    return grid;
}

// The entry point's call with chosen settings and further outputs, as the
// engine runs it; exceptions (a cancelled run) reach the caller.
inline std::vector<float> GridWith(const SampleTable& table, const GridArgs& s, int method, float parameter,
                                   const float* methodArray, const mosaro::RunSettings& settings,
                                   mosaro::PipelineOutputs outputs = {}) {
    std::vector<float> grid(static_cast<std::size_t>(s.Nodes()), -7.0f);
    mosaro::GridRequest r;
    r.data = table.rows.data();
    r.valueColumn = 2;
    r.pointCount = table.Count();
    r.columnCount = table.columns;
    r.rect = s.Rect();
    r.grid = s.Layout();
    r.neighbourCount = s.neighbours;
    r.method = method;
    r.methodParameter = parameter;
    r.methodArray = methodArray;
    r.output = grid.data();
    mosaro::RunGridRequest(r, settings, outputs);
    return grid;
}

// The point arrays of a three-column table, as the entry point builds them.
inline mosaro::PointArrays Points(const SampleTable& table) {
    return mosaro::BuildPointArrays(table.rows.data(), table.Count(), table.columns, 2);
}

}  // namespace mosaro_test
