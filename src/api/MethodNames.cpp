// The methods' names and descriptions of the C API, from the library's
// catalogue, so that every front-end accepts the same names.
#include <string>

#include "api/ApiStatus.h"
#include "methods/MethodCatalog.h"
#include "methods/PolynomialDrift.h"

extern "C" MOSARO_API const char* mosaro_method_name(int method) {
    const mosaro::MethodEntry* entry = mosaro::FindMethod(method);
    return entry != nullptr ? entry->name : nullptr;
}

extern "C" MOSARO_API const char* mosaro_method_description(int method) {
    const mosaro::MethodEntry* entry = mosaro::FindMethod(method);
    return entry != nullptr ? entry->description : nullptr;
}

extern "C" MOSARO_API mosaro_status mosaro_method_from_name(const char* name, mosaro_method* method) {
    return mosaro::GuardedEntry([&] {
        if (name == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "name is null");
        if (method == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "method is null");
        const mosaro::MethodEntry* entry = mosaro::FindMethod(name);
        if (entry == nullptr) {
            std::string names;
            for (const mosaro::MethodEntry& e : mosaro::Methods())
                names += std::string(names.empty() ? "" : ", ") + e.name;
            mosaro::Refuse(MOSARO_ERROR_METHOD,
                           mosaro::FormatMessage("unknown method '%.64s' (use one of %s, or a code 1 to %zu)", name,
                                                 names.c_str(), mosaro::Methods().size()));
        }
        *method = static_cast<mosaro_method>(entry->code);
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_method_prediction(int method, unsigned* drift_terms, int* lognormal) {
    return mosaro::GuardedEntry([&] {
        if (drift_terms == nullptr || lognormal == nullptr)
            mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "drift_terms and lognormal must not be null");
        if (mosaro::FindMethod(method) == nullptr)
            mosaro::Refuse(MOSARO_ERROR_METHOD,
                           mosaro::FormatMessage("method must be one of 1 to 11 (got %d)", method));
        if (method == mosaro::kIndicator || method == mosaro::kCoKriging)
            mosaro::Refuse(MOSARO_ERROR_METHOD, mosaro::FormatMessage("%s is in the legacy request only",
                                                                      mosaro::FindMethod(method)->description));
        // The catalogue's drift bits are the API's MOSARO_DRIFT_ bits.
        static_assert(mosaro::kDriftX == MOSARO_DRIFT_X && mosaro::kDriftXX == MOSARO_DRIFT_XX &&
                          mosaro::kDriftY == MOSARO_DRIFT_Y && mosaro::kDriftYY == MOSARO_DRIFT_YY &&
                          mosaro::kDriftXY == MOSARO_DRIFT_XY,
                      "drift bits differ");
        *drift_terms = mosaro::DriftTermsOf(method);
        *lognormal = method == mosaro::kLognormal || method == mosaro::kLognormalThreeParameter ? 1 : 0;
        return MOSARO_OK;
    });
}
