#include "api/RequestValidation.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "api/ApiStatus.h"
#include "platform/FloatArith.h"
#include "methods/Indicator.h"
#include "variogram/LagClasses.h"
#include "sweeps/GridNodes.h"

namespace mosaro {
namespace {

// The first published layout (0.2, which ended before the fit choice); a
// caller may declare any size from there up to the current one.
constexpr std::size_t kFirstRequestSize = offsetof(mosaro_request, fit);

// The most thresholds a run takes: their count reaches the estimator as an
// exact float.
constexpr int kMaxThresholds = 1 << 24;

// The integer a C host stored in an enum field. C lets it store any int
// there; in C++, reading a value outside the enumerators' range as the enum
// is undefined, so the fields are checked as the bytes they are.
template <class Enum>
int StoredCode(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(int), "the C enums are stored as int");
    int code;
    std::memcpy(&code, &field, sizeof code);
    return code;
}

void RequirePositiveFinite(const char* name, float value, mosaro_status status) {
    if (!(std::isfinite(value) && value > 0.0f))
        Refuse(status, FormatMessage("%s must be positive and finite (got %g)", name, f64(value)));
}

void RequireAtLeastOne(const char* name, int value, mosaro_status status) {
    if (value < 1) Refuse(status, FormatMessage("%s must be at least 1 (got %d)", name, value));
}

void RequireFinite(const char* name, float value, mosaro_status status) {
    if (!std::isfinite(value)) Refuse(status, FormatMessage("%s must be finite (got %g)", name, f64(value)));
}

void ValidateExtent(const mosaro_request& r) {
    RequireFinite("x_min", r.x_min, MOSARO_ERROR_EXTENT);
    RequireFinite("y_min", r.y_min, MOSARO_ERROR_EXTENT);
    RequireFinite("x_max", r.x_max, MOSARO_ERROR_EXTENT);
    RequireFinite("y_max", r.y_max, MOSARO_ERROR_EXTENT);
    if (!(r.x_max > r.x_min))
        Refuse(MOSARO_ERROR_EXTENT,
               FormatMessage("x_max must exceed x_min (got x_min %g, x_max %g)", f64(r.x_min), f64(r.x_max)));
    if (!(r.y_max > r.y_min))
        Refuse(MOSARO_ERROR_EXTENT,
               FormatMessage("y_max must exceed y_min (got y_min %g, y_max %g)", f64(r.y_min), f64(r.y_max)));
}

// Refuses what cannot be addressed before anything is allocated: the nodes
// (the caller's grid, and the two scratch grids of indicator kriging) and
// the lag tables of the experimental variograms.
void ValidateSize(const mosaro_request& r) {
    const std::uint64_t nodes = static_cast<std::uint64_t>(r.node_count_x) * static_cast<std::uint64_t>(r.node_count_y);
    const std::uint64_t limit = kMaxNodes;
    if (nodes > limit)
        Refuse(MOSARO_ERROR_TOO_LARGE,
               FormatMessage("node_count_x %d times node_count_y %d exceeds the %llu nodes that "
                             "can be addressed",
                             r.node_count_x, r.node_count_y, static_cast<unsigned long long>(limit)));
    if (r.given_models != nullptr) return;  // no experimental variograms
    try {
        ComputeLagClassCounts(TGRIDCELLXY{r.cell_size_x, r.cell_size_y, 0, 0},
                              TRECTXYMINMAX{r.x_min, r.y_min, r.x_max, r.y_max});
    } catch (const std::length_error&) {
        Refuse(MOSARO_ERROR_TOO_LARGE,
               FormatMessage("the extent (%g by %g) over the cell size (%g by %g) gives more lag "
                             "classes than can be addressed",
                             f64(r.x_max) - f64(r.x_min), f64(r.y_max) - f64(r.y_min), f64(r.cell_size_x),
                             f64(r.cell_size_y)));
    }
}

void ValidateGivenModels(const mosaro_request& r) {
    if (r.given_models == nullptr) {
        if (r.given_model_count != 0)
            Refuse(MOSARO_ERROR_NULL_POINTER,
                   FormatMessage("given_models is null but given_model_count is %d", r.given_model_count));
        return;
    }
    if (r.given_model_count != 1 && r.given_model_count != 2)
        Refuse(MOSARO_ERROR_MODEL,
               FormatMessage("given_model_count must be 1 (isotropic) or 2 (x, y) (got %d)", r.given_model_count));
    for (int d = 0; d < r.given_model_count; ++d) {
        const mosaro_variogram_model& m = r.given_models[d];
        if (!(std::isfinite(m.nugget) && m.nugget >= 0.0f))
            Refuse(MOSARO_ERROR_MODEL,
                   FormatMessage("given_models[%d].nugget must be finite and not negative (got %g)", d, f64(m.nugget)));
        const std::string prefix = FormatMessage("given_models[%d].", d);
        // Any finite partial sill: the fit itself gives a negative one in a
        // direction now and then, and a fitted model must be accepted back.
        RequireFinite((prefix + "partial_sill").c_str(), m.partial_sill, MOSARO_ERROR_MODEL);
        RequirePositiveFinite((prefix + "range").c_str(), m.range, MOSARO_ERROR_MODEL);
    }
}

void ValidateThresholds(const mosaro_request& r, const mosaro_samples& samples) {
    if (r.threshold_count < 1)
        Refuse(MOSARO_ERROR_THRESHOLDS,
               FormatMessage("indicator kriging needs threshold_count of at least 1 (got %d)", r.threshold_count));
    if (r.threshold_count > kMaxThresholds)
        Refuse(MOSARO_ERROR_TOO_LARGE,
               FormatMessage("threshold_count must not exceed %d (got %d)", kMaxThresholds, r.threshold_count));
    if (static_cast<double>(r.threshold_count) * static_cast<double>(samples.count) > kMaxIndicatorEntries)
        Refuse(MOSARO_ERROR_TOO_LARGE,
               FormatMessage("threshold_count %d times sample_count %d exceeds the %.0f entries "
                             "of the indicator table",
                             r.threshold_count, samples.count, kMaxIndicatorEntries));
    if (r.thresholds == nullptr)
        Refuse(MOSARO_ERROR_THRESHOLDS,
               FormatMessage("thresholds is null but threshold_count is %d", r.threshold_count));
    for (int t = 0; t < r.threshold_count; ++t) {
        if (!std::isfinite(r.thresholds[t]))
            Refuse(MOSARO_ERROR_THRESHOLDS,
                   FormatMessage("thresholds[%d] must be finite (got %g)", t, f64(r.thresholds[t])));
    }
}

// The lognormal methods take the logarithm of value + shift in double; it
// must be finite for every sample (after the blank rule).
void ValidateLogarithms(const mosaro_request& r, const mosaro_samples& samples, float shift) {
    if (r.method == MOSARO_METHOD_LOGNORMAL_SHIFTED)
        RequireFinite("method_parameter (the shift)", shift, MOSARO_ERROR_METHOD_PARAMETER);
    const std::vector<float>& values = samples.primary.value;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double shifted = f64(values[i]) + f64(shift);
        // The logarithm of a positive finite number is finite: no need to
        // take it here.
        if (!(shifted > 0.0 && std::isfinite(shifted)))
            Refuse(MOSARO_ERROR_SAMPLE_VALUE,
                   FormatMessage("value[%zu] + shift = %g + %g must be positive for lognormal "
                                 "kriging",
                                 i, f64(values[i]), f64(shift)));
    }
}

}  // namespace

