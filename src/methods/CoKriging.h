// Co-kriging: the samples carry V variables, laid out as V blocks of P
// entries that share the table's coordinates (block 0 the primary
// variable). One pooled variogram and one fitted model serve every pair of
// variables. The q nearest locations are sorted to the front of every block
// at once; the system takes the first m = V q working entries as they lie,
// with one unbiasedness row per group of q columns: the weights of group 0
// sum to 1, those of every other group to 0. The estimate is
//   z = sum_{s < m} w_s v_s.
//
// Degenerate input: a method parameter that truncates below 1 names no
// variable; the sweep then leaves the grid untouched.
#pragma once

#include "legacy/Kriging.h"

class CCoKriging : public CKriging {
public:
    CCoKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
               TRECTXYMINMAX Rect);
    ~CCoKriging() override;

    void CalculateKrigingValue(float** ppPoints, float* pGrid) override;
    // The base computation over all entries of every block, pooled.
    void CalculateVariogramValue(float** ppPoints) override;
};

namespace mosaro {

// The co-kriging node procedure: V variables in blocks of P entries, the q
// nearest locations per node.
class CoKrigingMethod : public NodeMethod {
public:
    CoKrigingMethod(int variables, int perBlock, int nearest)
        : variables_(variables), perBlock_(perBlock), nearest_(nearest) {}

    // q passes over block 0, each exchange applied to every block so that
    // the blocks stay aligned (entries v P + t share one location).
    void ChooseNeighbours(WorkingSamples& samples, int m) const override;
    NeighbourLayout Neighbours(int /*count*/, int /*m*/) const override {
        return NeighbourLayout{variables_, perBlock_, nearest_};
    }
    int BorderSize() const override { return variables_; }
    // Column s belongs to the group of variable v when v q <= s < (v + 1) q.
    void BorderColumn(int column, float x, float y, float* terms) const override;
    // The primary group's weights sum to 1, every other group's to 0.
    void BorderRightSide(float x, float y, float* terms) const override;
    void AccurateBorderColumn(int variable, double u, double v, double* terms) const override;
    void AccurateBorderRightSide(double* terms) const override;
    int Variables() const override { return variables_; }

private:
    int variables_;
    int perBlock_;
    int nearest_;
};

}  // namespace mosaro
