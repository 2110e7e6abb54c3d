#include "platform/Random.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "platform/PortableMath.h"

namespace mosaro {
namespace {

std::uint64_t SplitMix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

std::uint64_t Rotate(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// exp(-z^2) for z = k/16 up to where erfc vanishes (27.3), each as
// NaturalExponential gives it (z^2 is exact): read from a table made once.
// A simulation's back-transform asks for erfc at every node beyond the
// data's extreme scores (6 % of them for meuse's cadmium, whose many
// equal low values share one score), which took two exponentials of some
// 900 instructions each.
double GaussianAtSixteenths(int k) {
    static const std::array<double, 438> table = [] {
        std::array<double, 438> t{};
        for (std::size_t i = 0; i < t.size(); ++i) {
            const double z = static_cast<double>(i) / 16.0;
            t[i] = NaturalExponential(-z * z);
        }
        return t;
    }();
    return table[static_cast<std::size_t>(k)];
}

// erfc(x) for x >= 0 by W. J. Cody's rational approximations (1969), the
// exponential factor split as exp(-z^2) exp(-(x - z)(x + z)) with z = x
// rounded to 1/16, so that its argument is exact.
double ComplementaryError(double x) {
    if (x < 0.5) {
        static const double a[] = {3.16112374387056560e00, 1.13864154151050156e02, 3.77485237685302021e02,
                                   3.20937758913846947e03, 1.85777706184603153e-1};
        static const double b[] = {2.36012909523441209e01, 2.44024637934444173e02, 1.28261652607737228e03,
                                   2.84423683343917062e03};
        const double y = x * x;
        double num = a[4] * y, den = y;
        for (int i = 0; i < 3; ++i) {
            num = (num + a[i]) * y;
            den = (den + b[i]) * y;
        }
        return 1.0 - x * (num + a[3]) / (den + b[3]);
    }
    double r;
    if (x <= 4.0) {
        static const double c[] = {5.64188496988670089e-1, 8.88314979438837594e00, 6.61191906371416295e01,
                                   2.98635138197400131e02, 8.81952221241769090e02, 1.71204761263407058e03,
                                   2.05107837782607147e03, 1.23033935479799725e03, 2.15311535474403846e-8};
        static const double d[] = {1.57449261107098347e01, 1.17693950891312499e02, 5.37181101862009858e02,
                                   1.62138957456669019e03, 3.29079923573345963e03, 4.36261909014324716e03,
                                   3.43936767414372164e03, 1.23033935480374942e03};
        double num = c[8] * x, den = x;
        for (int i = 0; i < 7; ++i) {
            num = (num + c[i]) * x;
            den = (den + d[i]) * x;
        }
        r = (num + c[7]) / (den + d[7]);
    } else {
        if (x > 27.3) return 0.0;
        static const double p[] = {3.05326634961232344e-1, 3.60344899949804439e-1, 1.25781726111229246e-1,
                                   1.60837851487422766e-2, 6.58749161529837803e-4, 1.63153871373020978e-2};
        static const double q[] = {2.56852019228982242e00, 1.87295284992346725e00, 5.27905102951428412e-1,
                                   6.05183413124413191e-2, 2.33520497626869185e-3};
        const double y = 1.0 / (x * x);
        double num = p[5] * y, den = y;
        for (int i = 0; i < 4; ++i) {
            num = (num + p[i]) * y;
            den = (den + q[i]) * y;
        }
        r = (0.56418958354775628695 - y * (num + p[4]) / (den + q[4])) / x;
    }
    const double sixteenths = std::trunc(x * 16.0), z = sixteenths / 16.0;
    return GaussianAtSixteenths(static_cast<int>(sixteenths)) * NaturalExponential(-(x - z) * (x + z)) * r;
}

}  // namespace

RandomStream::RandomStream(std::uint64_t seed, std::uint64_t stream) {
    // Seed and stream mixed apart, so that neighbouring seeds and streams
    // start far from each other.
    std::uint64_t state = seed ^ SplitMix64(stream);
    for (std::uint64_t& word : s_) word = SplitMix64(state);
}

std::uint64_t RandomStream::Next() {
    const std::uint64_t result = Rotate(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotate(s_[3], 45);
    return result;
}

double RandomStream::Uniform() { return (static_cast<double>(Next() >> 11) + 0.5) * 0x1.0p-53; }

double RandomStream::Normal() { return InverseNormal(Uniform()); }

std::uint64_t RandomStream::Below(std::uint64_t bound) {
    // The high word of the 128-bit product, from 32-bit halves: 32-bit
    // targets have no 128-bit integer.
    const std::uint64_t a = Next(), aLow = a & 0xFFFFFFFFu, aHigh = a >> 32;
    const std::uint64_t bLow = bound & 0xFFFFFFFFu, bHigh = bound >> 32;
    const std::uint64_t low = aLow * bLow, cross1 = aHigh * bLow, cross2 = aLow * bHigh;
    const std::uint64_t middle = (low >> 32) + (cross1 & 0xFFFFFFFFu) + (cross2 & 0xFFFFFFFFu);
    return aHigh * bHigh + (cross1 >> 32) + (cross2 >> 32) + (middle >> 32);
}

double NormalDistribution(double x) {
    if (std::isnan(x)) return x;
    const double t = std::fabs(x) / 1.41421356237309504880;
    const double tail = 0.5 * ComplementaryError(t);
    return x < 0.0 ? tail : 1.0 - tail;
}

namespace {

// Wichura's algorithm AS 241 (PPND16), about 1e-16 relative, in two parts:
// the central region of q = p - 0.5, and the tails, from the logarithm of
// the tail's probability min(p, 1 - p).
bool InCentralRegion(double q) { return std::fabs(q) <= 0.425; }
double TailProbability(double p, double q) { return q < 0.0 ? p : 1.0 - p; }

// The central region.
double CentralInverseNormal(double q) {
    const double r = 0.180625 - q * q;
    return q *
           (((((((2509.0809287301226727 * r + 33430.575583588128105) * r + 67265.770927008700853) * r +
                45921.953931549871457) *
                   r +
               13731.693765509461125) *
                  r +
              1971.5909503065514427) *
                 r +
             133.14166789178437745) *
                r +
            3.387132872796366608) /
           (((((((5226.495278852545925 * r + 28729.085735721942674) * r + 39307.89580009271061) * r +
                21213.794301586595867) *
                   r +
               5394.1960214247511077) *
                  r +
              687.1870074920579083) *
                 r +
             42.313330701600911252) *
                r +
            1.0);
}

// The tails.
double TailInverseNormal(double q, double logOfTail) {
    double r = std::sqrt(-logOfTail);
    double value;
    if (r <= 5.0) {
        r -= 1.6;
        value = (((((((7.7454501427834140764e-4 * r + 0.0227238449892691845833) * r + 0.24178072517745061177) * r +
                     1.27045825245236838258) *
                        r +
                    3.64784832476320460504) *
                       r +
                   5.7694972214606914055) *
                      r +
                  4.6303378461565452959) *
                     r +
                 1.42343711074968357734) /
                (((((((1.05075007164441684324e-9 * r + 5.475938084995344946e-4) * r + 0.0151986665636164571966) * r +
                     0.14810397642748007459) *
                        r +
                    0.68976733498510000455) *
                       r +
                   1.6763848301838038494) *
                      r +
                  2.05319162663775882187) *
                     r +
                 1.0);
    } else {
        r -= 5.0;
        value = (((((((2.01033439929228813265e-7 * r + 2.71155556874348757815e-5) * r + 0.0012426609473880784386) * r +
                     0.026532189526576123093) *
                        r +
                    0.29656057182850489123) *
                       r +
                   1.7848265399172913358) *
                      r +
                  5.4637849111641143699) *
                     r +
                 6.6579046435011037772) /
                (((((((2.04426310338993978564e-15 * r + 1.4215117583164458887e-7) * r + 1.8463183175100546818e-5) * r +
                     7.868691311456132591e-4) *
                        r +
                    0.0148753612908506148525) *
                       r +
                   0.13692988092273580531) *
                      r +
                  0.59983220655588793769) *
                     r +
                 1.0);
    }
    return q < 0.0 ? -value : value;
}

}  // namespace

double InverseNormal(double p) {
    if (!(p > 0.0 && p < 1.0)) {
        if (p == 0.0) return -std::numeric_limits<double>::infinity();
        if (p == 1.0) return std::numeric_limits<double>::infinity();
        return std::numeric_limits<double>::quiet_NaN();
    }
    const double q = p - 0.5;
    if (InCentralRegion(q)) return CentralInverseNormal(q);
    return TailInverseNormal(q, NaturalLogarithm(TailProbability(p, q)));
}

void RandomStream::Normals(double* out, std::size_t count) {
    // A block's uniforms in the stream's order; its central deviates at
    // once; the tails' logarithms (some 15 % of the draws) all together,
    // where they can share vector lanes.
    constexpr std::size_t kBlock = 64;
    double uniform[kBlock], tail[kBlock];
    std::size_t where[kBlock];
    for (std::size_t first = 0; first < count; first += kBlock) {
        const std::size_t n = std::min(kBlock, count - first);
        for (std::size_t i = 0; i < n; ++i) uniform[i] = Uniform();
        std::size_t tails = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double p = uniform[i], q = p - 0.5;
            if (InCentralRegion(q)) {
                out[first + i] = CentralInverseNormal(q);
            } else {
                where[tails] = i;
                tail[tails++] = TailProbability(p, q);
            }
        }
        NaturalLogarithms(tail, tail, tails);
        for (std::size_t t = 0; t < tails; ++t)
            out[first + where[t]] = TailInverseNormal(uniform[where[t]] - 0.5, tail[t]);
    }
}

}  // namespace mosaro
