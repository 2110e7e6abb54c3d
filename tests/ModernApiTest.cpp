// The modern C API: same grids as the legacy entry point, refusals with
// their codes and messages, progress and cancellation, the model report and
// a model given by the caller.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "ApiTestSupport.h"

using namespace mosaro_test;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// A table with a second value column (column 3) for co-kriging and a few
// blanks, which both APIs fill the same way.
SampleTable FourColumnSamples(unsigned seed, int count) {
    const SampleTable base = StructuredSamples(seed, count, 200.0f);
    SampleTable table;
    table.columns = 4;
    for (int i = 0; i < base.Count(); ++i) {
        const float* row = &base.rows[static_cast<std::size_t>(i * 3)];
        table.rows.insert(table.rows.end(), {row[0], row[1], row[2], 0.5f * row[2] + row[0] / 20.0f});
    }
    table.At(3, 2) = -1e38f;
    table.At(7, 2) = kNaN;
    return table;
}

struct MethodCase {
    int method;
    float legacyParameter;
    std::vector<float> legacyArray;
};

std::vector<MethodCase> EveryMethod() {
    std::vector<MethodCase> cases;
    for (int m = 1; m <= 8; ++m) cases.push_back({m, 0.0f, {}});
    cases.push_back({9, 5.0f, {}});
    cases.push_back({10, 3.0f, {35.0f, 50.0f, 62.5f}});
    cases.push_back({11, 2.0f, {2.0f, 3.0f}});
    return cases;
}

// The modern request equivalent to one legacy call.
mosaro_request ModernEquivalent(const MethodCase& c, const ApiSamples& s, const GridArgs& args,
                                std::vector<float>& grid) {
    mosaro_request r = MakeRequest(s, args, grid, c.method);
    if (c.method == 9) r.method_parameter = c.legacyParameter;
    if (c.method == 10) {
        r.thresholds = c.legacyArray.data();
        r.threshold_count = static_cast<int>(c.legacyArray.size());
    }
    return r;
}

std::vector<float> LegacyGrid(const SampleTable& table, const GridArgs& args, const MethodCase& c) {
    return Grid(table, args, c.method, c.legacyParameter, c.legacyArray.empty() ? nullptr : c.legacyArray.data());
}

}  // namespace

TEST(ModernApi, EveryMethodGivesTheLegacyGridBitForBit) {
    const SampleTable table = FourColumnSamples(11, 45);
    const ApiSamples plain(table), twoVariables(table, 3);
    GridArgs args;  // 21 x 21 nodes over [0, 200]^2
    args.yMax = 180.0f;  // unequal extents: the lag classes differ per direction
    args.cellsY = 17;
    mosaro_samples* prepared = nullptr;
    ASSERT_EQ(mosaro_samples_create(twoVariables.x.data(), twoVariables.y.data(), twoVariables.value.data(),
                                    table.Count(), twoVariables.extraColumns, 1, &prepared),
              MOSARO_OK);
    for (const MethodCase& c : EveryMethod()) {
        const std::vector<float> legacy = LegacyGrid(table, args, c);
        std::vector<float> grid, fromHandle, reference;
        const ApiSamples& samples = c.method == 11 ? twoVariables : plain;
        mosaro_request r = ModernEquivalent(c, samples, args, grid);
        // A finite fit for every method (grids of zeros would prove little);
        // an indicator pass may lack one, the others still count.
        const mosaro_status status = mosaro_grid(&r);
        EXPECT_TRUE(status == MOSARO_OK || (c.method == 10 && status > 0)) << c.method << ": " << mosaro_last_message();
        EXPECT_TRUE(SameBits(grid, legacy)) << "method " << c.method;

        // The prepared handle (holding a second variable every method but
        // co-kriging ignores) and the reference path give the same bits.
        mosaro_request h = ModernEquivalent(c, samples, args, fromHandle);
        EXPECT_GE(mosaro_grid_samples(prepared, &h), MOSARO_OK) << c.method;
        EXPECT_TRUE(SameBits(fromHandle, legacy)) << "method " << c.method << " from the handle";
        mosaro_request ref = ModernEquivalent(c, samples, args, reference);
        ref.implementation = MOSARO_IMPLEMENTATION_REFERENCE;
        ref.thread_count = 1;
        EXPECT_GE(mosaro_grid(&ref), MOSARO_OK);
        EXPECT_TRUE(SameBits(reference, legacy)) << "method " << c.method << " reference path";
    }
    // One handle, a second extent.
    const GridArgs other = GridArgs::Square(150.0f, 12, 6);
    std::vector<float> grid;
    mosaro_request r = MakeRequest(plain, other, grid, 4);
    EXPECT_EQ(mosaro_grid_samples(prepared, &r), MOSARO_OK);
    EXPECT_TRUE(SameBits(grid, Grid(table, other, 4)));
    mosaro_samples_free(prepared);
}

