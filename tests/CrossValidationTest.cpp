// Cross-validation: each estimate is what a grid node at the sample would
// get from the other samples, the folds are a reproducible partition, and
// the summary is the statistics of the per-sample results.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "sweeps/CrossValidation.h"
#include "mosaro.h"

namespace {

struct Case {
    std::vector<float> x, y, value;
    mosaro_variogram_model model{0.2f, 0.0f, 350.0f, 5.0f};

    explicit Case(unsigned seed, int count = 40) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> position(0.0f, 1000.0f), noise(-0.5f, 0.5f);
        for (int i = 0; i < count; ++i) {
            x.push_back(position(random));
            y.push_back(position(random));
            value.push_back(20.0f + 0.01f * x.back() + 3.0f * std::sin(y.back() / 150.0f) + noise(random));
        }
    }

    mosaro_request Request(int method, mosaro_arithmetic arithmetic) const {
        mosaro_request r;
        mosaro_request_init(&r);
        r.x_min = r.y_min = 0.0f;
        r.x_max = r.y_max = 1000.0f;
        r.cell_size_x = r.cell_size_y = 10.0f;
        r.neighbour_count = 8;
        r.method = static_cast<mosaro_method>(method);
        r.arithmetic = arithmetic;
        r.given_models = &model;
        r.given_model_count = 1;
        return r;
    }
};

struct Validation {
    std::vector<float> estimate, variance, residual, standardised;
    std::vector<int> fold;
    mosaro_validation v{};
    mosaro_validation_summary summary{};

    Validation(std::size_t count, int folds, unsigned long long seed)
        : estimate(count), variance(count), residual(count), standardised(count), fold(count) {
        v.struct_size = sizeof v;
        v.folds = folds;
        v.seed = seed;
        v.estimate = estimate.data();
        v.variance = variance.data();
        v.residual = residual.data();
        v.standardised_residual = standardised.data();
        v.fold = fold.data();
        summary.struct_size = sizeof summary;
    }

    mosaro_status Run(const Case& c, const mosaro_request& r) {
        mosaro_samples* samples = nullptr;
        EXPECT_EQ(mosaro_samples_create(c.x.data(), c.y.data(), c.value.data(), static_cast<int>(c.x.size()), nullptr,
                                        0, &samples),
                  MOSARO_OK);
        const mosaro_status status = mosaro_cross_validate(samples, &r, &v, &summary);
        mosaro_samples_free(samples);
        return status;
    }
};

// A one-node accurate grid at sample i from the samples `keep` names, over
// the same span (so the same coordinate scale); the variance into `variance`.
float NodeAt(const Case& c, std::size_t i, const std::vector<bool>& keep, int method, float* variance) {
    Case kept = c;
    kept.x.clear(), kept.y.clear(), kept.value.clear();
    for (std::size_t j = 0; j < c.x.size(); ++j)
        if (keep[j]) kept.x.push_back(c.x[j]), kept.y.push_back(c.y[j]), kept.value.push_back(c.value[j]);
    mosaro_request r = c.Request(method, MOSARO_ARITHMETIC_ACCURATE);
    r.x = kept.x.data(), r.y = kept.y.data(), r.value = kept.value.data();
    r.sample_count = static_cast<int>(kept.x.size());
    r.x_min = c.x[i], r.y_min = c.y[i], r.x_max = c.x[i] + 1000.0f, r.y_max = c.y[i] + 1000.0f;
    r.node_count_x = r.node_count_y = 1;
    float node = 0.0f;
    r.grid = &node, r.variance = variance;
    EXPECT_EQ(mosaro_grid(&r), MOSARO_OK);
    return node;
}

