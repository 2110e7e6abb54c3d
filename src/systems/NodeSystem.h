// One node's kriging system, assembled as the solver's augmented matrix,
// shared by the plain and the fast sweep. The right-hand side is also kept
// aside for estimates that read it after the solve.
#pragma once

#include <cstddef>
#include <vector>

#include "systems/NodeProcedure.h"
#include "systems/Solver.h"

namespace mosaro {

class NodeSystem {
public:
    NodeSystem(int neighbours, int borderSize)
        : m_(neighbours),
          border_(borderSize),
          order_(neighbours + borderSize),
          augmented_(static_cast<std::size_t>(order_) * static_cast<std::size_t>(order_ + 1)),
          rightSide_(static_cast<std::size_t>(order_)),
          solution_(static_cast<std::size_t>(order_)),
          terms_(static_cast<std::size_t>(borderSize)) {}

    // Columns a = 0 .. m - 1 are the samples at (x[a], y[a]);
    // pairCovariance(a, b), a < b, gives the covariance of columns a and b.
    template <class PairCovariance>
    void Assemble(const float* x, const float* y, float nodeX, float nodeY, const KrigingConstants& c,
                  const NodeMethod& method, PairCovariance&& pairCovariance) {
        for (int a = 0; a < m_; ++a) {
            At(a, a) = c.sill;
            for (int b = a + 1; b < m_; ++b) At(a, b) = At(b, a) = pairCovariance(a, b);
            rightSide_[static_cast<std::size_t>(a)] =
                c.Covariance(c.AnisotropicDistance(x[a], y[a], nodeX, nodeY));
            method.BorderColumn(a, x[a], y[a], terms_.data());
            for (int t = 0; t < border_; ++t) At(m_ + t, a) = At(a, m_ + t) = terms_[static_cast<std::size_t>(t)];
        }
        for (int t = 0; t < border_; ++t)
            for (int u = 0; u < border_; ++u) At(m_ + t, m_ + u) = 0.0f;
        method.BorderRightSide(nodeX, nodeY, terms_.data());
        for (int t = 0; t < border_; ++t)
            rightSide_[static_cast<std::size_t>(m_ + t)] = terms_[static_cast<std::size_t>(t)];
        for (int r = 0; r < order_; ++r) At(r, order_) = rightSide_[static_cast<std::size_t>(r)];
    }

    // Covariances computed afresh for every pair (the plain sweep's way).
    void Assemble(const float* x, const float* y, float nodeX, float nodeY, const KrigingConstants& c,
                  const NodeMethod& method) {
        Assemble(x, y, nodeX, nodeY, c, method, [&](int a, int b) {
            return c.Covariance(c.AnisotropicDistance(x[a], y[a], x[b], y[b]));
        });
    }

    void Solve() { SolveGuardedInPlace(augmented_.data(), order_, solution_.data()); }
    void SolveReference() { SolveGuardedInPlaceReference(augmented_.data(), order_, solution_.data()); }

    // `values` are the m columns' sample values.
    NodeSolution View(const float* values, const KrigingConstants& c) const {
        return NodeSolution{m_, order_, solution_.data(), rightSide_.data(), values, &c};
    }

private:
    float& At(int row, int column) {
        return augmented_[static_cast<std::size_t>(row) * static_cast<std::size_t>(order_ + 1) +
                          static_cast<std::size_t>(column)];
    }

    int m_;
    int border_;
    int order_;
    std::vector<float> augmented_;
    std::vector<float> rightSide_;
    std::vector<float> solution_;
    std::vector<float> terms_;
};

}  // namespace mosaro
