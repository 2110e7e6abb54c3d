#!/usr/bin/env bash
# Optional benchmark (not part of CI): sequential Gaussian simulation by
# mosaro_simulate against R's gstat krige(nsim = ...) on the same normal
# scores, model, grid and neighbourhood: 100 realisations of meuse
# log(zinc) on the 40 m grid and 10 realisations of 10^4 generated samples
# onto 300 x 300 nodes. Prints a markdown table. Needs R with gstat (Debian
# r-cran-gstat, installed on demand).
#
# usage: scripts/peer-simulation-bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/peer/setup.sh
peer_program simulate_time
Rscript scripts/peer/simulation.R "$work/simulate_time" "$work"
