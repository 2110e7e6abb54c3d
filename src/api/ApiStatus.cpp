#include "api/ApiStatus.h"

#include <cstdarg>
#include <cstdio>

namespace mosaro {
namespace {

// Fixed storage per thread: keeping the last message must not allocate, so
// that an allocation failure can still be reported.
constexpr std::size_t kMessageCapacity = 512;
thread_local char g_lastMessage[kMessageCapacity] = "";

}  // namespace

void Refuse(mosaro_status status, const std::string& message) { throw ApiError(status, message); }

void RequireStructSize(const char* name, const char* type, std::size_t given, std::size_t minimum,
                       std::size_t current) {
    if (given < minimum)
        Refuse(MOSARO_ERROR_STRUCT_SIZE,
               FormatMessage("%s->struct_size must be sizeof(%s) = %zu (got %zu)", name, type, current, given));
}

void SetLastMessage(const char* message) noexcept { std::snprintf(g_lastMessage, kMessageCapacity, "%s", message); }

void SetLastMessageFormatted(const char* format, ...) noexcept {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(g_lastMessage, kMessageCapacity, format, arguments);
    va_end(arguments);
}

const char* LastMessage() noexcept { return g_lastMessage; }

}  // namespace mosaro

extern "C" MOSARO_API const char* mosaro_status_string(int status) {
    switch (status) {
        case MOSARO_OK: return "MOSARO_OK: success";
        case MOSARO_WARNING_NO_FINITE_MODEL:
            return "MOSARO_WARNING_NO_FINITE_MODEL: the fit gave no finite model; every node is 0";
        case MOSARO_WARNING_THRESHOLD_OUTSIDE:
            return "MOSARO_WARNING_THRESHOLD_OUTSIDE: a threshold lies outside the data's range";
        case MOSARO_ERROR_NULL_POINTER: return "MOSARO_ERROR_NULL_POINTER: a required pointer is null";
        case MOSARO_ERROR_STRUCT_SIZE: return "MOSARO_ERROR_STRUCT_SIZE: unknown struct size";
        case MOSARO_ERROR_METHOD: return "MOSARO_ERROR_METHOD: unknown method";
        case MOSARO_ERROR_CELL_SIZE: return "MOSARO_ERROR_CELL_SIZE: cell size not positive and finite";
        case MOSARO_ERROR_EXTENT: return "MOSARO_ERROR_EXTENT: extent empty, inverted or not finite";
        case MOSARO_ERROR_NODE_COUNT: return "MOSARO_ERROR_NODE_COUNT: node count below 1";
        case MOSARO_ERROR_SAMPLE_COUNT: return "MOSARO_ERROR_SAMPLE_COUNT: fewer than one sample";
        case MOSARO_ERROR_SAMPLE_VALUE:
            return "MOSARO_ERROR_SAMPLE_VALUE: a coordinate or value the method cannot take";
        case MOSARO_ERROR_NEIGHBOUR_COUNT: return "MOSARO_ERROR_NEIGHBOUR_COUNT: neighbour count below 1";
        case MOSARO_ERROR_VARIABLES: return "MOSARO_ERROR_VARIABLES: co-kriging variables outside the data";
        case MOSARO_ERROR_THRESHOLDS: return "MOSARO_ERROR_THRESHOLDS: thresholds missing or not finite";
        case MOSARO_ERROR_METHOD_PARAMETER: return "MOSARO_ERROR_METHOD_PARAMETER: method parameter not usable";
        case MOSARO_ERROR_MODEL: return "MOSARO_ERROR_MODEL: given model not usable";
        case MOSARO_ERROR_THREAD_COUNT: return "MOSARO_ERROR_THREAD_COUNT: thread count below 0";
        case MOSARO_ERROR_TOO_LARGE: return "MOSARO_ERROR_TOO_LARGE: the run cannot be addressed";
        case MOSARO_ERROR_OUT_OF_MEMORY: return "MOSARO_ERROR_OUT_OF_MEMORY: an allocation failed";
        case MOSARO_ERROR_CANCELLED: return "MOSARO_ERROR_CANCELLED: stopped by the progress callback";
        case MOSARO_ERROR_INDEX: return "MOSARO_ERROR_INDEX: report index out of range";
        case MOSARO_ERROR_INTERNAL: return "MOSARO_ERROR_INTERNAL: unexpected failure";
        case MOSARO_ERROR_TOO_FEW_PAIRS:
            return "MOSARO_ERROR_TOO_FEW_PAIRS: too few pairs to fit a variogram: give a model or a "
                   "coarser cell";
        case MOSARO_ERROR_FILE: return "MOSARO_ERROR_FILE: file cannot be opened, read or written";
        case MOSARO_ERROR_FILE_FORMAT: return "MOSARO_ERROR_FILE_FORMAT: not a well-formed grid file";
        case MOSARO_ERROR_VARIOGRAM: return "MOSARO_ERROR_VARIOGRAM: variogram options not usable";
        case MOSARO_ERROR_FIT: return "MOSARO_ERROR_FIT: no variogram model could be fitted";
        case MOSARO_ERROR_KIND: return "MOSARO_ERROR_KIND: kind, mean or drift not usable together";
        case MOSARO_ERROR_COVARIATES: return "MOSARO_ERROR_COVARIATES: a covariate missing or not finite";
        case MOSARO_ERROR_NEIGHBOURHOOD: return "MOSARO_ERROR_NEIGHBOURHOOD: search neighbourhood not usable";
        case MOSARO_ERROR_TARGETS: return "MOSARO_ERROR_TARGETS: targets not usable";
        case MOSARO_ERROR_REALISATIONS: return "MOSARO_ERROR_REALISATIONS: realisation count not usable";
        default: return "unknown status";
    }
}

extern "C" MOSARO_API const char* mosaro_last_message(void) { return mosaro::LastMessage(); }
