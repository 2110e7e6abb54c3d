#include "systems/Solver.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "platform/FloatArith.h"

namespace mosaro {
namespace {

// The guard acts below this magnitude. 1e-6 is below it once rounded to
// float (9.999999974752427e-7), so an exact 0 is moved twice.
constexpr double kGuardLimit = 1e-6;

inline bool NeedsGuard(float pivot) { return std::fabs(f64(pivot)) < kGuardLimit; }

inline void GuardPivot(float& pivot) {
    const double p = f64(pivot);
    if (std::fabs(p) < kGuardLimit) pivot = f32(p < 0.0 ? p - kGuardLimit : p + kGuardLimit);
}

inline float Eliminated(float target, double factor, float pivotRowEntry, double pivot) {
    return f32(f64(target) - (factor * f64(pivotRowEntry)) / pivot);
}

// The updates of one row from column `from` on with a fixed divisor: every
// element on its own, so the loop vectorises. Compiled twice: for the
// baseline instruction set, and where the processor has them, for 256-bit
// vectors. Each element takes the same IEEE operations either way (no
// fused multiply-add: contraction is off), so both give the same bits.
using RowUpdate = void (*)(float* __restrict target, const float* __restrict pivotRow, int from, int end, double factor,
                           double divisor);

void UpdateRowBaseline(float* __restrict target, const float* __restrict pivotRow, int from, int end, double factor,
                       double divisor) {
    for (int j = from; j < end; ++j) target[j] = Eliminated(target[j], factor, pivotRow[j], divisor);
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void UpdateRowWide(float* __restrict target, const float* __restrict pivotRow, int from,
                                                   int end, double factor, double divisor) {
    for (int j = from; j < end; ++j) target[j] = Eliminated(target[j], factor, pivotRow[j], divisor);
}

RowUpdate BestRowUpdate() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? UpdateRowWide : UpdateRowBaseline;
}
#else
RowUpdate BestRowUpdate() { return UpdateRowBaseline; }
#endif

const RowUpdate kBestRowUpdate = BestRowUpdate();

// Back substitution, shared by both forms: each diagonal entry is guarded
// once more before it divides.
void BackSubstitute(float* augmented, int order, float* solution) {
    const std::size_t width = static_cast<std::size_t>(order) + 1;
    auto row = [&](int r) { return augmented + static_cast<std::size_t>(r) * width; };
    const int last = order - 1;
    GuardPivot(row(last)[last]);
    solution[last] = f32(f64(row(last)[order]) / f64(row(last)[last]));
    for (int i = order - 2; i >= 0; --i) {
        float* current = row(i);
        float sum = 0.0f;
        for (int j = i + 1; j < order; ++j) sum = f32(f64(sum) + f64(current[j]) * f64(solution[j]));
        GuardPivot(current[i]);
        solution[i] = f32((f64(current[order]) - f64(sum)) / f64(current[i]));
    }
}

}  // namespace

void SolveGuardedInPlaceReference(float* augmented, int order, float* solution) {
    if (order < 1) return;
    const std::size_t width = static_cast<std::size_t>(order) + 1;
    auto row = [&](int r) { return augmented + static_cast<std::size_t>(r) * width; };

    for (int k = 0; k < order; ++k) {
        float* pivotRow = row(k);
        float& pivot = pivotRow[k];
        for (int i = k + 1; i < order; ++i) {
            float* target = row(i);
            const double factor = f64(target[k]);
            for (int j = k + 1; j <= order; ++j) {
                GuardPivot(pivot);
                target[j] = Eliminated(target[j], factor, pivotRow[j], f64(pivot));
            }
        }
    }
    BackSubstitute(augmented, order, solution);
}

void SolveGuardedInPlace(float* augmented, int order, float* solution) {
    SolveGuardedInPlace(augmented, order, solution, true);
}

namespace {

// Whether the square part is exactly symmetric and holds no NaN (whose
// payload could depend on the order of a product's operands).
bool IsSymmetricWithoutNaN(const float* augmented, int order, std::size_t width) {
    for (int i = 0; i < order; ++i) {
        const float* row = augmented + static_cast<std::size_t>(i) * width;
        if (std::isnan(row[i])) return false;
        for (int j = i + 1; j < order; ++j) {
            const float mirror = augmented[static_cast<std::size_t>(j) * width + static_cast<std::size_t>(i)];
            if (std::isnan(row[j]) || std::memcmp(&row[j], &mirror, sizeof mirror) != 0) return false;
        }
    }
    return true;
}

// Elimination steps [first, order): every element of the trailing rows.
void EliminateFrom(float* augmented, int order, int first, RowUpdate updateRow) {
    const std::size_t width = static_cast<std::size_t>(order) + 1;
    for (int k = first; k < order; ++k) {
        const float* pivotRow = augmented + static_cast<std::size_t>(k) * width;
        float& pivot = augmented[static_cast<std::size_t>(k) * width + static_cast<std::size_t>(k)];
        for (int i = k + 1; i < order; ++i) {
            float* target = augmented + static_cast<std::size_t>(i) * width;
            const double factor = f64(target[k]);
            int j = k + 1;
            // The guard is not idempotent below the limit (0 moves to
            // 9.99999997e-7, then to about 2e-6), so while it still acts it
            // runs before each update as in the plain form. Once the pivot
            // is at or above the limit (or not a number) the guard leaves it
            // alone for good, and the rest of the row is one independent
            // loop with a fixed divisor.
            for (; j <= order && NeedsGuard(pivot); ++j) {
                GuardPivot(pivot);
                target[j] = Eliminated(target[j], factor, pivotRow[j], f64(pivot));
            }
            updateRow(target, pivotRow, j, order + 1, factor, f64(pivot));
        }
    }
}

// Elimination of a symmetric system while it stays symmetric; returns the
// first step it did not take. Entry (i, j) is updated with a_ik a_kj and
// entry (j, i) with a_jk a_ki: the same two factors, and a product does not
// depend on their order, so as long as each step divides by one pivot value
// the trailing square part stays exactly symmetric. Only its upper triangle
// and the right-hand side are computed, and the factor a_ik is read from
// its mirror a_ki. A pivot the guard still moves breaks this (the plain form
// moves it between the updates of one row), so the steps stop there.
int EliminateSymmetric(float* augmented, int order, RowUpdate updateRow) {
    const std::size_t width = static_cast<std::size_t>(order) + 1;
    for (int k = 0; k < order; ++k) {
        const float* pivotRow = augmented + static_cast<std::size_t>(k) * width;
        if (NeedsGuard(pivotRow[k])) return k;
        const double pivot = f64(pivotRow[k]);
        for (int i = k + 1; i < order; ++i) {
            float* target = augmented + static_cast<std::size_t>(i) * width;
            updateRow(target, pivotRow, i, order + 1, f64(pivotRow[i]), pivot);
        }
    }
    return order;
}

// Restores the lower triangle of the trailing rows from the upper one.
void MirrorLowerTriangle(float* augmented, int order, int first) {
    const std::size_t width = static_cast<std::size_t>(order) + 1;
    for (int i = first + 1; i < order; ++i)
        for (int j = first; j < i; ++j)
            augmented[static_cast<std::size_t>(i) * width + static_cast<std::size_t>(j)] =
                augmented[static_cast<std::size_t>(j) * width + static_cast<std::size_t>(i)];
}

}  // namespace

void SolveGuardedInPlace(float* augmented, int order, float* solution, bool widestVectors) {
    if (order < 1) return;
    const RowUpdate updateRow = widestVectors ? kBestRowUpdate : UpdateRowBaseline;
    const std::size_t width = static_cast<std::size_t>(order) + 1;
    int first = 0;
    if (IsSymmetricWithoutNaN(augmented, order, width)) {
        first = EliminateSymmetric(augmented, order, updateRow);
        if (first < order) MirrorLowerTriangle(augmented, order, first);
    }
    EliminateFrom(augmented, order, first, updateRow);
    BackSubstitute(augmented, order, solution);
}

}  // namespace mosaro
