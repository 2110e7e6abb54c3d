#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (build-fuzz), and runs each for the given
# number of seconds on a copy of its committed corpus. New inputs go to
# build-fuzz/corpus/<target>; a crash is saved there as crash-*, and the run
# fails. To keep what a long run found, merge it into the committed corpus:
#
#   scripts/fuzz.sh 3600                               # an hour per target
#   build-fuzz/tests/fuzz/fuzz_legacy_entry -merge=1 \
#     tests/fuzz/corpus/fuzz_legacy_entry build-fuzz/corpus/fuzz_legacy_entry
#
# usage: scripts/fuzz.sh [seconds per target] [target...]   (default 60, all)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(fuzz_legacy_entry fuzz_modern_api fuzz_grid_file fuzz_point_loader)

dir=build-fuzz
# Warnings are held to zero by the gcc builds; clang flags implicit float
# widenings gcc accepts, so they are not errors here.
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOSARO_WERROR=OFF -DMOSARO_BUILD_TESTS=ON \
  -DMOSARO_SANITIZE=ON -DMOSARO_FUZZ=ON -DMOSARO_BUILD_PYTHON=OFF \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}" >"$dir/build.log" 2>&1 ||
  { tail -n 40 "$dir/build.log"; exit 1; }

# Leaks are findings too.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export MOSARO_THREADS=2
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target: ${seconds}s"
  log="$dir/$target.log"
  if ! (cd "$corpus" && "../../tests/fuzz/$target" -max_total_time="$seconds" -timeout=20 \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 . "../../../tests/fuzz/corpus/$target") \
        >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $target failed; the input is in $corpus (crash-*, timeout-*, oom-*)" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^Done [0-9]+ runs' "$log" | tail -n 2
done
