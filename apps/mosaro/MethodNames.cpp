#include "MethodNames.h"

#include "ToolError.h"

namespace mosaro::tool {

mosaro_method ParseMethod(const std::string& text) {
    mosaro_method method = MOSARO_METHOD_ORDINARY;
    if (mosaro_method_from_name(text.c_str(), &method) != MOSARO_OK) throw ToolError(mosaro_last_message());
    return method;
}

const char* MethodDescription(mosaro_method method) {
    const char* description = mosaro_method_description(method);
    return description != nullptr ? description : "unknown method";
}

bool TakesLogarithms(mosaro_method method) {
    return method == MOSARO_METHOD_LOGNORMAL || method == MOSARO_METHOD_LOGNORMAL_SHIFTED;
}

}  // namespace mosaro::tool
