#!/usr/bin/env bash
# Runs the benchmark (bench/) of this tree and of another commit's build in
# turns, old then new, so that both see the same machine: on these shared,
# noisy machines only figures measured side by side compare. The other
# commit is built in a temporary worktree, removed on exit.
#
# usage: scripts/bench-against.sh [--turns N] REVISION [BENCHMARK ARGUMENTS]
#   e.g. scripts/bench-against.sh HEAD~1 --stages --repeats 3
set -euo pipefail
cd "$(dirname "$0")/.."
turns=2
if [ "${1:-}" = "--turns" ]; then
  turns=$2
  shift 2
fi
[ $# -ge 1 ] || { echo "usage: scripts/bench-against.sh [--turns N] REVISION [BENCHMARK ARGUMENTS]" >&2; exit 2; }
revision=$(git rev-parse --verify "$1^{commit}")
shift
scripts/install-deps.sh

old=$(mktemp -d)
trap 'git worktree remove --force "$old" >/dev/null 2>&1 || rm -rf "$old"; git worktree prune' EXIT
git worktree add --detach "$old" "$revision" >/dev/null
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
for tree in "$old" .; do
  cmake -S "$tree" -B "$tree/build-bench" -DCMAKE_BUILD_TYPE=Release -DMOSARO_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
  cmake --build "$tree/build-bench" -j "$(nproc 2>/dev/null || echo 2)" --target mosaro_bench >/dev/null
done

for turn in $(seq 1 "$turns"); do
  echo "== turn $turn, ${revision:0:10} (old)"
  "$old/build-bench/bench/mosaro_bench" "$@"
  echo "== turn $turn, this tree (new)"
  ./build-bench/bench/mosaro_bench "$@"
done
