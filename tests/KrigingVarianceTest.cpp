// The kriging variance output of the modern API: against an independent
// solve in double, its known values, and its independence from the
// estimate.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ApiTestSupport.h"

using namespace mosaro_test;

namespace {

struct Model {
    double nugget, partialSill, range;
    double Sill() const { return nugget + partialSill; }
    // Spherical covariance; the nugget counts only at distance 0.
    double Covariance(double h) const {
        if (h == 0.0) return Sill();
        if (h > range) return 0.0;
        const double r = h / range;
        return Sill() - (partialSill * (1.5 * r - 0.5 * r * r * r) + nugget);
    }
};

// Ordinary-kriging variance of a node from every sample, solved in double
// by Gaussian elimination with partial pivoting.
double OrdinaryVariance(const Model& model, const std::vector<float>& x, const std::vector<float>& y,
                        double nodeX, double nodeY) {
    const std::size_t m = x.size(), n = m + 1;
    std::vector<std::vector<double>> a(n, std::vector<double>(n + 1, 0.0));
    std::vector<double> rhs(n, 1.0);
    for (std::size_t i = 0; i < m; ++i) {
        for (std::size_t j = 0; j < m; ++j)
            a[i][j] = model.Covariance(std::hypot(double{x[i]} - x[j], double{y[i]} - y[j]));
        a[i][m] = a[m][i] = 1.0;
        rhs[i] = model.Covariance(std::hypot(double{x[i]} - nodeX, double{y[i]} - nodeY));
    }
    for (std::size_t i = 0; i < n; ++i) a[i][n] = rhs[i];
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < n; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
        std::swap(a[c], a[pivot]);
        for (std::size_t r = 0; r < n; ++r) {
            if (r == c) continue;
            const double f = a[r][c] / a[c][c];
            for (std::size_t k = c; k <= n; ++k) a[r][k] -= f * a[c][k];
        }
    }
    double explained = 0.0;
    for (std::size_t i = 0; i < n; ++i) explained += (a[i][n] / a[i][i]) * rhs[i];
    return model.Sill() - explained;
}

// Over [0, 50]^2 the coordinate scale is 1, so the independent solve works
// in the caller's units.
const GridArgs kSmallGrid = GridArgs::Square(50.0f, 5, 10);

SampleTable Table(const std::vector<float>& x, const std::vector<float>& y) {
    SampleTable table;
    for (std::size_t i = 0; i < x.size(); ++i) table.Add(x[i], y[i], 10.0f + static_cast<float>(i));
    return table;
}

std::vector<float> VarianceGrid(const ApiSamples& s, const mosaro_variogram_model& model, int method,
                                std::vector<float>* estimate = nullptr) {
    std::vector<float> grid, variance(static_cast<std::size_t>(kSmallGrid.Nodes()), -7.0f);
    mosaro_request r = MakeRequest(s, kSmallGrid, grid, method);
    r.given_models = &model;
    r.given_model_count = 1;
    r.variance = variance.data();
    EXPECT_EQ(mosaro_grid(&r), MOSARO_OK) << mosaro_last_message();
    if (estimate != nullptr) *estimate = grid;
    return variance;
}

}  // namespace

TEST(KrigingVariance, MatchesAnIndependentSolveInDouble) {
    const std::vector<float> x = {10.0f, 32.0f, 18.0f, 44.0f}, y = {10.0f, 12.0f, 35.0f, 41.0f};
    const ApiSamples s(Table(x, y));
    for (const Model model : {Model{0.0, 20.0, 30.0}, Model{3.0, 12.0, 45.0}}) {
        const mosaro_variogram_model given = {static_cast<float>(model.nugget), 0.0f,
                                              static_cast<float>(model.range),
                                              static_cast<float>(model.partialSill)};
        const std::vector<float> variance = VarianceGrid(s, given, MOSARO_METHOD_ORDINARY);
        for (int i = 0; i <= kSmallGrid.cellsY; ++i)
            for (int j = 0; j <= kSmallGrid.cellsX; ++j) {
                const double expected = OrdinaryVariance(model, x, y, 10.0 * j, 10.0 * i);
                EXPECT_NEAR(kSmallGrid.At(variance, i, j), expected, 1e-4 * model.Sill())
                    << "node " << i << ", " << j;
            }
    }
}

