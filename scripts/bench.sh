#!/usr/bin/env bash
# Builds the library in Release and runs the benchmark (bench/): stage times
# of the fast and the reference path side by side, peak memory, bit checks.
# Arguments go to the benchmark: --quick, --full, --targets, --repeats N,
# --limit SECONDS. Compare figures measured side by side in one run: these
# machines are shared and noisy.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DMOSARO_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc 2>/dev/null || echo 2)" --target mosaro_bench >/dev/null
./build-bench/bench/mosaro_bench "$@"
