#!/usr/bin/env bash
# Builds the concurrency tests with ThreadSanitizer (build-tsan) and runs
# them: eight host threads running every method code at once, the sweep at
# 1, 2 and 8 workers, the worker pool and the per-call run context. Any
# report fails the run. oneTBB is left out: its lock-free internals are not
# instrumented and would be reported falsely; the library's std::thread pool
# runs the parallel stages instead.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-tsan
tests=(ConcurrencyTest WorkerPoolTest ExecutionTest)
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOSARO_WERROR=ON -DMOSARO_BUILD_TESTS=ON \
  -DMOSARO_TSAN=ON -DMOSARO_WITH_TBB=OFF -DMOSARO_BUILD_TOOL=OFF -DMOSARO_BUILD_PYTHON=OFF >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target "${tests[@]}"
export TSAN_OPTIONS=halt_on_error=1:abort_on_error=1:second_deadlock_stack=1
for test in "${tests[@]}"; do
  echo "== $test under ThreadSanitizer"
  "$dir/tests/$test" --gtest_brief=1
done
