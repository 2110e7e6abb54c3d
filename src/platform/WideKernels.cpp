#include "platform/WideKernels.h"

namespace mosaro {

bool ProcessorHasAvx2() {
#ifdef MOSARO_WIDE_KERNELS
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
#else
    return false;
#endif
}

bool ProcessorHasAvx512() {
#ifdef MOSARO_WIDE_KERNELS
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0;
    }();
    return has;
#else
    return false;
#endif
}

}  // namespace mosaro