TEST(CrossValidation, EachEstimateIsTheNodeAtTheSampleGriddedWithoutIt) {
    // The accurate grid has the same neighbour rule, so the same bits.
    const Case c(3);
    for (int method : {MOSARO_METHOD_ORDINARY, MOSARO_METHOD_UNIVERSAL_XY, MOSARO_METHOD_LOGNORMAL}) {
        Validation loo(c.x.size(), 0, 0);
        ASSERT_EQ(loo.Run(c, c.Request(method, MOSARO_ARITHMETIC_ACCURATE)), MOSARO_OK) << mosaro_last_message();
        EXPECT_EQ(loo.summary.estimated, 40);
        for (std::size_t i = 0; i < c.x.size(); i += 7) {
            std::vector<bool> others(c.x.size(), true);
            others[i] = false;
            float variance = 0.0f;
            EXPECT_EQ(NodeAt(c, i, others, method, &variance), loo.estimate[i]) << "method " << method << ", " << i;
            EXPECT_EQ(variance, loo.variance[i]) << "method " << method << " sample " << i;
            EXPECT_EQ(static_cast<int>(i), loo.fold[i]);
        }
    }
    // Two folds of 300, which the loop's pieces of 256 cut: each estimate is
    // still the node gridded from the other fold alone.
    const Case many(4, 600);
    Validation halves(600, 2, 11);
    mosaro_request r = many.Request(MOSARO_METHOD_ORDINARY, MOSARO_ARITHMETIC_ACCURATE);
    r.thread_count = 2;
    ASSERT_EQ(halves.Run(many, r), MOSARO_OK);
    for (std::size_t i = 0; i < 600; ++i) {
        std::vector<bool> otherFold(600);
        for (std::size_t j = 0; j < 600; ++j) otherFold[j] = halves.fold[j] != halves.fold[i];
        ASSERT_EQ(NodeAt(many, i, otherFold, MOSARO_METHOD_ORDINARY, nullptr), halves.estimate[i]) << i;
    }
}

TEST(CrossValidation, SummaryIsTheStatisticsOfTheResiduals) {
    const Case c(5);
    for (mosaro_arithmetic arithmetic : {MOSARO_ARITHMETIC_LEGACY, MOSARO_ARITHMETIC_ACCURATE}) {
        Validation run(c.x.size(), 0, 0);
        ASSERT_EQ(run.Run(c, c.Request(MOSARO_METHOD_ORDINARY, arithmetic)), MOSARO_OK);
        double sum = 0.0, absolute = 0.0, square = 0.0, ratio = 0.0;
        for (std::size_t i = 0; i < c.x.size(); ++i) {
            const double residual = static_cast<double>(c.value[i]) - run.estimate[i];
            EXPECT_NEAR(run.residual[i], residual, 1e-5);
            EXPECT_NEAR(run.standardised[i], residual / std::sqrt(static_cast<double>(run.variance[i])), 1e-4);
            sum += residual;
            absolute += std::fabs(residual);
            square += residual * residual;
            ratio += residual * residual / run.variance[i];
        }
        EXPECT_NEAR(run.summary.mean_error, sum / 40.0, 1e-5);
        EXPECT_NEAR(run.summary.mean_absolute_error, absolute / 40.0, 1e-5);
        EXPECT_NEAR(run.summary.root_mean_square_error, std::sqrt(square / 40.0), 1e-5);
        EXPECT_NEAR(run.summary.mean_squared_deviation_ratio, ratio / 40.0, 1e-4);
        // A smooth field: the samples predict each other well.
        EXPECT_GT(run.summary.correlation, 0.9);
        EXPECT_LT(run.summary.correlation, 1.0);
    }
}

