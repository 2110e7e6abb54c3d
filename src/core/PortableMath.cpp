#include "PortableMath.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace mosaro {
namespace {

// An unevaluated sum hi + lo with |lo| <= ulp(hi) / 2: about 106 bits.
struct DD {
    double hi;
    double lo;
};

// a + b exactly (Knuth).
inline DD TwoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly when |a| >= |b| (Dekker).
inline DD FastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly (Dekker, with Veltkamp's split into 26-bit halves): no fused
// multiply-add, which not every target has. |a|, |b| below 2^996.
inline DD TwoProduct(double a, double b) {
    constexpr double kSplitter = 134217729.0;  // 2^27 + 1
    const double ta = kSplitter * a;
    const double aHi = ta - (ta - a);
    const double aLo = a - aHi;
    const double tb = kSplitter * b;
    const double bHi = tb - (tb - b);
    const double bLo = b - bHi;
    const double p = a * b;
    return {p, ((aHi * bHi - p) + aHi * bLo + aLo * bHi) + aLo * bLo};
}

inline DD Negated(DD a) { return {-a.hi, -a.lo}; }

inline DD Add(DD a, DD b) {
    DD s = TwoSum(a.hi, b.hi);
    const DD t = TwoSum(a.lo, b.lo);
    s = FastTwoSum(s.hi, s.lo + t.hi);
    return FastTwoSum(s.hi, s.lo + t.lo);
}

inline DD Multiply(DD a, DD b) {
    const DD p = TwoProduct(a.hi, b.hi);
    return FastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

inline DD Divide(DD a, DD b) {
    const double q1 = a.hi / b.hi;
    DD r = Add(a, Negated(Multiply(b, {q1, 0.0})));
    const double q2 = r.hi / b.hi;
    r = Add(r, Negated(Multiply(b, {q2, 0.0})));
    const double q3 = r.hi / b.hi;
    return Add(FastTwoSum(q1, q2), {q3, 0.0});
}

// value * 2^exponent for |exponent| <= 2100, rounded once: the scale is
// applied in two exact halves, so that neither factor over- or underflows
// on its own (only the final product may, as the exact value does).
double Scaled(double value, int exponent) {
    auto power = [](int e) {
        const std::uint64_t bits = static_cast<std::uint64_t>(e + 1023) << 52;
        double p;
        std::memcpy(&p, &bits, sizeof p);
        return p;
    };
    const int first = exponent / 2;
    return value * power(first) * power(exponent - first);
}

// Constants to three or two doubles, and the tables of the series: each
// entry the value rounded to a double and the rest rounded to a double.
constexpr DD kLn2 = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};
constexpr double kLn2Tail = 0x1.7b57a079a1934p-111;
constexpr DD kHalfPi = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};

// atan(i / 32), i = 0..32.
constexpr DD kAtanOfNode[] = {
    {0x0.0p+0, 0x0.0p+0},
    {0x1.ffd55bba97625p-6, -0x1.5ec431444912cp-60},
    {0x1.ff55bb72cfdeap-5, -0x1.c934d86d23f1dp-60},
    {0x1.7ee182602f10fp-4, -0x1.cfb654c0c3d98p-58},
    {0x1.fd5ba9aac2f6ep-4, -0x1.cd37686760c17p-59},
    {0x1.3d6eee8c6626cp-3, 0x1.61a3b0ce9281bp-57},
    {0x1.7b97b4bce5b02p-3, 0x1.347b0b4f881cap-58},
    {0x1.b90d7529260a2p-3, 0x1.17b10d2e0e5abp-61},
    {0x1.f5b75f92c80ddp-3, 0x1.8ab6e3cf7afbdp-57},
    {0x1.18bf5a30bf178p-2, 0x1.30ca4748b1bf9p-57},
    {0x1.362773707ebccp-2, -0x1.963a544b672d8p-57},
    {0x1.530ad9951cd4ap-2, -0x1.2566480884082p-57},
    {0x1.6f61941e4def1p-2, -0x1.c63aae6f6e918p-56},
    {0x1.8b24d394a1b25p-2, 0x1.b6d0ba3748fa8p-56},
    {0x1.a64eec3cc23fdp-2, -0x1.24dec1b50b7ffp-56},
    {0x1.c0db4c94ec9f0p-2, -0x1.cc1ce70934c34p-56},
    {0x1.dac670561bb4fp-2, 0x1.a2b7f222f65e2p-56},
    {0x1.f40dd0b541418p-2, -0x1.a3992dc382a23p-57},
    {0x1.0657e94db30d0p-1, -0x1.d5b495f6349e6p-56},
    {0x1.1255d9bfbd2a9p-1, -0x1.2bdaee1c0ee35p-58},
    {0x1.1e00babdefeb4p-1, -0x1.928df287a668fp-58},
    {0x1.2958e59308e31p-1, -0x1.09e73b0c6c087p-56},
    {0x1.345f01cce37bbp-1, 0x1.1021137c71102p-55},
    {0x1.3f13fb89e96f4p-1, 0x1.ecf8b492644f0p-56},
    {0x1.4978fa3269ee1p-1, 0x1.2419a87f2a458p-56},
    {0x1.538f57b89061fp-1, -0x1.1bb74abda520cp-55},
    {0x1.5d58987169b18p-1, 0x1.0028e4bc5e7cap-57},
    {0x1.66d663923e087p-1, -0x1.6ea6febe8bbbap-56},
    {0x1.700a7c5784634p-1, -0x1.8c34d25aadef6p-56},
    {0x1.78f6bbd5d315ep-1, 0x1.406a089803740p-55},
    {0x1.819d0b7158a4dp-1, -0x1.bf76229d3b917p-56},
    {0x1.89ff5ff57f1f8p-1, -0x1.55b9a5e177a1bp-55},
    {0x1.921fb54442d18p-1, 0x1.1a62633145c07p-55},
};
constexpr DD kInverseFactorial[] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.0000000000000p-1, 0x0.0p+0},
    {0x1.5555555555555p-3, 0x1.5555555555555p-57},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {0x1.6c16c16c16c17p-10, -0x1.f49f49f49f49fp-65},
    {0x1.a01a01a01a01ap-13, 0x1.a01a01a01a01ap-73},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},
    {0x1.27e4fb7789f5cp-22, 0x1.cbbc05b4fa99ap-76},
    {0x1.ae64567f544e4p-26, -0x1.c062e06d1f209p-80},
    {0x1.1eed8eff8d898p-29, -0x1.2aec959e14c06p-83},
    {0x1.6124613a86d09p-33, 0x1.f28e0cc748ebep-87},
    {0x1.93974a8c07c9dp-37, 0x1.05d6f8a2efd1fp-92},
    {0x1.ae7f3e733b81fp-41, 0x1.1d8656b0ee8cbp-97},
    {0x1.ae7f3e733b81fp-45, 0x1.1d8656b0ee8cbp-101},
    {0x1.952c77030ad4ap-49, 0x1.ac981465ddc6cp-103},
    {0x1.6827863b97d97p-53, 0x1.eec01221a8b0bp-107},
    {0x1.2f49b46814157p-57, 0x1.2650f61dbdcb4p-112},
    {0x1.e542ba4020225p-62, 0x1.ea72b4afe3c2fp-120},
    {0x1.71b8ef6dcf572p-66, -0x1.d043ae40c4647p-120},
    {0x1.0ce396db7f853p-70, -0x1.aebcdbd20331cp-124},
    {0x1.761b41316381ap-75, -0x1.3423c7d91404fp-130},
    {0x1.f2cf01972f578p-80, -0x1.9ada5fcc1ab14p-135},
};
constexpr DD kInverseOdd[] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.5555555555555p-2, 0x1.5555555555555p-56},
    {0x1.999999999999ap-3, -0x1.999999999999ap-57},
    {0x1.2492492492492p-3, 0x1.2492492492492p-57},
    {0x1.c71c71c71c71cp-4, 0x1.c71c71c71c71cp-58},
    {0x1.745d1745d1746p-4, -0x1.745d1745d1746p-59},
    {0x1.3b13b13b13b14p-4, -0x1.3b13b13b13b14p-58},
    {0x1.1111111111111p-4, 0x1.1111111111111p-60},
    {0x1.e1e1e1e1e1e1ep-5, 0x1.e1e1e1e1e1e1ep-61},
    {0x1.af286bca1af28p-5, 0x1.af286bca1af28p-59},
    {0x1.8618618618618p-5, 0x1.8618618618618p-59},
    {0x1.642c8590b2164p-5, 0x1.642c8590b2164p-60},
    {0x1.47ae147ae147bp-5, -0x1.eb851eb851eb8p-61},
    {0x1.2f684bda12f68p-5, 0x1.2f684bda12f68p-59},
    {0x1.1a7b9611a7b96p-5, 0x1.1a7b9611a7b96p-61},
    {0x1.0842108421084p-5, 0x1.0842108421084p-60},
    {0x1.f07c1f07c1f08p-6, -0x1.f07c1f07c1f08p-61},
    {0x1.d41d41d41d41dp-6, 0x1.0750750750750p-60},
    {0x1.bacf914c1bad0p-6, -0x1.bacf914c1bad0p-60},
    {0x1.a41a41a41a41ap-6, 0x1.0690690690690p-60},
    {0x1.8f9c18f9c18fap-6, -0x1.f3831f3831f38p-61},
    {0x1.7d05f417d05f4p-6, 0x1.7d05f417d05f4p-62},
};

