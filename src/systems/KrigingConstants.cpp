#include "systems/KrigingConstants.h"

#include <cmath>

#include "platform/FloatArith.h"
#include "platform/PortableMath.h"

namespace mosaro {

float CoordinateScale(float extent) {
    if (extent > 100000.0f) return 100000.0f;
    if (extent > 10000.0f) return 10000.0f;
    if (extent > 1000.0f) return 1000.0f;
    if (extent > 100.0f) return 100.0f;
    return 1.0f;
}

KrigingConstants KrigingConstants::FromModels(const TVARIOGRAMMODEL (&models)[2], const TRECTXYMINMAX& rect) {
    const TVARIOGRAMMODEL& alongX = models[0];
    const TVARIOGRAMMODEL& alongY = models[1];

    KrigingConstants c;
    c.partialSill = f32((f64(alongX.fPartialSill) + f64(alongY.fPartialSill)) / 2.0);
    c.nugget = f32((f64(alongX.fNugget) + f64(alongY.fNugget)) / 2.0);
    c.sill = f32(f64(c.partialSill) + f64(c.nugget));

    float extent = f32(f64(rect.fXMax) - f64(rect.fXMin));
    const float extentY = f32(f64(rect.fYMax) - f64(rect.fYMin));
    if (extentY > extent) extent = extentY;
    c.scale = CoordinateScale(extent);

    c.range = f32(f64(alongX.fRange) / f64(c.scale));
    float ratio = f32(f64(alongX.fRange) / f64(alongY.fRange));
    // A strong anisotropy is trusted only when the range spans a few scaled
    // units; a weak or undefined one is ignored.
    if (f64(ratio) > 5.0 && f64(c.range) < 2.0) ratio = 1.0f;
    if (f64(ratio) < 0.5 || std::isnan(ratio)) ratio = 1.0f;
    c.anisotropy = ratio;
    return c;
}

float KrigingConstants::Covariance(float h) const {
    if (h == 0.0f || std::isnan(h)) return sill;
    if (!(h <= range)) return 0.0f;
    const double hd = f64(h), a = f64(range);
    const float gamma = f32(f64(partialSill) * ((hd * 1.5) / a - 0.5 * Cube(hd / a)) + f64(nugget));
    return f32(f64(sill) - f64(gamma));
}

float KrigingConstants::AnisotropicDistance(float x1, float y1, float x2, float y2) const {
    const double dx = f64(x1) - f64(x2);
    const double dy = f64(y1) - f64(y2);
    const double k = f64(anisotropy);
    return f32(std::sqrt(dx * dx + (k * k) * (dy * dy)));
}

bool KrigingConstants::Finite() const {
    return std::isfinite(partialSill) && std::isfinite(nugget) && std::isfinite(range);
}

float ApplyCutOff(float estimate) {
    if (f64(estimate) < 0.01 || std::isnan(estimate)) return 0.0f;
    return estimate;
}

}  // namespace mosaro
