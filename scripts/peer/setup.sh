# Shared start of the peer checks, sourced from the repository root: R's
# gstat (the Debian package r-cran-gstat, installed on demand), the library
# built in Release, a scratch directory $work removed on exit, and
# peer_program NAME compiling scripts/peer/NAME.c into $work against it.
if ! Rscript -e 'library(gstat)' >/dev/null 2>&1; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq r-cran-gstat
fi
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release -j2 --target mosaro >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
peer_program() {
  cc -std=c99 -O2 -Iinclude "scripts/peer/$1.c" -o "$work/$1" \
     -Lbuild-release -lmosaro -Wl,-rpath,"$PWD/build-release" -lm
}
