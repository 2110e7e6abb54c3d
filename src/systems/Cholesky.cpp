#include "systems/Cholesky.h"

#include <cmath>
#include <cstddef>

namespace mosaro {

bool CholeskySolve(std::vector<double>& matrix, int order, double* b) {
    const std::size_t n = static_cast<std::size_t>(order);
    double* a = matrix.data();
    // The diagonal holds each root's reciprocal: one division per row, and
    // multiplications (several per vector) in the loops that follow.
    for (std::size_t k = 0; k < n; ++k) {
        double* rowK = a + k * n;
        if (!(rowK[k] > 0.0)) return false;
        const double inverse = 1.0 / std::sqrt(rowK[k]);
        rowK[k] = inverse;
        for (std::size_t j = k + 1; j < n; ++j) rowK[j] *= inverse;
        for (std::size_t i = k + 1; i < n; ++i) {
            double* rowI = a + i * n;
            const double factor = rowK[i];
            for (std::size_t j = i; j < n; ++j) rowI[j] -= factor * rowK[j];
        }
    }
    for (std::size_t k = 0; k < n; ++k) {  // U^T y = b, along the rows of U
        const double* rowK = a + k * n;
        b[k] *= rowK[k];
        const double yk = b[k];
        for (std::size_t i = k + 1; i < n; ++i) b[i] -= rowK[i] * yk;
    }
    for (std::size_t i = n; i-- > 0;) {  // U x = y
        const double* rowI = a + i * n;
        double sum = b[i];
        for (std::size_t j = i + 1; j < n; ++j) sum -= rowI[j] * b[j];
        b[i] = sum * rowI[i];
    }
    return true;
}

}  // namespace mosaro
