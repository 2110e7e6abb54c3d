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
// The polynomial drift of a universal kriging method as the prediction
// API's MOSARO_DRIFT_ bits (0 for the others).
unsigned DriftTermsOf(mosaro_method method);
// "x,y,xy,x2,y2" (any subset, also xx and yy) as MOSARO_DRIFT_ bits; throws
// ToolError naming the term it does not know.
unsigned ParseDriftTerms(const std::string& text);
// "x, y, x^2" for the report.
std::string DriftTermNames(unsigned terms);

}  // namespace mosaro::tool
