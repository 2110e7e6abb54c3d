#include "Solver.h"

#include <cmath>
#include <cstddef>

#include "FloatArith.h"

namespace mosaro {
namespace {

// 1e-6 is below the guard threshold once rounded to float
// (9.999999974752427e-7), so an exact 0 is moved twice.
inline void GuardPivot(float& pivot) {
    const double p = f64(pivot);
    if (std::fabs(p) < 1e-6) pivot = f32(p < 0.0 ? p - 1e-6 : p + 1e-6);
}

}  // namespace

void SolveGuardedInPlace(float* augmented, int order, float* solution) {
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
                target[j] = f32(f64(target[j]) - (factor * f64(pivotRow[j])) / f64(pivot));
            }
        }
    }

    const int last = order - 1;
    GuardPivot(row(last)[last]);
    solution[last] = f32(f64(row(last)[order]) / f64(row(last)[last]));
    for (int i = order - 2; i >= 0; --i) {
        const float* current = row(i);
        float sum = 0.0f;
        for (int j = i + 1; j < order; ++j) sum = f32(f64(sum) + f64(current[j]) * f64(solution[j]));
        GuardPivot(row(i)[i]);
        solution[i] = f32((f64(current[order]) - f64(sum)) / f64(current[i]));
    }
}

}  // namespace mosaro
