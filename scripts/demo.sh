#!/usr/bin/env bash
# Builds Mosaro and grids the shipped demo data with the command-line tool:
# lognormal kriging of the zinc samples (data/meuse.csv) on a 40 m grid in
# the Dutch national grid. First the default run (the prediction API: a
# Nug + Sph model fitted to the omnidirectional variogram of log(zinc)),
# then, beside it, what the legacy arithmetic with its directional legacy
# fit gives for the same samples (--legacy), so that both can be compared.
# Prints both models and where the files are.
#
# usage: scripts/demo.sh [output folder]   (default: demo-output)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DMOSARO_BUILD_TESTS=OFF >/dev/null
cmake --build build-demo -j "$(nproc 2>/dev/null || echo 2)" --target mosaro_tool >/dev/null

out=${1:-demo-output}
mkdir -p "$out"
mosaro=./build-demo/apps/mosaro/mosaro
echo "== default: the prediction API =="
"$mosaro" grid data/meuse.csv --value zinc --method lognormal \
  --cell 40 --crs EPSG:28992 \
  -o "$out/zinc.tif" --variance "$out/zinc-variance.tif" --png "$out/zinc.png"
echo
echo "== --legacy: the legacy arithmetic and fit, for comparison =="
"$mosaro" grid data/meuse.csv --value zinc --method lognormal \
  --cell 40 --crs EPSG:28992 --legacy \
  -o "$out/zinc-legacy.tif" --variance "$out/zinc-legacy-variance.tif" --png "$out/zinc-legacy.png"
echo
echo "files: $(cd "$out" && pwd)/{zinc.tif,zinc-variance.tif,zinc.png}"
echo "       and the legacy run's {zinc-legacy.tif,zinc-legacy-variance.tif,zinc-legacy.png}"
