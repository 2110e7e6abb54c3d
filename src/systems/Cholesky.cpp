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
Store(double* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

// Each lane's diagonal entry replaced by the reciprocal of its root; flags
// the lanes whose entry is not positive. (In place: a vector passed by
// value would cross an ABI boundary GCC notes on.)
template <class V>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void
InvertRoot(V& entry, unsigned& failed) {
    constexpr std::size_t lanes = sizeof(V) / sizeof(double);
    for (std::size_t l = 0; l < lanes; ++l)
        if (!(entry[l] > 0.0)) failed |= 1u << l;
    // The lanes' roots as one vector instruction (this file is built so
    // that the compiler may), then their reciprocals.
    for (std::size_t l = 0; l < lanes; ++l) entry[l] = std::sqrt(entry[l]);
    entry = 1.0 / entry;
}

// The root of a diagonal entry, as its reciprocal, and the row scaled by
// it.
template <std::size_t L>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void
Pivot(double* a, std::size_t n, std::size_t k, unsigned& failed) {
    using V = typename LaneVector<L>::Type;
    double* rowK = a + k * n * L;
    V inverse = Load<V>(rowK + k * L);
    InvertRoot(inverse, failed);
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
        // Step k's pivot and row, then step k + 1's, with what the next
        // root waits for kept in registers: the scaled entry (k, k + 1) and
        // the updated diagonal entry (k + 1, k + 1), each rounded as if
        // stored. Each entry of row k + 1 then takes its update and its
        // scaling in one pass.
        V inverse = Load<V>(rowK + k * L);
        InvertRoot(inverse, failed);
        Store(rowK + k * L, inverse);
        const V factorNext = Load<V>(rowK + (k + 1) * L) * inverse;
        Store(rowK + (k + 1) * L, factorNext);
        V inverseNext = Load<V>(rowNext + (k + 1) * L) - factorNext * factorNext;
        InvertRoot(inverseNext, failed);
        Store(rowNext + (k + 1) * L, inverseNext);
        for (std::size_t j = k + 2; j < n; ++j) Store(rowK + j * L, Load<V>(rowK + j * L) * inverse);
        for (std::size_t j = k + 2; j < n; ++j)
            Store(rowNext + j * L, (Load<V>(rowNext + j * L) - factorNext * Load<V>(rowK + j * L)) * inverseNext);
        // The rows below, two at a time: each entry of rows k and k + 1 is
        // loaded once for both.
        const auto update = [&](double* entry, const V& factor, const V& factor2, std::size_t j) {
            Store(entry, (Load<V>(entry) - factor * Load<V>(rowK + j * L)) - factor2 * Load<V>(rowNext + j * L));
        };
        std::size_t i = k + 2;
        for (; i + 1 < n; i += 2) {
            double* rowI = a + i * n * L;
            double* rowBelow = rowI + n * L;
            const V factor = Load<V>(rowK + i * L), factor2 = Load<V>(rowNext + i * L);
            const V factorBelow = Load<V>(rowK + (i + 1) * L), factor2Below = Load<V>(rowNext + (i + 1) * L);
            update(rowI + i * L, factor, factor2, i);
            for (std::size_t j = i + 1; j < n; ++j) {
                const V fromK = Load<V>(rowK + j * L), fromNext = Load<V>(rowNext + j * L);
                Store(rowI + j * L, (Load<V>(rowI + j * L) - factor * fromK) - factor2 * fromNext);
                Store(rowBelow + j * L, (Load<V>(rowBelow + j * L) - factorBelow * fromK) - factor2Below * fromNext);
            }
        }
        if (i < n) update(a + i * n * L + i * L, Load<V>(rowK + i * L), Load<V>(rowNext + i * L), i);
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
    // U x = y, row after row from the last: each row's first term takes the
    // solution just found from a register, not back through memory.
    V next{};
    for (std::size_t i = n; i-- > 0;) {
        const double* rowI = a + i * n * L;
        V sum = Load<V>(b + i * L);
        if (i + 1 < n) sum = sum - Load<V>(rowI + (i + 1) * L) * next;
        for (std::size_t j = i + 2; j < n; ++j) sum = sum - Load<V>(rowI + j * L) * Load<V>(b + j * L);
        next = sum * Load<V>(rowI + i * L);
        Store(b + i * L, next);
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