TEST(CrossValidation, LognormalResidualsAreStandardisedOnTheLogarithms) {
    // The variance of methods 8 and 9 is that of the logarithms: so must
    // the residual be that it divides, or the ratio means nothing.
    const Case c(4);
    for (int method : {MOSARO_METHOD_LOGNORMAL, MOSARO_METHOD_LOGNORMAL_SHIFTED}) {
        mosaro_request r = c.Request(method, MOSARO_ARITHMETIC_ACCURATE);
        r.method_parameter = method == MOSARO_METHOD_LOGNORMAL_SHIFTED ? 5.0f : 0.0f;
        mosaro_variogram_model logModel{0.0005f, 0.0f, 350.0f, 0.01f};
        r.given_models = &logModel;
        Validation run(c.x.size(), 0, 0);
        ASSERT_EQ(run.Run(c, r), MOSARO_OK) << mosaro_last_message();
        const double shift = r.method_parameter;
        double ratio = 0.0;
        for (std::size_t i = 0; i < c.x.size(); ++i) {
            const double expected = (std::log(c.value[i] + shift) - std::log(run.estimate[i] + shift)) /
                                    std::sqrt(static_cast<double>(run.variance[i]));
            EXPECT_NEAR(run.standardised[i], expected, 1e-4 * (1.0 + std::fabs(expected))) << i;
            ratio += expected * expected;
        }
        EXPECT_NEAR(run.summary.mean_squared_deviation_ratio, ratio / 40.0, 1e-3 * ratio / 40.0);
        // A model of the logarithms' own size gives a ratio of a sensible size.
        EXPECT_LT(run.summary.mean_squared_deviation_ratio, 100.0);
    }
}

TEST(CrossValidation, FoldsAreASeededPartition) {
    const std::vector<int> folds = mosaro::AssignFolds(103, 5, 42);
    std::vector<int> sizes(5, 0);
    for (int f : folds) ++sizes[static_cast<std::size_t>(f)];
    for (int size : sizes) EXPECT_TRUE(size == 20 || size == 21) << size;
    EXPECT_EQ(folds, mosaro::AssignFolds(103, 5, 42));
    EXPECT_NE(folds, mosaro::AssignFolds(103, 5, 43));

    // As many folds as samples is leave-one-out, whatever the shuffle; a
    // fold's samples never see each other.
    const Case c(8, 30);
    Validation loo(30, 0, 0), everyFold(30, 30, 99), fiveFold(30, 5, 7);
    ASSERT_EQ(loo.Run(c, c.Request(MOSARO_METHOD_UNIVERSAL_X, MOSARO_ARITHMETIC_ACCURATE)), MOSARO_OK);
    ASSERT_EQ(everyFold.Run(c, c.Request(MOSARO_METHOD_UNIVERSAL_X, MOSARO_ARITHMETIC_ACCURATE)), MOSARO_OK);
    ASSERT_EQ(fiveFold.Run(c, c.Request(MOSARO_METHOD_UNIVERSAL_X, MOSARO_ARITHMETIC_ACCURATE)), MOSARO_OK);
    EXPECT_EQ(loo.estimate, everyFold.estimate);
    EXPECT_NE(loo.estimate, fiveFold.estimate);
    EXPECT_EQ(std::set<int>(fiveFold.fold.begin(), fiveFold.fold.end()).size(), 5u);
}

