#include "systems/Cholesky.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "platform/WideKernels.h"

// The vector helpers below are inlined within this file: the ABI GCC and
// clang warn about for vector arguments never crosses a call.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace mosaro {
namespace {

// The lanes of one entry as one vector (GCC's and clang's vector
// extension: a build for a processor without wide vectors splits it).
template <std::size_t L>
struct LaneVector {
    typedef double Type __attribute__((vector_size(8 * L)));
};

template <class V>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline V
Load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void
Store(double* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

// The root of a diagonal entry, as its reciprocal, and the row scaled by
// it; flags the lanes whose pivot is not positive.
template <std::size_t L>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void
Pivot(double* a, std::size_t n, std::size_t k, unsigned& failed) {
    using V = typename LaneVector<L>::Type;
    double* rowK = a + k * n * L;
    const V pivot = Load<V>(rowK + k * L);
    for (std::size_t l = 0; l < L; ++l)
        if (!(pivot[l] > 0.0)) failed |= 1u << l;
    // The lanes' roots as one vector instruction (this file is built so
    // that the compiler may), then their reciprocals.
    V inverse;
    for (std::size_t l = 0; l < L; ++l) inverse[l] = std::sqrt(pivot[l]);
    inverse = 1.0 / inverse;
    Store(rowK + k * L, inverse);
    for (std::size_t j = k + 1; j < n; ++j) Store(rowK + j * L, Load<V>(rowK + j * L) * inverse);
}

// The solve of L lanes, written once; each lane's updates are its own
// products and differences, so every lane gets the bits of a lone solve.
//
// The factorisation and the forward substitution take two steps at once:
// an entry below both receives the first step's product, then the
// second's, the order of the one-step-at-a-time loops, but is read and
// written once for the two, which halves the loads, stores and loop
// counting that bound these small systems.
template <std::size_t L>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline unsigned
Solve(double* a, std::size_t n, double* b) {
    using V = typename LaneVector<L>::Type;
    unsigned failed = 0;
    // The diagonal holds each root's reciprocal: one division per row, and
    // multiplications in the loops that follow.
    std::size_t k = 0;
    for (; k + 1 < n; k += 2) {
        double* rowK = a + k * n * L;
        double* rowNext = rowK + n * L;
        Pivot<L>(a, n, k, failed);
        const V factorNext = Load<V>(rowK + (k + 1) * L);
        for (std::size_t j = k + 1; j < n; ++j)
            Store(rowNext + j * L, Load<V>(rowNext + j * L) - factorNext * Load<V>(rowK + j * L));
        Pivot<L>(a, n, k + 1, failed);
        for (std::size_t i = k + 2; i < n; ++i) {
            double* rowI = a + i * n * L;
            const V factor = Load<V>(rowK + i * L), factor2 = Load<V>(rowNext + i * L);
            for (std::size_t j = i; j < n; ++j)
                Store(rowI + j * L,
                      (Load<V>(rowI + j * L) - factor * Load<V>(rowK + j * L)) - factor2 * Load<V>(rowNext + j * L));
        }
    }
    if (k < n) Pivot<L>(a, n, k, failed);
    // U^T y = b, along the rows of U, two at a time.
    k = 0;
    for (; k + 1 < n; k += 2) {
        const double* rowK = a + k * n * L;
        const double* rowNext = rowK + n * L;
        const V yk = Load<V>(b + k * L) * Load<V>(rowK + k * L);
        Store(b + k * L, yk);
        const V yNext = (Load<V>(b + (k + 1) * L) - Load<V>(rowK + (k + 1) * L) * yk) * Load<V>(rowNext + (k + 1) * L);
        Store(b + (k + 1) * L, yNext);
        for (std::size_t i = k + 2; i < n; ++i)
            Store(b + i * L, (Load<V>(b + i * L) - Load<V>(rowK + i * L) * yk) - Load<V>(rowNext + i * L) * yNext);
    }
    if (k < n) Store(b + k * L, Load<V>(b + k * L) * Load<V>(a + k * n * L + k * L));
    for (std::size_t i = n; i-- > 0;) {  // U x = y
        const double* rowI = a + i * n * L;
        V sum = Load<V>(b + i * L);
        for (std::size_t j = i + 1; j < n; ++j) sum = sum - Load<V>(rowI + j * L) * Load<V>(b + j * L);
        Store(b + i * L, sum * Load<V>(rowI + i * L));
    }
    return failed;
}

#ifdef MOSARO_WIDE_KERNELS
__attribute__((target("avx2"))) unsigned SolveWide(double* a, std::size_t n, double* b) {
    return Solve<kCholeskyLanes>(a, n, b);
}
#endif

}  // namespace

unsigned CholeskySolveLanes(double* matrix, int order, double* rightSide, int lanes) {
    const std::size_t n = static_cast<std::size_t>(order);
    if (lanes == 1) return Solve<1>(matrix, n, rightSide);
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return SolveWide(matrix, n, rightSide);
#endif
    return Solve<kCholeskyLanes>(matrix, n, rightSide);
}

}  // namespace mosaro
