#include "variogram/PairCone.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace mosaro {
namespace {

std::uint64_t BitsOf(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double DoubleOf(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Non-negative doubles are ordered as their bit patterns, so bisecting the
// patterns visits every double between the bounds. Returns the last double in
// [low, high] where `holds` is true, given holds(low) and !holds(high) and
// `holds` monotone (true, then false).
template <typename Predicate>
double LastWhere(double low, double high, Predicate holds) {
    std::uint64_t yes = BitsOf(low);
    std::uint64_t no = BitsOf(high);
    while (no - yes > 1) {
        const std::uint64_t middle = yes + (no - yes) / 2;
        if (holds(DoubleOf(middle))) {
            yes = middle;
        } else {
            no = middle;
        }
    }
    return DoubleOf(yes);
}

ConeThresholds FindConeThresholds() {
    const double infinity = std::numeric_limits<double>::infinity();
    ConeThresholds thresholds{};
    // The x cone ends below 45 degrees (q = 1); the y cone starts above it
    // and holds up to the infinite quotient.
    thresholds.xMaxQuotient = LastWhere(0.0, 1.0, [](double q) { return ConeOfQuotientByAngle(q) == PairCone::kX; });
    const double lastOutsideY =
        LastWhere(1.0, infinity, [](double q) { return ConeOfQuotientByAngle(q) != PairCone::kY; });
    thresholds.yMinQuotient = DoubleOf(BitsOf(lastOutsideY) + 1);
    return thresholds;
}

}  // namespace

const ConeThresholds& GetConeThresholds() {
    static const ConeThresholds thresholds = FindConeThresholds();
    return thresholds;
}

}  // namespace mosaro
