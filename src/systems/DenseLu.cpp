#include "systems/DenseLu.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numeric>
#include <utility>

#include "platform/WideKernels.h"

// The vector helpers below are inlined within this file: the ABI GCC and
// clang warn about for vector arguments never crosses a call.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace mosaro {
namespace {

// The loops of the factorisation and the solves, written once and compiled
// for the plain processor and for one with wide vectors. Every operation
// is elementwise (a difference of an entry and a product, without
// contraction), so a vector of any width gives each entry the bits of the
// scalar loop.

// ||A||_1 of the n x n matrix `a` (row after row), then its LU factors in
// place, the row exchanged with row k at step k in pivot[k]; false when a
// pivot is exactly zero. `sums` receives the column sums.
MOSARO_KERNEL_INLINE bool Eliminate(double* const a, std::size_t n, int* pivot, double* sums, double& norm) {
    std::fill(sums, sums + n, 0.0);
    for (std::size_t r = 0; r < n; ++r)
        for (std::size_t c = 0; c < n; ++c) sums[c] += std::fabs(a[r * n + c]);
    norm = *std::max_element(sums, sums + n);
    bool regular = true;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t p = k;
        double largest = std::fabs(a[k * n + k]);
        for (std::size_t r = k + 1; r < n; ++r) {
            const double candidate = std::fabs(a[r * n + k]);
            if (candidate > largest) {
                largest = candidate;
                p = r;
            }
        }
        pivot[k] = static_cast<int>(p);
        if (p != k) std::swap_ranges(a + k * n, a + (k + 1) * n, a + p * n);
        const double diagonal = a[k * n + k];
        if (diagonal == 0.0) {
            regular = false;
            continue;
        }
        const double* __restrict pivotRow = a + k * n;
        for (std::size_t r = k + 1; r < n; ++r) {
            double* __restrict row = a + r * n;
            const double factor = row[k] / diagonal;
            row[k] = factor;
            if (factor == 0.0) continue;
            for (std::size_t c = k + 1; c < n; ++c) row[c] -= factor * pivotRow[c];
        }
    }
    return regular;
}

// Solves with the factors held column after column in `t` (see Solve).
MOSARO_KERNEL_INLINE void Substitute(const double* t, const int* pivot, const double* inverseDiagonal, std::size_t n,
                                     double* b) {
    for (std::size_t k = 0; k < n; ++k) std::swap(b[k], b[pivot[k]]);
    for (std::size_t c = 0; c + 1 < n; ++c) {
        const double* __restrict column = t + c * n;
        const double value = b[c];
        double* __restrict below = b;
        for (std::size_t r = c + 1; r < n; ++r) below[r] -= column[r] * value;
    }
    for (std::size_t c = n; c-- > 0;) {
        const double* __restrict column = t + c * n;
        const double value = b[c] * inverseDiagonal[c];
        b[c] = value;
        double* __restrict above = b;
        for (std::size_t r = 0; r < c; ++r) above[r] -= column[r] * value;
    }
}

// Four right-hand sides at once, interleaved (b[4 r + l] is row r of side
// l): each side gets exactly the operations of Substitute.
typedef double Four __attribute__((vector_size(32)));

MOSARO_KERNEL_INLINE Four LoadFour(const double* p) {
    Four v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

MOSARO_KERNEL_INLINE void StoreFour(double* p, const Four& v) { std::memcpy(p, &v, sizeof v); }

MOSARO_KERNEL_INLINE void SubstituteFour(const double* t, const int* pivot, const double* inverseDiagonal,
                                         std::size_t n, double* b) {
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t p = static_cast<std::size_t>(pivot[k]);
        const Four row = LoadFour(b + 4 * k);
        StoreFour(b + 4 * k, LoadFour(b + 4 * p));
        StoreFour(b + 4 * p, row);
    }
    for (std::size_t c = 0; c + 1 < n; ++c) {
        const double* column = t + c * n;
        const Four value = LoadFour(b + 4 * c);
        for (std::size_t r = c + 1; r < n; ++r) StoreFour(b + 4 * r, LoadFour(b + 4 * r) - column[r] * value);
    }
    for (std::size_t c = n; c-- > 0;) {
        const double* column = t + c * n;
        const Four value = LoadFour(b + 4 * c) * inverseDiagonal[c];
        StoreFour(b + 4 * c, value);
        for (std::size_t r = 0; r < c; ++r) StoreFour(b + 4 * r, LoadFour(b + 4 * r) - column[r] * value);
    }
}

#ifdef MOSARO_WIDE_KERNELS
__attribute__((target("avx2"))) bool EliminateWide(double* a, std::size_t n, int* pivot, double* sums, double& norm) {
    return Eliminate(a, n, pivot, sums, norm);
}

