#!/usr/bin/env bash
# Builds Mosaro and grids the shipped demo data with the command-line tool:
# lognormal kriging of the zinc samples (data/meuse.csv) on a 40 m grid in
# the Dutch national grid, written as GeoTIFF (estimate and kriging
# variance) and as a picture. Prints the fitted model and where the files are.
#
# usage: scripts/demo.sh [output folder]   (default: demo-output)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DMOSARO_BUILD_TESTS=OFF >/dev/null
cmake --build build-demo -j "$(nproc 2>/dev/null || echo 2)" --target mosaro_tool >/dev/null

out=${1:-demo-output}
mkdir -p "$out"
./build-demo/apps/mosaro/mosaro grid data/meuse.csv --value zinc --method lognormal \
  --cell 40 --crs EPSG:28992 \
  -o "$out/zinc.tif" --variance "$out/zinc-variance.tif" --png "$out/zinc.png"
echo "files: $(cd "$out" && pwd)/{zinc.tif,zinc-variance.tif,zinc.png}"
