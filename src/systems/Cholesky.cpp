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
MOSARO_KERNEL_INLINE V Load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
MOSARO_KERNEL_INLINE void Store(double* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

// Each lane's diagonal entry replaced by the reciprocal of its root; flags
// the lanes whose entry is not above `smallest`. (In place: a vector passed
// by value would cross an ABI boundary GCC notes on.)
template <class V>
MOSARO_KERNEL_INLINE void InvertRoot(V& entry, double smallest, unsigned& failed) {
    constexpr std::size_t lanes = sizeof(V) / sizeof(double);
    for (std::size_t l = 0; l < lanes; ++l)
        if (!(entry[l] > smallest)) failed |= 1u << l;
    // The lanes' roots as one vector instruction (this file is built so
    // that the compiler may), then their reciprocals.
    for (std::size_t l = 0; l < lanes; ++l) entry[l] = std::sqrt(entry[l]);
    entry = 1.0 / entry;
}

// Entries j .. j + W - 1 of row i of U: each gathers its products with the
// rows above in a register, k in order (the order of the textbook's
// updates, step after step), and is scaled once by the row's root. Each
// then passes its products on at once, to the diagonal entry of its column
// and to the right sides' entries, which so hold every step before i when
// their own row comes. Returns the diagonal entry of column j as updated.
template <std::size_t L, std::size_t S, std::size_t W>
MOSARO_KERNEL_INLINE typename LaneVector<L>::Type RowBlock(double* a, std::size_t n, std::size_t i, std::size_t j,
                                                           const typename LaneVector<L>::Type& inverse, double* sides,
                                                           const typename LaneVector<L>::Type* projected) {
    using V = typename LaneVector<L>::Type;
    double* rowI = a + i * n * L;
    V sum[W];
#pragma GCC unroll 8
    for (std::size_t w = 0; w < W; ++w) sum[w] = Load<V>(rowI + (j + w) * L);
    for (std::size_t k = 0; k < i; ++k) {
        const double* rowK = a + k * n * L;
        const V factor = Load<V>(rowK + i * L);
#pragma GCC unroll 8
        for (std::size_t w = 0; w < W; ++w) sum[w] = sum[w] - factor * Load<V>(rowK + (j + w) * L);
    }
    V first{};
#pragma GCC unroll 8
    for (std::size_t w = 0; w < W; ++w) {
        const std::size_t column = j + w;
        const V u = sum[w] * inverse;
        Store(rowI + column * L, u);
        double* diagonal = a + column * n * L + column * L;
        const V updated = Load<V>(diagonal) - u * u;
        Store(diagonal, updated);
        if (w == 0) first = updated;
#pragma GCC unroll 2
        for (std::size_t s = 0; s < S; ++s) {
            double* entry = sides + (s * n + column) * L;
            Store(entry, Load<V>(entry) - u * projected[s]);
        }
    }
    return first;
}

// The factorisation of L lanes, written once; each lane's updates are its
// own products and differences, so every lane gets the bits of a lone
// factorisation. N, when not 0, is the order, known at compile time.
template <std::size_t L, std::size_t S, std::size_t N = 0>
MOSARO_KERNEL_INLINE unsigned Project(double* a, std::size_t order, double* sides, double smallest) {
    using V = typename LaneVector<L>::Type;
    const std::size_t n = N > 0 ? N : order;
    unsigned failed = 0;
    // Row after row. A row's diagonal entry and its right sides' entries
    // have received every product by the time it comes, so its root (kept
    // as its reciprocal: one division per row, products after) and its
    // projections come first. The roots are the long chain here: each
    // waits for the one before, so the next diagonal entry and the root
    // stay in registers rather than going through memory.
    V next = n > 0 ? Load<V>(a) : V{};
    for (std::size_t i = 0; i < n; ++i) {
        V inverse = next;
        InvertRoot(inverse, smallest, failed);
        Store(a + i * n * L + i * L, inverse);
        V projected[S];
#pragma GCC unroll 2
        for (std::size_t s = 0; s < S; ++s) {
            double* entry = sides + (s * n + i) * L;
            projected[s] = Load<V>(entry) * inverse;
            Store(entry, projected[s]);
        }
        // Four entries at a time, their sums in registers; then the rest.
        // The first block holds the next row's diagonal entry.
        std::size_t j = i + 1;
        if (j + 4 <= n) {
            next = RowBlock<L, S, 4>(a, n, i, j, inverse, sides, projected);
            j += 4;
        } else if (j < n) {
            next = RowBlock<L, S, 1>(a, n, i, j, inverse, sides, projected);
            j += 1;
        }
        for (; j + 4 <= n; j += 4) RowBlock<L, S, 4>(a, n, i, j, inverse, sides, projected);
        for (; j < n; ++j) RowBlock<L, S, 1>(a, n, i, j, inverse, sides, projected);
    }
    return failed;
}

// The lanes and sides a call may take, each instantiated once.
template <std::size_t L>
unsigned ProjectSides(double* a, std::size_t n, double* sides, int sideCount, double smallest) {
    return sideCount == 1 ? Project<L, 1>(a, n, sides, smallest) : Project<L, 2>(a, n, sides, smallest);
}

#ifdef MOSARO_WIDE_KERNELS
__attribute__((target("avx2"))) unsigned ProjectWide(double* a, std::size_t n, double* sides, int sideCount,
                                                     double smallest) {
    // The orders of the usual neighbourhoods (16 in all, or 16 samples and
    // 16 simulated nodes), each compiled for its order: its indices then
    // become constants. At order 16 a simulation on meuse ran a fifth fewer
    // of the factorisation's instructions (6 % fewer in all) and 4 to 6 %
    // faster while the host was busy; order 32 was not timed. The same
    // operations in the same order.
    if (sideCount == 2 && n == 16) return Project<kCholeskyLanes, 2, 16>(a, n, sides, smallest);
    if (sideCount == 2 && n == 32) return Project<kCholeskyLanes, 2, 32>(a, n, sides, smallest);
    return sideCount == 1 ? Project<kCholeskyLanes, 1>(a, n, sides, smallest)
                          : Project<kCholeskyLanes, 2>(a, n, sides, smallest);
}
#endif

}  // namespace

unsigned CholeskyProjectLanes(double* matrix, int order, double* sides, int sideCount, int lanes, double smallest) {
    const std::size_t n = static_cast<std::size_t>(order);
    if (lanes == 1) return ProjectSides<1>(matrix, n, sides, sideCount, smallest);
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return ProjectWide(matrix, n, sides, sideCount, smallest);
#endif
    return ProjectSides<kCholeskyLanes>(matrix, n, sides, sideCount, smallest);
}

}  // namespace mosaro
