// The covariance of many lags in one call: the loops of a chunk run over
// its lags, one operation at a time, so that the compiler vectorises them;
// every lag goes through the operations of a single evaluation in their
// order, so each result has that evaluation's bits. This file is built
// with options that let its loops vectorise (see CMakeLists.txt).
#include <algorithm>
#include <cmath>
#include <limits>

#include "variogram/ModelFamilies.h"
#include "variogram/VariogramModel.h"

namespace mosaro {

void UnitCorrelations(ModelFamily family, const double* x, std::size_t count, const FamilyConstants& c, double* out) {
    switch (family) {
        case ModelFamily::kSpherical:
            // Every lag takes the polynomial and then the selection, so that
            // the loop has no branch; the selection keeps UnitCorrelation's
            // order of tests (a NaN lag falls through both to the polynomial).
            for (std::size_t i = 0; i < count; ++i) {
                const double v = x[i];
                const double polynomial = 0.5 * (1.0 - v) * (1.0 - v) * (2.0 + v);
                out[i] = v == 0.0 ? 1.0 : (v >= 1.0 ? 0.0 : polynomial);
            }
            return;
        default:
            for (std::size_t i = 0; i < count; ++i) out[i] = UnitCorrelation(family, x[i], c);
    }
}

void VariogramModel::Covariances(const double* dx, const double* dy, std::size_t count, double* out) const {
    if (!hasCovariance_) {
        std::fill(out, out + count, std::numeric_limits<double>::quiet_NaN());
        return;
    }
    // A chunk's lengths, scaled lags and correlations stay on the stack.
    constexpr std::size_t kChunk = 64;
    double length[kChunk], lag[kChunk], unit[kChunk];
    for (std::size_t first = 0; first < count; first += kChunk) {
        const std::size_t n = std::min(kChunk, count - first);
        const double* cx = dx + first;
        const double* cy = dy + first;
        double* covariance = out + first;
        for (std::size_t i = 0; i < n; ++i) length[i] = std::sqrt(cx[i] * cx[i] + cy[i] * cy[i]);
        std::fill(covariance, covariance + n, 0.0);
        for (const Prepared& p : prepared_) {
            if (p.anisotropic) {
                for (std::size_t i = 0; i < n; ++i) lag[i] = ScaledLag(p, cx[i], cy[i], length[i]);
            } else {
                for (std::size_t i = 0; i < n; ++i) lag[i] = length[i] / p.range;
            }
            UnitCorrelations(p.family, lag, n, p.constants, unit);
            for (std::size_t i = 0; i < n; ++i) covariance[i] += p.partialSill * unit[i];
        }
        for (std::size_t i = 0; i < n; ++i) covariance[i] = cx[i] == 0.0 && cy[i] == 0.0 ? totalSill_ : covariance[i];
    }
}

}  // namespace mosaro
