// LU factorisation with partial pivoting of a small dense system, with a
// reciprocal condition estimate in the 1-norm: the algorithms of LAPACK's
// getrf/getrs/gecon, written for the accurate arithmetic's node systems.
//
// A node system has a few dozen rows and there are millions of them; a
// general-purpose dense library spends most of such a factorisation in the
// set-up of its blocked kernels. Here the matrix lives row after row in one
// buffer that is reused from node to node, and nothing is allocated once
// the buffers have grown to the largest order met.
#pragma once

#include <cstddef>
#include <vector>

namespace mosaro {

class DenseLu {
public:
    // Factorises the order x order matrix held row after row in `matrix`
    // (copied); `symmetric` says it equals its transpose, which spares the
    // condition estimate its transposed solves. Returns false when a pivot
    // is exactly zero; the factors are then unusable.
    bool Factorise(const double* matrix, int order, bool symmetric = false);

    // Solves A x = b in place (b holds order values).
    void Solve(double* b) const;

    // Estimate of 1 / (||A||_1 ||A^-1||_1) by Hager's method as refined by
    // Higham (at most five products with the inverse or its transpose).
    // `alongside` (optional) is solved in place as by Solve, in the same
    // pass as the estimate's first products.
    double ReciprocalCondition(double* alongside = nullptr) const;

    // A value ReciprocalCondition() never falls below, from the factors
    // alone: one pass over each factor instead of the estimate's solves.
    // Each of those solves is exact for factors perturbed by a few rounding
    // errors per entry, and |T^-1| <= M(T)^-1 for a triangular factor T and
    // its comparison matrix M(T) (|diagonal|, -|off-diagonal|), so the
    // estimate of ||A^-1||_1 cannot exceed the product of the 1-norms of the
    // two comparison matrices' inverses, taken with those perturbations.
    // Returns 0 as soon as the floor is sure to fall below `mark`.
    double ReciprocalConditionFloor(double mark) const;

    // Smallest and largest magnitude of the pivots.
    double SmallestPivot() const;
    double LargestPivot() const;

private:
    void SolveTransposed(double* b) const;
    // Four right-hand sides, interleaved (b[4 r + l]: row r of side l).
    void SolveFour(double* b) const;
    double& At(int row, int column) { return lu_[static_cast<std::size_t>(row) * order_ + column]; }
    double At(int row, int column) const { return lu_[static_cast<std::size_t>(row) * order_ + column]; }

    int order_ = 0;
    bool symmetric_ = false;
    double norm_ = 0.0;  // ||A||_1
    std::vector<double> lu_;
    std::vector<double> transposed_;       // lu_ column after column, for Solve
    std::vector<double> inverseDiagonal_;  // 1 / u_kk
    std::vector<int> pivot_;               // row exchanged with row k at step k
    mutable std::vector<double> work_, sign_, lanes_;
    mutable std::size_t previous_ = 0;  // the corner of the estimate's last step
};

}  // namespace mosaro
