// The legacy arithmetic's model of a sweep: the two directional spherical
// models averaged into one, a coordinate scale chosen from the extent, the
// scaled range and the anisotropy ratio, and the covariance and distance
// every system of the sweep is built from.
#pragma once

#include "mosaro.h"

namespace mosaro {

// Coordinate scale: 100000, 10000, 1000 or 100 for an extent strictly
// greater than that value, otherwise 1.
float CoordinateScale(float extent);

struct KrigingConstants {
    float partialSill;  // Cp: mean of the two directions' partial sills
    float nugget;       // C0: mean of the two nuggets
    float sill;         // Csum = Cp + C0
    float scale;        // s: divides every coordinate
    float range;        // a': the x direction's range divided by s
    float anisotropy;   // k: range_x / range_y, kept within [0.5, 5] unless a' >= 2

    // From the models of the x and the y direction and the grid's extent.
    static KrigingConstants FromModels(const TVARIOGRAMMODEL (&models)[2], const TRECTXYMINMAX& rect);

    // Spherical covariance Csum - gamma(h); the nugget counts only at h = 0
    // (and for a distance that is not a number).
    float Covariance(float h) const;

    // Distance with the y difference stretched by the anisotropy ratio.
    float AnisotropicDistance(float x1, float y1, float x2, float y2) const;

    bool Finite() const;
};

// Estimates below 0.01 (negative ones included) and NaN are stored as 0.
float ApplyCutOff(float estimate);

}  // namespace mosaro
