#include "MethodNames.h"

#include <iterator>

#include "ToolError.h"

namespace mosaro::tool {
namespace {

struct MethodEntry {
    mosaro_method method;
    const char* name;
    const char* description;
};

constexpr MethodEntry kMethods[] = {
    {MOSARO_METHOD_ORDINARY, "ordinary", "ordinary kriging"},
    {MOSARO_METHOD_UNIVERSAL_X, "universal-x", "universal kriging, linear drift in x"},
    {MOSARO_METHOD_UNIVERSAL_Y, "universal-y", "universal kriging, linear drift in y"},
    {MOSARO_METHOD_UNIVERSAL_XY, "universal-xy", "universal kriging, linear drift in x and y"},
    {MOSARO_METHOD_UNIVERSAL_XX, "universal-xx", "universal kriging, quadratic drift in x"},
    {MOSARO_METHOD_UNIVERSAL_YY, "universal-yy", "universal kriging, quadratic drift in y"},
    {MOSARO_METHOD_UNIVERSAL_XXYY, "universal-xxyy", "universal kriging, full quadratic drift"},
    {MOSARO_METHOD_LOGNORMAL, "lognormal", "lognormal kriging"},
    {MOSARO_METHOD_LOGNORMAL_SHIFTED, "lognormal3", "three-parameter lognormal kriging"},
    {MOSARO_METHOD_INDICATOR, "indicator", "indicator kriging"},
    {MOSARO_METHOD_COKRIGING, "cokriging", "co-kriging"},
};

const MethodEntry& EntryFor(mosaro_method method) {
    for (const MethodEntry& entry : kMethods)
        if (entry.method == method) return entry;
    return kMethods[0];
}

}  // namespace

mosaro_method ParseMethod(const std::string& text) {
    for (const MethodEntry& entry : kMethods)
        if (text == entry.name || text == std::to_string(static_cast<int>(entry.method))) return entry.method;
    std::string names;
    for (const MethodEntry& entry : kMethods) names += std::string(names.empty() ? "" : ", ") + entry.name;
    throw ToolError("unknown method '" + text + "' (use one of " + names + ", or a code 1 to " +
                    std::to_string(std::size(kMethods)) + ")");
}

const char* MethodDescription(mosaro_method method) { return EntryFor(method).description; }

bool TakesLogarithms(mosaro_method method) {
    return method == MOSARO_METHOD_LOGNORMAL || method == MOSARO_METHOD_LOGNORMAL_SHIFTED;
}

}  // namespace mosaro::tool