TEST(KrigingVariance, IsZeroOnASampleWithoutNuggetAndKnownBeyondTheRange) {
    // Samples 20 apart on nodes, range 5: every node off a sample is beyond
    // the range of every sample, and so is every pair of samples. The system
    // is then Csum I bordered by ones: w = 1/m, multiplier -Csum/m, and the
    // variance Csum - multiplier = Csum (1 + 1/m).
    const std::vector<float> x = {0.0f, 20.0f, 0.0f, 20.0f}, y = {0.0f, 0.0f, 20.0f, 20.0f};
    const ApiSamples s(Table(x, y));
    const float sill = 8.0f;
    const std::vector<float> variance = VarianceGrid(s, {0.0f, 0.0f, 5.0f, sill}, MOSARO_METHOD_ORDINARY);
    for (int i = 0; i <= kSmallGrid.cellsY; ++i)
        for (int j = 0; j <= kSmallGrid.cellsX; ++j) {
            const bool onSample = i % 2 == 0 && j % 2 == 0 && i <= 2 && j <= 2;
            const float v = kSmallGrid.At(variance, i, j);
            if (onSample)
                EXPECT_NEAR(v, 0.0f, 1e-5f * sill) << i << ", " << j;
            else
                EXPECT_FLOAT_EQ(v, sill * 1.25f) << i << ", " << j;
        }
}

TEST(KrigingVariance, AskingForItChangesNoEstimateBit) {
    const SampleTable table = StructuredSamples(4, 50, 200.0f);  // a finite fit for every method
    const ApiSamples s(table);
    const std::vector<float> thresholds = {40.0f, 60.0f};
    for (int method = 1; method <= 10; ++method) {
        std::vector<float> plain, withVariance;
        mosaro_request r = MakeRequest(s, GridArgs(), plain, method);
        r.method_parameter = 3.0f;
        r.thresholds = thresholds.data();
        r.threshold_count = 2;
        const mosaro_status status = mosaro_grid(&r);
        ASSERT_GE(status, MOSARO_OK) << method;  // a warning grid counts too
        std::vector<float> variance(plain.size(), -7.0f);
        withVariance.assign(plain.size(), -7.0f);
        r.grid = withVariance.data();
        r.variance = variance.data();
        ASSERT_EQ(mosaro_grid(&r), status) << method;
        EXPECT_TRUE(SameBits(plain, withVariance)) << method;
        // Indicator kriging has none, nor has a model that is not finite;
        // otherwise it is finite, and rounding keeps it from going much
        // below 0.
        const bool none = method == MOSARO_METHOD_INDICATOR || status == MOSARO_WARNING_NO_FINITE_MODEL;
        for (float v : variance) {
            if (none)
                EXPECT_TRUE(std::isnan(v)) << method << ": " << v;
            else
                EXPECT_TRUE(std::isfinite(v) && v > -1e-3f) << method << ": " << v;
        }
    }
}

TEST(KrigingVariance, LognormalVarianceIsThatOfTheLogarithmsUnderTheSameModel) {
    // The variance depends on the geometry and the model only: with one
    // model, kriging the logarithms gives the ordinary variance bit for bit.
    const SampleTable table = StructuredSamples(22, 30, 50.0f);
    const ApiSamples s(table);
    const mosaro_variogram_model logModel = {0.01f, 0.0f, 25.0f, 0.2f};
    std::vector<float> lognormalEstimate;
    const std::vector<float> lognormal = VarianceGrid(s, logModel, MOSARO_METHOD_LOGNORMAL, &lognormalEstimate);
    EXPECT_TRUE(SameBits(lognormal, VarianceGrid(s, logModel, MOSARO_METHOD_ORDINARY)));
    EXPECT_TRUE(SameBits(lognormal, VarianceGrid(s, logModel, MOSARO_METHOD_LOGNORMAL_SHIFTED)));
}
