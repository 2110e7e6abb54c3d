// Degenerate arguments, crossed: every method code (and the codes beside
// them) against tiny sample and neighbour counts, bad cell sizes and
// extents, coincident samples, constant values, non-positive values for the
// logarithmic methods, bad co-kriging variables and extreme threshold
// counts. Each call goes through both entry points; the legacy outcome must
// be the one the README's table of degenerate input gives (grid left as
// passed, every node 0, or every node written), the modern API must give
// the status named for the bad argument, and wherever it accepts the call,
// the legacy grid bit for bit. The sanitizer build runs the same matrix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "ModernRequest.h"
#include "TestSupport.h"
#include "mosaro.h"

using namespace mosaro_test;

namespace {

constexpr float kSentinel = -7.25f;
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const float kDenormal = std::numeric_limits<float>::denorm_min();

// What the legacy call must leave in the grid.
enum class Legacy { kUntouched, kAllZero, kWritten };

struct MatrixCase {
    std::string name;
    // Legacy arguments; the table has four columns: x, y, value, second value.
    std::vector<float> table;
    int points = 0, neighbours = 4, method = 1, cellsX = 5, cellsY = 5;
    float rect[4] = {0, 0, 100, 100};
    float cellX = 20, cellY = 20, parameter = 0;
    std::vector<float> methodArray;
    Legacy legacy = Legacy::kWritten;
    int modern = MOSARO_OK;  // MOSARO_OK: OK or the no-finite-model warning
};

std::size_t Nodes(const MatrixCase& c) {
    return static_cast<std::size_t>(c.cellsX + 1) * static_cast<std::size_t>(c.cellsY + 1);
}

std::vector<float> Table(int n, bool oneLocation = false, bool equalValues = false, float firstValue = kNaN) {
    std::vector<float> rows;
    for (int i = 0; i < n; ++i) {
        const float x = oneLocation ? 37.0f : static_cast<float>((i * 37) % 97);
        const float y = oneLocation ? 61.0f : static_cast<float>((i * 53) % 89);
        const float v = equalValues ? 12.5f : 20.0f + static_cast<float>((i * 7) % 13);
        rows.insert(rows.end(), {x, y, i == 0 && !std::isnan(firstValue) ? firstValue : v, v * 0.5f + 3.0f});
    }
    return rows;
}

bool KnownMethod(int method) { return method >= 1 && method <= 11; }

// A valid parameter and array for each method: a shift of 1, two
// thresholds, two variables (columns 2 and 3).
void SetMethod(MatrixCase& c, int method) {
    c.method = method;
    if (method == 9) c.parameter = 1.0f;
    if (method == 10) {
        c.parameter = 2.0f;
        c.methodArray = {22.0f, 27.0f};
    }
    if (method == 11) {
        c.parameter = 2.0f;
        c.methodArray = {2.0f, 3.0f};
    }
}

// The modern status for a case whose only fault is `fault`: the samples are
// prepared (and refused) first, then the method code is read.
int ModernStatus(const MatrixCase& c, int fault) {
    if (c.points == 0) return MOSARO_ERROR_SAMPLE_COUNT;
    if (!KnownMethod(c.method)) return MOSARO_ERROR_METHOD;
    return fault;
}

std::vector<MatrixCase> BuildMatrix() {
    std::vector<MatrixCase> cases;
    const int methods[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    auto base = [](int method, int n) {
        MatrixCase c;
        c.table = Table(n);
        c.points = n;
        SetMethod(c, method);
        c.legacy = KnownMethod(method) ? Legacy::kWritten : Legacy::kUntouched;
        return c;
    };
    for (int method : methods) {
        const std::string m = (method < 0 ? std::string("m_minus1") : "m" + std::to_string(method)) + "_";
        // Sample and neighbour counts.
        for (int n : {0, 1, 2}) {
            for (int neighbours : {0, 1, n, n + 5}) {
                if (neighbours == n && n < 2) continue;  // already 0 or 1
                MatrixCase c = base(method, n);
                c.name = m + "n" + std::to_string(n) + "_m" + std::to_string(neighbours);
                c.neighbours = neighbours;
                // No samples: nothing to estimate from, every node 0.
                if (n == 0 && KnownMethod(method)) c.legacy = Legacy::kAllZero;
                c.modern = ModernStatus(c, neighbours < 1 ? MOSARO_ERROR_NEIGHBOUR_COUNT : MOSARO_OK);
                cases.push_back(c);
            }
        }
        // Cell sizes: zero, negative and NaN are replaced by 1 (legacy);
        // an infinite cell leaves no lag class (every node 0); a denormal
        // one gives more lag classes than can be addressed (refused).
        const struct {
            const char* name;
            float size;
            Legacy legacy;
            int modern;
        } cellSizes[] = {
            {"cell_zero", 0.0f, Legacy::kWritten, MOSARO_ERROR_CELL_SIZE},
            {"cell_negative", -20.0f, Legacy::kWritten, MOSARO_ERROR_CELL_SIZE},
            {"cell_nan", kNaN, Legacy::kWritten, MOSARO_ERROR_CELL_SIZE},
            {"cell_inf", kInf, Legacy::kAllZero, MOSARO_ERROR_CELL_SIZE},
            {"cell_denormal", kDenormal, Legacy::kUntouched, MOSARO_ERROR_TOO_LARGE},
        };
        for (const auto& cell : cellSizes) {
            for (bool both : {false, true}) {
                MatrixCase c = base(method, 12);
                c.name = m + cell.name + (both ? "_xy" : "_x");
                c.cellX = cell.size;
                if (both) c.cellY = cell.size;
                if (KnownMethod(method)) c.legacy = cell.legacy;
                c.modern = ModernStatus(c, cell.modern);
                cases.push_back(c);
            }
        }
        // Extents: inverted, empty and NaN leave a direction without lag
        // classes (every node 0); 1e30 wide is refused before any node.
        const struct {
            const char* name;
            float rect[4];
            Legacy legacy;
            int modern;
        } extents[] = {
            {"extent_inverted", {100, 0, 0, 100}, Legacy::kAllZero, MOSARO_ERROR_EXTENT},
            {"extent_empty", {50, 0, 50, 100}, Legacy::kAllZero, MOSARO_ERROR_EXTENT},
            {"extent_nan", {0, kNaN, 100, 100}, Legacy::kAllZero, MOSARO_ERROR_EXTENT},
            {"extent_1e30", {0, 0, 1e30f, 100}, Legacy::kUntouched, MOSARO_ERROR_TOO_LARGE},
        };
        for (const auto& extent : extents) {
            MatrixCase c = base(method, 12);
            c.name = m + extent.name;
            std::copy(extent.rect, extent.rect + 4, c.rect);
            if (KnownMethod(method)) c.legacy = extent.legacy;
            c.modern = ModernStatus(c, extent.modern);
            cases.push_back(c);
        }
        // Every sample at one place (no pair at any lag), every value equal
        // (no variance at any lag): the fit has nothing finite to give, so
        // every node is 0.
        for (bool oneLocation : {true, false}) {
            MatrixCase c = base(method, 12);
            c.name = m + (oneLocation ? "one_location" : "equal_values");
            c.table = Table(12, oneLocation, !oneLocation);
            if (KnownMethod(method)) c.legacy = Legacy::kAllZero;
            if (method == 10) c.methodArray = {12.0f, 13.0f};  // one below, one above the values
            c.modern = ModernStatus(c, MOSARO_OK);
            cases.push_back(c);
        }
    }
    // Values of 0 and below for the logarithmic methods: the logarithms'
    // -inf and NaN are followed, such nodes are 0; the modern API refuses.
    for (int method : {8, 9}) {
        for (float value : {0.0f, -3.0f}) {
            MatrixCase c = base(method, 12);
            c.name = "m" + std::to_string(method) + (value == 0.0f ? "_value_zero" : "_value_negative");
            c.table = Table(12, false, false, method == 9 ? value - 1.0f : value);  // v + shift
            c.modern = MOSARO_ERROR_SAMPLE_VALUE;
            cases.push_back(c);
        }
    }
    // Co-kriging variables: none, negative, more than the table has, a
    // column beyond the row. Nothing runs.
    const struct {
        const char* name;
        float variables;
        std::vector<float> columns;
        int modern;
    } coKriging[] = {
        {"v_zero", 0.0f, {2.0f}, MOSARO_ERROR_VARIABLES},
        {"v_negative", -2.0f, {2.0f}, MOSARO_ERROR_VARIABLES},
        {"v_beyond_columns", 5.0f, {2.0f, 3.0f, 4.0f, 5.0f, 6.0f}, MOSARO_ERROR_VARIABLES},
        {"column_beyond_row", 2.0f, {2.0f, 4.0f}, MOSARO_ERROR_VARIABLES},
        {"column_negative", 2.0f, {2.0f, -1.0f}, MOSARO_ERROR_VARIABLES},
    };
    for (const auto& v : coKriging) {
        MatrixCase c = base(11, 12);
        c.name = std::string("m11_") + v.name;
        c.parameter = v.variables;
        c.methodArray = v.columns;
        c.legacy = Legacy::kUntouched;
        c.modern = v.modern;
        cases.push_back(c);
    }
    // Indicator kriging with no threshold (every node 0; the modern API
    // refuses) and with a thousand (a full pass each).
    {
        MatrixCase c = base(10, 12);
        c.name = "m10_thresholds_0";
        c.parameter = 0.0f;
        c.methodArray = {};
        c.legacy = Legacy::kAllZero;
        c.modern = MOSARO_ERROR_THRESHOLDS;
        cases.push_back(c);
        c.name = "m10_thresholds_1000";
        c.parameter = 1000.0f;
        for (int t = 0; t < 1000; ++t) c.methodArray.push_back(15.0f + 0.02f * static_cast<float>(t));
        c.cellsX = c.cellsY = 2;
        c.legacy = Legacy::kWritten;
        c.modern = MOSARO_OK;
        cases.push_back(c);
    }
    return cases;
}

const std::vector<MatrixCase>& Matrix() {
    static const std::vector<MatrixCase> cases = BuildMatrix();
    return cases;
}

// The call as the legacy entry point takes it: value column 2 of four.
Case Call(const MatrixCase& m) {
    Case c;
    c.valueColumn = 2;
    c.pointCount = m.points;
    c.columnCount = 4;
    c.cellsX = m.cellsX;
    c.cellsY = m.cellsY;
    c.neighbours = m.neighbours;
    c.method = m.method;
    c.cellX = m.cellX;
    c.cellY = m.cellY;
    c.parameter = m.parameter;
    c.gridInit = kSentinel;
    std::copy(m.rect, m.rect + 4, c.rect);
    c.methodArray = m.methodArray;
    c.data = m.table;
    return c;
}

class DegenerateMatrix : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DegenerateMatrix, LegacyOutcomeIsTheDocumentedOneAndTheModernApiAgrees) {
    const MatrixCase& c = Matrix()[GetParam()];
    const Case call = Call(c);  // the modern request points into it
    const std::vector<float> legacy = call.Run();
    const auto untouched = [](float v) { return Bits(v) == Bits(kSentinel); };
    switch (c.legacy) {
        case Legacy::kUntouched: EXPECT_TRUE(std::all_of(legacy.begin(), legacy.end(), untouched)); break;
        case Legacy::kAllZero:
            EXPECT_TRUE(std::all_of(legacy.begin(), legacy.end(), [](float v) { return Bits(v) == 0; }));
            break;
        case Legacy::kWritten:  // the cut-off stores NaN and anything below 0.01 as 0
            EXPECT_TRUE(std::none_of(legacy.begin(), legacy.end(), untouched));
            EXPECT_TRUE(std::all_of(legacy.begin(), legacy.end(), [](float v) { return v >= 0.0f; }));
            break;
    }

    std::vector<float> grid(Nodes(c), kSentinel);
    ModernArrays arrays;
    const mosaro_request request = ModernRequest(call, arrays, grid.data());
    const int status = mosaro_grid(&request);
    if (c.modern == MOSARO_OK) {
        EXPECT_TRUE(status == MOSARO_OK || status == MOSARO_WARNING_NO_FINITE_MODEL)
            << status << ": " << mosaro_last_message();
        EXPECT_EQ(FirstDifference(legacy, grid), "");
    } else {
        EXPECT_EQ(status, c.modern) << mosaro_last_message();
        EXPECT_STRNE(mosaro_last_message(), "");
        EXPECT_TRUE(std::all_of(grid.begin(), grid.end(), untouched));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DegenerateMatrix, ::testing::Range<std::size_t>(0, Matrix().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& param) { return Matrix()[param.param].name; });

}  // namespace
