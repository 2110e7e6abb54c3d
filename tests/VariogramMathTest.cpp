// The engine's sine, cosine, arc sine, e^x - 1, power, gamma and Bessel K
// functions of the variogram models: values worked out to 300 bits
// elsewhere, within a unit in the last place (two for the arc sine, a few
// for Bessel K, whose recurrence adds its roundings); identities that hold
// exactly; the C library's special values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/PortableMath.h"

namespace {

using Function = double (*)(double);

// Distance in units in the last place between two finite doubles of one sign.
std::int64_t UnitsApart(double a, double b) {
    std::int64_t ia;
    std::int64_t ib;
    std::memcpy(&ia, &a, sizeof ia);
    std::memcpy(&ib, &b, sizeof ib);
    if (ia < 0) ia = std::numeric_limits<std::int64_t>::min() - ia;
    if (ib < 0) ib = std::numeric_limits<std::int64_t>::min() - ib;
    return ia > ib ? ia - ib : ib - ia;
}

TEST(VariogramMath, OneArgumentFunctionsAreWithinAUnit) {
    struct Case {
        const char* name;
        Function function;
        double argument;
        double exact;  // rounded to nearest
    };
    const Case cases[] = {
        {"Sine", mosaro::Sine, 0x1.0000000000000p-1, 0x1.eaee8744b05f0p-2},
        {"Cosine", mosaro::Cosine, 0x1.0000000000000p-1, 0x1.c1528065b7d50p-1},
        {"Sine", mosaro::Sine, 0x1.0000000000000p+0, 0x1.aed548f090ceep-1},
        {"Cosine", mosaro::Cosine, 0x1.0000000000000p+0, 0x1.14a280fb5068cp-1},
        {"Sine", mosaro::Sine, 0x1.8000000000000p+1, 0x1.210386db6d55bp-3},
        {"Cosine", mosaro::Cosine, 0x1.8000000000000p+1, -0x1.fae04be85e5d2p-1},
        {"Sine", mosaro::Sine, -0x1.4000000000000p+1, -0x1.326af0dcfcab1p-1},
        {"Cosine", mosaro::Cosine, -0x1.4000000000000p+1, -0x1.9a2f7ef858b7dp-1},
        {"Sine", mosaro::Sine, 0x1.9000000000000p+6, -0x1.03425b78c4db8p-1},
        {"Cosine", mosaro::Cosine, 0x1.9000000000000p+6, 0x1.b981dbf665fdfp-1},
        {"Sine", mosaro::Sine, 0x1.0c796af7cfaa8p+10, -0x1.01be2748314b1p-1},
        {"Cosine", mosaro::Cosine, 0x1.0c796af7cfaa8p+10, 0x1.ba64ec56133b7p-1},
        {"Sine", mosaro::Sine, 0x1.e848000000000p+19, -0x1.6664b2568d867p-2},
        {"Cosine", mosaro::Cosine, 0x1.e848000000000p+19, 0x1.df9df9906d32cp-1},
        // The double nearest pi/2: its cosine is the remainder, not zero.
        {"Sine", mosaro::Sine, 0x1.921fb54442d18p+0, 0x1.0000000000000p+0},
        {"Cosine", mosaro::Cosine, 0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54},
        {"ExponentialMinusOne", mosaro::ExponentialMinusOne, 0x1.b7cdfd9d7bdbbp-34, 0x1.b7cdfd9dda4e3p-34},
        {"ExponentialMinusOne", mosaro::ExponentialMinusOne, 0x1.4f8b588e368f1p-17, 0x1.4f8bc681cdfb6p-17},
        {"ExponentialMinusOne", mosaro::ExponentialMinusOne, -0x1.3333333333333p-2, -0x1.0966f2c7907f6p-2},
        {"ExponentialMinusOne", mosaro::ExponentialMinusOne, 0x1.6666666666666p-1, 0x1.03854c24d130dp+0},
        {"ExponentialMinusOne", mosaro::ExponentialMinusOne, 0x1.4000000000000p+2, 0x1.26d389970338fp+7},
        {"ExponentialMinusOne", mosaro::ExponentialMinusOne, -0x1.4000000000000p+4, -0x1.ffffffee4b79bp-1},
        {"Gamma", mosaro::Gamma, 0x1.999999999999ap-4, 0x1.306ea7b280d87p+3},
        {"Gamma", mosaro::Gamma, 0x1.0000000000000p-1, 0x1.c5bf891b4ef6bp+0},
        {"Gamma", mosaro::Gamma, 0x1.8000000000000p+0, 0x1.c5bf891b4ef6bp-1},
        {"Gamma", mosaro::Gamma, 0x1.d000000000000p+2, 0x1.20d86288356b5p+10},
        {"Gamma", mosaro::Gamma, 0x1.0a66666666666p+5, 0x1.2069372b95fbdp+119},
        {"Gamma", mosaro::Gamma, 0x1.5500000000000p+7, 0x1.9589f849167a8p+1015},
    };
    for (const Case& c : cases)
        EXPECT_LE(UnitsApart(c.function(c.argument), c.exact), 1)
            << c.name << "(" << std::hexfloat << c.argument << ") = " << c.function(c.argument);

    const double arcSines[][2] = {
        {0x1.0000000000000p-2, 0x1.02be9ce0b87cdp-2},
        {-0x1.6666666666666p-1, -0x1.8d00e692afd95p-1},
        {0x1.ffffde7210be9p-1, 0x1.91c306b2c13adp+0},  // near 1, where 1 - x^2 cancels
    };
    for (const auto& c : arcSines) EXPECT_LE(UnitsApart(mosaro::ArcSine(c[0]), c[1]), 2) << c[0];
}

TEST(VariogramMath, PowerIsWithinAUnit) {
    const double cases[][3] = {
        {0x1.4000000000000p+1, 0x1.b333333333333p+0, 0x1.2fdcf53f3e6f3p+2},
        {0x1.3333333333333p-2, -0x1.2000000000000p+1, 0x1.e06d3da2495e8p+3},
        {0x1.0624dd2f1a9fcp-10, 0x1.0000000000000p-1, 0x1.030dc4ea03a72p-5},
        {0x1.34a0000000000p+10, 0x1.a666666666666p+1, 0x1.da6dae8b99e12p+33},
        {0x1.c000000000000p+2, -0x1.999999999999ap-4, 0x1.a576b3ddd09b4p-1},
    };
    for (const auto& c : cases) EXPECT_LE(UnitsApart(mosaro::Power(c[0], c[1]), c[2]), 1) << c[0] << "^" << c[1];
}

TEST(VariogramMath, BesselKIsWithinAFewUnits) {
    // nu, x, K_nu(x), (x/2)^nu K_nu(x): both sides of the switch from
    // Temme's series to Steed's fraction, orders near 0, 1/2 and 25.
    const double cases[][4] = {
        {0x0.0p+0, 0x1.47ae147ae147bp-7, 0x1.2e28dfa81d126p+2, 0x1.2e28dfa81d126p+2},
        {0x1.3333333333333p-2, 0x1.0000000000000p-1, 0x1.f3f46a9b3853fp-1, 0x1.49d8dd2e0dda6p-1},
        {0x1.0000000000000p-1, 0x1.e666666666666p+0, 0x1.1684a88b1bd4bp-3, 0x1.0f77490eb680fp-3},
        {0x1.0000000000000p+0, 0x1.0cccccccccccdp+1, 0x1.f6c4f0f3cdebbp-4, 0x1.07f431b332823p-3},
        {0x1.8000000000000p+0, 0x1.4000000000000p+2, 0x1.2901451ed74f1p-8, 0x1.2580f8e47b9f5p-6},
        {0x1.599999999999ap+1, 0x1.ccccccccccccdp-1, 0x1.7d7911bcd1483p+2, 0x1.615e440843722p-1},
        {0x1.4000000000000p+3, 0x1.8000000000000p+1, 0x1.3373da7f5b89bp+11, 0x1.15050dc9aa512p+17},
        {0x1.999999999999ap-5, 0x1.4000000000000p+5, 0x1.ef713f0c1b978p-61, 0x1.1fbfe23f55c00p-60},
        {0x1.9000000000000p+4, 0x1.8000000000000p+3, 0x1.3e57c57eec5cfp+11, 0x1.eaa204425c123p+75},
        {0x1.199999999999ap+2, 0x1.0624dd2f1a9fcp-10, 0x1.8194298dd21a9p+50, 0x1.445af0b4d2e58p+2},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(mosaro::BesselK(c[0], c[1]) / c[2], 1.0, 4e-15) << "K_" << c[0] << "(" << c[1] << ")";
        EXPECT_NEAR(mosaro::ScaledBesselK(c[0], c[1]) / c[3], 1.0, 4e-15) << "scaled K_" << c[0] << "(" << c[1] << ")";
        EXPECT_EQ(mosaro::BesselK(-c[0], c[1]), mosaro::BesselK(c[0], c[1]));
    }
}

TEST(VariogramMath, IdentitiesHold) {
    // K_(1/2)(x) = sqrt(pi / 2x) e^-x; K_(3/2) = K_(1/2) (1 + 1/x).
    for (double x : {0.01, 0.7, 1.0, 1.3, 4.0, 60.0}) {
        const double half = std::sqrt(3.14159265358979323846 / (2.0 * x)) * std::exp(-x);
        EXPECT_NEAR(mosaro::BesselK(0.5, x) / half, 1.0, 2e-15) << x;
        EXPECT_NEAR(mosaro::BesselK(1.5, x) / (half * (1.0 + 1.0 / x)), 1.0, 3e-15) << x;
    }
    // (x/2)^nu K_nu(x) tends to Gamma(nu)/2 as x -> 0, the first correction
    // of the order of (x/2)^(2 nu) (with a logarithm at nu = 1).
    for (double nu : {1.0, 2.5, 7.0})
        EXPECT_NEAR(mosaro::ScaledBesselK(nu, 1e-9) / (0.5 * mosaro::Gamma(nu)), 1.0, 1e-15);
    EXPECT_NEAR(mosaro::ScaledBesselK(0.2, 1e-30) / (0.5 * mosaro::Gamma(0.2)), 1.0, 1e-11);
    // Gamma(n) = (n - 1)!, exact while the factorial is.
    double factorial = 1.0;
    for (int n = 1; n <= 20; ++n) {
        EXPECT_EQ(mosaro::Gamma(n), factorial) << n;
        factorial *= n;
    }
    for (int e = -20; e <= 20; ++e) EXPECT_EQ(mosaro::Power(2.0, e), std::ldexp(1.0, e)) << e;
    EXPECT_EQ(mosaro::Power(-3.0, 3.0), -27.0);
    // sin^2 + cos^2 = 1 within the roundings, over many turns.
    for (double x = -1000.0; x < 1000.0; x += 0.7071) {
        const double s = mosaro::Sine(x);
        const double c = mosaro::Cosine(x);
        EXPECT_NEAR(s * s + c * c, 1.0, 4e-16) << x;
        EXPECT_EQ(mosaro::Sine(-x), -s);
        EXPECT_EQ(mosaro::Cosine(-x), c);
    }
}

TEST(VariogramMath, SpecialArgumentsGiveWhatTheCLibraryGives) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(mosaro::Sine(inf)));
    EXPECT_TRUE(std::isnan(mosaro::Cosine(nan)));
    EXPECT_TRUE(std::signbit(mosaro::Sine(-0.0)));
    EXPECT_EQ(mosaro::Cosine(0.0), 1.0);
    EXPECT_TRUE(std::isnan(mosaro::ArcSine(1.5)));
    EXPECT_EQ(mosaro::ArcSine(1.0), 0x1.921fb54442d18p+0);
    EXPECT_EQ(mosaro::ExponentialMinusOne(-inf), -1.0);
    EXPECT_EQ(mosaro::ExponentialMinusOne(800.0), inf);
    EXPECT_EQ(mosaro::Power(0.0, 2.0), 0.0);
    EXPECT_EQ(mosaro::Power(0.0, -1.0), inf);
    EXPECT_EQ(mosaro::Power(nan, 0.0), 1.0);
    EXPECT_EQ(mosaro::Power(1.0, nan), 1.0);
    EXPECT_TRUE(std::isnan(mosaro::Power(-2.0, 0.5)));
    EXPECT_EQ(mosaro::Power(10.0, 400.0), inf);
    EXPECT_EQ(mosaro::Power(10.0, -400.0), 0.0);
    EXPECT_TRUE(std::isnan(mosaro::Gamma(0.0)));
    EXPECT_TRUE(std::isnan(mosaro::Gamma(-1.5)));
    EXPECT_EQ(mosaro::Gamma(172.0), inf);
    EXPECT_EQ(mosaro::BesselK(1.0, 0.0), inf);
    EXPECT_TRUE(std::isnan(mosaro::BesselK(1.0, -1.0)));
    EXPECT_EQ(mosaro::BesselK(0.3, 800.0), 0.0);
    EXPECT_EQ(mosaro::BesselK(60.0, 1e-6), inf);
    EXPECT_EQ(mosaro::ScaledBesselK(2.0, 0.0), 0.5);  // Gamma(2) / 2
}

}  // namespace
