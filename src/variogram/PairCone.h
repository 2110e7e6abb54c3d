// Which directional cone a pair of samples falls in: within 10 degrees of
// the x axis, of the y axis, or neither.
//
// The angle of a pair is theta = f32(atan(ay / ax)) with the quotient in
// double (f32(1.5707963) when ax == 0); the x cone holds theta <= 0.174532922
// and the y cone 1.5707963 - theta <= 0.174532922, both compared in double.
// Both tests are monotone in the quotient q = ay / ax, so each reduces to one
// comparison of q with a threshold found once: the arc tangent is then never
// evaluated per pair.
#pragma once

#include <cmath>

#include "platform/FloatArith.h"
#include "platform/PortableMath.h"

namespace mosaro {

enum class PairCone { kNone, kX, kY };

// 10 degrees in radians, and the angle of a pair with equal x coordinates.
constexpr double kConeHalfWidth = 0.174532922;
constexpr double kRightAngle = 1.5707963;

// |a - b| evaluated in double and stored as a float.
inline float Separation(float a, float b) { return f32(std::fabs(f64(a) - f64(b))); }

// The distance of a pair from its separations, root and sum in double.
inline float PairDistance(float ax, float ay) { return f32(std::sqrt(f64(ax) * f64(ax) + f64(ay) * f64(ay))); }

// The cone of an angle, by the two tests in double.
inline PairCone ConeOfAngle(float angle) {
    // The two cones are disjoint, so a pair is offered to one direction.
    if (f64(angle) <= kConeHalfWidth) return PairCone::kX;
    if (kRightAngle - f64(angle) <= kConeHalfWidth) return PairCone::kY;
    return PairCone::kNone;
}

// The cone of a pair through its angle: one arc tangent per pair.
inline PairCone ConeByAngle(float ax, float ay) {
    return ConeOfAngle(ax == 0.0f ? f32(kRightAngle) : f32(ArcTangent(f64(ay) / f64(ax))));
}

// The cone of a quotient ay / ax (ax != 0) through its angle.
inline PairCone ConeOfQuotientByAngle(double q) { return ConeOfAngle(f32(ArcTangent(q))); }

// The quotients that bound the cones: the x cone holds exactly the q <=
// xMaxQuotient, the y cone exactly the q >= yMinQuotient.
struct ConeThresholds {
    double xMaxQuotient;
    double yMinQuotient;
};

// Found by bisection over the doubles with the engine's own arc tangent, once.
const ConeThresholds& GetConeThresholds();

// The same answer as ConeOfQuotientByAngle; a quotient that is not a number
// joins no cone.
inline PairCone ConeOfQuotient(double q, const ConeThresholds& thresholds) {
    if (q <= thresholds.xMaxQuotient) return PairCone::kX;
    if (q >= thresholds.yMinQuotient) return PairCone::kY;
    return PairCone::kNone;
}

// The cone of a pair through its quotient; the same answer as ConeByAngle
// for every pair of separations (non-negative, infinite or not a number): a
// quotient that is not a number (both separations infinite, or one not a
// number) joins no cone, and ax == 0 is the right angle whatever ay is.
inline PairCone ConeByQuotient(float ax, float ay, const ConeThresholds& thresholds) {
    if (ax == 0.0f) return PairCone::kY;
    return ConeOfQuotient(f64(ay) / f64(ax), thresholds);
}

}  // namespace mosaro
