#!/usr/bin/env bash
# Builds the R package's tarball (R CMD build r, which carries the library's
# sources), checks it (R CMD check --no-manual, which also runs its testthat
# tests) and fails on any ERROR or WARNING; NOTEs are printed, not fatal
# (docs/r.md lists the expected ones).
#
# usage: scripts/r-package.sh [check-directory]   (default build-r/)
#
# The library is compiled once, inside the check's install; ccache (when
# installed) keeps that short on later runs. MOSARO_PREFIX=<prefix of
# cmake --install> links an installed library instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh r
repo=$(pwd)
out=${1:-build-r}
mkdir -p "$out"
out=$(cd "$out" && pwd)

# R's make runs as many jobs as there are cores; ccache sees the same
# relative paths in every check directory under the repository.
export MAKEFLAGS="-j$(nproc 2>/dev/null || echo 2)"
if command -v ccache >/dev/null; then
  printf 'CXX17 = ccache g++\nCC = ccache gcc\n' > "$out/Makevars"
  export R_MAKEVARS_USER="$out/Makevars" CCACHE_BASEDIR="$repo" CCACHE_NOHASHDIR=true
fi
# Debug information makes the library 40 MB; without it, about 1 MB. Only
# the debug information goes: the check reads the symbols.
export _R_SHLIB_STRIP_=true R_STRIP_SHARED_LIB="strip --strip-debug"
# A check of a tarball, not of the developer's machine: no CRAN incoming
# checks, no remote look-ups.
export _R_CHECK_CRAN_INCOMING_=false _R_CHECK_CRAN_INCOMING_REMOTE_=false _R_CHECK_FORCE_SUGGESTS_=false

cd "$out"
rm -rf mosaro_*.tar.gz mosaro.Rcheck
echo "== R CMD build r"
R CMD build --no-build-vignettes "$repo/r" > build.log 2>&1 || { cat build.log; exit 1; }
tarball=$(ls mosaro_*.tar.gz)
echo "== R CMD check --no-manual $tarball"
status=0
R CMD check --no-manual "$tarball" > check.log 2>&1 || status=$?
grep -E "^\* checking .*\.\.\. (NOTE|WARNING|ERROR)|^Status:" check.log || true
if [ "$status" -ne 0 ] || grep -qE "\.\.\. (WARNING|ERROR)$|^Status: .*(WARNING|ERROR)" check.log; then
  echo "R CMD check failed; the log: $out/check.log" >&2
  tail -40 check.log >&2
  exit 1
fi
echo "R package: $(grep '^Status:' check.log)"
