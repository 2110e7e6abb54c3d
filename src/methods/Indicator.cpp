#include "methods/Indicator.h"

#include "platform/FloatArith.h"

namespace mosaro {
namespace {

class IndicatorRules final : public NodeMethod {
public:
    explicit IndicatorRules(float threshold) : threshold_(threshold) {}

    // A sum of per-threshold estimates has no single kriging system.
    bool HasVariance() const override { return false; }
    float Estimate(const NodeSolution<float>& s) const override { return Estimated(s); }
    double Estimate(const NodeSolution<double>& s) const override { return Estimated(s); }

private:
    // Written once for both arithmetics: every step in double, each running
    // sum stored in the arithmetic's type.
    template <class T>
    T Estimated(const NodeSolution<T>& s) const {
        int atOrBelow = 0;
        T kriged = 0;  // kriged indicator: weights of the samples at or below
        T total = 0;   // sum of the values at or below the threshold
        for (int a = 0; a < s.columns; ++a) {
            const double value = static_cast<double>(s.values[a]);
            const double indicator = value - f64(threshold_) > 0.0 ? 0.0 : 1.0;
            if (indicator == 1.0) ++atOrBelow;
            kriged = Stored<T>(static_cast<double>(kriged) + static_cast<double>(s.weights[a]) * indicator);
            total = Stored<T>(static_cast<double>(total) + indicator * value);
        }
        if (atOrBelow == 0) atOrBelow = 1;
        return Stored<T>(((1.0 - static_cast<double>(kriged)) * static_cast<double>(total)) /
                         static_cast<double>(atOrBelow));
    }

    float threshold_;
};

}  // namespace

float Indicator(float value, float threshold) { return f64(value) - f64(threshold) > 0.0 ? 0.0f : 1.0f; }

std::unique_ptr<NodeMethod> MakeIndicator(float threshold) { return std::make_unique<IndicatorRules>(threshold); }

}  // namespace mosaro
