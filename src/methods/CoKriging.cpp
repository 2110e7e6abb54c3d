#include "methods/CoKriging.h"

namespace mosaro {
namespace {

class CoKriging final : public NodeMethod {
public:
    CoKriging(int variables, int perBlock, int nearest)
        : variables_(variables), perBlock_(perBlock), nearest_(nearest) {}

    // q passes over block 0, each exchange applied to every block so that
    // the blocks stay aligned (entries v P + t share one location).
    NeighbourLayout Neighbours(int /*count*/, int /*m*/) const override {
        return NeighbourLayout{variables_, perBlock_, nearest_};
    }
    int Variables() const override { return variables_; }
    int BorderSize() const override { return variables_; }
    void BorderColumn(int variable, float, float, float* terms) const override { OneHot(variable, terms); }
    void BorderColumn(int variable, double, double, const double*, double* terms) const override {
        OneHot(variable, terms);
    }
    // The primary variable's weights sum to 1, every other variable's to 0.
    void BorderRightSide(float, float, float* terms) const override { OneHot(0, terms); }
    void BorderRightSide(double, double, const double*, double* terms) const override { OneHot(0, terms); }

private:
    template <class T>
    void OneHot(int variable, T* terms) const {
        for (int v = 0; v < variables_; ++v) terms[v] = v == variable ? 1 : 0;
    }

    int variables_;
    int perBlock_;
    int nearest_;
};

}  // namespace

std::unique_ptr<NodeMethod> MakeCoKriging(int variables, int perBlock, int nearest) {
    return std::make_unique<CoKriging>(variables, perBlock, nearest);
}

}  // namespace mosaro
