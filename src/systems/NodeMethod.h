// What a kriging method adds to the node step, in both arithmetics: how the
// nearest samples are laid out, the border of the system (one row and
// column per condition on the weights), and the estimate formed from the
// solution. The defaults are ordinary kriging's: one unbiasedness row, the
// weighted sum of the values.
//
// Each arithmetic calls the overload of its number type: float in the
// legacy arithmetic (coordinates scaled by the sweep's scale, the node at
// its scaled position), double in the accurate one (coordinates as offsets
// from the node in units of the neighbourhood's reach, so the node is at
// (0, 0): drift functions of the offsets span the same functions as those
// of the coordinates, so the weights are the same, and the border stays of
// the order of the covariances; an external drift's covariates likewise in
// offsets from the target's, scaled). Methods write each rule once as a
// template over the number type and forward both overloads to it.
#pragma once

#include "neighbours/ExchangeSort.h"

namespace mosaro {

// A solved node system as a method's estimate reads it.
template <class T>
struct NodeSolution {
    int columns;         // m (co-kriging: every variable's columns)
    int order;           // columns plus the border conditions
    const T* weights;    // one weight per column, then one multiplier per condition
    const T* rightSide;  // covariances to the node, then the border at the node
    const T* values;     // the columns' sample values
    T sill;              // Csum of the model
};

class NodeMethod {
public:
    virtual ~NodeMethod() = default;

    // The legacy neighbour order of a working copy of `count` entries with
    // m system columns: {1, count, m + 1} (the last pass settles the
    // (m + 1)-th nearest, which shapes where the next node starts).
    virtual NeighbourLayout Neighbours(int count, int m) const { return NeighbourLayout{1, count, m + 1}; }
    // Variables whose columns share one system, each over the same nearest
    // locations (co-kriging); 1 otherwise.
    virtual int Variables() const { return 1; }
    // Number of border conditions.
    virtual int BorderSize() const { return 1; }
    // Whether the estimate has a kriging variance.
    virtual bool HasVariance() const { return true; }

    // Border entries of a column of variable `variable` (0 but in
    // co-kriging; a variable of no group gives zeros) at (x, y), with the
    // location's covariates (accurate arithmetic; null without any).
    virtual void BorderColumn(int variable, float x, float y, float* terms) const;
    virtual void BorderColumn(int variable, double x, double y, const double* covariates, double* terms) const;
    // Border entries of the right-hand side, for the target at (x, y).
    virtual void BorderRightSide(float x, float y, float* terms) const;
    virtual void BorderRightSide(double x, double y, const double* covariates, double* terms) const;
    // Drift functions bordering the system by default, the constant first.
    virtual void Drift(float x, float y, float* terms) const;
    virtual void Drift(double x, double y, const double* covariates, double* terms) const;

    // The estimate; the accurate arithmetic reads NaN as "none".
    virtual float Estimate(const NodeSolution<float>& solution) const;
    virtual double Estimate(const NodeSolution<double>& solution) const;
};

}  // namespace mosaro
