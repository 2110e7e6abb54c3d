// The covariance of many lags in one call: the loops of a chunk run over
// its lags, one operation at a time, so that the compiler vectorises them;
// every lag goes through the operations of a single evaluation in their
// order, so each result has that evaluation's bits. This file is built
// with options that let its loops vectorise (see CMakeLists.txt).
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/WideKernels.h"
#include "variogram/ModelFamilies.h"
#include "variogram/VariogramModel.h"

namespace mosaro {
namespace {

// The loops that cost most (square roots, divisions), each written once and
// compiled twice: for the plain target, and for AVX2's vectors of four
// where the processor has them. The same operations on each lag either
// way, so the same bits.

MOSARO_KERNEL_INLINE void LengthsOf(const double* dx, const double* dy, std::size_t n, double* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = std::sqrt(dx[i] * dx[i] + dy[i] * dy[i]);
}

MOSARO_KERNEL_INLINE void QuotientsOf(const double* length, double divisor, std::size_t n, double* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = length[i] / divisor;
}

// UnitCorrelation's spherical branch without its branches: every lag takes
// the polynomial, then the same tests in the same order select (a NaN lag
// falls through both to the polynomial).
MOSARO_KERNEL_INLINE double SphericalCorrelationOf(double v) {
    const double polynomial = 0.5 * (1.0 - v) * (1.0 - v) * (2.0 + v);
    return v == 0.0 ? 1.0 : (v >= 1.0 ? 0.0 : polynomial);
}

MOSARO_KERNEL_INLINE void SphericalOf(const double* x, std::size_t n, double* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = SphericalCorrelationOf(x[i]);
}

// The structures' covariances summed, and the lags of length zero given
// the whole sill: loops as cheap as the data they pass over, and run for
// every structure of every chunk.
MOSARO_KERNEL_INLINE void AddScaledOf(const double* unit, double partialSill, std::size_t n, double* sum) {
    for (std::size_t i = 0; i < n; ++i) sum[i] += partialSill * unit[i];
}

MOSARO_KERNEL_INLINE void SillAtZeroOf(const double* dx, const double* dy, double sill, std::size_t n, double* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = dx[i] == 0.0 && dy[i] == 0.0 ? sill : out[i];
}

// A model of one or two isotropic spherical structures (nearly every model
// a simulation meets) in one pass over the lags: the operations of the
// loops below in their order, so the same bits, without a pass over the
// chunk's memory for each of them.
struct SphericalStructure {
    double range, partialSill;
};

template <int kStructures>
MOSARO_KERNEL_INLINE void SphericalCovariancesOf(const double* dx, const double* dy, std::size_t n,
                                                 const SphericalStructure* s, double sill, double* out) {
    const SphericalStructure first = s[0], second = s[kStructures - 1];
    for (std::size_t i = 0; i < n; ++i) {
        const double length = std::sqrt(dx[i] * dx[i] + dy[i] * dy[i]);
        double covariance = 0.0;
        covariance += first.partialSill * SphericalCorrelationOf(length / first.range);
        if (kStructures == 2) covariance += second.partialSill * SphericalCorrelationOf(length / second.range);
        out[i] = dx[i] == 0.0 && dy[i] == 0.0 ? sill : covariance;
    }
}

MOSARO_KERNEL_INLINE void SphericalCovariancesFor(int structures, const double* dx, const double* dy, std::size_t n,
                                                  const SphericalStructure* s, double sill, double* out) {
    if (structures == 1) return SphericalCovariancesOf<1>(dx, dy, n, s, sill, out);
    SphericalCovariancesOf<2>(dx, dy, n, s, sill, out);
}

#ifdef MOSARO_WIDE_KERNELS
__attribute__((target("avx2"))) void SphericalCovariancesWide(int structures, const double* dx, const double* dy,
                                                              std::size_t n, const SphericalStructure* s, double sill,
                                                              double* out) {
    SphericalCovariancesFor(structures, dx, dy, n, s, sill, out);
}
#endif

void SphericalCovariances(int structures, const double* dx, const double* dy, std::size_t n,
                          const SphericalStructure* s, double sill, double* out) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return SphericalCovariancesWide(structures, dx, dy, n, s, sill, out);
#endif
    SphericalCovariancesFor(structures, dx, dy, n, s, sill, out);
}

#ifdef MOSARO_WIDE_KERNELS
__attribute__((target("avx2"))) void AddScaledWide(const double* unit, double partialSill, std::size_t n, double* sum) {
    AddScaledOf(unit, partialSill, n, sum);
}
__attribute__((target("avx2"))) void SillAtZeroWide(const double* dx, const double* dy, double sill, std::size_t n,
                                                    double* out) {
    SillAtZeroOf(dx, dy, sill, n, out);
}
__attribute__((target("avx2"))) void LengthsWide(const double* dx, const double* dy, std::size_t n, double* out) {
    LengthsOf(dx, dy, n, out);
}
__attribute__((target("avx2"))) void QuotientsWide(const double* length, double divisor, std::size_t n, double* out) {
    QuotientsOf(length, divisor, n, out);
}
__attribute__((target("avx2"))) void SphericalWide(const double* x, std::size_t n, double* out) {
    SphericalOf(x, n, out);
}
#endif

void Lengths(const double* dx, const double* dy, std::size_t n, double* out) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return LengthsWide(dx, dy, n, out);
#endif
    LengthsOf(dx, dy, n, out);
}

