# Cross build of the Windows DLL for 32-bit x86 hosts with Debian's
# MinGW-w64 (g++-mingw-w64-i686). All floating point goes to SSE2: the x87
# unit's extended precision would round differently from the legacy's
# arithmetic. The stack is realigned on entry because 32-bit Windows hosts
# call with 4-byte alignment, while SSE code spills with 16.
set(MOSARO_MINGW_TRIPLET i686-w64-mingw32)
set(MOSARO_MINGW_ARCH_FLAGS "-msse2 -mfpmath=sse -mstackrealign")
include(${CMAKE_CURRENT_LIST_DIR}/MinGW-common.cmake)