mosaro_request ReadRequest(const mosaro_request* request) {
    if (request == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "request is null");
    if (request->struct_size < kFirstRequestSize || request->struct_size > sizeof(mosaro_request))
        Refuse(MOSARO_ERROR_STRUCT_SIZE, FormatMessage("struct_size must be sizeof(mosaro_request) = %zu (got %zu); "
                                                       "call mosaro_request_init",
                                                       sizeof(mosaro_request), request->struct_size));
    mosaro_request copy;
    mosaro_request_init(&copy);
    std::memcpy(static_cast<void*>(&copy), request, request->struct_size);
    return copy;
}

void ValidateRequest(const mosaro_request& r, const mosaro_samples& samples) {
    if (r.grid == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "grid is null");
    const int method = StoredCode(r.method);
    if (!(method >= MOSARO_METHOD_ORDINARY && method <= MOSARO_METHOD_COKRIGING))
        Refuse(MOSARO_ERROR_METHOD, FormatMessage("method must be one of 1 to 11 (got %d)", method));
    RequirePositiveFinite("cell_size_x", r.cell_size_x, MOSARO_ERROR_CELL_SIZE);
    RequirePositiveFinite("cell_size_y", r.cell_size_y, MOSARO_ERROR_CELL_SIZE);
    ValidateExtent(r);
    RequireAtLeastOne("node_count_x", r.node_count_x, MOSARO_ERROR_NODE_COUNT);
    RequireAtLeastOne("node_count_y", r.node_count_y, MOSARO_ERROR_NODE_COUNT);
    RequireAtLeastOne("neighbour_count", r.neighbour_count, MOSARO_ERROR_NEIGHBOUR_COUNT);
    if (r.thread_count < 0)
        Refuse(MOSARO_ERROR_THREAD_COUNT,
               FormatMessage("thread_count must be 0 (every core) or more (got %d)", r.thread_count));
    const int implementation = StoredCode(r.implementation);
    if (implementation != MOSARO_IMPLEMENTATION_FAST && implementation != MOSARO_IMPLEMENTATION_REFERENCE)
        Refuse(MOSARO_ERROR_METHOD_PARAMETER,
               FormatMessage("implementation must be 0 (fast) or 1 (reference) (got %d)", implementation));
    const int fit = StoredCode(r.fit);
    if (fit != MOSARO_FIT_LEGACY && fit != MOSARO_FIT_ROBUST)
        Refuse(MOSARO_ERROR_METHOD_PARAMETER, FormatMessage("fit must be 0 (legacy) or 1 (robust) (got %d)", fit));
    const int arithmetic = StoredCode(r.arithmetic);
    if (arithmetic != MOSARO_ARITHMETIC_LEGACY && arithmetic != MOSARO_ARITHMETIC_ACCURATE)
        Refuse(MOSARO_ERROR_METHOD_PARAMETER,
               FormatMessage("arithmetic must be 0 (legacy) or 1 (accurate) (got %d)", arithmetic));
    ValidateGivenModels(r);
    if (r.method == MOSARO_METHOD_INDICATOR) ValidateThresholds(r, samples);
    if (r.method == MOSARO_METHOD_LOGNORMAL) ValidateLogarithms(r, samples, 0.0f);
    if (r.method == MOSARO_METHOD_LOGNORMAL_SHIFTED) ValidateLogarithms(r, samples, r.method_parameter);
    ValidateSize(r);
}

}  // namespace mosaro