// Sum of table[k] * z^k for k < count, by Horner's rule.
DD Series(const DD* table, int count, DD z) {
    DD sum = table[count - 1];
    for (int k = count - 2; k >= 0; --k) sum = Add(Multiply(sum, z), table[k]);
    return sum;
}

}  // namespace

double Cube(double x) {
    // Outside this range a product's rounding error would leave the normal
    // doubles and be lost, or the cube overflows; x * x * x is as good there.
    const double magnitude = std::fabs(x);
    if (!(magnitude >= 0x1p-300 && magnitude <= 0x1p340)) return x * x * x;
    const DD square = TwoProduct(x, x);
    return Add(TwoProduct(square.hi, x), TwoProduct(square.lo, x)).hi;
}

double ArcTangent(double x) {
    if (std::isnan(x) || x == 0.0) return x;  // keeps the sign of a zero
    const double magnitude = std::fabs(x);
    DD angle;
    if (magnitude > 0x1p100) {
        // pi/2 - 1/x and beyond: within far less than half a unit of pi/2.
        angle = kHalfPi;
    } else {
        // atan x = pi/2 - atan(1/x) beyond 1, then atan t = atan c + atan u
        // with c the nearest multiple of 1/32 and u = (t - c) / (1 + t c),
        // |u| <= 1/64, whose odd series converges in 11 terms.
        const bool inverted = magnitude > 1.0;
        const DD t = inverted ? Divide({1.0, 0.0}, {magnitude, 0.0}) : DD{magnitude, 0.0};
        const int node = static_cast<int>(t.hi * 32.0 + 0.5);
        const double c = node / 32.0;
        const DD u = Divide(Add(t, {-c, 0.0}), Add({1.0, 0.0}, Multiply(t, {c, 0.0})));
        DD alternating[11];
        for (int k = 0; k < 11; ++k)
            alternating[k] = k % 2 == 0 ? kInverseOdd[k] : Negated(kInverseOdd[k]);
        angle = Add(kAtanOfNode[node], Multiply(u, Series(alternating, 11, Multiply(u, u))));
        if (inverted) angle = Add(kHalfPi, Negated(angle));
    }
    return x < 0.0 ? -angle.hi : angle.hi;
}

