#include "Solver.h"

#include <cmath>
#include <cstddef>

#include "FloatArith.h"

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
using RowUpdate = void (*)(float* __restrict target, const float* __restrict pivotRow, int from, int end,
                           double factor, double divisor);

void UpdateRowBaseline(float* __restrict target, const float* __restrict pivotRow, int from, int end,
                       double factor, double divisor) {
    for (int j = from; j < end; ++j) target[j] = Eliminated(target[j], factor, pivotRow[j], divisor);
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void UpdateRowWide(float* __restrict target, const float* __restrict pivotRow,
                                                   int from, int end, double factor, double divisor) {
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

void SolveGuardedInPlace(float* augmented, int order, float* solution, bool widestVectors) {
    if (order < 1) return;
    const RowUpdate updateRow = widestVectors ? kBestRowUpdate : UpdateRowBaseline;
    const std::size_t width = static_cast<std::size_t>(order) + 1;

    for (int k = 0; k < order; ++k) {
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
    BackSubstitute(augmented, order, solution);
}

}  // namespace mosaro
