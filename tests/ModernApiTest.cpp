// The modern C API: same grids as the legacy entry point, refusals with
// their codes and messages, progress and cancellation, the model report, a
// model given by the caller, and the kriging variance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>
#include <iostream>
#include <random>
#include <limits>
#include <string>
#include <vector>

#include <Eigen/Dense>

#include "DemoData.h"
#include "TestSupport.h"

using namespace mosaro_test;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();

// The sample table split into the separate arrays the modern API takes.
struct ApiSamples {
    std::vector<float> x, y, value, extra;
    const float* extraColumns[1] = {nullptr};

    // Column `extraColumn` of the table (if >= 0) becomes the second variable.
    explicit ApiSamples(const SampleTable& table, int extraColumn = -1) {
        for (int i = 0; i < table.Count(); ++i) {
            const float* row = &table.rows[static_cast<std::size_t>(i * table.columns)];
            x.push_back(row[0]);
            y.push_back(row[1]);
            value.push_back(row[2]);
            if (extraColumn >= 0) extra.push_back(row[extraColumn]);
        }
        extraColumns[0] = extra.data();
    }
};

// A request over `a`'s layout, writing into `grid` (resized to the nodes).
mosaro_request MakeRequest(const ApiSamples& s, const GridArgs& a, std::vector<float>& grid,
                           int method = MOSARO_METHOD_ORDINARY) {
    mosaro_request r;
    mosaro_request_init(&r);
    r.x = s.x.data(), r.y = s.y.data(), r.value = s.value.data();
    r.sample_count = static_cast<int>(s.x.size());
    if (!s.extra.empty()) r.extra_values = s.extraColumns, r.extra_value_count = 1;
    r.x_min = a.xMin, r.y_min = a.yMin, r.x_max = a.xMax, r.y_max = a.yMax;
    r.cell_size_x = a.cellX, r.cell_size_y = a.cellY;
    r.node_count_x = a.cellsX + 1, r.node_count_y = a.cellsY + 1;
    r.neighbour_count = a.neighbours;
    r.method = static_cast<mosaro_method>(method);
    grid.assign(static_cast<std::size_t>(a.Nodes()), -7.0f);
    r.grid = grid.data();
    return r;
}

// A table with a second value column (column 3) for co-kriging and a few
// blanks, which both APIs fill the same way.
SampleTable FourColumnSamples(unsigned seed, int count) {
    const SampleTable base = StructuredSamples(seed, count, 200.0f);
    SampleTable table{{}, 4};
    for (std::size_t k = 0; k < base.rows.size(); k += 3) {
        const float* row = &base.rows[k];
        table.rows.insert(table.rows.end(), {row[0], row[1], row[2], 0.5f * row[2] + row[0] / 20.0f});
    }
    table.At(3, 2) = -1e38f;
    table.At(7, 2) = kNaN;
    return table;
}

// What the progress callback saw; it asks to stop after `stopAfter` calls (-1: never).
struct ProgressLog {
    std::vector<double> fractions;
    std::vector<int> passes;
    int stopAfter = -1;
};

int RecordProgress(void* user, mosaro_stage, int pass, double fraction) {
    ProgressLog& log = *static_cast<ProgressLog*>(user);
    log.fractions.push_back(fraction);
    log.passes.push_back(pass);
    return log.stopAfter < 0 || static_cast<int>(log.fractions.size()) < log.stopAfter;
}

struct Model {
    double nugget, partialSill, range;
    double Sill() const { return nugget + partialSill; }
    // Spherical covariance; the nugget counts only at distance 0.
    double Covariance(double h) const {
        const double r = h / range;
        return h == 0.0 ? Sill() : h > range ? 0.0 : partialSill * (1.0 - 1.5 * r + 0.5 * r * r * r);
    }
};

// Ordinary-kriging variance of a node from every sample, the system of
// covariances bordered by ones solved in double.
double OrdinaryVariance(const Model& model, const std::vector<float>& x, const std::vector<float>& y, double nodeX,
                        double nodeY) {
    const int m = static_cast<int>(x.size());
    Eigen::MatrixXd a = Eigen::MatrixXd::Ones(m + 1, m + 1);
    Eigen::VectorXd b = Eigen::VectorXd::Ones(m + 1);
    a(m, m) = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        for (std::size_t j = 0; j < x.size(); ++j)
            a(i, j) = model.Covariance(std::hypot(double{x[i]} - x[j], double{y[i]} - y[j]));
        b(i) = model.Covariance(std::hypot(double{x[i]} - nodeX, double{y[i]} - nodeY));
    }
    return model.Sill() - a.fullPivLu().solve(b).dot(b);
}

// Over [0, 50]^2 the coordinate scale is 1, so the independent solve works
// in the caller's units.
const GridArgs kSmallGrid = GridArgs::Square(50.0f, 5, 10);

// The variance under `model`, given once (isotropic) or once per direction.
std::vector<float> VarianceGrid(const ApiSamples& s, const mosaro_variogram_model& model,
                                int method = MOSARO_METHOD_ORDINARY, int copies = 1) {
    std::vector<float> grid, variance(static_cast<std::size_t>(kSmallGrid.Nodes()), -7.0f);
    const mosaro_variogram_model models[2] = {model, model};
    mosaro_request r = MakeRequest(s, kSmallGrid, grid, method);
    r.given_models = models;
    r.given_model_count = copies;
    r.variance = variance.data();
    EXPECT_EQ(mosaro_grid(&r), MOSARO_OK) << mosaro_last_message();
    return variance;
}

// Samples at the given places, valued 10, 11, ...
ApiSamples At(const std::vector<float>& x, const std::vector<float>& y) {
    SampleTable table;
    for (std::size_t i = 0; i < x.size(); ++i) table.Add(x[i], y[i], 10.0f + static_cast<float>(i));
    return ApiSamples(table);
}

}  // namespace

