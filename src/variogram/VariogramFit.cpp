#include "variogram/VariogramFit.h"

#include <cmath>
#include <limits>

#include "platform/FloatArith.h"
#include "variogram/LagClasses.h"
#include "variogram/VariogramTable.h"

namespace mosaro {
namespace {

// The retained classes, read-only.
struct Classes {
    const float* lag;
    const float* pairs;
    const float* gamma;
    int count;
};

// Range and partial sill of the cubic b1 h + b3 h^3 (shared by the centred
// fit and the fit through the origin). The root is taken again in double for
// the partial sill, not from the rounded range.
void SetSphericalConstants(float b1, float b3, float nugget, TVARIOGRAMMODEL& model) {
    const double quotient = -f64(b1) / (3.0 * f64(b3));
    model.fNugget = nugget;
    model.fRange = f32(std::sqrt(quotient));
    model.fPartialSill = f32((std::sqrt(quotient) * (2.0 * f64(b1))) / 3.0);
    model.fSill = f32(f64(model.fNugget) + f64(model.fPartialSill));
}

// Straight line through classes 0 and 1; range and sill from the last class
// but one.
TVARIOGRAMMODEL FitStraightLine(const Classes& c) {
    const float dGamma = f32(f64(c.gamma[1]) - f64(c.gamma[0]));
    const float dLag = f32(f64(c.lag[1]) - f64(c.lag[0]));
    const float slope = f32(f64(dGamma) / f64(dLag));
    float nugget = f32(f64(c.gamma[0]) - f64(slope) * f64(c.lag[0]));
    if (nugget < 0.0f) nugget = 0.0f;  // -0.0 is not negative and stays
    const int last = c.count - 2;
    TVARIOGRAMMODEL model;
    model.fNugget = nugget;
    model.fRange = c.lag[last];
    model.fSill = c.gamma[last];
    model.fPartialSill = f32(f64(c.gamma[last]) - f64(nugget));
    return model;
}

// b1 h + b3 h^3 fitted again without a constant term (uncentred sums).
TVARIOGRAMMODEL FitThroughOrigin(const Classes& c, double scale) {
    float a11 = 0.0f, a13 = 0.0f, a33 = 0.0f, b1Sum = 0.0f, b3Sum = 0.0f;
    for (int i = 0; i < c.count; ++i) {
        const double n = c.pairs[i], h = c.lag[i], g = c.gamma[i];
        a11 = f32(f64(a11) + ((n * h) * h) / scale);
        a13 = f32(f64(a13) + ((((n * h) * h) * h) * h) / scale);
        a33 = f32(f64(a33) + ((((((n * h) * h) * h) * h) * h) * h) / scale);
        b1Sum = f32(f64(b1Sum) + ((n * h) * g) / scale);
        b3Sum = f32(f64(b3Sum) + ((((n * h) * h) * h) * g) / scale);
    }
    const double e = f64(a11) * f64(a33) - f64(a13) * f64(a13);
    const float b1 = f32((f64(b1Sum) * f64(a33) - f64(b3Sum) * f64(a13)) / e);
    const float b3 = f32((f64(a11) * f64(b3Sum) - f64(b1Sum) * f64(a13)) / e);
    TVARIOGRAMMODEL model;
    SetSphericalConstants(b1, b3, 0.0f, model);
    return model;
}

}  // namespace

int PruneToNonDecreasing(float* const* table, int classCount) {
    if (classCount <= 0) return 0;
    float* lag = table[kLagRow];
    float* pairs = table[kPairCountRow];
    float* gamma = table[kSemivarianceRow];
    int last = 0;
    for (int c = 1; c < classCount; ++c) {
        if (gamma[last] > gamma[c]) continue;  // below the last kept class: dropped
        ++last;
        lag[last] = lag[c];
        pairs[last] = pairs[c];
        gamma[last] = gamma[c];
    }
    return last + 1;
}

float ScaleDivisor(float lastLag) {
    float scale = 10.0f;
    if (lastLag >= 10.0f) scale = 1000.0f;
    if (lastLag >= 100.0f) scale = 1e7f;
    if (lastLag >= 1000.0f) scale = 1e11f;
    if (lastLag >= 10000.0f) scale = 1e15f;
    if (lastLag >= 100000.0f) scale = 1e20f;
    if (lastLag >= 1000000.0f) scale = 1e30f;
    return scale;
}

TVARIOGRAMMODEL FitSphericalModel(float* const* table, int classCount, FitBranch* branchTaken) {
    const int count = PruneToNonDecreasing(table, classCount);
    const Classes c{table[kLagRow], table[kPairCountRow], table[kSemivarianceRow], count};

    float weight = 0.0f;
    for (int i = 0; i < count; ++i) weight = f32(f64(weight) + f64(c.pairs[i]));
    const double w = weight;
    float meanLag = 0.0f, meanCubedLag = 0.0f, meanGamma = 0.0f;
    for (int i = 0; i < count; ++i) {
        const double n = c.pairs[i], h = c.lag[i], g = c.gamma[i];
        meanLag = f32(f64(meanLag) + (n * h) / w);
        meanCubedLag = f32(f64(meanCubedLag) + (((n * h) * h) * h) / w);
        meanGamma = f32(f64(meanGamma) + (n * g) / w);
    }

    // With no class retained there is no last lag; NaN selects the smallest
    // divisor, and every sum below stays 0.
    const float lastLag = count > 0 ? c.lag[count - 1] : std::numeric_limits<float>::quiet_NaN();
    const double scale = ScaleDivisor(lastLag);

    float s11 = 0.0f, s13 = 0.0f, s33 = 0.0f, s1g = 0.0f, s3g = 0.0f;
    for (int i = 0; i < count; ++i) {
        const double n = c.pairs[i], h = c.lag[i], g = c.gamma[i];
        const double dh = h - f64(meanLag);
        const double dh3 = ((h * h) * h) - f64(meanCubedLag);
        s11 = f32(f64(s11) + ((n * h) * dh) / scale);
        s13 = f32(f64(s13) + ((((n * h) * h) * h) * dh) / scale);
        s33 = f32(f64(s33) + ((((n * h) * h) * h) * dh3) / scale);
        s1g = f32(f64(s1g) + ((n * g) * dh) / scale);
        s3g = f32(f64(s3g) + ((n * g) * dh3) / scale);
    }
    const double d = f64(s11) * f64(s33) - f64(s13) * f64(s13);
    const float b1 = f32((f64(s1g) * f64(s33) - f64(s3g) * f64(s13)) / d);
    const float b3 = f32((f64(s11) * f64(s3g) - f64(s1g) * f64(s13)) / d);
    const float b0 = f32((f64(meanGamma) - f64(b1) * f64(meanLag)) - f64(b3) * f64(meanCubedLag));
    const float b1b3 = f32(f64(b1) * f64(b3));

    // Fewer than two classes always give a NaN intercept; the explicit test
    // keeps the straight line from reading classes that do not exist.
    FitBranch branch = FitBranch::StraightLine;
    if (b0 < 0.0f || std::isnan(b0) || count < 2) {
        branch = FitBranch::ThroughOrigin;
    } else if (b1b3 < 0.0f) {
        branch = FitBranch::Spherical;
    }

    if (branchTaken != nullptr) *branchTaken = branch;
    switch (branch) {
        case FitBranch::Spherical: {
            TVARIOGRAMMODEL model;
            SetSphericalConstants(b1, b3, b0, model);
            return model;
        }
        case FitBranch::StraightLine: return FitStraightLine(c);
        case FitBranch::ThroughOrigin:
        case FitBranch::Given:  // never chosen by the fit
        default: return FitThroughOrigin(c, scale);
    }
}

void FitLegacyModels(float* const* tableX, float* const* tableY, const TGRIDCELLXY& grid, const TRECTXYMINMAX& rect,
                     TVARIOGRAMMODEL (&models)[2]) {
    const LagClassCounts counts = ComputeLagClassCounts(grid, rect);
    models[0] = FitSphericalModel(tableX, counts.x);
    models[1] = FitSphericalModel(tableY, counts.y);
}

}  // namespace mosaro
