// Whether this build compiles the kernels written for wide vectors (AVX2,
// AVX-512), chosen at run time by the processor's features: GCC or clang
// on x86-64, except on Windows, where GCC does not realign the stack for
// the 32- and 64-byte vectors such a kernel may spill (GCC bug 54412).
// Elsewhere every caller takes its plain path, which gives the same bits.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#define MOSARO_WIDE_KERNELS 1
#endif

// A kernel's helpers are inlined into each caller compiled for a wider
// target, so that every copy is compiled for that caller's instructions.
#if defined(__GNUC__)
#define MOSARO_KERNEL_INLINE __attribute__((always_inline)) inline
#else
#define MOSARO_KERNEL_INLINE inline
#endif

namespace mosaro {

// Whether the processor runs AVX2, and AVX-512 Foundation, instructions
// (asked once); false in a build without the wide kernels.
bool ProcessorHasAvx2();
bool ProcessorHasAvx512();

}  // namespace mosaro
