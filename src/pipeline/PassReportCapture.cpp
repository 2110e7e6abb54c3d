#include "pipeline/PassReportCapture.h"

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/FloatArith.h"
#include "variogram/VariogramFit.h"

namespace mosaro {
namespace {

using TableRows = std::vector<float>[3];

void CopyRows(const float* const* table, int count, TableRows& rows) {
    for (std::vector<float>& row : rows) row.clear();
    if (table == nullptr || count <= 0) return;
    for (int r = 0; r < 3; ++r) rows[r].assign(table[r], table[r] + count);
}

// Number of classes the fit keeps, and its branch, from a copy of the table
// as built. Pruning is idempotent, so fitting the pruned copy takes the same
// branch as the legacy fit of the table as built.
FitBranch BranchOf(const TableRows& built, int& retained) {
    TableRows copy = {built[0], built[1], built[2]};
    float* rows[3] = {copy[0].data(), copy[1].data(), copy[2].data()};
    retained = PruneToNonDecreasing(rows, static_cast<int>(copy[0].size()));
    FitBranch branch = FitBranch::Spherical;
    FitSphericalModel(rows, retained, &branch);
    return branch;
}

}  // namespace

void CaptureExperimentalTables(const DirectionalTables& tables, const LagClassCounts& counts, PassReport& report) {
    CopyRows(tables.x.Get(), counts.x, report.tables[0]);
    CopyRows(tables.y.Get(), counts.y, report.tables[1]);
    for (int d = 0; d < 2; ++d) {
        int retained = 0;
        report.branches[d] = BranchOf(report.tables[d], retained);
        // Sized now, filled from the pipeline's tables once its fit has
        // pruned them.
        for (std::vector<float>& row : report.prunedTables[d]) row.resize(static_cast<std::size_t>(retained));
    }
}

void CaptureFittedModels(const DirectionalTables& tables, const TVARIOGRAMMODEL (&models)[2], PassReport& report) {
    const int retainedX = static_cast<int>(report.prunedTables[0][0].size());
    const int retainedY = static_cast<int>(report.prunedTables[1][0].size());
    CopyRows(tables.x.Get(), retainedX, report.prunedTables[0]);
    CopyRows(tables.y.Get(), retainedY, report.prunedTables[1]);
    for (int d = 0; d < 2; ++d) {
        report.models[d] = report.legacyModels[d] = models[d];
        report.legacyBranches[d] = report.branches[d];
    }
}

void CaptureRobustFit(const RobustFitResult& fit, VariogramRows omnidirectional, PassReport& report) {
    report.robust = true;
    for (int d = 0; d < 2; ++d) {
        report.models[d] = fit.models[d];
        report.branches[d] = fit.branches[d];
        report.reasons[d] = fit.reasons[d];
    }
    report.omnidirectional = std::move(omnidirectional);
    report.omnidirectionalFitted = fit.omnidirectionalFitted;
    report.omnidirectionalModel = fit.omnidirectionalModel;
    report.omnidirectionalReason = fit.omnidirectionalReason;
}

void CaptureSweepConstants(const TVARIOGRAMMODEL (&models)[2], const TRECTXYMINMAX& rect, PassReport& report) {
    report.models[0] = models[0];
    report.models[1] = models[1];
    report.constants = KrigingConstants::FromModels(models, rect);
    const float ratio = f32(f64(report.models[0].fRange) / f64(report.models[1].fRange));
    // Any ratio other than the one the ranges give was set to 1 by the sweep's rule.
    report.anisotropyReset = !(ratio == report.constants.anisotropy);
}

}  // namespace mosaro
