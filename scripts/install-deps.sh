#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any is missing.
# usage: scripts/install-deps.sh [windows|r]   (windows: also the MinGW-w64
# cross compilers and Wine of scripts/windows.sh; r: R and the packages the
# R package builds and tests with)
set -euo pipefail

packages=(cmake g++ make libgtest-dev libgmock-dev binutils libnanoflann-dev libeigen3-dev libtbb-dev
          libgdal-dev libcairo2-dev libcli11-dev pkg-config
          python3-dev python3-numpy pybind11-dev python3-pytest python3-matplotlib clang-format ccache
          python3-xarray python3-dask python3-distributed python3-zarr python3-rasterio
          python3-setuptools python3-wheel python3-build python3-pip python3-venv)
case "${1:-}" in
  windows) packages+=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64) ;;
  r) packages+=(r-base-dev r-cran-rcpp r-cran-terra r-cran-sf r-cran-testthat) ;;
esac
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
