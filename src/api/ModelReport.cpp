#include "api/ModelReport.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "api/ApiStatus.h"
#include "platform/FloatArith.h"

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
        case FitBranch::RobustDirectional: return MOSARO_FIT_ROBUST_DIRECTIONAL;
        case FitBranch::RobustOmnidirectional: return MOSARO_FIT_ROBUST_OMNIDIRECTIONAL;
        case FitBranch::NotRun: return MOSARO_FIT_NOT_RUN;
        case FitBranch::Given:
        default: return MOSARO_FIT_GIVEN;
    }
}

// Why a legacy run's direction has its model: the branch, and a word when
// the model is not finite (the sweep then writes 0 everywhere).
const char* LegacyReason(const PassReport& p, int direction) {
    const TVARIOGRAMMODEL& m = p.models[direction];
    const bool finite = std::isfinite(m.fRange) && std::isfinite(m.fPartialSill) && std::isfinite(m.fNugget);
    switch (p.branches[direction]) {
        case FitBranch::Given: return "the model given by the caller";
        case FitBranch::Spherical:
            return finite ? "legacy fit: the cubic has the spherical shape"
                          : "legacy fit: the cubic has the spherical shape, but the model is not finite";
        case FitBranch::StraightLine:
            return finite ? "legacy fit: the cubic has no sill, so a straight line through the first two classes"
                          : "legacy fit: straight line through the first two classes, not finite";
        case FitBranch::ThroughOrigin:
        default:
            return finite ? "legacy fit: negative intercept, so the cubic through the origin"
                          : "legacy fit: the cubic through the origin gives no finite model (too few pairs "
                            "per lag class or classes of the wrong shape)";
    }
}

mosaro_variogram_model NotFitted() {
    const float nan = std::nanf("");
    return mosaro_variogram_model{nan, nan, nan, nan};
}

const PassReport& PassAt(const mosaro_report* report, int pass) {
    if (report == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "report is null");
    if (pass < 0 || static_cast<std::size_t>(pass) >= report->passes.size())
        Refuse(MOSARO_ERROR_INDEX, FormatMessage("pass must be in [0, %zu) (got %d)", report->passes.size(), pass));
    return report->passes[static_cast<std::size_t>(pass)];
}

void RequireDirection(int direction) {
    if (direction < 0 || direction > MOSARO_DIRECTION_OMNIDIRECTIONAL)
        Refuse(MOSARO_ERROR_INDEX,
               FormatMessage("direction must be 0 (x), 1 (y) or 2 (omnidirectional) (got %d)", direction));
}

}  // namespace

mosaro_status WarnOnNonFiniteModel(const std::vector<PassReport>& passes) {
    for (std::size_t p = 0; p < passes.size(); ++p) {
        const KrigingConstants& c = passes[p].constants;
        if (std::isfinite(c.partialSill) && std::isfinite(c.nugget) && std::isfinite(c.range)) continue;
        SetLastMessageFormatted(
            "pass %zu: the automatic fit gave no finite model (partial sill %g, scaled range %g; "
            "too few pairs per lag class), so its nodes are %s: give a model or a coarser cell, "
            "or use the robust fit",
            p, f64(c.partialSill), f64(c.range), passes[p].accurate ? "no-data (NaN)" : "0 as in the legacy grid");
        return MOSARO_WARNING_NO_FINITE_MODEL;
    }
    return MOSARO_OK;
}

}  // namespace mosaro

extern "C" MOSARO_API int mosaro_report_pass_count(const mosaro_report* report) {
    return report != nullptr ? static_cast<int>(report->passes.size()) : 0;
}

extern "C" MOSARO_API mosaro_status mosaro_report_pass_info(const mosaro_report* report, int pass,
                                                            mosaro_pass_info* out) {
    return mosaro::GuardedEntry([&] {
        const mosaro::PassReport& p = mosaro::PassAt(report, pass);
        if (out == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "out is null");
        mosaro::RequireStructSize("out", "mosaro_pass_info", out->struct_size,
                                  offsetof(mosaro_pass_info, anisotropy_reset) + sizeof out->anisotropy_reset,
                                  sizeof(mosaro_pass_info));
        mosaro_pass_info r{};
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
        mosaro::CopyOut(r, out);
        return MOSARO_OK;
    });
}

