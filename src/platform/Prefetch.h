// A hint that memory will be read soon, so that a load whose address is
// known early (the next node of a random path, say) does not stall the
// work when it comes. Only a hint: it never changes a result, and compilers
// without the builtin simply do without it.
#pragma once

#include <cstddef>

namespace mosaro {

inline void PrefetchForRead(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address, 0, 3);
#else
    (void)address;
#endif
}

// Every cache line of `bytes` bytes from `address`.
inline void PrefetchRangeForRead(const void* address, std::size_t bytes) {
    constexpr std::size_t kLine = 64;
    const char* first = static_cast<const char*>(address);
    for (std::size_t at = 0; at < bytes; at += kLine) PrefetchForRead(first + at);
    if (bytes > 0) PrefetchForRead(first + bytes - 1);
}

}  // namespace mosaro