TEST(ModernApi, RefusedArgumentsGiveTheirCodeAndAMessageNamingArgumentAndValue) {
    const SampleTable table = StructuredSamples(1, 30, 200.0f);
    const ApiSamples s(table);
    std::vector<float> negative = s.value;
    negative[4] = -3.0f;
    std::vector<float> infinite = s.x;
    infinite[2] = kInf;
    const float nanThreshold[2] = {40.0f, kNaN};
    const mosaro_variogram_model zeroRange[1] = {{0.0f, 10.0f, 0.0f, 10.0f}};
    const mosaro_variogram_model model[2] = {{1, 11, 50, 10}, {1, 11, 50, 10}};
    const float* missingColumn[1] = {nullptr};

    struct Refusal {
        const char* what;
        std::function<void(mosaro_request&)> change;
        int status;
        std::vector<std::string> message;  // fragments the message must hold
    };
    const std::vector<Refusal> refusals = {
        {"negative cell", [&](mosaro_request& r) { r.cell_size_x = -2.0f; }, MOSARO_ERROR_CELL_SIZE, {"cell_size_x", "-2"}},
        {"NaN cell", [&](mosaro_request& r) { r.cell_size_y = kNaN; }, MOSARO_ERROR_CELL_SIZE, {"cell_size_y", "nan"}},
        {"zero cell", [&](mosaro_request& r) { r.cell_size_x = 0.0f; }, MOSARO_ERROR_CELL_SIZE, {"cell_size_x", "got 0"}},
        {"infinite cell", [&](mosaro_request& r) { r.cell_size_y = kInf; }, MOSARO_ERROR_CELL_SIZE, {"cell_size_y", "inf"}},
        {"inverted extent", [&](mosaro_request& r) { r.x_max = -5.0f; }, MOSARO_ERROR_EXTENT, {"x_max", "-5"}},
        {"empty extent", [&](mosaro_request& r) { r.y_max = r.y_min; }, MOSARO_ERROR_EXTENT, {"y_max", "y_min 0"}},
        {"infinite extent", [&](mosaro_request& r) { r.x_min = -kInf; }, MOSARO_ERROR_EXTENT, {"x_min", "-inf"}},
        {"no samples", [&](mosaro_request& r) { r.sample_count = 0; }, MOSARO_ERROR_SAMPLE_COUNT, {"sample_count", "got 0"}},
        {"no neighbours", [&](mosaro_request& r) { r.neighbour_count = 0; }, MOSARO_ERROR_NEIGHBOUR_COUNT, {"neighbour_count", "got 0"}},
        {"no nodes", [&](mosaro_request& r) { r.node_count_y = -1; }, MOSARO_ERROR_NODE_COUNT, {"node_count_y", "-1"}},
        {"unknown method", [&](mosaro_request& r) { r.method = static_cast<mosaro_method>(12); }, MOSARO_ERROR_METHOD, {"method", "12"}},
        {"null grid", [&](mosaro_request& r) { r.grid = nullptr; }, MOSARO_ERROR_NULL_POINTER, {"grid"}},
        {"null x", [&](mosaro_request& r) { r.x = nullptr; }, MOSARO_ERROR_NULL_POINTER, {"x is null"}},
        {"old struct", [&](mosaro_request& r) { r.struct_size = 8; }, MOSARO_ERROR_STRUCT_SIZE, {"struct_size", "got 8"}},
        {"infinite x", [&](mosaro_request& r) { r.x = infinite.data(); }, MOSARO_ERROR_SAMPLE_VALUE, {"x[2]", "inf"}},
        {"negative lognormal value", [&](mosaro_request& r) { r.value = negative.data(); r.method = MOSARO_METHOD_LOGNORMAL; },
         MOSARO_ERROR_SAMPLE_VALUE, {"value[4]", "-3"}},
        {"shift too small", [&](mosaro_request& r) { r.value = negative.data(); r.method = MOSARO_METHOD_LOGNORMAL_SHIFTED; r.method_parameter = 2.5f; },
         MOSARO_ERROR_SAMPLE_VALUE, {"value[4]", "-3", "2.5"}},
        {"NaN shift", [&](mosaro_request& r) { r.method = MOSARO_METHOD_LOGNORMAL_SHIFTED; r.method_parameter = kNaN; },
         MOSARO_ERROR_METHOD_PARAMETER, {"method_parameter", "nan"}},
        {"no thresholds", [&](mosaro_request& r) { r.method = MOSARO_METHOD_INDICATOR; r.threshold_count = 2; },
         MOSARO_ERROR_THRESHOLDS, {"thresholds is null", "2"}},
        {"zero thresholds", [&](mosaro_request& r) { r.method = MOSARO_METHOD_INDICATOR; r.thresholds = nanThreshold; },
         MOSARO_ERROR_THRESHOLDS, {"threshold_count", "got 0"}},
        {"NaN threshold", [&](mosaro_request& r) { r.method = MOSARO_METHOD_INDICATOR; r.thresholds = nanThreshold; r.threshold_count = 2; },
         MOSARO_ERROR_THRESHOLDS, {"thresholds[1]", "nan"}},
        {"missing variable", [&](mosaro_request& r) { r.method = MOSARO_METHOD_COKRIGING; r.extra_values = missingColumn; r.extra_value_count = 1; },
         MOSARO_ERROR_VARIABLES, {"extra_values[0]"}},
        {"negative variable count", [&](mosaro_request& r) { r.method = MOSARO_METHOD_COKRIGING; r.extra_value_count = -1; },
         MOSARO_ERROR_VARIABLES, {"extra_value_count", "-1"}},
        {"negative threads", [&](mosaro_request& r) { r.thread_count = -3; }, MOSARO_ERROR_THREAD_COUNT, {"thread_count", "-3"}},
        {"zero range", [&](mosaro_request& r) { r.given_models = zeroRange; r.given_model_count = 1; },
         MOSARO_ERROR_MODEL, {"given_models[0].range", "got 0"}},
        {"three models", [&](mosaro_request& r) { r.given_models = model; r.given_model_count = 3; },
         MOSARO_ERROR_MODEL, {"given_model_count", "3"}},
        {"grid beyond memory", [&](mosaro_request& r) { r.node_count_x = r.node_count_y = 2147483647; },
         MOSARO_ERROR_TOO_LARGE, {"node_count_x", "2147483647"}},
        {"indicator table beyond memory", [&](mosaro_request& r) { r.method = MOSARO_METHOD_INDICATOR; r.threshold_count = 1 << 24; },
         MOSARO_ERROR_TOO_LARGE, {"threshold_count 16777216", "sample_count 30"}},
        {"lag classes beyond memory", [&](mosaro_request& r) { r.x_max = 1e30f; r.cell_size_x = 1.0f; },
         MOSARO_ERROR_TOO_LARGE, {"lag classes", "1e+30"}},
    };
    for (const Refusal& refusal : refusals) {
        std::vector<float> grid;
        mosaro_request r = MakeRequest(s, GridArgs::Square(200.0f, 10, 8), grid);
        refusal.change(r);
        const std::vector<float> before = grid;
        EXPECT_EQ(mosaro_grid(&r), refusal.status) << refusal.what;
        const std::string message = mosaro_last_message();
        for (const std::string& fragment : refusal.message)
            EXPECT_NE(message.find(fragment), std::string::npos) << refusal.what << ": " << message;
        EXPECT_TRUE(SameBits(grid, before)) << refusal.what << ": a refused call wrote the grid";
    }
    EXPECT_EQ(mosaro_grid(nullptr), MOSARO_ERROR_NULL_POINTER);

    // A success clears the message; every status has its own name.
    std::vector<float> grid;
    mosaro_request ok = MakeRequest(s, GridArgs::Square(200.0f, 10, 8), grid);
    EXPECT_EQ(mosaro_grid(&ok), MOSARO_OK);
    EXPECT_STREQ(mosaro_last_message(), "");
    for (int a = MOSARO_ERROR_INTERNAL; a <= MOSARO_WARNING_NO_FINITE_MODEL; ++a)
        for (int b = a + 1; b <= MOSARO_WARNING_NO_FINITE_MODEL; ++b)
            EXPECT_STRNE(mosaro_status_string(a), mosaro_status_string(b));
    EXPECT_STREQ(mosaro_status_string(-1000), "unknown status");
}

