#include "systems/Cholesky.h"

#include <cmath>
#include <cstddef>

namespace mosaro {

bool CholeskySolve(std::vector<double>& a, int order, double* b) {
    const std::size_t n = static_cast<std::size_t>(order);
    for (std::size_t j = 0; j < n; ++j) {
        double diagonal = a[j * n + j];
        for (std::size_t k = 0; k < j; ++k) diagonal -= a[j * n + k] * a[j * n + k];
        if (!(diagonal > 0.0)) return false;
        const double root = std::sqrt(diagonal);
        a[j * n + j] = root;
        for (std::size_t i = j + 1; i < n; ++i) {
            double sum = a[i * n + j];
            for (std::size_t k = 0; k < j; ++k) sum -= a[i * n + k] * a[j * n + k];
            a[i * n + j] = sum / root;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {  // L y = b
        double sum = b[i];
        for (std::size_t k = 0; k < i; ++k) sum -= a[i * n + k] * b[k];
        b[i] = sum / a[i * n + i];
    }
    for (std::size_t i = n; i-- > 0;) {  // L^T x = y
        double sum = b[i];
        for (std::size_t k = i + 1; k < n; ++k) sum -= a[k * n + i] * b[k];
        b[i] = sum / a[i * n + i];
    }
    return true;
}

}  // namespace mosaro