TEST(ModernApi, EveryMethodGivesTheLegacyGridBitForBit) {
    const SampleTable table = FourColumnSamples(11, 45);
    const ApiSamples plain(table), twoVariables(table, 3);
    GridArgs args;  // 21 x 18 nodes; unequal extents, so the lag classes differ per direction
    args.yMax = 180.0f;
    args.cellsY = 17;
    mosaro_samples* prepared = nullptr;
    ASSERT_EQ(mosaro_samples_create(twoVariables.x.data(), twoVariables.y.data(), twoVariables.value.data(),
                                    table.Count(), twoVariables.extraColumns, 1, &prepared),
              MOSARO_OK);
    for (int method = 1; method <= 11; ++method) {
        // The legacy parameter and array, and the request fields they map to.
        const float parameter = method == 9 ? 5.0f : method == 10 ? 3.0f : method == 11 ? 2.0f : 0.0f;
        const std::vector<float> array = method == 10   ? std::vector<float>{35.0f, 50.0f, 62.5f}
                                         : method == 11 ? std::vector<float>{2.0f, 3.0f}
                                                        : std::vector<float>{};
        const std::vector<float> legacy = Grid(table, args, method, parameter, array.empty() ? nullptr : array.data());
        const auto modern = [&](std::vector<float>& into) {
            mosaro_request r = MakeRequest(method == 11 ? twoVariables : plain, args, into, method);
            if (method == 9) r.method_parameter = parameter;
            if (method == 10) {
                r.thresholds = array.data();
                r.threshold_count = 3;
            }
            return r;
        };
        std::vector<float> grid, fromHandle, variance(legacy.size(), -7.0f);
        mosaro_request r = modern(grid);
        // A finite fit for every method (grids of zeros would prove little);
        // an indicator pass may lack one, the others still count.
        const mosaro_status status = mosaro_grid(&r);
        EXPECT_TRUE(status == MOSARO_OK || (method == 10 && status > 0)) << method << ": " << mosaro_last_message();
        EXPECT_TRUE(SameBits(grid, legacy)) << "method " << method;

        // The prepared handle (holding a second variable every method but
        // co-kriging ignores) on the reference path gives the same bits, and
        // asking it for the variance changes none of them.
        mosaro_request h = modern(fromHandle);
        h.implementation = MOSARO_IMPLEMENTATION_REFERENCE;
        h.thread_count = 1;
        h.variance = variance.data();
        EXPECT_EQ(mosaro_grid_samples(prepared, &h), status) << method;
        EXPECT_TRUE(SameBits(fromHandle, legacy)) << "method " << method << " from the handle";
        // Indicator kriging has no variance. Some models fitted here have a
        // negative partial sill, as the legacy fit allows, so finite is all
        // the variance must be (its sign is checked under given models).
        for (float v : variance) EXPECT_TRUE(method == 10 ? std::isnan(v) : std::isfinite(v)) << method << ": " << v;
    }
    // One handle, a second extent.
    const GridArgs other = GridArgs::Square(150.0f, 12, 6);
    std::vector<float> grid;
    mosaro_request r = MakeRequest(plain, other, grid, 4);
    EXPECT_EQ(mosaro_grid_samples(prepared, &r), MOSARO_OK);
    EXPECT_TRUE(SameBits(grid, Grid(table, other, 4)));
    mosaro_samples_free(prepared);
}

TEST(ModernApi, InitWritesNoMoreThanTheCallersLayout) {
    // A host built against the first header holds a request that ends where
    // the fit field begins; initialising it must not write past that.
    constexpr std::size_t kFirst = offsetof(mosaro_request, fit);
    std::vector<unsigned char> bytes(sizeof(mosaro_request) + 16, 0xA5);
    auto* old = reinterpret_cast<mosaro_request*>(bytes.data());
    (mosaro_request_init)(old);
    EXPECT_EQ(old->struct_size, kFirst);
    EXPECT_EQ(old->neighbour_count, MOSARO_DEFAULT_NEIGHBOUR_COUNT);
    EXPECT_TRUE(std::all_of(bytes.begin() + kFirst, bytes.end(), [](unsigned char b) { return b == 0xA5; }));
    mosaro_request_init_size(old, 24);
    EXPECT_EQ(old->struct_size, 24u);
    EXPECT_EQ(old->x, nullptr);
    mosaro_request current;
    mosaro_request_init(&current);
    EXPECT_EQ(current.struct_size, sizeof(mosaro_request));
    EXPECT_EQ(current.fit, MOSARO_FIT_LEGACY);
}

// Stores an int in an enum field as a C host may, whatever its value.
template <class Enum>
void StoreCode(Enum& field, int code) {
    std::memcpy(&field, &code, sizeof code);
}

