#!/usr/bin/env bash
# Formats the tracked C and C++ sources with the tree's .clang-format, or
# checks that they are formatted. The style is tuned for clang-format 14
# (Debian's clang-format package); other versions format some constructs
# differently, so the check warns when it runs another one. Left alone: the
# fuzz seeds (tests/fuzz/corpus), data/ and r/src/RcppExports.cpp (made by Rcpp).
#
# usage: scripts/format.sh           format every tracked C/C++ file in place
#        scripts/format.sh --check   list the files that are not formatted;
#                                    exit 1 if there is any
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { sed -n 's/^# \{0,1\}//; 8,10p' "$0"; }

check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  -h|--help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac
[ "$#" -le 1 ] || { usage >&2; exit 2; }

# clang-format-14 where it is installed under that name, else the default one;
# install Debian's package when neither is there.
formatter=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$formatter" ]; then
  echo "installing: clang-format" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq clang-format >/dev/null
  formatter=$(command -v clang-format-14 || command -v clang-format)
fi
version=$("$formatter" --version | sed -n 's/.*version \([0-9][0-9]*\)\..*/\1/p')
if [ "$version" != 14 ]; then
  echo "warning: $formatter is version ${version:-unknown}; .clang-format is tuned for 14" >&2
fi

files=()
while IFS= read -r -d '' file; do
  files+=("$file")
done < <(git ls-files -z -- '*.c' '*.h' '*.cc' '*.cpp' '*.hpp' \
           ':(exclude)tests/fuzz/corpus/**' ':(exclude)data/**' ':(exclude)r/src/RcppExports.cpp')
[ "${#files[@]}" -gt 0 ] || { echo "no C or C++ files tracked" >&2; exit 0; }

if [ "$check" -eq 0 ]; then
  printf '%s\0' "${files[@]}" |
    xargs -0 -n 50 "$formatter" -i --style=file --fallback-style=none
  exit 0
fi

# One clang-format per file, as many at once as there are cores.
unformatted=$(printf '%s\0' "${files[@]}" |
  xargs -0 -P "$(nproc 2>/dev/null || echo 2)" -n 1 sh -c \
    '"$0" --style=file --fallback-style=none "$1" | cmp -s - "$1" || echo "$1"' "$formatter" |
  sort)
if [ -n "$unformatted" ]; then
  echo "$unformatted"
  echo "$(echo "$unformatted" | wc -l) of ${#files[@]} files are not formatted: run scripts/format.sh" >&2
  exit 1
fi
echo "all ${#files[@]} files are formatted" >&2