__attribute__((target("avx2"))) void SubstituteWide(const double* t, const int* pivot, const double* inverseDiagonal,
                                                    std::size_t n, double* b) {
    Substitute(t, pivot, inverseDiagonal, n, b);
}

__attribute__((target("avx2"))) void SubstituteFourWide(const double* t, const int* pivot,
                                                        const double* inverseDiagonal, std::size_t n, double* b) {
    SubstituteFour(t, pivot, inverseDiagonal, n, b);
}

#endif

}  // namespace

bool DenseLu::Factorise(const double* matrix, int order, bool symmetric) {
    order_ = order;
    symmetric_ = symmetric;
    const std::size_t n = static_cast<std::size_t>(order);
    lu_.assign(matrix, matrix + n * n);
    pivot_.resize(n);
    work_.resize(n);
    double* const a = lu_.data();
#ifdef MOSARO_WIDE_KERNELS
    const bool regular = ProcessorHasAvx2() ? EliminateWide(a, n, pivot_.data(), work_.data(), norm_)
                                            : Eliminate(a, n, pivot_.data(), work_.data(), norm_);
#else
    const bool regular = Eliminate(a, n, pivot_.data(), work_.data(), norm_);
#endif
    transposed_.resize(n * n);
    for (std::size_t r = 0; r < n; ++r)
        for (std::size_t c = 0; c < n; ++c) transposed_[c * n + r] = a[r * n + c];
    // A solve multiplies: a division in its dependent chain would cost more
    // than the rest of the substitution.
    inverseDiagonal_.resize(n);
    for (std::size_t k = 0; k < n; ++k) inverseDiagonal_[k] = 1.0 / a[k * n + k];
    return regular;
}

void DenseLu::Solve(double* b) const {
    // Column after column of the transposed factors: each value, once known,
    // is taken from every later (earlier) one in a loop without a carried
    // dependence, and the forward pass subtracts in the order a row-by-row
    // dot product would.
    const std::size_t n = static_cast<std::size_t>(order_);
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return SubstituteWide(transposed_.data(), pivot_.data(), inverseDiagonal_.data(), n, b);
#endif
    Substitute(transposed_.data(), pivot_.data(), inverseDiagonal_.data(), n, b);
}

void DenseLu::SolveFour(double* b) const {
    const std::size_t n = static_cast<std::size_t>(order_);
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return SubstituteFourWide(transposed_.data(), pivot_.data(), inverseDiagonal_.data(), n, b);
#endif
    SubstituteFour(transposed_.data(), pivot_.data(), inverseDiagonal_.data(), n, b);
}

void DenseLu::SolveTransposed(double* b) const {
    // A^T = U^T L^T P: solve U^T, then L^T, then undo the exchanges. Column
    // oriented, so that the inner loops run along rows of the factors.
    const std::size_t n = static_cast<std::size_t>(order_);
    const double* const a = lu_.data();
    for (std::size_t r = 0; r < n; ++r) {
        const double* row = a + r * n;
        const double value = b[r] / row[r];
        b[r] = value;
        for (std::size_t c = r + 1; c < n; ++c) b[c] -= row[c] * value;
    }
    for (std::size_t r = n; r-- > 0;) {
        const double* row = a + r * n;
        const double value = b[r];
        for (std::size_t c = 0; c < r; ++c) b[c] -= row[c] * value;
    }
    for (std::size_t k = n; k-- > 0;) std::swap(b[k], b[pivot_[k]]);
}

