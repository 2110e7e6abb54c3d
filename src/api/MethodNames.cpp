// The methods' names and descriptions of the C API, from the library's
// catalogue, so that every front-end accepts the same names.
#include <string>

#include "api/ApiStatus.h"
#include "methods/MethodCatalog.h"

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
