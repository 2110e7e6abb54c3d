#include "variogram/NonNegativeLeastSquares.h"

#include <cmath>

namespace mosaro {
namespace {

// Least squares on the chosen columns by Householder QR; columns whose
// remaining part vanishes (dependent on the others) get 0.
std::vector<double> LeastSquaresOn(const std::vector<double>& a, const std::vector<double>& b, std::size_t rows,
                                   std::size_t columns, const std::vector<std::size_t>& chosen) {
    const std::size_t k = chosen.size();
    std::vector<double> q(rows * k);
    for (std::size_t r = 0; r < rows; ++r)
        for (std::size_t c = 0; c < k; ++c) q[r * k + c] = a[r * columns + chosen[c]];
    std::vector<double> rhs = b;
    std::vector<bool> dependent(k, false);
    for (std::size_t c = 0; c < k && c < rows; ++c) {
        double norm = 0.0;
        for (std::size_t r = c; r < rows; ++r) norm += q[r * k + c] * q[r * k + c];
        norm = std::sqrt(norm);
        if (norm <= 1e-13) {
            dependent[c] = true;
            continue;
        }
        const double alpha = q[c * k + c] > 0 ? -norm : norm;
        std::vector<double> v(rows, 0.0);
        v[c] = q[c * k + c] - alpha;
        for (std::size_t r = c + 1; r < rows; ++r) v[r] = q[r * k + c];
        double vv = 0.0;
        for (std::size_t r = c; r < rows; ++r) vv += v[r] * v[r];
        if (vv == 0.0) continue;
        for (std::size_t cc = c; cc < k; ++cc) {
            double dot = 0.0;
            for (std::size_t r = c; r < rows; ++r) dot += v[r] * q[r * k + cc];
            const double f = 2.0 * dot / vv;
            for (std::size_t r = c; r < rows; ++r) q[r * k + cc] -= f * v[r];
        }
        double dot = 0.0;
        for (std::size_t r = c; r < rows; ++r) dot += v[r] * rhs[r];
        const double f = 2.0 * dot / vv;
        for (std::size_t r = c; r < rows; ++r) rhs[r] -= f * v[r];
    }
    std::vector<double> x(k, 0.0);
    for (std::size_t c = k; c-- > 0;) {
        if (c >= rows || dependent[c]) continue;
        double s = rhs[c];
        for (std::size_t cc = c + 1; cc < k; ++cc) s -= q[c * k + cc] * x[cc];
        x[c] = s / q[c * k + c];
    }
    return x;
}

}  // namespace

std::vector<double> NonNegativeLeastSquares(const std::vector<double>& aIn, const std::vector<double>& b,
                                            std::size_t rows, std::size_t columns) {
    std::vector<double> a = aIn;
    std::vector<double> scale(columns, 1.0);
    for (std::size_t c = 0; c < columns; ++c) {
        double norm = 0.0;
        for (std::size_t r = 0; r < rows; ++r) norm += a[r * columns + c] * a[r * columns + c];
        norm = std::sqrt(norm);
        if (norm > 0.0) {
            scale[c] = norm;
            for (std::size_t r = 0; r < rows; ++r) a[r * columns + c] /= norm;
        }
    }
    std::vector<double> x(columns, 0.0);
    std::vector<bool> passive(columns, false);
    auto gradient = [&]() {
        std::vector<double> residual = b;
        for (std::size_t r = 0; r < rows; ++r)
            for (std::size_t c = 0; c < columns; ++c) residual[r] -= a[r * columns + c] * x[c];
        std::vector<double> w(columns, 0.0);
        for (std::size_t c = 0; c < columns; ++c)
            for (std::size_t r = 0; r < rows; ++r) w[c] += a[r * columns + c] * residual[r];
        return w;
    };
    double bNorm = 0.0;
    for (double v : b) bNorm += v * v;
    const double tolerance = 1e-12 * (std::sqrt(bNorm) + 1e-300);
    for (std::size_t outer = 0; outer < 3 * columns + 3; ++outer) {
        const std::vector<double> w = gradient();
        std::size_t best = columns;
        for (std::size_t c = 0; c < columns; ++c)
            if (!passive[c] && w[c] > tolerance && (best == columns || w[c] > w[best])) best = c;
        if (best == columns) break;
        passive[best] = true;
        for (std::size_t inner = 0; inner < 3 * columns + 3; ++inner) {
            std::vector<std::size_t> chosen;
            for (std::size_t c = 0; c < columns; ++c)
                if (passive[c]) chosen.push_back(c);
            const std::vector<double> z = LeastSquaresOn(a, b, rows, columns, chosen);
            bool feasible = true;
            for (double v : z) feasible = feasible && v > 0.0;
            if (feasible) {
                for (std::size_t i = 0; i < chosen.size(); ++i) x[chosen[i]] = z[i];
                break;
            }
            // Step towards z as far as every coefficient stays >= 0; the
            // coefficient that reaches 0 first (and any other at 0) leaves.
            double alpha = 1.0;
            std::size_t blocking = columns;
            for (std::size_t i = 0; i < chosen.size(); ++i) {
                const std::size_t c = chosen[i];
                if (z[i] <= 0.0) {
                    const double t = x[c] / (x[c] - z[i]);
                    if (t < alpha || blocking == columns) {
                        alpha = t < alpha ? t : alpha;
                        blocking = c;
                    }
                }
            }
            for (std::size_t i = 0; i < chosen.size(); ++i) {
                const std::size_t c = chosen[i];
                x[c] += alpha * (z[i] - x[c]);
                if (c == blocking || x[c] <= 0.0) {
                    x[c] = 0.0;
                    passive[c] = false;
                }
            }
            bool anyLeft = false;
            for (std::size_t c = 0; c < columns; ++c) anyLeft = anyLeft || passive[c];
            if (!anyLeft) break;
        }
    }
    for (std::size_t c = 0; c < columns; ++c) x[c] = x[c] > 0.0 ? x[c] / scale[c] : 0.0;
    return x;
}

}  // namespace mosaro
