#include "systems/NodeMethod.h"

#include "platform/FloatArith.h"

namespace mosaro {
namespace {

// z = sum of w_a v_a, stored after every addition.
template <class T>
T WeightedSum(const NodeSolution<T>& s) {
    T z = 0;
    for (int a = 0; a < s.columns; ++a)
        z = Stored<T>(static_cast<double>(z) + static_cast<double>(s.weights[a]) * static_cast<double>(s.values[a]));
    return z;
}

}  // namespace

void NodeMethod::BorderColumn(int /*variable*/, float x, float y, float* terms) const { Drift(x, y, terms); }
void NodeMethod::BorderColumn(int /*variable*/, double x, double y, const double* covariates, double* terms) const {
    Drift(x, y, covariates, terms);
}
void NodeMethod::BorderRightSide(float x, float y, float* terms) const { Drift(x, y, terms); }
void NodeMethod::BorderRightSide(double x, double y, const double* covariates, double* terms) const {
    Drift(x, y, covariates, terms);
}
void NodeMethod::Drift(float, float, float* terms) const { terms[0] = 1.0f; }
void NodeMethod::Drift(double, double, const double*, double* terms) const { terms[0] = 1.0; }
float NodeMethod::Estimate(const NodeSolution<float>& s) const { return WeightedSum(s); }
double NodeMethod::Estimate(const NodeSolution<double>& s) const { return WeightedSum(s); }

}  // namespace mosaro
