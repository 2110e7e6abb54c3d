// Variogram models against gstat's own numbers (variogramLine() of R's gstat
// 2.1, printed to 17 digits), the covariance against the sill less the
// semivariance, the anisotropy against gstat along five directions, and the
// parameter checks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/PortableMath.h"
#include "variogram/VariogramModel.h"

namespace {

using mosaro::FindFamily;
using mosaro::ModelFamily;
using mosaro::Structure;
using mosaro::VariogramModel;

const double kLags[] = {0, 7.5, 30, 61.2, 99.9, 100, 150, 420};

struct GstatLine {
    const char* family;
    double range;  // gstat's range slot: Pow's exponent
    double kappa;
    double gamma[8];  // 1.3 <family>(range, kappa) at kLags
};

// variogramLine(vgm(1.3, family, range, kappa = kappa), dist_vector = kLags).
// gstat's Wav and Cir use pi to 12 digits, which moves them by about 1e-13.
// One family per entry (clang-format would give each number its line).
// clang-format off
const GstatLine kGstat[] = {
    {"Sph", 100, 0.5, {0, 0.14597578124999999, 0.56745000000000001, 1.0444063967999999, 1.29999805065, 1.3, 1.3, 1.3}},
    {"Exp", 100, 0.5, {0, 0.093933467772881293, 0.33693631311376676, 0.59505517069182179, 0.82127824400223837,
                       0.82175672647712494, 1.0099307918070413, 1.280505750133379}},
    {"Gau", 100, 0.5, {0, 0.0072919721015947793, 0.11188945914740336, 0.40611641958022832, 0.82079976200603322,
                       0.82175672647712494, 1.1629810080695764, 1.2999999716215487}},
    {"Exc", 100, 1.3, {0, 0.044061274847750131, 0.2452427202334071, 0.53341487405883226, 0.82113469933134586,
                       0.82175672647712494, 1.0610870785212745, 1.2979655101656737}},
    {"Mat", 100, 0.7, {0, 0.037100004491938524, 0.2062415614423487, 0.44070835993652957, 0.67976159109413081,
                       0.68029823756475016, 0.90187088182529984, 1.2683174628058915}},
    {"Mat", 100, 1.5, {0, 0.0034784778558474283, 0.048017207047896658, 0.16362893515521656, 0.34303520976047402,
                       0.34351345295424979, 0.57482697951760298, 1.1986299006935708}},
    {"Mat", 100, 4.2, {0, 0.00057110654844314543, 0.009094170355147058, 0.037249980228866109, 0.095962773114896732,
                       0.096144791450541695, 0.20291284080566432, 0.88708963500209181}},
    {"Mat", 100, 0.5, {0, 0.093933467772881002, 0.33693631311376676, 0.59505517069182179, 0.82127824400223837,
                       0.82175672647712494, 1.0099307918070413, 1.280505750133379}},
    {"Ste", 100, 2.3, {0, 0.012730338792733987, 0.17416940887010776, 0.52323126527074892, 0.89058338614896204,
                       0.89133391723125921, 1.1493544201782946, 1.2998036738427516}},
    {"Bes", 100, 0.5, {0, 0.01173283716156579, 0.10816310695164325, 0.29106565278246876, 0.51697315143930433,
                       0.51752060074359507, 0.75909378910915459, 1.2457374021418928}},
    {"Cir", 100, 0.5, {0, 0.12402437516436511, 0.48901103578457294, 0.94561563524321979, 1.2999506585332288, 1.3, 1.3,
                       1.3}},
    {"Pen", 100, 0.5, {0, 0.18212810998535153, 0.68855962500000001, 1.1611194870877057, 1.2999999967524372, 1.3, 1.3,
                       1.3}},
    {"Lin", 100, 0.5, {0, 0.097500000000000003, 0.39000000000000001, 0.79559999999999997, 1.2987000000000002, 1.3, 1.3,
                       1.3}},
    {"Lin", 0, 0.5, {0, 9.75, 39, 79.560000000000002, 129.87, 130, 195, 546}},
    {"Wav", 100, 0.5, {0, 0.011995235215482658, 0.18408820126564138, 0.66527655620484583, 1.2986987008393382,
                       1.3000000000000855, 1.5758685680259339, 1.2420887586225426}},
    {"Hol", 100, 0.5, {0, 0.0012184072724660932, 0.019412437800861871, 0.079644947546729988, 0.20569635594233451,
                       0.20608771974973455, 0.43550434494315277, 1.5697734533661107}},
    {"Pow", 1.4, 0.5, {0, 21.828762768834597, 152.02433379573134, 412.47282705260051, 819.09643517172253,
                       820.24454782425096, 1447.0086090545069, 6116.3504152916184}},
};
// clang-format on

Structure FromGstat(const GstatLine& line) {
    Structure s;
    s.family = FindFamily(line.family)->family;
    s.partialSill = 1.3;
    const mosaro::FamilyTraits& traits = mosaro::TraitsOf(s.family);
    if (s.family == ModelFamily::kPower) {
        s.shape = line.range;
    } else {
        s.range = line.range;
        if (traits.takesShape) s.shape = line.kappa;
    }
    return s;
}

TEST(VariogramModel, EveryFamilyGivesGstatsSemivariances) {
    for (const GstatLine& line : kGstat) {
        const VariogramModel model(0.0, {FromGstat(line)});
        for (int i = 0; i < 8; ++i) {
            // Along a diagonal as well: an isotropic model sees only |h|.
            const double along = model.Semivariance(kLags[i], 0.0);
            const double diagonal = model.Semivariance(0.6 * kLags[i], -0.8 * kLags[i]);
            EXPECT_NEAR(along, line.gamma[i], 1e-12 * line.gamma[i]) << line.family << " at " << kLags[i];
            EXPECT_NEAR(diagonal, line.gamma[i], 1e-12 * line.gamma[i]) << line.family << " at " << kLags[i];
        }
    }
}

TEST(VariogramModel, CovarianceIsTheSillLessTheSemivariance) {
    for (const GstatLine& line : kGstat) {
        const VariogramModel model(0.25, {FromGstat(line)});
        const bool bounded = std::string(line.family) != "Pow" && line.range != 0.0;
        EXPECT_EQ(model.HasCovariance(), bounded) << line.family;
        if (!bounded) {
            EXPECT_TRUE(std::isinf(model.TotalSill()));
            EXPECT_TRUE(std::isnan(model.Covariance(1.0, 0.0)));
            continue;
        }
        EXPECT_DOUBLE_EQ(model.TotalSill(), 1.55);
        EXPECT_EQ(model.Covariance(0.0, 0.0), 1.55);  // the nugget belongs to the origin
        EXPECT_EQ(model.Semivariance(0.0, 0.0), 0.0);
        for (int i = 1; i < 8; ++i)
            EXPECT_NEAR(model.Covariance(0.0, kLags[i]), 1.55 - 0.25 - line.gamma[i], 2e-12 * 1.55)
                << line.family << " at " << kLags[i];
    }
}

TEST(VariogramModel, CovariancesInOneCallHaveTheBitsOfEachAlone) {
    // Lags across several chunks: the origin, lags beyond every range and on
    // it, tiny and huge ones, a NaN, and both signs.
    std::vector<double> dx, dy;
    for (int i = 0; i < 150; ++i) {
        dx.push_back((i % 2 == 0 ? 1.0 : -1.0) * 1.37 * i);
        dy.push_back(0.61 * (i % 17) - 3.0);
    }
    const double special[][2] = {{0.0, 0.0}, {100.0, 0.0}, {0.0, -100.0}, {1e-300, 0.0}, {1e300, 1.0}, {NAN, 2.0}};
    for (const auto& lag : special) {
        dx.push_back(lag[0]);
        dy.push_back(lag[1]);
    }
    const auto check = [&](const VariogramModel& model, const std::string& what) {
        std::vector<double> many(dx.size(), -7.0);
        model.Covariances(dx.data(), dy.data(), dx.size(), many.data());
        for (std::size_t i = 0; i < dx.size(); ++i) {
            const double alone = model.Covariance(dx[i], dy[i]);
            if (std::isnan(alone)) {
                EXPECT_TRUE(std::isnan(many[i])) << what << " at " << i;
            } else {
                EXPECT_EQ(std::memcmp(&alone, &many[i], sizeof alone), 0)
                    << what << " at (" << dx[i] << ", " << dy[i] << "): " << alone << " and " << many[i];
            }
        }
    };
    for (const GstatLine& line : kGstat) check(VariogramModel(0.25, {FromGstat(line)}), line.family);
    Structure tilted = FromGstat(kGstat[0]);
    tilted.azimuth = 30.0;
    tilted.ratio = 0.4;
    Structure second = FromGstat(kGstat[1]);
    second.range = 40.0;
    check(VariogramModel(0.1, {tilted, second}), "nested, anisotropic");
    // One or two isotropic spherical structures take a single pass of
    // their own.
    Structure spherical = FromGstat(kGstat[0]), shorter = spherical;
    shorter.range = 40.0;
    check(VariogramModel(0.0, {spherical}), "spherical, no nugget");
    check(VariogramModel(0.1, {spherical, shorter}), "two spherical");
    check(VariogramModel(0.1, {shorter, spherical, shorter}), "three spherical");
    check(VariogramModel(0.1, {tilted}), "anisotropic spherical");
}

TEST(VariogramModel, AnisotropyIsGstats) {
    // variogramLine(vgm(0.8, "Sph", 300, 0.1, anis = c(30, 0.4)),
    //               dist_vector = c(50, 110, 200, 400), dir = c(sin(az), cos(az), 0))
    struct Direction {
        double azimuth;
        double gamma[4];
    };
    const Direction directions[] = {
        {0, {0.39762590968559874, 0.69976179353428658, 0.90000000000000002, 0.90000000000000002}},
        {30, {0.29814814814814816, 0.52028148148148146, 0.78148148148148144, 0.90000000000000002}},
        {75, {0.4680075545946969, 0.80164188140741843, 0.90000000000000002, 0.90000000000000002}},
        {120, {0.57106481481481486, 0.89189814814814816, 0.90000000000000002, 0.90000000000000002}},
        {300, {0.57106481481481486, 0.89189814814814816, 0.90000000000000002, 0.90000000000000002}},
    };
    Structure s;
    s.family = ModelFamily::kSpherical;
    s.partialSill = 0.8;
    s.range = 300;
    s.azimuth = 30;
    s.ratio = 0.4;
    const VariogramModel model(0.1, {s});
    EXPECT_FALSE(model.IsIsotropic());
    const double lags[] = {50, 110, 200, 400};
    for (const Direction& d : directions) {
        const double radians = d.azimuth * 3.141592653589793 / 180.0;
        for (int i = 0; i < 4; ++i) {
            const double dx = lags[i] * mosaro::Sine(radians);
            const double dy = lags[i] * mosaro::Cosine(radians);
            EXPECT_NEAR(model.Semivariance(dx, dy), d.gamma[i], 1e-12) << d.azimuth << " " << lags[i];
            EXPECT_EQ(model.Semivariance(-dx, -dy), model.Semivariance(dx, dy));
        }
    }
    // Along the major axis the anisotropy changes nothing; a ratio of 1 is
    // the isotropic model.
    s.ratio = 1.0;
    const VariogramModel isotropic(0.1, {s});
    EXPECT_TRUE(isotropic.IsIsotropic());
    EXPECT_NEAR(model.Semivariance(150 * 0.5, 150 * 0.8660254037844386), isotropic.Semivariance(150, 0), 1e-15);
}

TEST(VariogramModel, NestedStructuresAdd) {
    Structure a = FromGstat(kGstat[0]);
    Structure b = FromGstat(kGstat[4]);
    b.partialSill = 0.4;
    b.range = 250;
    const VariogramModel nested(0.05, {a, b});
    const VariogramModel onlyA(0.0, {a});
    const VariogramModel onlyB(0.0, {b});
    for (double h : {3.0, 90.0, 240.0, 1000.0})
        EXPECT_DOUBLE_EQ(nested.Semivariance(h, 0), 0.05 + onlyA.Semivariance(h, 0) + onlyB.Semivariance(h, 0));
    EXPECT_DOUBLE_EQ(nested.TotalSill(), 0.05 + 1.3 + 0.4);
}

TEST(VariogramModel, RefusesParametersOutOfBounds) {
    struct Case {
        double nugget;
        Structure structure;
        const char* message;
    };
    auto make = [](ModelFamily f, double psill, double range, double shape, double azimuth, double ratio) {
        Structure s;
        s.family = f;
        s.partialSill = psill;
        s.range = range;
        s.shape = shape;
        s.azimuth = azimuth;
        s.ratio = ratio;
        return s;
    };
    const double none = std::nan("");
    const Case cases[] = {
        {-0.1, make(ModelFamily::kSpherical, 1, 10, none, 0, 1), "nugget must be a finite number >= 0"},
        {0, make(ModelFamily::kSpherical, -1, 10, none, 0, 1), "Sph: the partial sill must be"},
        {0, make(ModelFamily::kExponential, 1, 0, none, 0, 1), "Exp: the range must be a finite number > 0"},
        {0, make(ModelFamily::kLinear, 1, -5, none, 0, 1), "Lin: the range must be a finite number >= 0"},
        {0, make(ModelFamily::kExponentialClass, 1, 10, 2.5, 0, 1), "Exc: kappa must lie in (0, 2], not 2.5"},
        {0, make(ModelFamily::kMatern, 1, 10, 0.0, 0, 1), "Mat: kappa must lie in (0, 100]"},
        {0, make(ModelFamily::kPower, 1, 0, 2.1, 0, 1), "Pow: exponent must lie in (0, 2]"},
        {0, make(ModelFamily::kPower, 1, 3, 1.0, 0, 1), "Pow takes no range"},
        {0, make(ModelFamily::kSpherical, 1, 10, 1.0, 0, 1), "Sph takes no shape parameter"},
        {0, make(ModelFamily::kSpherical, 1, 10, none, 360, 1), "azimuth must lie in [0, 360)"},
        {0, make(ModelFamily::kSpherical, 1, 10, none, 0, 1.5), "anisotropy ratio must lie in (0, 1], not 1.5"},
        {0, make(ModelFamily::kSpherical, 1, 10, none, 0, 0), "anisotropy ratio must lie in (0, 1], not 0"},
        {0, make(ModelFamily::kNugget, 1, 0, none, 0, 1), "the nugget is the model's own"},
    };
    for (const Case& c : cases) {
        try {
            VariogramModel(c.nugget, {c.structure});
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const mosaro::ModelError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(VariogramModel, FamilyTableNamesEveryFamilyOnce) {
    for (const mosaro::FamilyTraits& traits : mosaro::FamilyTable()) {
        EXPECT_EQ(FindFamily(traits.shortName), &traits);
        std::string lower = traits.shortName;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(FindFamily(lower), &traits) << lower;  // gstat reads "sph" too
        EXPECT_EQ(&mosaro::TraitsOf(traits.family), &traits);
    }
    EXPECT_EQ(FindFamily("Sphx"), nullptr);
    EXPECT_EQ(mosaro::KnownFamilyNames().substr(0, 13), "Nug, Exp, Sph");
}

}  // namespace
