// Fits: models recovered from classes they generated (each family, nested,
// with fixed parameters), gstat's fit of the demo data reproduced (its SSE,
// worked out by gstat itself, at most 1.001 times ours), the non-negative
// least squares against brute force over every active set, and the reasons
// given when no fit can be had.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "DemoData.h"
#include "variogram/EmpiricalVariogram.h"
#include "variogram/ModelFit.h"
#include "variogram/ModelNotation.h"
#include "variogram/NonNegativeLeastSquares.h"

namespace {

using mosaro::FitMethod;
using mosaro::LagClass;

// Classes at distances 20, 40, ..., 600 whose semivariances are the model's.
std::vector<LagClass> ClassesOf(const mosaro::VariogramModel& model) {
    std::vector<LagClass> classes;
    for (int k = 1; k <= 30; ++k) {
        LagClass c;
        c.lower = 20.0 * (k - 1);
        c.upper = 20.0 * k;
        c.pairs = 100 + 7 * static_cast<std::uint64_t>(k);
        c.meanDistance = 20.0 * k - 3.0;
        c.gamma = model.Semivariance(0.0, c.meanDistance);
        classes.push_back(c);
    }
    return classes;
}

TEST(ModelFit, RecoversTheModelThatMadeTheClasses) {
    struct Case {
        const char* truth;
        const char* fitTemplate;
    };
    const Case cases[] = {
        {"0.1 Nug + 0.9 Sph(250)", "Nug + Sph"},
        {"0.2 Nug + 1.5 Exp(120)", "Nug + Exp"},
        {"0.05 Nug + 0.7 Gau(180)", "Nug + Gau"},
        {"0.1 Nug + 1 Mat(60, kappa=2.2)", "Nug + Mat"},
        {"0.1 Nug + 1 Exc(90, kappa=1.3)", "Nug + Exc"},
        {"0.3 Nug + 0.02 Pow(1.4)", "Nug + Pow"},
        {"0.1 Nug + 0.5 Sph(90) + 0.6 Exp(300)", "Nug + Sph + Exp"},
        {"0.25 Nug + 1 Cir(400)", "0.25 Nug + Cir"},
        {"1 Wav(150)", "Wav(~140)"},
    };
    for (FitMethod method : {FitMethod::kPairsOverLagSquared, FitMethod::kPairs, FitMethod::kOrdinary,
                             FitMethod::kPairsOverModelSquared}) {
        for (const Case& c : cases) {
            const mosaro::VariogramModel truth = mosaro::ParseModel(c.truth);
            const std::vector<LagClass> classes = ClassesOf(truth);
            mosaro::FitOptions options;
            options.method = method;
            const mosaro::FitResult fit = mosaro::FitModel(classes, mosaro::ParseFitTemplate(c.fitTemplate), options);
            ASSERT_EQ(fit.status, mosaro::FitStatus::kFitted) << c.truth << ": " << fit.message;
            for (const LagClass& k : classes)
                EXPECT_NEAR(fit.model.Semivariance(0.0, k.meanDistance), k.gamma, 1e-4 * truth.Semivariance(0, 600))
                    << c.truth << " method " << static_cast<int>(method) << " got " << mosaro::FormatModel(fit.model);
        }
    }
}

TEST(ModelFit, KeepsFixedParameters) {
    const std::vector<LagClass> classes = ClassesOf(mosaro::ParseModel("0.1 Nug + 0.9 Sph(250)"));
    const mosaro::FitResult fit = mosaro::FitModel(classes, mosaro::ParseFitTemplate("0.2 Nug + Sph(300)"));
    ASSERT_EQ(fit.status, mosaro::FitStatus::kFitted);
    EXPECT_EQ(fit.model.Nugget(), 0.2);
    EXPECT_EQ(fit.model.Structures()[0].range, 300.0);
    const mosaro::FitResult kappa = mosaro::FitModel(classes, mosaro::ParseFitTemplate("Nug + Mat(kappa=0.7)"));
    EXPECT_EQ(kappa.model.Structures()[0].shape, 0.7);
    // The SSE reported is the SSE of the model reported.
    EXPECT_DOUBLE_EQ(fit.weightedSquaredError,
                     mosaro::WeightedSquaredError(classes, fit.model, FitMethod::kPairsOverLagSquared));
}

std::vector<LagClass> MeuseClasses() {
    std::vector<std::vector<double>> c = mosaro_test::DemoColumns();
    for (double& zinc : c[5]) zinc = std::log(zinc);
    return mosaro::ComputeEmpiricalVariogram({c[0].data(), c[1].data(), c[5].data(), c[0].size()}, {})
        .directions[0]
        .classes;
}

TEST(ModelFit, DoesAtLeastAsWellAsGstatOnTheDemoData) {
    // fit.variogram(variogram(log(zinc) ~ 1, meuse), vgm(NA, "Sph", NA, NA), fit.method = m):
    // its model and its own SSErr.
    struct Case {
        FitMethod method;
        double nugget, sill, range, gstatError;
    };
    const Case cases[] = {
        {FitMethod::kPairsOverLagSquared, 0.050659709544643626, 0.59060510755540474, 897.00108338348753,
         9.0111943343781276e-06},
        {FitMethod::kPairs, 0.0651260735844819, 0.5711051219029083, 911.04245817202809, 9.2154847586286905},
        {FitMethod::kOrdinary, 0.053357868119801179, 0.57944651775286982, 890.13738276643608, 0.019194030511567411},
    };
    const std::vector<LagClass> classes = MeuseClasses();
    for (const Case& c : cases) {
        mosaro::FitOptions options;
        options.method = c.method;
        const mosaro::FitResult fit = mosaro::FitModel(classes, mosaro::ParseFitTemplate("Nug + Sph"), options);
        ASSERT_EQ(fit.status, mosaro::FitStatus::kFitted);
        EXPECT_LE(fit.weightedSquaredError, 1.001 * c.gstatError);
        EXPECT_NEAR(fit.model.Structures()[0].range, c.range, 0.01 * c.range);
        EXPECT_NEAR(fit.model.Nugget(), c.nugget, 0.01);
        // Our SSE formula gives gstat's SSErr for gstat's own model.
        mosaro::Structure s;
        s.partialSill = c.sill;
        s.range = c.range;
        const mosaro::VariogramModel theirs(c.nugget, {s});
        EXPECT_NEAR(mosaro::WeightedSquaredError(classes, theirs, c.method), c.gstatError, 1e-9 * c.gstatError);
    }
}

TEST(ModelFit, SaysWhyThereIsNoFit) {
    std::vector<LagClass> one(3);
    one[0].pairs = 10;
    one[0].meanDistance = 5;
    one[0].gamma = 1;
    const mosaro::FitResult fit = mosaro::FitModel(one, mosaro::ParseFitTemplate("Nug + Sph"));
    EXPECT_EQ(fit.status, mosaro::FitStatus::kTooFewClasses);
    EXPECT_NE(fit.message.find("only 1 class(es) with pairs"), std::string::npos) << fit.message;
    mosaro::FitTemplate empty;
    const mosaro::FitResult nothing = mosaro::FitModel(ClassesOf(mosaro::ParseModel("1 Sph(100)")), empty);
    EXPECT_EQ(nothing.status, mosaro::FitStatus::kInvalidTemplate);
    // A linear trend has no sill: the range runs to its bound, and says so.
    std::vector<LagClass> line = ClassesOf(mosaro::ParseModel("0.001 Lin(0)"));
    const mosaro::FitResult bounded = mosaro::FitModel(line, mosaro::ParseFitTemplate("Sph"));
    EXPECT_TRUE(bounded.rangeAtBound);
    EXPECT_NE(bounded.message.find("no sill"), std::string::npos);
}

TEST(ModelFit, NonNegativeLeastSquaresIsTheBestOverEveryActiveSet) {
    std::mt19937_64 random(5);
    std::normal_distribution<double> normal;
    for (int trial = 0; trial < 200; ++trial) {
        const std::size_t rows = 6 + trial % 5, columns = 1 + trial % 4;
        std::vector<double> a(rows * columns), b(rows);
        for (double& v : a) v = normal(random);
        for (double& v : b) v = normal(random);
        const std::vector<double> x = mosaro::NonNegativeLeastSquares(a, b, rows, columns);
        auto residual = [&](const std::vector<double>& c) {
            double s = 0;
            for (std::size_t r = 0; r < rows; ++r) {
                double e = b[r];
                for (std::size_t k = 0; k < columns; ++k) e -= a[r * columns + k] * c[k];
                s += e * e;
            }
            return s;
        };
        for (double v : x) EXPECT_GE(v, 0.0);
        // Brute force: the unconstrained solution on every subset of the
        // columns (normal equations by Gaussian elimination), kept when it is
        // non-negative.
        double best = residual(std::vector<double>(columns, 0.0));
        for (unsigned mask = 1; mask < (1u << columns); ++mask) {
            std::vector<std::size_t> set;
            for (std::size_t k = 0; k < columns; ++k)
                if (mask & (1u << k)) set.push_back(k);
            const std::size_t n = set.size();
            std::vector<double> m(n * (n + 1), 0.0);
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = 0; j < n; ++j)
                    for (std::size_t r = 0; r < rows; ++r)
                        m[i * (n + 1) + j] += a[r * columns + set[i]] * a[r * columns + set[j]];
                for (std::size_t r = 0; r < rows; ++r) m[i * (n + 1) + n] += a[r * columns + set[i]] * b[r];
            }
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t k = i + 1; k < n; ++k) {
                    const double f = m[k * (n + 1) + i] / m[i * (n + 1) + i];
                    for (std::size_t j = i; j <= n; ++j) m[k * (n + 1) + j] -= f * m[i * (n + 1) + j];
                }
            std::vector<double> z(n), c(columns, 0.0);
            bool feasible = true;
            for (std::size_t i = n; i-- > 0;) {
                double s = m[i * (n + 1) + n];
                for (std::size_t j = i + 1; j < n; ++j) s -= m[i * (n + 1) + j] * z[j];
                z[i] = s / m[i * (n + 1) + i];
                feasible = feasible && z[i] >= 0;
                c[set[i]] = z[i];
            }
            if (feasible) best = std::min(best, residual(c));
        }
        EXPECT_LE(residual(x), best * (1 + 1e-10) + 1e-14) << "trial " << trial;
    }
}

}  // namespace