// The layout of 0.2: the same fields without a size.
extern "C" MOSARO_API mosaro_status mosaro_report_pass(const mosaro_report* report, int pass, mosaro_pass_report* out) {
    return mosaro::GuardedEntry([&] {
        if (out == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "out is null");
        mosaro_pass_info info{};
        info.struct_size = sizeof info;
        const mosaro_status status = mosaro_report_pass_info(report, pass, &info);
        if (status != MOSARO_OK) mosaro::Refuse(status, mosaro::LastMessage());
        static_assert(sizeof(mosaro_pass_report) == sizeof(mosaro_pass_info) - offsetof(mosaro_pass_info, threshold),
                      "mosaro_pass_report is mosaro_pass_info after its size");
        std::memcpy(static_cast<void*>(out), &info.threshold, sizeof *out);
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_report_table(const mosaro_report* report, int pass, int direction,
                                                        int pruned, const float** lag, const float** pairs,
                                                        const float** semivariance, int* class_count) {
    return mosaro::GuardedEntry([&] {
        const mosaro::PassReport& p = mosaro::PassAt(report, pass);
        mosaro::RequireDirection(direction);
        if (lag == nullptr || pairs == nullptr || semivariance == nullptr || class_count == nullptr)
            mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "lag, pairs, semivariance and class_count must not be null");
        if (direction == MOSARO_DIRECTION_OMNIDIRECTIONAL) {
            *lag = p.omnidirectional.lag.data();
            *pairs = p.omnidirectional.pairs.data();
            *semivariance = p.omnidirectional.gamma.data();
            *class_count = static_cast<int>(p.omnidirectional.Size());
            return MOSARO_OK;
        }
        const std::vector<float>(&rows)[3] = pruned ? p.prunedTables[direction] : p.tables[direction];
        *lag = rows[0].data();
        *pairs = rows[1].data();
        *semivariance = rows[2].data();
        *class_count = static_cast<int>(rows[0].size());
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_report_nodes(const mosaro_report* report, int pass,
                                                        mosaro_node_summary* out) {
    return mosaro::GuardedEntry([&] {
        const mosaro::PassReport& p = mosaro::PassAt(report, pass);
        if (out == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "out is null");
        mosaro::RequireStructSize("out", "mosaro_node_summary", out->struct_size,
                                  offsetof(mosaro_node_summary, arithmetic) + sizeof out->arithmetic,
                                  sizeof(mosaro_node_summary));
        mosaro_node_summary n{};

        n.arithmetic = p.accurate ? MOSARO_ARITHMETIC_ACCURATE : MOSARO_ARITHMETIC_LEGACY;
        n.node_count = p.sweptNodes;
        n.no_data_count = p.nodes.noData;
        n.ill_conditioned_count = p.nodes.illConditioned;
        n.minimum_norm_count = p.nodes.minimumNorm;
        n.smallest_reciprocal_condition =
            p.accurate ? p.nodes.SmallestReciprocalCondition() : std::numeric_limits<double>::quiet_NaN();
        mosaro::CopyOut(n, out);
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API void mosaro_report_free(mosaro_report* report) { delete report; }

extern "C" MOSARO_API mosaro_status mosaro_report_fit(const mosaro_report* report, int pass, int direction,
                                                      mosaro_direction_fit* out) {
    return mosaro::GuardedEntry([&] {
        const mosaro::PassReport& p = mosaro::PassAt(report, pass);
        mosaro::RequireDirection(direction);
        if (out == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "out is null");
        mosaro::RequireStructSize("out", "mosaro_direction_fit", out->struct_size,
                                  offsetof(mosaro_direction_fit, fit) + sizeof out->fit, sizeof(mosaro_direction_fit));
        mosaro_direction_fit f{};

        f.fit = p.robust ? MOSARO_FIT_ROBUST : MOSARO_FIT_LEGACY;
        f.legacy_model = mosaro::NotFitted();
        f.legacy_branch = MOSARO_FIT_NOT_RUN;
        if (direction == MOSARO_DIRECTION_OMNIDIRECTIONAL) {
            const bool fitted = p.robust && p.omnidirectionalFitted;
            f.model = fitted ? mosaro::ToModel(p.omnidirectionalModel) : mosaro::NotFitted();
            f.branch = fitted ? MOSARO_FIT_ROBUST_OMNIDIRECTIONAL : MOSARO_FIT_NOT_RUN;
            f.reason = p.robust ? p.omnidirectionalReason.c_str()
                                : "no omnidirectional variogram: the legacy fit uses the two directions only";
        } else {
            f.model = mosaro::ToModel(p.models[direction]);
            f.branch = mosaro::ToBranch(p.branches[direction]);
            if (!p.modelGiven) {
                f.legacy_model = mosaro::ToModel(p.legacyModels[direction]);
                f.legacy_branch = mosaro::ToBranch(p.legacyBranches[direction]);
            }
            f.reason = p.robust ? p.reasons[direction].c_str() : mosaro::LegacyReason(p, direction);
        }
        // Only the fields the caller's layout has room for.
        mosaro::CopyOut(f, out);
        return MOSARO_OK;
    });
}