double NaturalLogarithm(double x) {
    if (std::isnan(x)) return x;
    if (x < 0.0) return std::numeric_limits<double>::quiet_NaN();
    if (x == 0.0) return -std::numeric_limits<double>::infinity();
    if (std::isinf(x)) return x;
    // x = m 2^e with m in [sqrt(1/2), sqrt(2)); subnormals are first made
    // normal.
    int e = 0;
    if (x < 0x1p-1022) {
        x *= 0x1p54;
        e = -54;
    }
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    e += static_cast<int>(bits >> 52) - 1023;
    bits = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1023} << 52);
    double m;
    std::memcpy(&m, &bits, sizeof m);
    if (m > 0x1.6a09e667f3bcdp+0) {
        m *= 0.5;
        ++e;
    }
    // log m = 2 atanh s = 2 (s + s^3/3 + s^5/5 + ...), s = (m - 1) / (m + 1),
    // |s| <= 0.172: 22 terms. m - 1 is exact (Sterbenz), m + 1 held exactly.
    const DD s = Divide({m - 1.0, 0.0}, TwoSum(m, 1.0));
    const DD series = Multiply(s, Series(kInverseOdd, 22, Multiply(s, s)));
    const DD logM = {2.0 * series.hi, 2.0 * series.lo};
    const double k = static_cast<double>(e);
    const DD eLn2 = Add(Add(TwoProduct(k, kLn2.hi), TwoProduct(k, kLn2.lo)), {k * kLn2Tail, 0.0});
    return Add(eLn2, logM).hi;
}

double NaturalExponential(double x) {
    if (std::isnan(x)) return x;
    if (x > 709.8) return std::numeric_limits<double>::infinity();
    if (x < -745.2) return 0.0;
    // x = k ln 2 + r, |r| <= ln(2)/2 (ln 2 to three doubles, so r keeps its
    // bits even where x lies close to a multiple of ln 2); e^r by its Taylor
    // series to degree 24, whose next term is below 2^-115.
    const double k = std::floor(x * 0x1.71547652b82fep+0 + 0.5);
    DD r = Add({x, 0.0}, Negated(TwoProduct(k, kLn2.hi)));
    r = Add(r, Negated(TwoProduct(k, kLn2.lo)));
    r = Add(r, {-k * kLn2Tail, 0.0});
    const DD power = Series(kInverseFactorial, 25, r);
    return Scaled(power.hi, static_cast<int>(k));
}

}  // namespace mosaro
