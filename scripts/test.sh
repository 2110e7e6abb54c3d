#!/usr/bin/env bash
# Checks that every C and C++ source is formatted, then builds Mosaro
# warning-free and runs the whole test suite twice: in a Release build, and
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer where any
# report fails the run.
#
# usage: scripts/test.sh [release|sanitize]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/format.sh --check

jobs=$(nproc 2>/dev/null || echo 2)
configs=("$@")
[ "${#configs[@]}" -gt 0 ] || configs=(release sanitize)

for config in "${configs[@]}"; do
  case "$config" in
    release)  flags=(-DCMAKE_BUILD_TYPE=Release) ;;
    sanitize) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOSARO_SANITIZE=ON) ;;
    *) echo "unknown configuration: $config" >&2; exit 2 ;;
  esac
  dir="build-$config"
  echo "== $config build in $dir"
  cmake -S . -B "$dir" -DMOSARO_WERROR=ON -DMOSARO_BUILD_TESTS=ON "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $config tests"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure
done