TEST(ModernApi, FitWithoutFiniteModelWarnsAndStillWritesTheLegacyGrid) {
    const SampleTable table = StructuredSamples(5, 25, 60.0f);
    const ApiSamples s(table);
    GridArgs tooShort = GridArgs::Square(60, 6, 5);
    tooShort.xMax = tooShort.yMax = 5.0f;  // shorter than one cell: no lag class
    std::vector<float> grid;
    mosaro_request r = MakeRequest(s, tooShort, grid);
    EXPECT_EQ(mosaro_grid(&r), MOSARO_WARNING_NO_FINITE_MODEL);
    EXPECT_NE(std::string(mosaro_last_message()).find("give a model or a coarser cell"), std::string::npos);
    EXPECT_TRUE(SameBits(grid, Grid(table, tooShort)));

    const mosaro_variogram_model model = {0.5f, 0.0f, 30.0f, 300.0f};
    r.given_models = &model;
    r.given_model_count = 1;
    EXPECT_EQ(mosaro_grid(&r), MOSARO_OK);
    bool anyEstimate = false;
    for (float v : grid) anyEstimate = anyEstimate || v > 0.0f;
    EXPECT_TRUE(anyEstimate);
}

namespace {

struct ProgressLog {
    std::vector<double> fractions;
    std::vector<int> passes;
    int stopAfter = -1;  // calls before the callback asks to stop; -1 never
};

int RecordProgress(void* user, mosaro_stage, int pass, double fraction) {
    ProgressLog& log = *static_cast<ProgressLog*>(user);
    log.fractions.push_back(fraction);
    log.passes.push_back(pass);
    return log.stopAfter < 0 || static_cast<int>(log.fractions.size()) < log.stopAfter;
}

}  // namespace

