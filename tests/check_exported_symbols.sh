#!/usr/bin/env bash
# Compares the dynamic symbols the shared library defines with the committed
# list, so that nothing leaks out and nothing public goes missing.
# usage: check_exported_symbols.sh LIBRARY REFERENCE_LIST
set -euo pipefail
library=$1
reference=$2
actual=$(nm -D --defined-only "$library" | awk 'NF >= 3 { print $3 }' | c++filt | LC_ALL=C sort -u)
if ! diff -u <(LC_ALL=C sort -u "$reference") <(printf '%s\n' "$actual"); then
  echo "exported symbols differ from $reference (- expected, + found)" >&2
  exit 1
fi
echo "exported symbols match $(wc -l < "$reference") expected entries"
