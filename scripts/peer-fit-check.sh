#!/usr/bin/env bash
# Optional peer check of the robust variogram fit (not part of CI): fits the
# same experimental variograms with R's gstat (fit.variogram, spherical
# model, default weights pairs / lag^2) and prints both fits side by side,
# as "ours / gstat", on the demo data and on the Jura data set that gstat
# ships. Needs the Debian package r-cran-gstat (large; installed on demand).
#
# usage: scripts/peer-fit-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/peer/setup.sh
peer_program fit_dump

# Jura: 259 topsoil samples, coordinates in km.
Rscript -e 'suppressMessages(library(gstat)); data(jura);
  write.csv(jura.pred[, c("Xloc", "Yloc", "Cd", "Ni", "Zn")], "'"$work"'/jura.csv", row.names = FALSE)'

echo "| data | direction | classes | nugget | partial sill | range | residual ratio | note |"
echo "| --- | --- | --- | --- | --- | --- | --- | --- |"
# name, file, column, method (1 ordinary, 8 lognormal), cell, extent
while read -r name file column method cell xmin ymin xmax ymax; do
  "$work/fit_dump" "$file" "$column" "$method" "$cell" "$xmin" "$ymin" "$xmax" "$ymax" >"$work/dump"
  Rscript scripts/peer/compare.R "$name" "$work/dump"
done <<CASES
demo-log-zinc-100m data/meuse.csv 5 8 100 178600 329700 181400 333700
demo-log-zinc-50m data/meuse.csv 5 8 50 178600 329700 181400 333700
demo-zinc-100m data/meuse.csv 5 1 100 178600 329700 181400 333700
jura-Cd-0.1km $work/jura.csv 2 1 0.1 0.5 0.5 5 6
jura-Ni-0.1km $work/jura.csv 3 1 0.1 0.5 0.5 5 6
jura-Zn-0.2km $work/jura.csv 4 1 0.2 0.5 0.5 5 6
CASES
