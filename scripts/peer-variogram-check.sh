#!/usr/bin/env bash
# Optional peer check of the variogram side (not part of CI): experimental
# variograms of the demo data against gstat's variogram() (pair counts,
# mean distances, semivariances), and every family's fit against gstat's
# fit.variogram() as the ratio of the weighted squared errors on the same
# classes, on meuse log(zinc), Jura Co, Ni and Zn and a generated
# anisotropic field. Prints markdown tables. Needs R with gstat (Debian
# r-cran-gstat, installed on demand).
#
# usage: scripts/peer-variogram-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
if ! Rscript -e 'library(gstat)' >/dev/null 2>&1; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq r-cran-gstat
fi
# Only a target is built: the options of a build tree shared with the tests stay as they are.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release -j2 --target mosaro_variogram_peer >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
Rscript scripts/peer/variogram.R "$PWD/build-release/bench/mosaro_variogram_peer" "$PWD/data" "$work"
