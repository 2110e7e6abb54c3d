#!/usr/bin/env bash
# Cross-builds mosaro.dll with MinGW-w64 and tests it from Linux:
# - x86-64 (build-win64): the whole test suite, golden grids included, under
#   Wine; the export table, the entry point's calling convention and the
#   trace lines; then the legacy host (LoadLibrary + GetProcAddress) and the
#   linked demo grid the demo data with methods 1 to 9 and must print what
#   the Linux demo prints, checksum of every grid bit included; the engine's
#   math functions give the Linux bits on a million arguments each.
# - 32-bit x86 (build-win32): built and checked without running (Debian has
#   no 32-bit Wine): export table, C calling convention, no x87 arithmetic.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows

jobs=$(nproc 2>/dev/null || echo 2)
# The cross builds need nothing beyond the library, its tests and the demo:
# no command-line tool (its libraries are Linux packages).
cross_options=(-DCMAKE_BUILD_TYPE=Release -DMOSARO_WERROR=ON -DMOSARO_BUILD_TESTS=ON -DMOSARO_BUILD_TOOL=OFF
               --no-warn-unused-cli)
wine=/usr/lib/wine/wine64
export WINEDEBUG=-all
export WINEPREFIX="$PWD/build-win64/wineprefix"

echo "== x86-64 cross build in build-win64"
cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/MinGW-x86_64.cmake \
  "${cross_options[@]}" -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" >/dev/null
cmake --build build-win64 -j "$jobs"
echo "== x86-64 tests under Wine (built at ${SECONDS} s)"
# The Wine prefix is made once, before CTest starts programs two at a time:
# two first starts at once race to create it, and one of them fails.
"$wine" wineboot --init >/dev/null 2>&1
/usr/lib/wine/wineserver -w
# A test that fails is run once more: now and then Wine's server drops a
# client's connection ("wine client error: recvmsg: Connection reset by
# peer") and the program dies with it. A real failure fails both times.
ctest --test-dir build-win64 -j "$jobs" --output-on-failure --repeat until-pass:2

echo "== 32-bit x86 cross build in build-win32 (at ${SECONDS} s)"
cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/MinGW-i686.cmake \
  "${cross_options[@]}" >/dev/null
cmake --build build-win32 -j "$jobs"
echo "== 32-bit x86 checks (built at ${SECONDS} s)"
ctest --test-dir build-win32 --output-on-failure --repeat until-pass:2

echo "== legacy host and demo on Windows against the Linux demo (at ${SECONDS} s)"
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DMOSARO_WERROR=ON -DMOSARO_BUILD_TESTS=ON >/dev/null
cmake --build build-release -j "$jobs" --target mosaro_demo math_sample simulation_sample >/dev/null
for method in 1 2 3 4 5 6 7 8 9; do
  linux=$(build-release/apps/demo/mosaro_demo data/meuse.csv "$method")
  for program in mosaro_demo_loadlibrary mosaro_demo; do
    windows=$("$wine" "build-win64/bin/$program.exe" data/meuse.csv "$method" | tr -d '\r')
    if [ "$windows" != "$linux" ]; then
      echo "method $method: $program.exe under Wine differs from the Linux demo" >&2
      diff <(printf '%s\n' "$linux") <(printf '%s\n' "$windows") >&2 || true
      exit 1
    fi
  done
  echo "method $method: $(grep checksum <<<"$linux") on Linux, the same from both Windows programs"
done

echo "== math functions: x86-64 Windows under Wine against Linux, a million arguments each"
"$wine" build-win64/bin/math_sample.exe write build-win64/math_sample.bin
build-release/tests/math_sample compare build-win64/math_sample.bin

echo "== seeded simulation: x86-64 Windows under Wine against Linux, at 1, 2 and 8 threads"
linux=$(build-release/tests/simulation_sample)
windows=$("$wine" build-win64/bin/simulation_sample.exe | tr -d '\r')
if [ "$windows" != "$linux" ] || [ "$(sort -u -k3 <<<"$linux" | wc -l)" != 1 ]; then
  echo "simulation bits differ:" >&2
  diff <(printf '%s\n' "$linux") <(printf '%s\n' "$windows") >&2 || true
  exit 1
fi
printf '%s\n' "$linux"

echo "== Windows checks passed in ${SECONDS} s"
