#include "methods/CoKriging.h"

#include <cstddef>

namespace mosaro {

void CoKrigingMethod::ChooseNeighbours(WorkingSamples& samples, int /*m*/) const {
    const std::vector<float>& d = samples.distance;
    const std::size_t p = static_cast<std::size_t>(perBlock_);
    for (std::size_t a = 0; a < static_cast<std::size_t>(nearest_); ++a) {
        for (std::size_t b = a + 1; b < p; ++b) {
            if (d[b] >= d[a]) continue;  // only nearer or unordered entries move
            for (std::size_t v = 0; v < static_cast<std::size_t>(variables_); ++v)
                samples.Swap(v * p + a, v * p + b);
        }
    }
}

void CoKrigingMethod::BorderColumn(int column, float, float, float* terms) const {
    for (int v = 0; v < variables_; ++v)
        terms[v] = (v * nearest_ <= column && column < (v + 1) * nearest_) ? 1.0f : 0.0f;
}

void CoKrigingMethod::BorderRightSide(float, float, float* terms) const {
    terms[0] = 1.0f;
    for (int v = 1; v < variables_; ++v) terms[v] = 0.0f;
}

void CoKrigingMethod::AccurateBorderColumn(int variable, double, double, double* terms) const {
    for (int v = 0; v < variables_; ++v) terms[v] = v == variable ? 1.0 : 0.0;
}

void CoKrigingMethod::AccurateBorderRightSide(double* terms) const {
    terms[0] = 1.0;
    for (int v = 1; v < variables_; ++v) terms[v] = 0.0;
}

}  // namespace mosaro

CCoKriging::CCoKriging(int nPointCount, int nNeighbourCount, float fMethodParameter,
                       TGRIDCELLXY GridCell, TRECTXYMINMAX Rect)
    : CKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect) {}

CCoKriging::~CCoKriging() = default;

void CCoKriging::CalculateKrigingValue(float** ppPoints, float* pGrid) {
    const int variables = mosaro::TruncatedCount(m_fMethodParameter);
    if (variables < 1) return;
    const int perBlock = m_nPointCount > 0 ? m_nPointCount / variables : 0;
    int nearest = m_nNeighbourCount > 0 ? m_nNeighbourCount / variables : 0;
    // No more locations than a block holds; the sweep likewise takes at
    // most every sample as a system column.
    if (nearest > perBlock) nearest = perBlock;
    mosaro::RunNodeSweep(*this, ppPoints, pGrid,
                         mosaro::CoKrigingMethod(variables, perBlock, nearest));
}

void CCoKriging::CalculateVariogramValue(float** ppPoints) {
    CKriging::CalculateVariogramValue(ppPoints);
}