void Quotients(const double* length, double divisor, std::size_t n, double* out) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return QuotientsWide(length, divisor, n, out);
#endif
    QuotientsOf(length, divisor, n, out);
}

void AddScaled(const double* unit, double partialSill, std::size_t n, double* sum) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return AddScaledWide(unit, partialSill, n, sum);
#endif
    AddScaledOf(unit, partialSill, n, sum);
}

void SillAtZero(const double* dx, const double* dy, double sill, std::size_t n, double* out) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return SillAtZeroWide(dx, dy, sill, n, out);
#endif
    SillAtZeroOf(dx, dy, sill, n, out);
}

void Spherical(const double* x, std::size_t n, double* out) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return SphericalWide(x, n, out);
#endif
    SphericalOf(x, n, out);
}

}  // namespace

void UnitCorrelations(ModelFamily family, const double* x, std::size_t count, const FamilyConstants& c, double* out) {
    switch (family) {
        case ModelFamily::kSpherical: return Spherical(x, count, out);
        case ModelFamily::kNugget:
            // UnitCorrelation's two outcomes for a nugget, without a call a lag.
            for (std::size_t i = 0; i < count; ++i) out[i] = x[i] == 0.0 ? 1.0 : 0.0;
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
    if (prepared_.size() <= 2) {
        SphericalStructure spherical[2];
        std::size_t structures = 0;
        for (const Prepared& p : prepared_) {
            if (p.anisotropic || p.family != ModelFamily::kSpherical) break;
            spherical[structures++] = {p.range, p.partialSill};
        }
        if (structures > 0 && structures == prepared_.size())
            return SphericalCovariances(static_cast<int>(structures), dx, dy, count, spherical, totalSill_, out);
    }
    // A chunk's lengths, scaled lags and correlations stay on the stack.
    constexpr std::size_t kChunk = 64;
    double length[kChunk], lag[kChunk], unit[kChunk];
    for (std::size_t first = 0; first < count; first += kChunk) {
        const std::size_t n = std::min(kChunk, count - first);
        const double* cx = dx + first;
        const double* cy = dy + first;
        double* covariance = out + first;
        Lengths(cx, cy, n, length);
        std::fill(covariance, covariance + n, 0.0);
        for (const Prepared& p : prepared_) {
            if (p.anisotropic) {
                for (std::size_t i = 0; i < n; ++i) lag[i] = ScaledLag(p, cx[i], cy[i], length[i]);
            } else {
                Quotients(length, p.range, n, lag);
            }
            UnitCorrelations(p.family, lag, n, p.constants, unit);
            AddScaled(unit, p.partialSill, n, covariance);
        }
        SillAtZero(cx, cy, totalSill_, n, covariance);
    }
}

}  // namespace mosaro
