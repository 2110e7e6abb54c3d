#!/usr/bin/env bash
# Optional peer check of prediction (not part of CI): simple, ordinary and
# universal kriging, an external drift, blocks, neighbourhoods and points
# through mosaro_predict against R's gstat krige() with the same model and
# neighbourhood, on meuse log(zinc) and the Jura validation points. Prints
# a markdown table. Needs R with gstat (Debian r-cran-gstat, installed on
# demand).
#
# usage: scripts/peer-prediction-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/peer/setup.sh
peer_program predict_dump
Rscript scripts/peer/prediction.R "$work/predict_dump" "$work"
