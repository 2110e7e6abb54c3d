// printf-style formatting into a std::string, for the messages and reasons
// the library hands to hosts.
#pragma once

#include <string>

namespace mosaro {

#if defined(__MINGW32__)
// MinGW's C99 printf family is in use (__USE_MINGW_ANSI_STDIO); plain
// "printf" would check against the system C runtime's, which lacks %zu.
#define MOSARO_PRINTF_FORMAT gnu_printf
#else
#define MOSARO_PRINTF_FORMAT printf
#endif

// At most 511 characters; every float argument must be widened explicitly.
std::string FormatMessage(const char* format, ...) __attribute__((format(MOSARO_PRINTF_FORMAT, 1, 2)));

}  // namespace mosaro
