#include "systems/NodeSystem.h"

namespace mosaro {

float KrigingVariance(const NodeSolution<float>& s) {
    double explained = 0.0;
    for (int i = 0; i < s.order; ++i) explained += f64(s.weights[i]) * f64(s.rightSide[i]);
    return f32(f64(s.sill) - explained);
}

}  // namespace mosaro
