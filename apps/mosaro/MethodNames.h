// The kriging methods by the names users type, and back (the library's
// names).
#pragma once

#include <string>

#include "mosaro.h"

namespace mosaro::tool {

// "ordinary", "universal-x", ..., "lognormal3", "indicator", "cokriging", or
// a method code 1 to 11. Throws ToolError naming the accepted names.
mosaro_method ParseMethod(const std::string& text);
// "ordinary kriging", "universal kriging with a linear drift in x", ...
const char* MethodDescription(mosaro_method method);
// Lognormal methods take logarithms, so their values must be positive.
bool TakesLogarithms(mosaro_method method);

}  // namespace mosaro::tool
