#!/usr/bin/env bash
# Optional peer check of the accurate arithmetic and of cross-validation
# (not part of CI): grids and cross-validates the Jura nickel data (259
# topsoil samples, coordinates in km, shipped with gstat) by ordinary
# kriging and by universal kriging with the full quadratic drift, with one
# given spherical model, in both arithmetics, and prints the relative
# differences from R's gstat (krige, krige.cv) with the same model and 16
# neighbours. Needs the Debian package r-cran-gstat (installed on demand).
#
# usage: scripts/peer-accurate-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/peer/setup.sh
peer_program accurate_dump
Rscript -e 'suppressMessages(library(gstat)); data(jura);
  write.csv(jura.pred[, c("Xloc", "Yloc", "Ni")], "'"$work"'/jura.csv", row.names = FALSE)'
# The model gstat's fit.variogram gives for Ni on these samples, rounded.
nugget=11.75 psill=71.2 range=1.38
"$work/accurate_dump" "$work/jura.csv" 2 $nugget $psill $range 0.5 0.5 5 6 40 >"$work/dump"
Rscript scripts/peer/accurate.R "$work/jura.csv" Ni $nugget $psill $range "$work/dump"
