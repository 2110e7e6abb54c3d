// The engine's own pow(x, 3), atan, log and exp: correctly rounded values
// (worked out to 400 bits elsewhere; the last three of each function are
// ones where glibc is a unit off), the C library's special values, and, on
// glibc, agreement with the C library on every float argument of a sample
// once rounded to float, the precision every stored quantity has.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/PortableMath.h"

namespace {

using Function = double (*)(double);

std::uint64_t Bits(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(PortableMath, GivesTheCorrectlyRoundedValueOnEveryPlatform) {
    struct Case {
        const char* name;
        Function function;
        double argument;
        double expected;
    };
    const Case cases[] = {
        {"cube", mosaro::Cube, 0x1.0000000000000p-1, 0x1.0000000000000p-3},
        {"cube", mosaro::Cube, 0x1.999999999999ap-4, 0x1.0624dd2f1a9fdp-10},
        {"cube", mosaro::Cube, 0x1.fffffffffffffp-1, 0x1.ffffffffffffdp-1},
        {"cube", mosaro::Cube, 0x1.4f8b588e368f1p-17, 0x1.203af9ee75617p-50},
        {"cube", mosaro::Cube, 0x1.b451ef3bf4bb2p-55, 0x1.3cddb0a0012eep-163},
        {"cube", mosaro::Cube, -0x1.619d9f3c1b848p-4, -0x1.515a660b612c9p-11},
        {"cube", mosaro::Cube, -0x1.bb6f0b9ec6cd0p+21, -0x1.4c9e54a368c30p+65},
        {"atan", mosaro::ArcTangent, 0x1.0000000000000p+0, 0x1.921fb54442d18p-1},
        {"atan", mosaro::ArcTangent, 0x1.999999999999ap-4, 0x1.983e282e2cc4dp-4},
        {"atan", mosaro::ArcTangent, 0x1.8000000000000p+1, 0x1.3fc176b7a8560p+0},
        {"atan", mosaro::ArcTangent, 0x1.2a05f20000000p+33, 0x1.921fb543d4de0p+0},
        {"atan", mosaro::ArcTangent, 0x1.691e1ebc5cbbcp-3, 0x1.657184ae74487p-3},
        {"atan", mosaro::ArcTangent, 0x1.65cadf3baee08p-1, 0x1.3848a25b00b4fp-1},
        {"atan", mosaro::ArcTangent, -0x1.69f7babb299ccp-3, -0x1.66448d09a4a2bp-3},
        {"atan", mosaro::ArcTangent, -0x1.779172a3bf9e0p-1, -0x1.44088c887708bp-1},
        {"log", mosaro::NaturalLogarithm, 0x1.0000000000000p+1, 0x1.62e42fefa39efp-1},
        {"log", mosaro::NaturalLogarithm, 0x1.4000000000000p+3, 0x1.26bb1bbb55516p+1},
        {"log", mosaro::NaturalLogarithm, 0x1.6666666666666p-1, -0x1.6d3c324e13f50p-2},
        {"log", mosaro::NaturalLogarithm, 0x1.56e1fc2f8f359p-997, -0x1.5963447f87fb5p+9},
        {"log", mosaro::NaturalLogarithm, 0x0.0000000000001p-1022, -0x1.74385446d71c3p+9},
        {"log", mosaro::NaturalLogarithm, 0x1.15975d8f20746p+573, 0x1.8d411a402277bp+8},
        {"log", mosaro::NaturalLogarithm, 0x1.8e081d9085645p-1, -0x1.01d6044e40182p-2},
        {"log", mosaro::NaturalLogarithm, 0x1.386e1630874e7p+663, 0x1.cbc17b0bf78c2p+8},
        {"exp", mosaro::NaturalExponential, 0x1.0000000000000p+0, 0x1.5bf0a8b145769p+1},
        {"exp", mosaro::NaturalExponential, -0x1.0000000000000p+0, 0x1.78b56362cef38p-2},
        {"exp", mosaro::NaturalExponential, 0x1.0000000000000p-1, 0x1.a61298e1e069cp+0},
        {"exp", mosaro::NaturalExponential, 0x1.5e00000000000p+9, 0x1.d945df4f8ec8ep+1009},
        {"exp", mosaro::NaturalExponential, -0x1.7200000000000p+9, 0x0.0000000000055p-1022},
        {"exp", mosaro::NaturalExponential, 0x1.b7cdfd9d7bdbbp-34, 0x1.000000006df38p+0},
        {"exp", mosaro::NaturalExponential, 0x1.ad6915f777387p+6, 0x1.d6305ac42fedfp+154},
        {"exp", mosaro::NaturalExponential, 0x1.2148fbf409b13p+9, 0x1.9ff8d28feea8ap+834},
        {"exp", mosaro::NaturalExponential, 0x1.ba1ccf1870861p+8, 0x1.c8365ebfc4fd9p+637},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Bits(c.function(c.argument)), Bits(c.expected))
            << c.name << "(" << std::hexfloat << c.argument << ") = " << c.function(c.argument);
}

TEST(PortableMath, SpecialArgumentsGiveWhatTheCLibraryGives) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (Function f : {mosaro::Cube, mosaro::ArcTangent, mosaro::NaturalLogarithm, mosaro::NaturalExponential})
        EXPECT_TRUE(std::isnan(f(nan)));
    EXPECT_EQ(mosaro::Cube(inf), inf);
    EXPECT_EQ(mosaro::Cube(-inf), -inf);
    EXPECT_EQ(mosaro::Cube(1e200), inf);
    EXPECT_TRUE(std::signbit(mosaro::Cube(-0.0)));
    EXPECT_EQ(mosaro::ArcTangent(inf), 0x1.921fb54442d18p+0);
    EXPECT_EQ(mosaro::ArcTangent(-inf), -0x1.921fb54442d18p+0);
    EXPECT_TRUE(std::signbit(mosaro::ArcTangent(-0.0)));
    EXPECT_EQ(mosaro::NaturalLogarithm(0.0), -inf);
    EXPECT_EQ(mosaro::NaturalLogarithm(1.0), 0.0);
    EXPECT_EQ(mosaro::NaturalLogarithm(inf), inf);
    EXPECT_TRUE(std::isnan(mosaro::NaturalLogarithm(-1.0)));
    EXPECT_EQ(mosaro::NaturalExponential(0.0), 1.0);
    EXPECT_EQ(mosaro::NaturalExponential(710.0), inf);
    EXPECT_EQ(mosaro::NaturalExponential(-inf), 0.0);
    EXPECT_EQ(mosaro::NaturalExponential(-746.0), 0.0);
    EXPECT_EQ(mosaro::NaturalExponential(0x1.62e42fefa39efp+9), 0x1.fffffffffff2ap+1023);  // largest finite
}

// Many logarithms at once have each the bits of one alone, whatever lane a
// value takes: every binade (each branch of the reduction, the nodes of the
// table), subnormals and the special values, which send their group of four
// one by one, and counts that leave a short last group.
TEST(PortableMath, LogarithmsInOneCallHaveTheBitsOfEachAlone) {
    std::vector<double> x;
    std::uint64_t state = 12345;
    for (int k = 0; k < 20000; ++k) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const std::uint64_t bits = state >> 1;  // positive, any exponent
        double v;
        std::memcpy(&v, &bits, sizeof v);
        x.push_back(v);
        x.push_back(0x1p-54 + static_cast<double>(state >> 11) * 0x1p-53 * 0.075);  // the normal tails' range
    }
    for (double v = 0.5; v < 2.0; v += 1.0 / 256.0) x.push_back(v);
    const double specials[] = {0.0,
                               -0.0,
                               -1.0,
                               0x1p-1074,
                               0x1.8p-1030,
                               std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::max(),
                               1.0};
    for (const double v : specials) x.insert(x.begin() + 4321, v);
    for (const std::size_t count : {x.size(), std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}}) {
        std::vector<double> out(count);
        mosaro::NaturalLogarithms(x.data() + 4320, out.data(), count);
        for (std::size_t i = 0; i < count; ++i)
            ASSERT_EQ(Bits(out[i]), Bits(mosaro::NaturalLogarithm(x[4320 + i]))) << x[4320 + i];
    }
}

