// The base estimator: one gridding run's counts, layout, extent, the two
// directional experimental variograms and their fitted models, and the
// fixed pipeline variogram -> fit -> sweep -> release, each step a virtual
// call a derived class (or a host's) may replace.
#include <cstddef>
#include <vector>

#include "formats/GridFile.h"
#include "legacy/LegacyStages.h"
#include "mosaro.h"
#include "systems/Solver.h"
#include "variogram/VariogramFit.h"
#include "variogram/VariogramTable.h"

CKriging::CKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
                   TRECTXYMINMAX Rect)
    : m_nPointCount(nPointCount),
      m_nNeighbourCount(nNeighbourCount),
      m_ppVariogramX(nullptr),
      m_ppVariogramY(nullptr),
      m_fMethodParameter(fMethodParameter),
      m_GridCell(GridCell),
      m_Rect(Rect),
      m_VariogramModel{} {}

CKriging::CKriging(const CKriging& other) = default;
CKriging& CKriging::operator=(const CKriging& other) = default;
CKriging::~CKriging() = default;

namespace {

// Releases both variogram tables when the pipeline ends, also when a step
// throws (an allocation failure), so no table outlives the run.
class VariogramTablesRelease {
public:
    explicit VariogramTablesRelease(CKriging& estimator) : estimator_(estimator) {}
    ~VariogramTablesRelease() {
        mosaro::ReleaseVariogramTable(estimator_.m_ppVariogramX);
        mosaro::ReleaseVariogramTable(estimator_.m_ppVariogramY);
    }
    VariogramTablesRelease(const VariogramTablesRelease&) = delete;
    VariogramTablesRelease& operator=(const VariogramTablesRelease&) = delete;

private:
    CKriging& estimator_;
};

}  // namespace

// The grid layout is the object's own; the third argument is not read.
void CKriging::KrigingResultValue(float** ppPoints, float* pGrid, TGRIDCELLXY /*GridCell*/) {
    VariogramTablesRelease release(*this);
    CalculateVariogramValue(ppPoints);
    CalculateVariogramConstant();
    CalculateKrigingValue(ppPoints, pGrid);
}

// The base estimator has no estimate of its own: the grid stays as it is.
void CKriging::CalculateKrigingValue(float** /*ppPoints*/, float* /*pGrid*/) {}

void CKriging::CalculateVariogramValue(float** ppPoints) {
    mosaro::BuildTablesOf(*this, ppPoints, mosaro::WidenedValues(*this, ppPoints));
}

void CKriging::CalculateVariogramConstant() {
    mosaro::FitLegacyModels(m_ppVariogramX, m_ppVariogramY, m_GridCell, m_Rect, m_VariogramModel);
}

void CKriging::CalculateCoefficient(float** ppMatrix, float* pRightSide, int nOrder, float* pCoefficient) {
    if (nOrder < 1) return;
    const std::size_t order = static_cast<std::size_t>(nOrder);
    // The caller's matrix and right-hand side stay untouched: the solve works
    // on an augmented copy.
    std::vector<float> augmented(order * (order + 1));
    for (std::size_t i = 0; i < order; ++i) {
        for (std::size_t j = 0; j < order; ++j) augmented[i * (order + 1) + j] = ppMatrix[i][j];
        augmented[i * (order + 1) + order] = pRightSide[i];
    }
    mosaro::SolveGuardedInPlace(augmented.data(), nOrder, pCoefficient);
}

void CKriging::OutKrigingGridFile(float* pGrid, TGRIDCELLXY GridCell, char* pszFileName) {
    mosaro::WriteGridFile(pGrid, GridCell, pszFileName);
}
