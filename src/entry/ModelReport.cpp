#include "ModelReport.h"

#include <cmath>

#include "ApiStatus.h"
#include "FloatArith.h"

namespace mosaro {
namespace {

mosaro_variogram_model ToModel(const TVARIOGRAMMODEL& m) {
    return mosaro_variogram_model{m.fNugget, m.fSill, m.fRange, m.fPartialSill};
}

mosaro_fit_branch ToBranch(FitBranch branch) {
    switch (branch) {
        case FitBranch::Spherical: return MOSARO_FIT_SPHERICAL;
        case FitBranch::StraightLine: return MOSARO_FIT_STRAIGHT_LINE;
        case FitBranch::ThroughOrigin: return MOSARO_FIT_THROUGH_ORIGIN;
        case FitBranch::Given:
        default: return MOSARO_FIT_GIVEN;
    }
}

const PassReport& PassAt(const mosaro_report* report, int pass) {
    if (report == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "report is null");
    if (pass < 0 || static_cast<std::size_t>(pass) >= report->passes.size())
        Refuse(MOSARO_ERROR_INDEX, FormatMessage("pass must be in [0, %zu) (got %d)",
                                                 report->passes.size(), pass));
    return report->passes[static_cast<std::size_t>(pass)];
}

}  // namespace

mosaro_status WarnOnNonFiniteModel(const std::vector<PassReport>& passes) {
    for (std::size_t p = 0; p < passes.size(); ++p) {
        const KrigingConstants& c = passes[p].constants;
        if (std::isfinite(c.partialSill) && std::isfinite(c.nugget) && std::isfinite(c.range))
            continue;
        SetLastMessage(
            FormatMessage("pass %zu: the automatic fit gave no finite model (partial sill %g, "
                          "scaled range %g; too few pairs per lag class), so its nodes are 0 as in the "
                          "legacy grid: give a model or a coarser cell",
                          p, f64(c.partialSill), f64(c.range))
                .c_str());
        return MOSARO_WARNING_NO_FINITE_MODEL;
    }
    return MOSARO_OK;
}

}  // namespace mosaro

extern "C" MOSARO_API int mosaro_report_pass_count(const mosaro_report* report) {
    return report != nullptr ? static_cast<int>(report->passes.size()) : 0;
}

extern "C" MOSARO_API mosaro_status mosaro_report_pass(const mosaro_report* report, int pass,
                                                       mosaro_pass_report* out) {
    return mosaro::GuardedEntry([&] {
        const mosaro::PassReport& p = mosaro::PassAt(report, pass);
        if (out == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "out is null");
        mosaro_pass_report r{};
        r.threshold = p.threshold;
        for (int d = 0; d < 2; ++d) {
            r.models[d] = mosaro::ToModel(p.models[d]);
            r.branches[d] = mosaro::ToBranch(p.branches[d]);
        }
        r.partial_sill = p.constants.partialSill;
        r.nugget = p.constants.nugget;
        r.sill = p.constants.sill;
        r.scale = p.constants.scale;
        r.scaled_range = p.constants.range;
        r.anisotropy = p.constants.anisotropy;
        r.anisotropy_reset = p.anisotropyReset ? 1 : 0;
        *out = r;
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_report_table(const mosaro_report* report, int pass,
                                                        int direction, int pruned,
                                                        const float** lag, const float** pairs,
                                                        const float** semivariance,
                                                        int* class_count) {
    return mosaro::GuardedEntry([&] {
        const mosaro::PassReport& p = mosaro::PassAt(report, pass);
        if (direction != 0 && direction != 1)
            mosaro::Refuse(MOSARO_ERROR_INDEX,
                           mosaro::FormatMessage("direction must be 0 (x) or 1 (y) (got %d)",
                                                 direction));
        if (lag == nullptr || pairs == nullptr || semivariance == nullptr || class_count == nullptr)
            mosaro::Refuse(MOSARO_ERROR_NULL_POINTER,
                           "lag, pairs, semivariance and class_count must not be null");
        const std::vector<float>(&rows)[3] = pruned ? p.prunedTables[direction] : p.tables[direction];
        *lag = rows[0].data();
        *pairs = rows[1].data();
        *semivariance = rows[2].data();
        *class_count = static_cast<int>(rows[0].size());
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API void mosaro_report_free(mosaro_report* report) { delete report; }
