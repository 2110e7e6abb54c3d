#include "methods/SimpleKriging.h"

#include <limits>

namespace mosaro {
namespace {

class SimpleKriging final : public NodeMethod {
public:
    explicit SimpleKriging(double mean) : mean_(mean) {}

    int BorderSize() const override { return 0; }
    // The legacy arithmetic has no simple kriging.
    float Estimate(const NodeSolution<float>&) const override { return std::numeric_limits<float>::quiet_NaN(); }
    double Estimate(const NodeSolution<double>& s) const override {
        double z = mean_;
        for (int a = 0; a < s.columns; ++a) z += s.weights[a] * (s.values[a] - mean_);
        return z;
    }

private:
    double mean_;
};

}  // namespace

std::unique_ptr<NodeMethod> MakeSimpleKriging(double mean) { return std::make_unique<SimpleKriging>(mean); }

}  // namespace mosaro
