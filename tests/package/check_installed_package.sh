#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and builds two hosts
# against it, as a user would: a C host with pkg-config and a C++ host with
# find_package(Mosaro). Both must build and run; where the Python package
# was built, it must import from the prefix.
# usage: check_installed_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/mosaro"
"$prefix/bin/mosaro" --version

libdir=$(dirname "$(find "$prefix" -name 'libmosaro.so' | head -n 1)")
export LD_LIBRARY_PATH="$libdir"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror "$here/consumer.c" -o "$work/c-host" $(pkg-config --cflags --libs mosaro)
"$work/c-host"

cmake -S "$here/cpp" -B "$work/cpp-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cpp-build" >/dev/null
"$work/cpp-build/consumer"

# The Python package, where it was built: it must import from the prefix and
# load the prefix's library through its own RPATH, with no search path set.
if [ -d "$build/python/mosaro" ]; then
  site=$(dirname "$(dirname "$(find "$prefix" -path '*/mosaro/__init__.py' | head -n 1)")")
  env -u LD_LIBRARY_PATH PYTHONPATH="$site" /usr/bin/python3 -c "
import sys, mosaro
assert mosaro.__file__.startswith(sys.argv[1]), mosaro.__file__
loaded = [line.split()[-1] for line in open('/proc/self/maps') if 'libmosaro.so' in line]
assert loaded and all(path.startswith(sys.argv[1]) for path in loaded), loaded
r = mosaro.grid([0, 40, 20, 45], [0, 10, 35, 45], [12, 15.5, 11, 19], extent=(0, 0, 50, 50), cell=10,
                neighbours=3, model=(0, 10, 40))
assert r.estimate.shape == (6, 6)
" "$prefix"
  echo "installed package: Python module imported from $site"
fi
echo "installed package: C host (pkg-config) and C++ host (find_package) built and ran"
