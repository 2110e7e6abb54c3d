// The node step of the legacy arithmetic, written once for every sweep that
// runs it (the reference and the fast sweep, cross-validation): the system
// of a node's columns assembled as the solver's augmented matrix, solved
// with the pivot guard, the method's estimate with the 0.01 cut-off, and
// the kriging variance.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "platform/FloatArith.h"
#include "systems/KrigingConstants.h"
#include "systems/NodeMethod.h"
#include "systems/Solver.h"

namespace mosaro {

// Kriging variance of a solved node: Csum - sum over the whole system of
// solution[i] * rightSide[i] (weights times covariances to the node, drift
// multipliers times the drift at the node), summed in double and rounded
// once. It reads the solution only, so asking for it changes no estimate.
float KrigingVariance(const NodeSolution<float>& solution);

// An estimate and its variance (NaN where the method has none).
struct NodeEstimate {
    float estimate;
    float variance;
};

// Which solver a step runs: the literal one the reference sweep proves the
// others against, or the fast one (same bits).
enum class SolverPath { kFast, kReference };

class LegacyNodeStep {
public:
    // A system of `columns` columns (co-kriging: every variable's, variable
    // after variable) bordered by the method's conditions.
    LegacyNodeStep(int columns, const NodeMethod& method, const KrigingConstants& constants, SolverPath path)
        : method_(method),
          constants_(constants),
          path_(path),
          m_(columns),
          border_(method.BorderSize()),
          order_(columns + border_),
          perVariable_(columns / std::max(method.Variables(), 1)),
          augmented_(static_cast<std::size_t>(order_) * static_cast<std::size_t>(order_ + 1)),
          rightSide_(static_cast<std::size_t>(order_)),
          solution_(static_cast<std::size_t>(order_)),
          terms_(static_cast<std::size_t>(border_)) {}

    int Columns() const { return m_; }
    int Order() const { return order_; }

    // Columns a = 0 .. m - 1 are the samples at (x[a], y[a]) with values[a];
    // the node is at (nodeX, nodeY); pairCovariance(a, b), a < b, gives the
    // covariance of columns a and b.
    template <class PairCovariance>
    NodeEstimate Estimate(const float* x, const float* y, const float* values, float nodeX, float nodeY,
                          PairCovariance&& pairCovariance) {
        const KrigingConstants& c = constants_;
        auto nodeCovariance = [&](int a) { return c.Covariance(c.AnisotropicDistance(x[a], y[a], nodeX, nodeY)); };
        Assemble(x, y, nodeX, nodeY, pairCovariance, nodeCovariance, augmented_.data(), 1, rightSide_.data());
        if (path_ == SolverPath::kReference) SolveGuardedInPlaceReference(augmented_.data(), order_, solution_.data());
        else SolveGuardedInPlace(augmented_.data(), order_, solution_.data());
        return Finish(solution_.data(), rightSide_.data(), values);
    }

    // The same with every pair covariance computed afresh.
    NodeEstimate Estimate(const float* x, const float* y, const float* values, float nodeX, float nodeY) {
        const KrigingConstants& c = constants_;
        return Estimate(x, y, values, nodeX, nodeY,
                        [&](int a, int b) { return c.Covariance(c.AnisotropicDistance(x[a], y[a], x[b], y[b])); });
    }

    // The parts of Estimate, for sweeps that solve several systems at once.
    // Assemble writes the augmented matrix (Order() rows of Order() + 1)
    // with its entries `stride` floats apart, entry (r, c) at
    // augmented[(r * (Order() + 1) + c) * stride], and the right-hand side
    // contiguously into `rightSide`; nodeCovariance(a) gives the covariance
    // of column a to the node. Finish turns a solution into the node's
    // estimate and variance.
    template <class PairCovariance, class NodeCovariance>
    void Assemble(const float* x, const float* y, float nodeX, float nodeY, PairCovariance& pairCovariance,
                  NodeCovariance& nodeCovariance, float* augmented, std::size_t stride, float* rightSide) {
        const KrigingConstants& c = constants_;
        const std::size_t width = static_cast<std::size_t>(order_) + 1;
        auto at = [&](int row, int column) -> float& {
            return augmented[(static_cast<std::size_t>(row) * width + static_cast<std::size_t>(column)) * stride];
        };
        for (int a = 0; a < m_; ++a) {
            at(a, a) = c.sill;
            for (int b = a + 1; b < m_; ++b) at(a, b) = at(b, a) = pairCovariance(a, b);
            rightSide[a] = nodeCovariance(a);
            // Columns past the last whole group of variables (or every
            // column, when there are fewer than one per variable) join no
            // group.
            const int variable = perVariable_ > 0 ? a / perVariable_ : method_.Variables();
            method_.BorderColumn(variable, x[a], y[a], terms_.data());
            for (int t = 0; t < border_; ++t) at(m_ + t, a) = at(a, m_ + t) = terms_[static_cast<std::size_t>(t)];
        }
        for (int t = 0; t < border_; ++t)
            for (int u = 0; u < border_; ++u) at(m_ + t, m_ + u) = 0.0f;
        method_.BorderRightSide(nodeX, nodeY, terms_.data());
        for (int t = 0; t < border_; ++t) rightSide[m_ + t] = terms_[static_cast<std::size_t>(t)];
        for (int r = 0; r < order_; ++r) at(r, order_) = rightSide[r];
    }

    NodeEstimate Finish(const float* solution, const float* rightSide, const float* values) const {
        const NodeSolution<float> s{m_, order_, solution, rightSide, values, constants_.sill};
        return NodeEstimate{ApplyCutOff(method_.Estimate(s)),
                            method_.HasVariance() ? KrigingVariance(s) : std::numeric_limits<float>::quiet_NaN()};
    }

private:
    const NodeMethod& method_;
    KrigingConstants constants_;
    SolverPath path_;
    int m_;
    int border_;
    int order_;
    int perVariable_;
    std::vector<float> augmented_;
    std::vector<float> rightSide_;
    std::vector<float> solution_;
    std::vector<float> terms_;
};

}  // namespace mosaro