double DenseLu::ReciprocalCondition(double* alongside) const {
    const int n = order_;
    if (n == 0 || !(norm_ > 0.0)) {
        if (alongside != nullptr) Solve(alongside);
        return 0.0;
    }
    const std::size_t size = static_cast<std::size_t>(n);
    // The first vector of the iteration, Higham's alternating vector and the
    // caller's right-hand side do not depend on one another: one pass over
    // the factors solves all three.
    lanes_.resize(4 * size);
    for (std::size_t i = 0; i < size; ++i) {
        double* lane = &lanes_[4 * i];
        lane[0] = 1.0 / n;
        lane[1] = (i % 2 == 0 ? 1.0 : -1.0) * (1.0 + static_cast<double>(i) / static_cast<double>(n > 1 ? n - 1 : 1));
        lane[2] = alongside != nullptr ? alongside[i] : 0.0;
        lane[3] = 0.0;
    }
    SolveFour(lanes_.data());
    std::vector<double>& x = work_;
    std::vector<double>& z = sign_;
    x.resize(size);
    z.resize(size);
    for (std::size_t i = 0; i < size; ++i) x[i] = lanes_[4 * i];
    if (alongside != nullptr)
        for (std::size_t i = 0; i < size; ++i) alongside[i] = lanes_[4 * i + 2];
    // Hager's iteration for ||A^-1||_1: y = A^-1 x is a lower bound; the
    // gradient z = A^-T sign(y) says whether a corner e_j of the unit ball
    // gives a larger one, and which.
    double estimate = 0.0;
    for (int iteration = 0; iteration < 5; ++iteration) {
        if (iteration > 0) Solve(x.data());  // x becomes y
        double norm = 0.0;
        for (double v : x) norm += std::fabs(v);
        if (iteration > 0 && !(norm > estimate)) break;
        estimate = norm;
        for (std::size_t i = 0; i < size; ++i) z[i] = x[i] >= 0.0 ? 1.0 : -1.0;
        // z^T x for the current x: e_j after the first step, 1/n before it.
        if (symmetric_) Solve(z.data());  // A^-T = A^-1
        else SolveTransposed(z.data());
        std::size_t best = 0;
        for (std::size_t i = 1; i < size; ++i)
            if (std::fabs(z[i]) > std::fabs(z[best])) best = i;
        const double along = iteration == 0 ? std::accumulate(z.begin(), z.end(), 0.0) / n : z[previous_];
        if (!(std::fabs(z[best]) > along)) break;  // no corner does better
        previous_ = best;
        std::fill(x.begin(), x.end(), 0.0);
        x[best] = 1.0;
    }
    // Higham's safeguard: the alternating vector catches what the corners miss.
    double alternate = 0.0;
    for (std::size_t i = 0; i < size; ++i) alternate += std::fabs(lanes_[4 * i + 1]);
    estimate = std::max(estimate, 2.0 * alternate / (3.0 * n));
    return 1.0 / (norm_ * estimate);
}

double DenseLu::ReciprocalConditionFloor(double mark) const {
    const std::size_t n = static_cast<std::size_t>(order_);
    if (n == 0 || !(norm_ > 0.0) || !(mark > 0.0)) return 0.0;
    // The norm of L's inverse is at least 1 and both only grow as the
    // passes go: past this product the floor is below the mark (stopping
    // early only ever costs the caller the estimate itself).
    const double reach = 1.0 / (mark * norm_);
    // A substitution of order n is exact for its triangle perturbed by at
    // most n + 2 roundings relative to each entry (the diagonal of U has two
    // more, from its reciprocal); twice that is allowed for. The 1-norm of a
    // nonnegative inverse is its largest column sum: the largest entry of
    // the solution of M^T v = e, a sum of nonnegative terms without
    // cancellation whose own rounding the final margin covers.
    const double slack = static_cast<double>(n + 4) * 0x1p-52;
    const double grow = 1.0 + slack, shrink = 1.0 - slack;
    const double* const t = transposed_.data();  // column c of the factors at t + c * n
    std::vector<double>& v = sign_;
    v.resize(n);
    double upper = 0.0;  // U: M(U)^T is lower triangular, forwards
    for (std::size_t c = 0; c < n; ++c) {
        const double* column = t + c * n;
        double sum = 0.0;
        for (std::size_t r = 0; r < c; ++r) sum += std::fabs(column[r]) * v[r];
        const double value = (1.0 + grow * sum) / (shrink * std::fabs(column[c]));
        if (!(value <= reach)) return 0.0;  // also on overflow or a NaN
        v[c] = value;
        upper = std::max(upper, value);
    }
    double lower = 0.0;  // L (unit diagonal): M(L)^T is upper triangular, backwards
    for (std::size_t c = n; c-- > 0;) {
        const double* column = t + c * n;
        double sum = 0.0;
        for (std::size_t r = c + 1; r < n; ++r) sum += std::fabs(column[r]) * v[r];
        const double value = 1.0 + grow * sum;
        if (!(upper * value <= reach)) return 0.0;
        v[c] = value;
        lower = std::max(lower, value);
    }
    // The estimate's starting vectors have unit 1-norm up to a rounding or
    // two, its sums of n magnitudes n roundings more: a margin far above
    // every such factor for any order met.
    return (1.0 - 1e-9) / (norm_ * upper * lower);
}

double DenseLu::SmallestPivot() const {
    double smallest = std::fabs(At(0, 0));
    for (int k = 1; k < order_; ++k) smallest = std::min(smallest, std::fabs(At(k, k)));
    return smallest;
}

double DenseLu::LargestPivot() const {
    double largest = 0.0;
    for (int k = 0; k < order_; ++k) largest = std::max(largest, std::fabs(At(k, k)));
    return largest;
}

}  // namespace mosaro
