#include "RunReport.h"

#include <string>

namespace mosaro::tool {

const char* BranchName(mosaro_fit_branch branch) {
    switch (branch) {
        case MOSARO_FIT_SPHERICAL: return "spherical fit";
        case MOSARO_FIT_STRAIGHT_LINE: return "straight line through the first two classes";
        case MOSARO_FIT_THROUGH_ORIGIN: return "fit through the origin";
        case MOSARO_FIT_GIVEN: return "given";
        case MOSARO_FIT_ROBUST_DIRECTIONAL: return "robust fit";
        case MOSARO_FIT_ROBUST_OMNIDIRECTIONAL: return "robust fit of the omnidirectional variogram";
        case MOSARO_FIT_NOT_RUN: return "not run";
    }
    return "unknown";
}

bool DirectionFit(const mosaro_report& report, int pass, int direction, mosaro_direction_fit& fit) {
    fit = mosaro_direction_fit{};
    fit.struct_size = sizeof fit;
    return mosaro_report_fit(&report, pass, direction, &fit) == MOSARO_OK;
}

void PrintNodeSummaries(std::FILE* out, const mosaro_report& report) {
    const int passes = mosaro_report_pass_count(&report);
    for (int p = 0; p < passes; ++p) {
        mosaro_node_summary nodes{};
        nodes.struct_size = sizeof nodes;
        if (mosaro_report_nodes(&report, p, &nodes) != MOSARO_OK || nodes.arithmetic != MOSARO_ARITHMETIC_ACCURATE)
            continue;
        std::fprintf(out,
                     "%s%lld nodes: %lld no data, %lld ill-conditioned (reciprocal condition < 1e-10), %lld of "
                     "them minimum-norm; smallest reciprocal condition %.3g\n",
                     passes > 1 ? ("pass " + std::to_string(p + 1) + ": ").c_str() : "", nodes.node_count,
                     nodes.no_data_count, nodes.ill_conditioned_count, nodes.minimum_norm_count,
                     nodes.smallest_reciprocal_condition);
    }
}

void PrintModels(std::FILE* out, const mosaro_report& report, mosaro_method method) {
    static const char* const kDirections[2] = {"x", "y"};
    const int passes = mosaro_report_pass_count(&report);
    for (int p = 0; p < passes; ++p) {
        mosaro_pass_info pass{};
        pass.struct_size = sizeof pass;
        if (mosaro_report_pass_info(&report, p, &pass) != MOSARO_OK) continue;
        if (method == MOSARO_METHOD_INDICATOR)
            std::fprintf(out, "threshold %g:\n", static_cast<double>(pass.threshold));
        for (int d = 0; d < 2; ++d) {
            mosaro_direction_fit fit;
            const bool explained = DirectionFit(report, p, d, fit);
            const mosaro_variogram_model& m = explained ? fit.model : pass.models[d];
            std::fprintf(out, "  %s direction: nugget %g, partial sill %g, range %g (%s)\n", kDirections[d],
                         static_cast<double>(m.nugget), static_cast<double>(m.partial_sill),
                         static_cast<double>(m.range),
                         explained && fit.reason != nullptr && *fit.reason ? fit.reason : BranchName(pass.branches[d]));
        }
        std::fprintf(out, "  anisotropy used: %g%s\n", static_cast<double>(pass.anisotropy),
                     pass.anisotropy_reset ? " (the ratio of the ranges was unusable, so 1)" : "");
    }
}

}  // namespace mosaro::tool
