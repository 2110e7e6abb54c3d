#include "api/PreparedSamples.h"

#include <climits>
#include <cmath>
#include <vector>

#include "api/ApiStatus.h"

namespace mosaro {
namespace {

void RequireFiniteCoordinates(const char* name, const float* coordinates, int count) {
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(coordinates[i]))
            Refuse(MOSARO_ERROR_SAMPLE_VALUE,
                   FormatMessage("%s[%d] must be finite (got %g)", name, i, f64(coordinates[i])));
    }
}

// Values are finite or blank, and not all blank: a blank takes a neighbour's
// value, which must exist.
void RequireUsableValues(const std::string& name, const float* values, int count) {
    bool anyValue = false;
    for (int i = 0; i < count; ++i) {
        if (IsBlankValue(values[i])) continue;
        if (!std::isfinite(values[i]))
            Refuse(MOSARO_ERROR_SAMPLE_VALUE,
                   FormatMessage("%s[%d] must be finite or blank (got %g)", name.c_str(), i, f64(values[i])));
        anyValue = true;
    }
    if (!anyValue)
        Refuse(MOSARO_ERROR_SAMPLE_VALUE,
               FormatMessage("%s holds no value: all %d entries are blank (-1e38 or NaN)", name.c_str(), count));
}

}  // namespace

std::unique_ptr<mosaro_samples> PrepareSamples(const float* x, const float* y, const float* value, int count,
                                               const float* const* extraValues, int extraValueCount) {
    if (x == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "x is null");
    if (y == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "y is null");
    if (value == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "value is null");
    if (count < 1) Refuse(MOSARO_ERROR_SAMPLE_COUNT, FormatMessage("sample_count must be at least 1 (got %d)", count));
    if (extraValueCount < 0)
        Refuse(MOSARO_ERROR_VARIABLES,
               FormatMessage("extra_value_count must not be negative (got %d)", extraValueCount));
    if (extraValueCount > 0 && extraValues == nullptr)
        Refuse(MOSARO_ERROR_NULL_POINTER,
               FormatMessage("extra_values is null but extra_value_count is %d", extraValueCount));
    const long long variables = 1LL + extraValueCount;
    if (variables * count > INT_MAX)
        Refuse(MOSARO_ERROR_TOO_LARGE,
               FormatMessage("sample_count %d times %lld variables exceeds %d entries", count, variables, INT_MAX));

    RequireFiniteCoordinates("x", x, count);
    RequireFiniteCoordinates("y", y, count);
    RequireUsableValues("value", value, count);
    std::vector<const float*> columns{value};
    for (int v = 0; v < extraValueCount; ++v) {
        if (extraValues[v] == nullptr)
            Refuse(MOSARO_ERROR_VARIABLES,
                   FormatMessage("extra_values[%d] is null: variable %d has no data", v, v + 1));
        RequireUsableValues(FormatMessage("extra_values[%d]", v), extraValues[v], count);
        columns.push_back(extraValues[v]);
    }

    auto samples = std::make_unique<mosaro_samples>();
    samples->count = count;
    samples->variables = static_cast<int>(variables);
    samples->primary = BuildColumnPointArrays(x, y, {value}, count);
    if (variables > 1) samples->blocks = BuildColumnPointArrays(x, y, columns, count);
    return samples;
}

}  // namespace mosaro
