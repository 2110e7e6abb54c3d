#!/usr/bin/env bash
# Regenerates the golden grids of tests/golden: seeded cases from
# gen_cases.py (every method, fit branch, tie pattern and degenerate mix),
# each with the grid the independent model computes for it. The library's
# GoldenGridTest must then match every node bit for bit.
#
# usage: scripts/crosscheck/make_golden.sh [seed] [count]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out="$here/../../tests/golden"
seed=${1:-2026}
count=${2:-60}

rm -rf "$out"
mkdir -p "$out"
python3 "$here/gen_cases.py" --seed "$seed" --count "$count" --out "$out" --budget 2 --tally
rm -f "$out/index.tsv"
for case in "$out"/*.case; do
  python3 "$here/kriging_model.py" "$case" > "${case%.case}.grid"
done
echo "wrote $(ls "$out"/*.case | wc -l) golden cases to $out"
