#include "legacy/LegacyStages.h"

#include <cstddef>

#include "pipeline/ModelStage.h"
#include "pipeline/RunSettings.h"
#include "pipeline/SweepStage.h"
#include "platform/FloatArith.h"

namespace mosaro {

SampleRows RowsOf(const CKriging& estimator, float* const* ppPoints) {
    return SampleRows{ppPoints[0], ppPoints[1], ppPoints[2], estimator.m_nPointCount > 0 ? estimator.m_nPointCount : 0};
}

void BuildTablesOf(CKriging& estimator, float* const* ppPoints, const std::vector<double>& quantities) {
    DirectionalTables tables = BuildVariograms(RowsOf(estimator, ppPoints), quantities.data(), estimator.m_GridCell,
                                               estimator.m_Rect, DefaultSettings());
    estimator.m_ppVariogramX = tables.x.Release();
    estimator.m_ppVariogramY = tables.y.Release();
}

std::vector<double> WidenedValues(const CKriging& estimator, float* const* ppPoints) {
    const SampleRows rows = RowsOf(estimator, ppPoints);
    std::vector<double> values(static_cast<std::size_t>(rows.count));
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = f64(rows.value[i]);
    return values;
}

void SweepGridOf(const CKriging& estimator, float* const* ppPoints, float* pGrid, const NodeMethod& rules) {
    const SweepPlan plan = MakeSweepPlan(RowsOf(estimator, ppPoints), estimator.m_nNeighbourCount, estimator.m_GridCell,
                                         estimator.m_Rect, estimator.m_VariogramModel);
    SweepOutputs outputs;
    outputs.estimate = pGrid;
    SweepGrid(plan, rules, DefaultSettings(), outputs);
}

}  // namespace mosaro
