// Seeded entry-point calls of every method code, over the inputs where a
// faster sweep or variogram pass could part ways with the plain one: ties,
// duplicates, blank and NaN values, non-finite coordinates, odd extents and
// grid shapes, extreme neighbour counts, many lag classes. The sample layouts
// are also the benchmark's inputs.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "CaseFile.h"
#include "TestSupport.h"

namespace mosaro_test {

// A smooth field (about one wave across the extent, a few shorter) plus
// noise; its variogram levels off, as the spherical fit expects.
inline std::vector<float> SmoothSamples(unsigned seed, int count, float extent) {
    const double k = 2.0 * std::acos(-1.0) / static_cast<double>(extent);
    return ScatteredSamples(seed, count, extent, 4.0f, [k](float x, float y, float noise) {
        return static_cast<float>(
                   50.0 + 25.0 * (std::sin(k * x) * std::cos(0.8 * k * y) + 0.5 * std::sin(0.6 * k * (x + y)))) +
               noise;
    });
}

// side x side samples on a square lattice from the origin, with smooth
// values. With a spacing of one, two or three grid cells and whole-number
// coordinates, every node sees mirror-image samples at exactly equal
// distances, so the neighbour order is decided by the tie rule alone.
inline std::vector<float> LatticeSamples(unsigned seed, int side, float spacing) {
    std::vector<float> rows = SmoothSamples(seed, side * side, spacing * static_cast<float>(side));
    for (int i = 0; i < side * side; ++i) {
        rows[3 * i] = spacing * static_cast<float>(i % side);
        rows[3 * i + 1] = spacing * static_cast<float>(i / side);
    }
    return rows;
}

enum class SampleKind { kSmooth, kTrend, kLattice, kDuplicates, kBlankValues, kNaNValues, kBadCoordinates };
enum class GridKind {
    kMatching,
    kLargerExtent,
    kSmallerExtent,
    kSingleRow,
    kSingleColumn,
    kLongRows,
    kManyLagClasses,
    kManyRows
};
enum class NeighbourRule { kSome, kOne, kAll, kMoreThanSamples };

constexpr int kSampleKinds = 7, kGridKinds = 8, kNeighbourRules = 4;
constexpr float kBlankValue = -1e38f;

struct GeneratedCase {
    std::string name;
    Case call;
    SampleKind samples;
    GridKind grid;
    NeighbourRule rule;
};

namespace detail {

// Rows of x, y, value over [0, extent)^2 in the given layout.
inline std::vector<float> Samples(std::mt19937& random, SampleKind kind, int count, float extent, float cell) {
    const unsigned seed = random();
    if (kind == SampleKind::kTrend)  // a planar trend: the drift forms of universal kriging fit it
        return ScatteredSamples(seed, count, extent, 2.5f, [extent](float x, float y, float noise) {
            return 20.0f + 30.0f * x / extent + 15.0f * y / extent + noise;
        });
    if (kind == SampleKind::kLattice) {
        const int side = std::max(2, static_cast<int>(std::sqrt(static_cast<double>(count))));
        return LatticeSamples(seed, side, cell * static_cast<float>(1 + random() % 3));
    }
    std::vector<float> rows = SmoothSamples(seed, count, extent);
    auto pick = [&] { return static_cast<std::size_t>(random() % static_cast<unsigned>(count)); };
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (int k = 0; k < std::max(1, count / 8); ++k) {
        const std::size_t row = k == 0 ? 0 : pick();  // the first row has a rule of its own
        if (kind == SampleKind::kDuplicates) {        // same place; the same value half the time
            const std::size_t from = pick();
            rows[3 * row] = rows[3 * from];
            rows[3 * row + 1] = rows[3 * from + 1];
            if (k % 2 == 0) rows[3 * row + 2] = rows[3 * from + 2];
        }
        if (kind == SampleKind::kBlankValues) rows[3 * row + 2] = kBlankValue;
        if (kind == SampleKind::kNaNValues) rows[3 * row + 2] = k % 3 == 2 ? kBlankValue : nan;
        if (kind == SampleKind::kBadCoordinates)
            rows[3 * row + random() % 2] = k % 3 == 0 ? nan : (k % 3 == 1 ? inf : -inf);
    }
    return rows;
}

// Fills the method's parameter and array; co-kriging widens the rows to
// two or three value columns (the primary and values correlated with it).
inline void SetMethod(std::mt19937& random, int method, Case& c) {
    c.method = method;
    if (method == 9) c.parameter = std::uniform_real_distribution<float>(-5.0f, 20.0f)(random);
    if (method == 10) {
        const int thresholds = 1 + static_cast<int>(random() % 3);
        for (int t = 0; t < thresholds; ++t)
            c.methodArray.push_back(38.0f + 12.0f * static_cast<float>(t) + static_cast<float>(random() % 5));
        c.parameter = static_cast<float>(thresholds) + 0.75f;  // truncated to the count
    }
    if (method != 11) return;
    const int variables = 2 + static_cast<int>(random() % 2);
    std::vector<float> wide;
    for (int i = 0; i < c.pointCount; ++i) {
        const float* row = &c.data[static_cast<std::size_t>(3 * i)];
        wide.insert(wide.end(), {row[0], row[1], row[2]});
        for (int v = 1; v < variables; ++v)
            wide.push_back(row[2] == kBlankValue ? row[2] : 0.7f * row[2] + static_cast<float>(v + (i % 5)));
    }
    c.data = wide;
    c.columnCount = 2 + variables;
    for (int v = variables; v-- > 0;) c.methodArray.push_back(static_cast<float>(2 + v) + 0.5f);  // reversed, truncated
    c.parameter = static_cast<float>(variables);
    c.valueColumn = 0;  // not read by co-kriging
}

}  // namespace detail

// One seeded call. The neighbour rule is applied to the per-variable count.
inline GeneratedCase MakeCase(unsigned seed, int method, SampleKind samples, GridKind grid, NeighbourRule rule) {
    std::mt19937 random(seed);
    // Taking every sample as a neighbour solves an n x n system per node:
    // keep those calls small.
    const int count = rule == NeighbourRule::kAll || rule == NeighbourRule::kMoreThanSamples
                          ? 10 + static_cast<int>(random() % 20)
                          : 60 + static_cast<int>(random() % 200);
    const int cells = 4 + static_cast<int>(random() % 8);
    const float cell = std::vector<float>{1.0f, 2.5f, 4.0f}[random() % 3];
    const float extent = cell * static_cast<float>(cells);

    Case c;
    c.data = detail::Samples(random, samples, count, extent, cell);
    c.pointCount = static_cast<int>(c.data.size() / 3);
    c.columnCount = 3;
    c.valueColumn = 2;
    c.gridInit = -7.0f;
    c.cellX = c.cellY = cell;
    c.cellsX = c.cellsY = cells;
    float* r = c.rect;
    r[0] = r[1] = 0.0f;
    r[2] = r[3] = extent;
    switch (grid) {
        case GridKind::kMatching: break;
        case GridKind::kLargerExtent:  // eleven times the samples' extent; most nodes far from any sample
            r[0] = r[1] = -5.0f * extent;
            r[2] = r[3] = 6.0f * extent;
            c.cellX = c.cellY = 2.0f * cell;
            c.cellsX = c.cellsY = 3 * cells;
            break;
        case GridKind::kSmallerExtent:  // a window of a sixteenth of the samples' area
            r[0] = r[1] = 0.3f * extent;
            r[2] = r[3] = 0.55f * extent;
            c.cellX = c.cellY = 0.25f * cell;
            break;
        case GridKind::kSingleRow:
            c.cellsY = 0;
            c.cellsX = 3 * cells;
            break;
        case GridKind::kSingleColumn:
            c.cellsX = 0;
            c.cellsY = 3 * cells;
            break;
        case GridKind::kLongRows:
            c.cellsX = 50;
            c.cellsY = 3;
            c.cellX = extent / 50.0f;
            break;  // each row spans the samples
        case GridKind::kManyLagClasses:
            c.cellX = c.cellY = extent / 320.0f;
            c.cellsX = c.cellsY = 9;
            break;                 // well over 100
        case GridKind::kManyRows:  // enough rows for threads to split the sweep in many places
            c.cellsX = 5;
            c.cellsY = 90 + static_cast<int>(random() % 60);
            c.cellY = extent / static_cast<float>(c.cellsY);
            break;
    }
    const int n = c.pointCount;
    switch (rule) {
        case NeighbourRule::kSome:
            c.neighbours = 2 + static_cast<int>(random() % static_cast<unsigned>(std::min(n, 20) - 1));
            break;
        case NeighbourRule::kOne: c.neighbours = 1; break;
        case NeighbourRule::kAll: c.neighbours = n; break;
        case NeighbourRule::kMoreThanSamples: c.neighbours = n + 1 + static_cast<int>(random() % 50); break;
    }
    detail::SetMethod(random, method, c);
    const char* sampleNames[] = {"smooth", "trend", "lattice", "duplicates", "blanks", "nan_values", "bad_coordinates"};
    const char* gridNames[] = {"matching",   "larger",    "smaller",   "one_row",
                               "one_column", "long_rows", "many_lags", "many_rows"};
    const char* ruleNames[] = {"some", "m1", "m_eq_n", "m_gt_n"};
    return GeneratedCase{"m" + std::to_string(method) + "_" + sampleNames[static_cast<int>(samples)] + "_" +
                             gridNames[static_cast<int>(grid)] + "_" + ruleNames[static_cast<int>(rule)] + "_" +
                             std::to_string(seed),
                         c, samples, grid, rule};
}

// `count` calls from `seed`: consecutive calls step through the 13 method
// codes (0 to 12, the outer two run nothing), the sample layouts and the
// neighbour rules together (periods 13, 7 and 4 are coprime, so every pair
// of them meets within a few hundred calls), the grid kinds once per seven
// (so every sample layout meets every grid kind within 56 calls).
inline std::vector<GeneratedCase> GenerateCases(unsigned seed, int count) {
    std::vector<GeneratedCase> cases;
    for (int i = 0; i < count; ++i)
        cases.push_back(MakeCase(
            seed * 7919u + static_cast<unsigned>(i), i % 13, static_cast<SampleKind>(i % kSampleKinds),
            static_cast<GridKind>((i / kSampleKinds) % kGridKinds), static_cast<NeighbourRule>(i % kNeighbourRules)));
    return cases;
}

}  // namespace mosaro_test
