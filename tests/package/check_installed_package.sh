#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and builds two hosts
# against it, as a user would: a C host with pkg-config and a C++ host with
# find_package(Mosaro). Both must build and run.
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
echo "installed package: C host (pkg-config) and C++ host (find_package) built and ran"
