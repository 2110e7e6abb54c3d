# Cross build of the Windows DLL for x86-64 hosts with Debian's MinGW-w64
# (g++-mingw-w64-x86-64). The POSIX thread model's compilers: the win32
# model of GCC 12 has no std::thread, which the parallel stages use where
# oneTBB is missing.
set(MOSARO_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW-common.cmake)
