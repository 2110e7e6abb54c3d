#!/usr/bin/env bash
# Builds the library and grids the shipped demo data (data/meuse.csv,
# zinc) through the C entry point, printing a summary of the grid.
#
# usage: scripts/demo.sh [method code] [legacy|robust]
#   method code: default 1, ordinary kriging; naming a fit grids through the
#   modern API with that variogram fit and prints the fitted models.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DMOSARO_BUILD_TESTS=OFF >/dev/null
cmake --build build-demo -j "$(nproc 2>/dev/null || echo 2)" --target mosaro_demo >/dev/null
./build-demo/apps/demo/mosaro_demo data/meuse.csv "${1:-1}" "${@:2}"