// The rules every front-end takes from the library.
TEST(ModernApi, MethodNamesRoundTripAndGridLayoutsFollowTheExtentCellOrSize) {
    for (int code = 1; code <= 11; ++code) {
        mosaro_method method = MOSARO_METHOD_ORDINARY;
        ASSERT_EQ(mosaro_method_from_name(mosaro_method_name(code), &method), MOSARO_OK);
        EXPECT_EQ(method, code);
        ASSERT_EQ(mosaro_method_from_name(std::to_string(code).c_str(), &method), MOSARO_OK);
        EXPECT_EQ(method, code);
    }
    EXPECT_EQ(mosaro_method_name(12), nullptr);
    mosaro_method method = MOSARO_METHOD_ORDINARY;
    EXPECT_EQ(mosaro_method_from_name("kriging", &method), MOSARO_ERROR_METHOD);
    EXPECT_NE(std::string(mosaro_last_message()).find("lognormal3"), std::string::npos);

    mosaro_grid_layout g{};
    g.struct_size = sizeof g;
    const double extent[4] = {10, 20, 110, 70};
    // A whole number of cells ends on a node; the cells need not divide it.
    ASSERT_EQ(mosaro_grid_layout_choose(extent, nullptr, nullptr, 0, 10, 0, 0, 0, &g), MOSARO_OK);
    EXPECT_EQ(g.node_count_x, 11);
    EXPECT_EQ(g.node_count_y, 6);
    ASSERT_EQ(mosaro_grid_layout_choose(extent, nullptr, nullptr, 0, 30, 20, 0, 0, &g), MOSARO_OK);
    EXPECT_EQ(g.node_count_x, 4);
    EXPECT_EQ(g.node_count_y, 3);
    // Node counts divide the extent; neither: 100 square cells along the longer side.
    ASSERT_EQ(mosaro_grid_layout_choose(extent, nullptr, nullptr, 0, 0, 0, 5, 3, &g), MOSARO_OK);
    EXPECT_EQ(g.cell_size_x, 25.0);
    EXPECT_EQ(g.cell_size_y, 25.0);
    const double x[3] = {0, 3, 1}, y[3] = {5, 4, 9};
    ASSERT_EQ(mosaro_grid_layout_choose(nullptr, x, y, 3, 0, 0, 0, 0, &g), MOSARO_OK);
    EXPECT_EQ(g.x_min, 0.0);
    EXPECT_EQ(g.y_max, 9.0);
    EXPECT_EQ(g.cell_size_x, 5.0 / MOSARO_DEFAULT_CELLS_ALONG_LONGER_SIDE);
    EXPECT_EQ(g.node_count_y, MOSARO_DEFAULT_CELLS_ALONG_LONGER_SIDE + 1);
    const double inverted[4] = {10, 20, 0, 70};
    EXPECT_EQ(mosaro_grid_layout_choose(inverted, nullptr, nullptr, 0, 1, 0, 0, 0, &g), MOSARO_ERROR_EXTENT);
    EXPECT_EQ(mosaro_grid_layout_choose(extent, nullptr, nullptr, 0, 1, 0, 2, 2, &g), MOSARO_ERROR_CELL_SIZE);
    EXPECT_EQ(mosaro_grid_layout_choose(extent, nullptr, nullptr, 0, 1e-50, 0, 0, 0, &g), MOSARO_ERROR_TOO_LARGE);
    EXPECT_EQ(mosaro_grid_layout_choose(nullptr, nullptr, nullptr, 0, 1, 0, 0, 0, &g), MOSARO_ERROR_EXTENT);
}