TEST(CrossValidation, ThreadsChangeNoBitInEitherArithmetic) {
    // Enough samples for the loop to be cut into pieces that run on
    // workers, which have no run context of their own.
    // Seven folds of about 430 samples: the pieces cut folds, whose members
    // outside a piece must stay excluded too.
    const Case c(12, 3000);
    for (mosaro_arithmetic arithmetic : {MOSARO_ARITHMETIC_LEGACY, MOSARO_ARITHMETIC_ACCURATE})
        for (int folds : {0, 7}) {
            std::vector<float> first;
            for (int threads : {1, 2, 3}) {
                mosaro_request r = c.Request(MOSARO_METHOD_UNIVERSAL_XXYY, arithmetic);
                r.thread_count = threads;
                Validation run(c.x.size(), folds == 0 && threads == 3 ? 3000 : folds, 5);
                ASSERT_EQ(run.Run(c, r), MOSARO_OK);
                if (first.empty()) first = run.estimate;
                else
                    EXPECT_EQ(first, run.estimate)
                        << arithmetic << ", " << folds << " folds, " << threads << " threads";
            }
        }
    // And the two arithmetics are told apart on every piece: the legacy
    // cut-off turns the negative field's estimates into 0.
    Case negative(13, 3000);
    for (float& v : negative.value) v -= 100.0f;
    Validation legacy(3000, 0, 0), accurate(3000, 0, 0);
    mosaro_request r = negative.Request(MOSARO_METHOD_ORDINARY, MOSARO_ARITHMETIC_LEGACY);
    r.thread_count = 2;
    ASSERT_EQ(legacy.Run(negative, r), MOSARO_OK);
    r.arithmetic = MOSARO_ARITHMETIC_ACCURATE;
    ASSERT_EQ(accurate.Run(negative, r), MOSARO_OK);
    for (std::size_t i = 0; i < 3000; ++i) {
        ASSERT_EQ(legacy.estimate[i], 0.0f) << i;
        ASSERT_LT(accurate.estimate[i], -50.0f) << i;
    }
}

TEST(CrossValidation, RefusesWhatItCannotValidate) {
    const Case c(2, 10);
    Validation run(10, 0, 0);
    mosaro_request indicator = c.Request(MOSARO_METHOD_INDICATOR, MOSARO_ARITHMETIC_ACCURATE);
    const float thresholds[2] = {20.0f, 25.0f};
    indicator.thresholds = thresholds;
    indicator.threshold_count = 2;
    EXPECT_EQ(run.Run(c, indicator), MOSARO_ERROR_METHOD);
    run.v.folds = 1;
    EXPECT_EQ(run.Run(c, c.Request(MOSARO_METHOD_ORDINARY, MOSARO_ARITHMETIC_ACCURATE)), MOSARO_ERROR_METHOD_PARAMETER);
    EXPECT_NE(std::string(mosaro_last_message()).find("validation->folds"), std::string::npos);
    run.v.folds = 11;
    EXPECT_EQ(run.Run(c, c.Request(MOSARO_METHOD_ORDINARY, MOSARO_ARITHMETIC_ACCURATE)), MOSARO_ERROR_METHOD_PARAMETER);
    run.v.folds = 0;
    run.v.struct_size = 8;
    EXPECT_EQ(run.Run(c, c.Request(MOSARO_METHOD_ORDINARY, MOSARO_ARITHMETIC_ACCURATE)), MOSARO_ERROR_STRUCT_SIZE);
}

TEST(CrossValidation, CoKrigingUsesEveryVariableOfTheOtherLocations) {
    // A second variable equal to the first adds nothing the first does not
    // know: the co-kriging estimates equal ordinary kriging's.
    const Case c(6, 25);
    mosaro_samples* samples = nullptr;
    const float* extra[1] = {c.value.data()};
    ASSERT_EQ(mosaro_samples_create(c.x.data(), c.y.data(), c.value.data(), 25, extra, 1, &samples), MOSARO_OK);
    Validation co(25, 0, 0), ordinary(25, 0, 0);
    const mosaro_request coRequest = c.Request(MOSARO_METHOD_COKRIGING, MOSARO_ARITHMETIC_ACCURATE);
    ASSERT_EQ(mosaro_cross_validate(samples, &coRequest, &co.v, &co.summary), MOSARO_OK) << mosaro_last_message();
    mosaro_samples_free(samples);
    ASSERT_EQ(ordinary.Run(c, c.Request(MOSARO_METHOD_ORDINARY, MOSARO_ARITHMETIC_ACCURATE)), MOSARO_OK);
    EXPECT_EQ(co.summary.estimated, 25);
    for (std::size_t i = 0; i < 25; ++i) EXPECT_NEAR(co.estimate[i], ordinary.estimate[i], 1e-4) << i;
}

}  // namespace
