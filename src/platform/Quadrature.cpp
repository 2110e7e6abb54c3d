#include "platform/Quadrature.h"

#include <cmath>

#include "platform/PortableMath.h"

namespace mosaro {

QuadratureRule GaussLegendre(int n) {
    QuadratureRule rule;
    rule.nodes.resize(static_cast<std::size_t>(n));
    rule.weights.resize(rule.nodes.size());
    const double pi = 3.14159265358979323846;
    // The rule is symmetric: the first half by Newton's method, the rest by
    // reflection, so that nodes come in exact pairs +-x.
    for (int i = 0; i < (n + 1) / 2; ++i) {
        double x = Cosine(pi * (i + 0.75) / (n + 0.5));
        double derivative = 1.0;
        for (int step = 0; step < 100; ++step) {
            double p0 = 1.0, p1 = x;  // P_0, P_1, then the recurrence up to P_n
            for (int k = 2; k <= n; ++k) {
                const double p2 = ((2.0 * k - 1.0) * x * p1 - (k - 1.0) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            const double pn = n == 1 ? x : p1, pn1 = n == 1 ? 1.0 : p0;
            derivative = n * (x * pn - pn1) / (x * x - 1.0);
            const double next = x - pn / derivative;
            const bool settled = std::fabs(next - x) <= 1e-16 * std::fabs(x) + 1e-300;
            x = next;
            if (settled) break;
        }
        if (n == 1) {
            x = 0.0;
            derivative = 1.0;
        }
        const double weight = 2.0 / ((1.0 - x * x) * derivative * derivative);
        rule.nodes[static_cast<std::size_t>(i)] = -x;
        rule.nodes[static_cast<std::size_t>(n - 1 - i)] = x;
        rule.weights[static_cast<std::size_t>(i)] = rule.weights[static_cast<std::size_t>(n - 1 - i)] = weight;
    }
    if (n % 2 == 1) rule.nodes[static_cast<std::size_t>(n / 2)] = 0.0;
    return rule;
}

}  // namespace mosaro
