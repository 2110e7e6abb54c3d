// The model notation: what the examples mean, that printing reads back to
// the same bits, that templates mark fixed, started and free parameters,
// and that every error names its position and what was expected.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "variogram/ModelNotation.h"

namespace {

using mosaro::FitParameter;
using mosaro::ModelFamily;

TEST(ModelNotation, ExamplesMeanWhatGstatsVgmMeans) {
    const mosaro::VariogramModel a = mosaro::ParseModel("0.05 Nug + 0.59 Sph(897)");
    EXPECT_EQ(a.Nugget(), 0.05);
    ASSERT_EQ(a.Structures().size(), 1u);
    EXPECT_EQ(a.Structures()[0].family, ModelFamily::kSpherical);
    EXPECT_EQ(a.Structures()[0].partialSill, 0.59);
    EXPECT_EQ(a.Structures()[0].range, 897.0);

    const mosaro::VariogramModel b =
        mosaro::ParseModel("1.2 mat(300, kappa=1.5) + 0.6 Exp(range=500, azimuth=45, ratio=0.4)");
    EXPECT_EQ(b.Nugget(), 0.0);
    ASSERT_EQ(b.Structures().size(), 2u);
    EXPECT_EQ(b.Structures()[0].shape, 1.5);
    EXPECT_EQ(b.Structures()[1].azimuth, 45.0);
    EXPECT_EQ(b.Structures()[1].ratio, 0.4);

    const mosaro::VariogramModel c = mosaro::ParseModel("0.3 Pow(1.5) + 0.2 Lin(0)");
    EXPECT_EQ(c.Structures()[0].shape, 1.5);  // Pow's value is its exponent
    EXPECT_FALSE(c.HasCovariance());
}

TEST(ModelNotation, PrintingReadsBackToTheSameBits) {
    const char* texts[] = {
        "0.05 Nug + 0.59 Sph(897)",
        "0.1 Nug + 1.2 Mat(300, kappa=1.5) + 0.6 Exp(500, azimuth=45, ratio=0.4)",
        "0.3 Pow(1.5)",
        "0 Nug",
        "0.1 Nug + 0.30000000000000004 Gau(1e-05) + 1e+300 Wav(0.1)",
        "2 Exc(10, kappa=0.5) + 1 Ste(3, kappa=2.5) + 1 Lin(0) + 1 Hol(5) + 1 Cir(2) + 1 Pen(2) + 1 Bes(4)",
    };
    for (const char* text : texts) {
        const mosaro::VariogramModel model = mosaro::ParseModel(text);
        const std::string printed = mosaro::FormatModel(model);
        EXPECT_EQ(printed, text);
        const mosaro::VariogramModel again = mosaro::ParseModel(printed);
        for (double h : {0.5, 3.0, 250.0})
            EXPECT_EQ(again.Semivariance(h, 0.3 * h), model.Semivariance(h, 0.3 * h)) << text;
    }
    // Every double survives: the shortest form is exact.
    double value = 0.1;
    for (int i = 0; i < 200; ++i, value = value * 1.37 + 1e-7) {
        const std::string text = mosaro::ShortestNumber(value) + " Sph(" + mosaro::ShortestNumber(value * 3) + ")";
        const mosaro::VariogramModel m = mosaro::ParseModel(text);
        EXPECT_EQ(std::memcmp(&m.Structures()[0].partialSill, &value, sizeof value), 0) << text;
    }
}

TEST(ModelNotation, TemplatesMarkWhatIsFitted) {
    const mosaro::FitTemplate t = mosaro::ParseFitTemplate("0.1 Nug + Sph(~900) + ~0.3 Mat(kappa=1.5) + Exc");
    EXPECT_TRUE(t.hasNugget);
    EXPECT_EQ(t.nugget.kind, FitParameter::Kind::kFixed);
    ASSERT_EQ(t.structures.size(), 3u);
    EXPECT_EQ(t.structures[0].partialSill.kind, FitParameter::Kind::kFree);
    EXPECT_EQ(t.structures[0].range.kind, FitParameter::Kind::kStartingAt);
    EXPECT_EQ(t.structures[0].range.value, 900.0);
    EXPECT_EQ(t.structures[1].partialSill.kind, FitParameter::Kind::kStartingAt);
    EXPECT_EQ(t.structures[1].shape.kind, FitParameter::Kind::kFixed);
    EXPECT_EQ(t.structures[1].range.kind, FitParameter::Kind::kFree);
    EXPECT_EQ(t.structures[2].shape.kind, FitParameter::Kind::kFree);
    EXPECT_EQ(mosaro::FormatFitTemplate(t), "0.1 Nug + Sph(~900) + ~0.3 Mat(kappa=1.5) + Exc");
    EXPECT_FALSE(mosaro::ParseFitTemplate("Sph + Exp").hasNugget);
    EXPECT_EQ(mosaro::FormatFitTemplate(mosaro::ParseFitTemplate("Nug+Sph( azimuth = 30 , ratio=0.5 )")),
              "Nug + Sph(azimuth=30, ratio=0.5)");
}

TEST(ModelNotation, ErrorsSayWhereAndWhat) {
    struct Case {
        const char* text;
        bool model;  // ParseModel, else ParseFitTemplate
        std::size_t position;
        const char* says;
    };
    const Case cases[] = {
        {"", true, 0, "expected a term"},
        {"0.5 Sphx(100)", true, 4, "unknown family 'Sphx'; known: Nug, Exp, Sph"},
        {"0.5 Sph(100) 0.2 Nug", true, 13, "expected '+' or the end"},
        {"0.5 Sph(100", true, 11, "expected ',' or ')'"},
        {"0.5 Sph(10, 20)", true, 12, "a second value without a name"},
        {"0.5 Sph(size=3)", true, 8, "unknown parameter 'size'"},
        {"0.5 Sph(range=)", true, 14, "expected a number after 'range='"},
        {"Sph(100)", true, 0, "a sill must come before Sph"},
        {"0.5 Sph", true, 0, "Sph needs a range"},
        {"0.5 Pow", true, 0, "Pow needs its exponent"},
        // The bounds are VariogramModelTest's; one shows the notation reports them.
        {"-0.5 Sph(100)", true, 0, "the partial sill must be a finite number >= 0, not -0.5"},
        {"0.5 Sph(10, kappa=1)", true, 18, "Sph takes no kappa"},
        {"0.1 Nug + 0.2 Nug", true, 10, "a second Nug term"},
        {"Nug(0.1)", true, 0, "Nug takes no parentheses"},
        {"0.5 Sph(~100)", true, 8, "a model takes no starts"},
        {"Sph(azimuth=~30)", false, 12, "the anisotropy is not fitted"},
        {"Nug + Sph(ratio=2)", false, 6, "ratio must lie in (0, 1]"},
        {"Nug + Mat(kappa=0)", false, 6, "kappa must lie in (0, 100]"},
    };
    for (const Case& c : cases) {
        try {
            if (c.model) mosaro::ParseModel(c.text);
            else mosaro::ParseFitTemplate(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const mosaro::NotationError& e) {
            EXPECT_EQ(e.Position(), c.position) << c.text << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << c.text << ": " << e.what();
        }
    }
}

}  // namespace
