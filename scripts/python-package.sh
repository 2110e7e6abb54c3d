#!/usr/bin/env bash
# Builds the Python wheel offline (python3 -m build --no-isolation, the
# tree's own backend driving CMake: a Release build of the library and the
# module only), installs it into a fresh venv, and from outside the source
# tree imports it and runs examples/zinc_map.py: the installed package must
# work on its own, with the library it carries.
#
# usage: scripts/python-package.sh [output directory]   (default build/python-package)
# The CMake build directory (build/wheel, or MOSARO_BUILD_DIR) is kept, and
# compilations go through ccache where it is installed, so a rebuild is quick.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
source_dir=$PWD
out=$(realpath -m "${1:-build/python-package}")
python=/usr/bin/python3

if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  # Relative paths in ccache's keys: the same sources hit the cache from
  # any checkout under the base directory.
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$source_dir")}
fi
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc 2>/dev/null || echo 2)}

start=$SECONDS
rm -rf "$out"
mkdir -p "$out/run"
echo "== wheel"
if ! "$python" -m build --no-isolation --wheel --outdir "$out/dist" . >"$out/build.log" 2>&1; then
  tail -n 40 "$out/build.log" >&2
  echo "the wheel did not build; the whole log: $out/build.log" >&2
  exit 1
fi
wheel=$(ls "$out"/dist/mosaro-*.whl)
echo "$(basename "$wheel") ($((SECONDS - start)) s)"

echo "== venv"
# System site packages: numpy, matplotlib, xarray and rasterio come from
# Debian, so the install needs no index. The system's pip installs into the
# venv (pip --python), which spares the venv a copy of pip of its own.
"$python" -m venv --system-site-packages --without-pip "$out/venv"
"$python" -m pip --python "$out/venv/bin/python" install --quiet --no-index --disable-pip-version-check "$wheel"

echo "== import and example, from $out/run"
cd "$out/run"
# Nothing of the source or build tree on the path: the import must find the
# installed package.
unset PYTHONPATH
wanted=$(sed -n 's/^#define MOSARO_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)$/\2/p' "$source_dir/include/mosaro.h" |
  paste -sd.)
version=$("$out/venv/bin/python" -c "import mosaro; print(mosaro.__version__)")
echo "mosaro $version"
"$out/venv/bin/python" -c "import mosaro, sys; sys.exit(not mosaro.__file__.startswith(sys.prefix))" ||
  { echo "mosaro was not imported from the venv" >&2; exit 1; }
[ "$version" = "$wanted" ] || { echo "mosaro.__version__ $version, the header says $wanted" >&2; exit 1; }
MPLBACKEND=Agg "$out/venv/bin/python" "$source_dir/examples/zinc_map.py" -o zinc.png
echo "python-package: ok in $((SECONDS - start)) s"