TEST(ModernApi, RefusedArgumentsGiveTheirCodeAndAMessageNamingArgumentAndValue) {
    const ApiSamples s(StructuredSamples(1, 30, 200.0f));
    std::vector<float> negative = s.value, infinite = s.x;
    negative[4] = -3.0f;
    infinite[2] = kInf;
    const float nanThreshold[2] = {40.0f, kNaN};
    const mosaro_variogram_model zeroRange[1] = {{0.0f, 10.0f, 0.0f, 10.0f}};
    const mosaro_variogram_model model[2] = {{1, 11, 50, 10}, {1, 11, 50, 10}};
    const float* missingColumn[1] = {nullptr};
    const float* values[1] = {s.value.data()};
    const mosaro_method lognormal = MOSARO_METHOD_LOGNORMAL, shifted = MOSARO_METHOD_LOGNORMAL_SHIFTED,
                        indicator = MOSARO_METHOD_INDICATOR, cokriging = MOSARO_METHOD_COKRIGING;
    using R = mosaro_request;

    // How a request is broken, the status, and fragments the message must
    // hold (the first naming the argument).
    struct Refusal {
        std::function<void(R&)> change;
        int status;
        std::vector<std::string> message;
    };
    const int cell = MOSARO_ERROR_CELL_SIZE, extent = MOSARO_ERROR_EXTENT, parameter = MOSARO_ERROR_METHOD_PARAMETER,
              value = MOSARO_ERROR_SAMPLE_VALUE, thresholds = MOSARO_ERROR_THRESHOLDS, large = MOSARO_ERROR_TOO_LARGE;
    const std::vector<Refusal> refusals = {
        {[&](R& r) { r.cell_size_x = -2.0f; }, cell, {"cell_size_x", "-2"}},
        {[&](R& r) { r.cell_size_y = kNaN; }, cell, {"cell_size_y", "nan"}},
        {[&](R& r) { r.cell_size_x = 0.0f; }, cell, {"cell_size_x", "got 0"}},
        {[&](R& r) { r.cell_size_y = kInf; }, cell, {"cell_size_y", "inf"}},
        {[&](R& r) { r.x_max = -5.0f; }, extent, {"x_max", "-5"}},
        {[&](R& r) { r.y_max = r.y_min; }, extent, {"y_max", "y_min 0"}},
        {[&](R& r) { r.x_min = -kInf; }, extent, {"x_min", "-inf"}},
        {[&](R& r) { r.sample_count = 0; }, MOSARO_ERROR_SAMPLE_COUNT, {"sample_count", "got 0"}},
        {[&](R& r) { r.neighbour_count = 0; }, MOSARO_ERROR_NEIGHBOUR_COUNT, {"neighbour_count", "got 0"}},
        {[&](R& r) { r.node_count_y = -1; }, MOSARO_ERROR_NODE_COUNT, {"node_count_y", "-1"}},
        {[&](R& r) { r.method = static_cast<mosaro_method>(12); }, MOSARO_ERROR_METHOD, {"method", "12"}},
        // A C host may store any int in an enum field; reading it must not
        // be undefined (the sanitizer build checks enum loads).
        {[&](R& r) { StoreCode(r.method, -100000); }, MOSARO_ERROR_METHOD, {"method", "-100000"}},
        {[&](R& r) { StoreCode(r.implementation, 7); }, parameter, {"implementation", "7"}},
        {[&](R& r) { StoreCode(r.fit, -1); }, parameter, {"fit", "-1"}},
        {[&](R& r) { r.grid = nullptr; }, MOSARO_ERROR_NULL_POINTER, {"grid"}},
        {[&](R& r) { r.x = nullptr; }, MOSARO_ERROR_NULL_POINTER, {"x is null"}},
        {[&](R& r) { r.struct_size = 8; }, MOSARO_ERROR_STRUCT_SIZE, {"struct_size", "got 8"}},
        {[&](R& r) { r.x = infinite.data(); }, value, {"x[2]", "inf"}},
        {[&](R& r) { r.value = negative.data(), r.method = lognormal; }, value, {"value[4]", "-3"}},
        {[&](R& r) { r.value = negative.data(), r.method = shifted, r.method_parameter = 2.5f; },
         value,
         {"value[4]", "-3", "2.5"}},
        {[&](R& r) { r.method = shifted, r.method_parameter = kNaN; }, parameter, {"method_parameter", "nan"}},
        {[&](R& r) { r.method = indicator, r.threshold_count = 2; }, thresholds, {"thresholds is null", "2"}},
        {[&](R& r) { r.method = indicator, r.thresholds = nanThreshold; }, thresholds, {"threshold_count", "got 0"}},
        {[&](R& r) { r.method = indicator, r.thresholds = nanThreshold, r.threshold_count = 2; },
         thresholds,
         {"thresholds[1]", "nan"}},
        {[&](R& r) { r.method = cokriging, r.extra_values = missingColumn, r.extra_value_count = 1; },
         MOSARO_ERROR_VARIABLES,
         {"extra_values[0]"}},
        {[&](R& r) { r.method = cokriging, r.extra_value_count = -1; },
         MOSARO_ERROR_VARIABLES,
         {"extra_value_count", "-1"}},
        {[&](R& r) { r.thread_count = -3; }, MOSARO_ERROR_THREAD_COUNT, {"thread_count", "-3"}},
        {[&](R& r) { r.given_models = zeroRange, r.given_model_count = 1; },
         MOSARO_ERROR_MODEL,
         {"given_models[0].range", "got 0"}},
        {[&](R& r) { r.given_models = model, r.given_model_count = 3; },
         MOSARO_ERROR_MODEL,
         {"given_model_count", "3"}},
        {[&](R& r) { r.node_count_x = r.node_count_y = 2147483647; }, large, {"node_count_x", "2147483647"}},
        {[&](R& r) { r.method = indicator, r.threshold_count = 1 << 24; },
         large,
         {"threshold_count 16777216", "sample_count 30"}},
        {[&](R& r) { r.x_max = 1e30f, r.cell_size_x = 1.0f; }, large, {"lag classes", "1e+30"}},
        // Variables times samples beyond int: refused before a sample is read.
        {[&](R& r) {
             r.method = cokriging, r.sample_count = 1 << 30, r.extra_values = values, r.extra_value_count = 1;
         },
         large,
         {"sample_count"}},
    };
    std::vector<float> grid;
    for (const Refusal& refusal : refusals) {
        mosaro_request r = MakeRequest(s, GridArgs::Square(200.0f, 10, 8), grid);
        refusal.change(r);
        const std::vector<float> before = grid;
        const std::string& what = refusal.message.front();
        EXPECT_EQ(mosaro_grid(&r), refusal.status) << what;
        const std::string message = mosaro_last_message();
        for (const std::string& fragment : refusal.message)
            EXPECT_NE(message.find(fragment), std::string::npos) << what << ": " << message;
        EXPECT_TRUE(SameBits(grid, before)) << what << ": a refused call wrote the grid";
    }
    EXPECT_EQ(mosaro_grid(nullptr), MOSARO_ERROR_NULL_POINTER);

    // A success clears the message; every status has its own name.
    mosaro_request ok = MakeRequest(s, GridArgs::Square(200.0f, 10, 8), grid);
    EXPECT_EQ(mosaro_grid(&ok), MOSARO_OK);
    EXPECT_STREQ(mosaro_last_message(), "");
    for (int a = MOSARO_ERROR_TOO_FEW_PAIRS; a <= MOSARO_WARNING_NO_FINITE_MODEL; ++a)
        for (int b = a + 1; b <= MOSARO_WARNING_NO_FINITE_MODEL; ++b)
            EXPECT_STRNE(mosaro_status_string(a), mosaro_status_string(b));
    EXPECT_STREQ(mosaro_status_string(-1000), "unknown status");
}

TEST(ModernApi, ProgressEndsAtOneNeverChangesABitAndCancels) {
    const ApiSamples s(StructuredSamples(9, 60, 200.0f));
    const std::vector<float> thresholds = {40.0f, 50.0f, 60.0f, 70.0f};
    for (int method : {1, 10, 11}) {
        std::vector<float> quiet, watched;
        mosaro_request r = MakeRequest(s, GridArgs::Square(200.0f, 40, 8), quiet, method);
        r.thresholds = thresholds.data();
        r.threshold_count = 4;
        ASSERT_GE(mosaro_grid(&r), MOSARO_OK);  // warnings allowed: progress does not depend on the fit
        ProgressLog log;
        watched.assign(quiet.size(), -7.0f);
        r.grid = watched.data();
        r.progress = RecordProgress;
        r.progress_user_data = &log;
        ASSERT_GE(mosaro_grid(&r), MOSARO_OK);
        EXPECT_TRUE(SameBits(watched, quiet)) << method;
        // The reporter's promises (monotone, few calls, 1 once) are ExecutionTest's;
        // here that the run reaches its end and counts a pass per threshold.
        ASSERT_FALSE(log.fractions.empty());
        EXPECT_EQ(log.fractions.back(), 1.0);
        EXPECT_EQ(log.passes.back(), method == 10 ? 3 : 0) << method;  // passes from 0, one per threshold

        for (int stopAfter : {1, 2}) {  // at the first callback, and midway: no callback after
            ProgressLog stopping{{}, {}, stopAfter};
            r.progress_user_data = &stopping;
            mosaro_report* report = nullptr;
            r.report = &report;
            EXPECT_EQ(mosaro_grid(&r), MOSARO_ERROR_CANCELLED) << method << " " << stopAfter;
            EXPECT_EQ(static_cast<int>(stopping.fractions.size()), stopAfter) << method;
            EXPECT_NE(std::string(mosaro_last_message()).find("cancelled"), std::string::npos);
            EXPECT_EQ(report, nullptr);  // a failed call hands out no report
        }
    }
}