TEST(ModernApi, ProgressIsMonotoneEndsAtOneOnceAndNeverChangesABit) {
    const SampleTable table = StructuredSamples(9, 60, 200.0f);
    const ApiSamples s(table);
    const std::vector<float> thresholds = {40.0f, 50.0f, 60.0f, 70.0f};
    for (int method : {1, 10}) {
        std::vector<float> quiet, watched;
        mosaro_request r = MakeRequest(s, GridArgs::Square(200.0f, 40, 8), quiet, method);
        r.thresholds = thresholds.data();
        r.threshold_count = 4;
        // Warnings allowed: progress does not depend on the fit.
        ASSERT_GE(mosaro_grid(&r), MOSARO_OK);
        ProgressLog log;
        mosaro_request p = r;
        watched.assign(quiet.size(), -7.0f);
        p.grid = watched.data();
        p.progress = RecordProgress;
        p.progress_user_data = &log;
        ASSERT_GE(mosaro_grid(&p), MOSARO_OK);
        EXPECT_TRUE(SameBits(watched, quiet)) << method;
        ASSERT_FALSE(log.fractions.empty());
        EXPECT_LE(log.fractions.size(), 101u) << method;
        for (std::size_t i = 1; i < log.fractions.size(); ++i) {
            EXPECT_GT(log.fractions[i], log.fractions[i - 1]) << method << " call " << i;
            EXPECT_GE(log.passes[i], log.passes[i - 1]) << method;
        }
        EXPECT_EQ(log.fractions.back(), 1.0);
        EXPECT_EQ(std::count(log.fractions.begin(), log.fractions.end(), 1.0), 1);
        if (method == 10) {
            EXPECT_EQ(log.passes.back(), 3);  // one pass per threshold
        }
    }
}