#if defined(__GLIBC__)
// Every 4096th float (a million arguments over all signs and magnitudes):
// rounded to float, the engine's values are glibc's, so the switch changed
// no stored quantity; as doubles they are never more than a unit apart.
TEST(PortableMath, AgreesWithGlibcOnASampleOfAllFloats) {
    struct Pair {
        const char* name;
        Function ours;
        Function glibc;
    };
    const Pair pairs[] = {
        {"cube", mosaro::Cube, [](double x) { return std::pow(x, 3.0); }},
        {"atan", mosaro::ArcTangent, [](double x) { return std::atan(x); }},
        {"log", mosaro::NaturalLogarithm, [](double x) { return std::log(x); }},
        {"exp", mosaro::NaturalExponential, [](double x) { return std::exp(x); }},
    };
    for (const Pair& p : pairs) {
        int farApart = 0;
        int floatsDiffer = 0;
        for (std::uint64_t bits = 0; bits < (std::uint64_t{1} << 32); bits += 4096) {
            const std::uint32_t floatBits = static_cast<std::uint32_t>(bits);
            float x;
            std::memcpy(&x, &floatBits, sizeof x);
            const double ours = p.ours(static_cast<double>(x));
            const double glibc = p.glibc(static_cast<double>(x));
            if (std::isnan(ours) && std::isnan(glibc)) continue;
            const std::int64_t units = static_cast<std::int64_t>(Bits(ours) - Bits(glibc));
            if (units > 1 || units < -1) ++farApart;
            if (static_cast<float>(ours) != static_cast<float>(glibc)) ++floatsDiffer;
        }
        EXPECT_EQ(farApart, 0) << p.name;
        EXPECT_EQ(floatsDiffer, 0) << p.name;
    }
}
#endif

}  // namespace