TEST(ModernApi, ModelReportShowsModelsConstantsTablesAndOnePassPerThreshold) {
    const ApiSamples s(StructuredSamples(1, 80, 200.0f));
    std::vector<float> grid;
    GridArgs args = GridArgs::Square(200.0f, 20, 10);
    args.yMax = 150.0f;  // 20 classes along x, 15 along y
    mosaro_request r = MakeRequest(s, args, grid);
    mosaro_report* report = nullptr;
    r.report = &report;
    r.report_tables = 1;
    ASSERT_EQ(mosaro_grid(&r), MOSARO_OK);
    ASSERT_EQ(mosaro_report_pass_count(report), 1);
    mosaro_pass_report pass;
    ASSERT_EQ(mosaro_report_pass(report, 0, &pass), MOSARO_OK);
    EXPECT_EQ(pass.scale, 100.0f);  // extent 200
    const float *lag, *pairs, *gamma, *prunedLag, *prunedPairs, *prunedGamma;
    int count = 0, kept = 0;
    for (int d = 0; d < 2; ++d) {
        EXPECT_GE(pass.branches[d], MOSARO_FIT_SPHERICAL);
        EXPECT_LE(pass.branches[d], MOSARO_FIT_THROUGH_ORIGIN);
        ASSERT_EQ(mosaro_report_table(report, 0, d, 0, &lag, &pairs, &gamma, &count), MOSARO_OK);
        ASSERT_EQ(mosaro_report_table(report, 0, d, 1, &prunedLag, &prunedPairs, &prunedGamma, &kept), MOSARO_OK);
        EXPECT_EQ(count, d == 0 ? 20 : 15);
        ASSERT_GE(kept, 1);
        EXPECT_LE(kept, count);
        // Pruning keeps a non-decreasing subsequence of the classes as built.
        int from = 0;
        for (int k = 0; k < kept; ++k) {
            EXPECT_TRUE(k == 0 || prunedGamma[k - 1] <= prunedGamma[k]) << "pruned class " << k;
            while (from < count && !(lag[from] == prunedLag[k] && gamma[from] == prunedGamma[k])) ++from;
            EXPECT_LT(from, count) << "pruned class " << k << " is not a class as built";
        }
    }
    // The sized form holds the same fields after its size.
    mosaro_pass_info info{};
    info.struct_size = sizeof info;
    ASSERT_EQ(mosaro_report_pass_info(report, 0, &info), MOSARO_OK);
    EXPECT_EQ(std::memcmp(&info.threshold, &pass, sizeof pass), 0);
    EXPECT_EQ(mosaro_report_pass(report, 1, &pass), MOSARO_ERROR_INDEX);
    // A legacy run has no omnidirectional table; there is no fourth direction.
    EXPECT_EQ(mosaro_report_table(report, 0, MOSARO_DIRECTION_OMNIDIRECTIONAL, 0, &lag, &pairs, &gamma, &count),
              MOSARO_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(mosaro_report_table(report, 0, 3, 0, &lag, &pairs, &gamma, &count), MOSARO_ERROR_INDEX);
    mosaro_report_free(report);

    // Without tables the report still has the models, and empty tables.
    r.report_tables = 0;
    ASSERT_EQ(mosaro_grid(&r), MOSARO_OK);
    EXPECT_EQ(mosaro_report_table(report, 0, 0, 0, &lag, &pairs, &gamma, &count), MOSARO_OK);
    EXPECT_EQ(count, 0);
    mosaro_report_free(report);

    // Indicator kriging: one pass per threshold, in array order.
    const std::vector<float> thresholds = {62.0f, 38.0f, 50.0f};
    r.method = MOSARO_METHOD_INDICATOR;
    r.thresholds = thresholds.data();
    r.threshold_count = 3;
    ASSERT_GE(mosaro_grid(&r), MOSARO_OK);
    ASSERT_EQ(mosaro_report_pass_count(report), 3);
    mosaro_pass_report passes[3];
    for (int t = 0; t < 3; ++t) {
        ASSERT_EQ(mosaro_report_pass(report, t, &passes[t]), MOSARO_OK);
        EXPECT_EQ(passes[t].threshold, thresholds[static_cast<std::size_t>(t)]);
    }
    EXPECT_NE(passes[0].models[0].sill, passes[1].models[0].sill);  // different indicators, different variograms
    mosaro_report_free(report);
}

TEST(ModernApi, GivingTheFittedModelReproducesTheAutomaticGrid) {
    // A case whose automatic fit is finite for every method below.
    const ApiSamples s(FourColumnSamples(2, 70), 3);
    const std::vector<float> thresholds = {45.0f, 55.0f};
    for (int method : {1, 5, 8, 10, 11}) {
        std::vector<float> automatic, given;
        mosaro_request r = MakeRequest(s, GridArgs::Square(200.0f, 16, 9), automatic, method);
        r.thresholds = thresholds.data();
        r.threshold_count = method == 10 ? 1 : 0;  // one pass: one model to give
        mosaro_report* report = nullptr;
        r.report = &report;
        ASSERT_EQ(mosaro_grid(&r), MOSARO_OK) << method << ": " << mosaro_last_message();
        mosaro_pass_report fitted, used;
        ASSERT_EQ(mosaro_report_pass(report, 0, &fitted), MOSARO_OK);
        mosaro_report_free(report);

        given.assign(automatic.size(), -7.0f);
        r.grid = given.data();
        r.given_models = fitted.models;
        r.given_model_count = 2;
        ASSERT_EQ(mosaro_grid(&r), MOSARO_OK) << method << ": " << mosaro_last_message();
        EXPECT_TRUE(SameBits(given, automatic)) << method;
        ASSERT_EQ(mosaro_report_pass(report, 0, &used), MOSARO_OK);
        EXPECT_EQ(used.branches[0], MOSARO_FIT_GIVEN);
        EXPECT_EQ(used.partial_sill, fitted.partial_sill);
        mosaro_report_free(report);
    }
}

TEST(KrigingVariance, MatchesAnIndependentSolveInDouble) {
    const std::vector<float> x = {10.0f, 32.0f, 18.0f, 44.0f}, y = {10.0f, 12.0f, 35.0f, 41.0f};
    for (const Model model : {Model{0.0, 20.0, 30.0}, Model{3.0, 12.0, 45.0}}) {
        const mosaro_variogram_model given = {static_cast<float>(model.nugget), 0.0f, static_cast<float>(model.range),
                                              static_cast<float>(model.partialSill)};
        for (int copies : {1, 2}) {  // one isotropic model is that model for both directions
            const std::vector<float> variance = VarianceGrid(At(x, y), given, MOSARO_METHOD_ORDINARY, copies);
            for (int i = 0; i <= kSmallGrid.cellsY; ++i)
                for (int j = 0; j <= kSmallGrid.cellsX; ++j)
                    EXPECT_NEAR(kSmallGrid.At(variance, i, j), OrdinaryVariance(model, x, y, 10.0 * j, 10.0 * i),
                                1e-4 * model.Sill())
                        << "node " << i << ", " << j << ", given " << copies;
            // The variance depends on the geometry and the model only: kriging
            // the logarithms under the same model gives it bit for bit.
            for (int method : {MOSARO_METHOD_LOGNORMAL, MOSARO_METHOD_LOGNORMAL_SHIFTED})
                EXPECT_TRUE(SameBits(VarianceGrid(At(x, y), given, method, copies), variance)) << method;
        }
    }
}

TEST(KrigingVariance, IsZeroOnASampleWithoutNuggetAndKnownBeyondTheRange) {
    // Samples 20 apart on nodes, range 5: every node off a sample is beyond
    // the range of every sample, and so is every pair of samples. The system
    // is then Csum I bordered by ones: w = 1/m, multiplier -Csum/m, and the
    // variance Csum - multiplier = Csum (1 + 1/m).
    const float sill = 8.0f;
    const std::vector<float> variance =
        VarianceGrid(At({0.0f, 20.0f, 0.0f, 20.0f}, {0.0f, 0.0f, 20.0f, 20.0f}), {0.0f, 0.0f, 5.0f, sill});
    for (int i = 0; i <= kSmallGrid.cellsY; ++i)
        for (int j = 0; j <= kSmallGrid.cellsX; ++j) {
            const float v = kSmallGrid.At(variance, i, j);
            if (i % 2 == 0 && j % 2 == 0 && i <= 2 && j <= 2)  // on a sample
                EXPECT_NEAR(v, 0.0f, 1e-5f * sill) << i << ", " << j;
            else EXPECT_FLOAT_EQ(v, sill * 1.25f) << i << ", " << j;
        }
}

namespace {

// Column `column` of the shipped demo table (x, y first), blanks for empty fields.
ApiSamples DemoSamples(int column) {
    const std::vector<std::vector<double>> c = DemoColumns();
    SampleTable table;
    for (std::size_t i = 0; i < c[0].size(); ++i)
        table.Add(static_cast<float>(c[0][i]), static_cast<float>(c[1][i]),
                  std::isnan(c[std::size_t(column)][i]) ? -1e38f : static_cast<float>(c[std::size_t(column)][i]));
    return ApiSamples(table);
}

mosaro_direction_fit DirectionFit(const mosaro_report* report, int pass, int direction) {
    mosaro_direction_fit f;
    f.struct_size = sizeof f;
    EXPECT_EQ(mosaro_report_fit(report, pass, direction, &f), MOSARO_OK) << mosaro_last_message();
    return f;
}

bool Finite(const mosaro_variogram_model& m) {
    return std::isfinite(m.nugget) && std::isfinite(m.partial_sill) && std::isfinite(m.range) && std::isfinite(m.sill);
}

// Samples as users bring them: clustered and sparse areas, a smooth field
// of a random scale and anisotropy plus noise, lognormal now and then, over
// an extent and a cell of a random size.
struct RealLike {
    ApiSamples samples;
    GridArgs grid;
    int method;
};

RealLike MakeRealLike(unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const float extent = static_cast<float>(std::pow(10.0, 1.0 + 3.0 * u(random)));
    const float aspect = static_cast<float>(0.5 + u(random));
    const int count = 30 + static_cast<int>(random() % 270);
    const double scale = extent * (0.05 + 0.6 * u(random)), stretch = 0.3 + 2.0 * u(random);
    const bool lognormal = random() % 3 == 0;
    SampleTable table;
    double cx = 0.0, cy = 0.0;
    for (int i = 0; i < count; ++i) {
        if (i % 10 == 0) {
            cx = u(random);
            cy = u(random);
        }
        const bool clustered = i % 3 != 0;
        const double px = clustered ? cx + 0.05 * (u(random) - 0.5) : u(random);
        const double py = clustered ? cy + 0.05 * (u(random) - 0.5) : u(random);
        const float x = static_cast<float>(std::fmin(std::fmax(px, 0.0), 1.0) * extent);
        const float y = static_cast<float>(std::fmin(std::fmax(py, 0.0), 1.0) * extent * aspect);
        const double field = std::sin(x / scale) * std::cos(y * stretch / scale) + 0.3 * (u(random) - 0.5);
        table.Add(x, y, static_cast<float>(lognormal ? 100.0 * std::exp(1.5 * field) : 50.0 + 20.0 * field));
    }
    GridArgs grid;
    grid.xMax = extent;
    grid.yMax = extent * aspect;
    grid.cellsX = 10 + static_cast<int>(random() % 90);
    grid.cellX = grid.cellY = extent / static_cast<float>(grid.cellsX);
    grid.cellsY = static_cast<int>(grid.yMax / grid.cellY);
    grid.neighbours = 4 + static_cast<int>(random() % 21);
    return RealLike{
        ApiSamples(table), grid,
        lognormal ? MOSARO_METHOD_LOGNORMAL : (random() % 4 == 0 ? MOSARO_METHOD_INDICATOR : MOSARO_METHOD_ORDINARY)};
}

}  // namespace

TEST(RobustFitApi, DemoZincOnA100mGridGetsAModelWhereTheLegacyFitGridsZeros) {
    const ApiSamples s = DemoSamples(5);
    GridArgs args{178600, 329700, 181400, 333700, 100, 100, 28, 40, 16};
    std::vector<float> grid, variance(static_cast<std::size_t>(args.Nodes()), -7.0f);
    mosaro_request r = MakeRequest(s, args, grid, MOSARO_METHOD_LOGNORMAL);
    r.variance = variance.data();
    EXPECT_EQ(mosaro_grid(&r), MOSARO_WARNING_NO_FINITE_MODEL);
    EXPECT_NE(std::string(mosaro_last_message()).find("give a model or a coarser cell"), std::string::npos);
    EXPECT_TRUE(std::all_of(grid.begin(), grid.end(), [](float v) { return v == 0.0f; }));
    EXPECT_TRUE(std::all_of(variance.begin(), variance.end(), [](float v) { return std::isnan(v); }));  // no model
    r.variance = nullptr;

    mosaro_report* report = nullptr;
    r.report = &report;
    r.report_tables = 1;
    r.fit = MOSARO_FIT_ROBUST;
    ASSERT_EQ(mosaro_grid(&r), MOSARO_OK) << mosaro_last_message();
    EXPECT_TRUE(
        std::all_of(grid.begin(), grid.end(), [](float v) { return v > 100.0f && v < 5000.0f; }));  // zinc, mg/kg
    for (int d = 0; d < 2; ++d) {
        const mosaro_direction_fit f = DirectionFit(report, 0, d);
        EXPECT_EQ(f.fit, MOSARO_FIT_ROBUST);
        EXPECT_EQ(f.branch, MOSARO_FIT_ROBUST_DIRECTIONAL) << f.reason;
        EXPECT_TRUE(Finite(f.model));
        EXPECT_EQ(f.legacy_branch, MOSARO_FIT_THROUGH_ORIGIN);
        EXPECT_EQ(std::isnan(f.legacy_model.range), d == 1);  // what the legacy fit gave, for the plot
        EXPECT_NE(std::string(f.reason).find("weighted least squares"), std::string::npos) << f.reason;
    }
    const mosaro_direction_fit omni = DirectionFit(report, 0, MOSARO_DIRECTION_OMNIDIRECTIONAL);
    EXPECT_EQ(omni.branch, MOSARO_FIT_ROBUST_OMNIDIRECTIONAL);
    EXPECT_TRUE(Finite(omni.model));
    const float *lag, *pairs, *gamma;
    int count = 0;
    ASSERT_EQ(mosaro_report_table(report, 0, MOSARO_DIRECTION_OMNIDIRECTIONAL, 0, &lag, &pairs, &gamma, &count),
              MOSARO_OK);
    EXPECT_EQ(count, 40);  // 100 m classes out to the 4000 m of the y direction
    mosaro_report_free(report);
}

TEST(RobustFitApi, NeverChangesABitOfALegacyRunAndReportsWhatTheLegacyFitGave) {
    const ApiSamples s(FourColumnSamples(4, 90), 3);
    const std::vector<float> thresholds = {40.0f, 55.0f};
    for (int method = MOSARO_METHOD_ORDINARY; method <= MOSARO_METHOD_COKRIGING; ++method) {
        std::vector<float> legacy, oldSize, robust;
        mosaro_request r = MakeRequest(s, GridArgs::Square(200.0f, 14, 8), legacy, method);
        r.thresholds = thresholds.data();
        r.threshold_count = 2;
        r.method_parameter = 5.0f;
        mosaro_report* legacyReport = nullptr;
        mosaro_report* robustReport = nullptr;
        r.report = &legacyReport;
        ASSERT_GE(mosaro_grid(&r), MOSARO_OK) << method;

        r.fit = MOSARO_FIT_ROBUST;
        r.report = &robustReport;
        r.grid = (robust = legacy).data();
        ASSERT_EQ(mosaro_grid(&r), MOSARO_OK) << method << ": " << mosaro_last_message();
        // A caller of the layout before the fit choice gets the legacy fit.
        r.struct_size = offsetof(mosaro_request, fit);
        r.report = nullptr;
        r.grid = (oldSize = robust).data();
        ASSERT_GE(mosaro_grid(&r), MOSARO_OK) << method;
        EXPECT_EQ(FirstDifference(legacy, oldSize), "") << method;
        EXPECT_FALSE(SameBits(legacy, robust)) << method;

        ASSERT_EQ(mosaro_report_pass_count(robustReport), mosaro_report_pass_count(legacyReport));
        for (int p = 0; p < mosaro_report_pass_count(legacyReport); ++p)
            for (int d = 0; d < 2; ++d) {
                const mosaro_direction_fit was = DirectionFit(legacyReport, p, d),
                                           beside = DirectionFit(robustReport, p, d);
                EXPECT_EQ(was.fit, MOSARO_FIT_LEGACY);
                EXPECT_EQ(Bits(was.model.range), Bits(beside.legacy_model.range)) << method;
                EXPECT_EQ(Bits(was.model.partial_sill), Bits(beside.legacy_model.partial_sill)) << method;
                EXPECT_EQ(was.branch, beside.legacy_branch) << method;
            }
        mosaro_report_free(legacyReport);
        mosaro_report_free(robustReport);
    }
}

TEST(RobustFitApi, TooFewPairsIsAnErrorThatLeavesTheGridAndTheFitOnlyCallMatchesTheRun) {
    const ApiSamples s(StructuredSamples(6, 60, 200.0f));
    std::vector<float> grid;
    GridArgs tooShort = GridArgs::Square(200.0f, 10, 8);
    tooShort.xMax = tooShort.yMax = 15.0f;  // one class of 20 in each direction
    mosaro_request r = MakeRequest(s, tooShort, grid);
    r.fit = MOSARO_FIT_ROBUST;
    EXPECT_EQ(mosaro_grid(&r), MOSARO_ERROR_TOO_FEW_PAIRS);
    EXPECT_NE(std::string(mosaro_last_message()).find("give a model or a coarser cell"), std::string::npos);
    EXPECT_TRUE(std::all_of(grid.begin(), grid.end(), [](float v) { return v == -7.0f; }));
    mosaro_samples* prepared = nullptr;
    ASSERT_EQ(mosaro_samples_create(s.x.data(), s.y.data(), s.value.data(), static_cast<int>(s.x.size()), nullptr, 0,
                                    &prepared),
              MOSARO_OK);
    mosaro_report* report = nullptr;
    EXPECT_EQ(mosaro_fit_variograms(prepared, &r, &report), MOSARO_ERROR_TOO_FEW_PAIRS);
    EXPECT_EQ(report, nullptr);

    // Variograms and fits alone: the gridding run's models, every table, no grid read.
    r = MakeRequest(s, GridArgs::Square(200.0f, 20, 8), grid);
    r.fit = MOSARO_FIT_ROBUST;
    mosaro_report* gridded = nullptr;
    r.report = &gridded;
    ASSERT_EQ(mosaro_grid(&r), MOSARO_OK);
    // Both directions fit on their own, so without tables the costly
    // omnidirectional table is skipped; with them it is built and fitted.
    EXPECT_EQ(DirectionFit(gridded, 0, MOSARO_DIRECTION_OMNIDIRECTIONAL).branch, MOSARO_FIT_NOT_RUN);
    mosaro_report_free(gridded);
    r.report_tables = 1;
    ASSERT_EQ(mosaro_grid(&r), MOSARO_OK);
    r.grid = nullptr;
    r.node_count_x = 0;
    ASSERT_EQ(mosaro_fit_variograms(prepared, &r, &report), MOSARO_OK) << mosaro_last_message();
    for (int d = 0; d <= MOSARO_DIRECTION_OMNIDIRECTIONAL; ++d) {
        const mosaro_direction_fit alone = DirectionFit(report, 0, d), run = DirectionFit(gridded, 0, d);
        EXPECT_EQ(Bits(alone.model.range), Bits(run.model.range)) << d;
        EXPECT_EQ(Bits(alone.legacy_model.sill), Bits(run.legacy_model.sill)) << d;
        EXPECT_STREQ(alone.reason, run.reason);
        const float *lag, *pairs, *gamma;
        int count = 0;
        ASSERT_EQ(mosaro_report_table(report, 0, d, 0, &lag, &pairs, &gamma, &count), MOSARO_OK);
        EXPECT_EQ(count, 20) << d;
    }
    // Indicator kriging: one pass per threshold, no grid swept.
    const std::vector<float> thresholds = {45.0f, 50.0f, 60.0f};
    r.method = MOSARO_METHOD_INDICATOR;
    r.thresholds = thresholds.data();
    r.threshold_count = 3;
    mosaro_report* indicator = nullptr;
    ASSERT_EQ(mosaro_fit_variograms(prepared, &r, &indicator), MOSARO_OK) << mosaro_last_message();
    EXPECT_EQ(mosaro_report_pass_count(indicator), 3);
    EXPECT_TRUE(Finite(DirectionFit(indicator, 2, 1).model));
    mosaro_report_free(indicator);

    mosaro_direction_fit small;
    small.struct_size = 4;
    EXPECT_EQ(mosaro_report_fit(report, 0, 0, &small), MOSARO_ERROR_STRUCT_SIZE);
    mosaro_report_free(report);
    mosaro_report_free(gridded);
    mosaro_samples_free(prepared);
}

TEST(RobustFitApi, GeneratedRealLikeCasesAlwaysGetAFiniteModel) {
    int legacyFailures = 0, fallbacks = 0;
    const int cases = 150;
    for (unsigned seed = 0; seed < static_cast<unsigned>(cases); ++seed) {
        const RealLike c = MakeRealLike(seed);
        std::vector<float> grid;
        const std::vector<float> thresholds = {45.0f, 55.0f};
        mosaro_request r = MakeRequest(c.samples, c.grid, grid, c.method);
        r.thresholds = thresholds.data();
        r.threshold_count = 2;
        if (mosaro_grid(&r) == MOSARO_WARNING_NO_FINITE_MODEL) ++legacyFailures;
        mosaro_report* report = nullptr;
        r.report = &report;
        r.fit = MOSARO_FIT_ROBUST;
        ASSERT_EQ(mosaro_grid(&r), MOSARO_OK) << "seed " << seed << ": " << mosaro_last_message();
        for (int p = 0; p < mosaro_report_pass_count(report); ++p)
            for (int d = 0; d < 2; ++d) {
                const mosaro_direction_fit f = DirectionFit(report, p, d);
                EXPECT_TRUE(Finite(f.model) && f.model.partial_sill > 0.0f && f.model.nugget >= 0.0f)
                    << "seed " << seed;
                if (d == 0 && f.branch == MOSARO_FIT_ROBUST_OMNIDIRECTIONAL) ++fallbacks;
            }
        EXPECT_TRUE(std::any_of(grid.begin(), grid.end(), [](float v) { return v != 0.0f; })) << "seed " << seed;
        mosaro_report_free(report);
    }
    std::cout << "legacy fit without a finite model: " << legacyFailures << " of " << cases
              << " cases; robust fit finite in all, " << fallbacks << " passes on the omnidirectional model\n";
}