TEST(ModernApi, CancellingStopsTheRunWithoutAnotherCallback) {
    const SampleTable table = StructuredSamples(10, 60, 200.0f);
    const ApiSamples s(table);
    const std::vector<float> thresholds = {40.0f, 50.0f, 60.0f};
    for (int method : {1, 10, 11}) {
        for (int stopAfter : {1, 2}) {  // at the first callback, and midway
            std::vector<float> grid;
            mosaro_request r = MakeRequest(s, GridArgs::Square(200.0f, 20, 8), grid, method);
            r.thresholds = thresholds.data();
            r.threshold_count = 3;
            ProgressLog log;
            log.stopAfter = stopAfter;
            r.progress = RecordProgress;
            r.progress_user_data = &log;
            mosaro_report* report = nullptr;
            r.report = &report;
            EXPECT_EQ(mosaro_grid(&r), MOSARO_ERROR_CANCELLED) << method << " " << stopAfter;
            EXPECT_EQ(static_cast<int>(log.fractions.size()), stopAfter) << method;
            EXPECT_NE(std::string(mosaro_last_message()).find("cancelled"), std::string::npos);
            EXPECT_EQ(report, nullptr);  // a failed call hands out no report
        }
    }
}

TEST(ModernApi, ModelReportShowsModelsConstantsAndTables) {
    const SampleTable table = StructuredSamples(1, 80, 200.0f);
    const ApiSamples s(table);
    std::vector<float> grid;
    GridArgs args = GridArgs::Square(200.0f, 20, 10);
    args.yMax = 150.0f;  // 20 classes along x, 15 along y
    mosaro_request r = MakeRequest(s, args, grid);
    mosaro_report* report = nullptr;
    r.report = &report;
    r.report_tables = 1;
    ASSERT_EQ(mosaro_grid(&r), MOSARO_OK);
    ASSERT_NE(report, nullptr);
    ASSERT_EQ(mosaro_report_pass_count(report), 1);
    mosaro_pass_report pass;
    ASSERT_EQ(mosaro_report_pass(report, 0, &pass), MOSARO_OK);
    const auto mean = [](float a, float b) { return static_cast<float>((static_cast<double>(a) + b) / 2.0); };
    EXPECT_EQ(pass.partial_sill, mean(pass.models[0].partial_sill, pass.models[1].partial_sill));
    EXPECT_EQ(pass.nugget, mean(pass.models[0].nugget, pass.models[1].nugget));
    EXPECT_EQ(pass.scale, 100.0f);  // extent 200
    EXPECT_EQ(pass.scaled_range, static_cast<float>(static_cast<double>(pass.models[0].range) / 100.0));
    for (int d = 0; d < 2; ++d) {
        EXPECT_GE(pass.branches[d], MOSARO_FIT_SPHERICAL);
        EXPECT_LE(pass.branches[d], MOSARO_FIT_THROUGH_ORIGIN);
        const float *lag, *pairs, *gamma, *prunedLag, *prunedPairs, *prunedGamma;
        int built = 0, kept = 0;
        ASSERT_EQ(mosaro_report_table(report, 0, d, 0, &lag, &pairs, &gamma, &built), MOSARO_OK);
        ASSERT_EQ(mosaro_report_table(report, 0, d, 1, &prunedLag, &prunedPairs, &prunedGamma, &kept), MOSARO_OK);
        EXPECT_EQ(built, d == 0 ? 20 : 15);
        ASSERT_GE(kept, 1);
        EXPECT_LE(kept, built);
        // Pruning keeps a non-decreasing subsequence of the classes as built.
        int from = 0;
        for (int k = 0; k < kept; ++k) {
            if (k > 0) {
                EXPECT_LE(prunedGamma[k - 1], prunedGamma[k]);
            }
            while (from < built && !(lag[from] == prunedLag[k] && gamma[from] == prunedGamma[k])) ++from;
            EXPECT_LT(from, built) << "pruned class " << k << " is not a class as built";
        }
    }
    EXPECT_EQ(mosaro_report_pass(report, 1, &pass), MOSARO_ERROR_INDEX);
    const float *lag, *pairs, *gamma;
    int count = 0;
    EXPECT_EQ(mosaro_report_table(report, 0, 2, 0, &lag, &pairs, &gamma, &count), MOSARO_ERROR_INDEX);
    mosaro_report_free(report);

    // Without tables the report still has the models, and empty tables.
    r.report_tables = 0;
    ASSERT_EQ(mosaro_grid(&r), MOSARO_OK);
    EXPECT_EQ(mosaro_report_table(report, 0, 0, 0, &lag, &pairs, &gamma, &count), MOSARO_OK);
    EXPECT_EQ(count, 0);
    mosaro_report_free(report);
}

