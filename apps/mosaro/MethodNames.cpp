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

namespace {

struct DriftTerm {
    const char* name;
    const char* alias;
    unsigned bit;
};
// In the order the library's systems take them.
constexpr DriftTerm kDriftTerms[] = {{"x", "x", MOSARO_DRIFT_X},
                                     {"x2", "xx", MOSARO_DRIFT_XX},
                                     {"y", "y", MOSARO_DRIFT_Y},
                                     {"y2", "yy", MOSARO_DRIFT_YY},
                                     {"xy", "xy", MOSARO_DRIFT_XY}};

}  // namespace

unsigned DriftTermsOf(mosaro_method method) {
    unsigned terms = 0;
    int lognormal = 0;
    return mosaro_method_prediction(method, &terms, &lognormal) == MOSARO_OK ? terms : 0;
}

unsigned ParseDriftTerms(const std::string& text) {
    unsigned terms = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string word = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        unsigned bit = 0;
        for (const DriftTerm& term : kDriftTerms)
            if (word == term.name || word == term.alias) bit = term.bit;
        if (bit == 0)
            throw ToolError("--drift '" + text + "': unknown term '" + word +
                            "' (use x, y, xy, x2, y2, separated by commas)");
        terms |= bit;
        if (comma == std::string::npos) return terms;
        start = comma + 1;
    }
}

std::string DriftTermNames(unsigned terms) {
    std::string names;
    for (const DriftTerm& term : kDriftTerms)
        if ((terms & term.bit) != 0) names += (names.empty() ? "" : ", ") + std::string(term.name);
    return names;
}

}  // namespace mosaro::tool
