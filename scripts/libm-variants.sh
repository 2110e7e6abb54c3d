#!/usr/bin/env bash
# The grids must not depend on which variant of a C library math function
# the machine's loader selects (glibc picks FMA, AVX2 or SSE4.1 versions of
# exp, log, pow, trunc, ... at load time). Runs the golden cases, the math
# checks and the entry-point tests of the Release build with those variants
# switched off through glibc's tunables, checking first that the loader
# really switched them off. The golden grids are bit patterns, so passing
# means identical bits.
#
# usage: scripts/libm-variants.sh [build-dir]   (default build-release)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-release}
tests=(GoldenGridTest PortableMathTest DegenerateMatrixTest)
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target "${tests[@]}" >/dev/null
loader=$(ls /lib64/ld-linux-x86-64.so.2 2>/dev/null || true)

# Leaf 1 ECX of the loader's active CPU features: FMA is bit 12, SSE4.1 bit 19.
leaf1_ecx() {
  GLIBC_TUNABLES=${1:-} "$loader" --list-diagnostics |
    sed -n 's/^x86.cpu_features.features\[0x0\].active\[0x2\]=//p'
}

variants=(
  "glibc.cpu.hwcaps=-AVX2,-FMA,-FMA4,-AVX,-AVX512F"
  "glibc.cpu.hwcaps=-AVX2,-FMA,-FMA4,-AVX,-AVX512F,-SSE4_1,-SSE4_2,-SSSE3"
)
for tunables in "" "${variants[@]}"; do
  if [ -n "$loader" ] && [ -n "$tunables" ]; then
    before=$(( $(leaf1_ecx) )); after=$(( $(leaf1_ecx "$tunables") ))
    if (( (before & (1 << 12)) && (after & (1 << 12)) )); then
      echo "the loader ignored GLIBC_TUNABLES=$tunables (FMA still active)" >&2; exit 1
    fi
    if [[ $tunables == *SSE4_1* ]] && (( (before & (1 << 19)) && (after & (1 << 19)) )); then
      echo "the loader ignored GLIBC_TUNABLES=$tunables (SSE4.1 still active)" >&2; exit 1
    fi
  fi
  echo "== GLIBC_TUNABLES=${tunables:-(none)}"
  for test in "${tests[@]}"; do
    GLIBC_TUNABLES=$tunables "$dir/tests/$test" --gtest_brief=1 | tail -n 1
  done
done