TEST(ModernApi, IndicatorKrigingReportsOnePassPerThresholdInArrayOrder) {
    const SampleTable table = StructuredSamples(13, 60, 200.0f);
    const ApiSamples s(table);
    const std::vector<float> thresholds = {62.0f, 38.0f, 50.0f};
    std::vector<float> grid;
    mosaro_request r = MakeRequest(s, GridArgs::Square(200.0f, 10, 8), grid, MOSARO_METHOD_INDICATOR);
    r.thresholds = thresholds.data();
    r.threshold_count = 3;
    mosaro_report* report = nullptr;
    r.report = &report;
    ASSERT_GE(mosaro_grid(&r), MOSARO_OK);
    ASSERT_EQ(mosaro_report_pass_count(report), 3);
    mosaro_pass_report passes[3];
    for (int t = 0; t < 3; ++t) {
        ASSERT_EQ(mosaro_report_pass(report, t, &passes[t]), MOSARO_OK);
        EXPECT_EQ(passes[t].threshold, thresholds[static_cast<std::size_t>(t)]);
    }
    // Different indicators, different variograms.
    EXPECT_NE(passes[0].models[0].sill, passes[1].models[0].sill);
    mosaro_report_free(report);
}

TEST(ModernApi, GivingTheFittedModelReproducesTheAutomaticGrid) {
    // A case whose automatic fit is finite for every method below.
    const SampleTable table = FourColumnSamples(2, 70);
    const ApiSamples s(table, 3);
    const std::vector<float> thresholds = {45.0f, 55.0f};
    for (int method : {1, 5, 8, 10, 11}) {
        std::vector<float> automatic, given;
        mosaro_request r = MakeRequest(s, GridArgs::Square(200.0f, 16, 9), automatic, method);
        r.thresholds = thresholds.data();
        r.threshold_count = method == 10 ? 1 : 0;  // one pass: one model to give
        mosaro_report* report = nullptr;
        r.report = &report;
        ASSERT_EQ(mosaro_grid(&r), MOSARO_OK) << method << ": " << mosaro_last_message();
        mosaro_pass_report fitted;
        ASSERT_EQ(mosaro_report_pass(report, 0, &fitted), MOSARO_OK);
        mosaro_report_free(report);

        mosaro_request g = r;
        given.assign(automatic.size(), -7.0f);
        g.grid = given.data();
        g.given_models = fitted.models;
        g.given_model_count = 2;
        ASSERT_EQ(mosaro_grid(&g), MOSARO_OK) << method << ": " << mosaro_last_message();
        EXPECT_TRUE(SameBits(given, automatic)) << method;
        mosaro_pass_report used;
        ASSERT_EQ(mosaro_report_pass(report, 0, &used), MOSARO_OK);
        EXPECT_EQ(used.branches[0], MOSARO_FIT_GIVEN);
        EXPECT_EQ(used.partial_sill, fitted.partial_sill);
        mosaro_report_free(report);
    }

    // One isotropic model is the same model given for both directions.
    const mosaro_variogram_model both[2] = {{2.0f, 0.0f, 80.0f, 150.0f}, {2.0f, 0.0f, 80.0f, 150.0f}};
    std::vector<float> isotropic, twice;
    mosaro_request r = MakeRequest(s, GridArgs::Square(200.0f, 16, 9), isotropic);
    r.given_models = both;
    r.given_model_count = 1;
    ASSERT_EQ(mosaro_grid(&r), MOSARO_OK);
    twice.assign(isotropic.size(), -7.0f);
    r.grid = twice.data();
    r.given_model_count = 2;
    ASSERT_EQ(mosaro_grid(&r), MOSARO_OK);
    EXPECT_TRUE(SameBits(isotropic, twice));
}

TEST(ModernApi, VersionMatchesTheHeader) {
    const std::string expected = std::to_string(MOSARO_VERSION_MAJOR) + "." +
                                 std::to_string(MOSARO_VERSION_MINOR) + "." +
                                 std::to_string(MOSARO_VERSION_PATCH);
    EXPECT_EQ(expected, mosaro_version());
    EXPECT_EQ(MOSARO_VERSION_NUMBER, MOSARO_VERSION_MAJOR * 10000 + MOSARO_VERSION_MINOR * 100 + MOSARO_VERSION_PATCH);
}
