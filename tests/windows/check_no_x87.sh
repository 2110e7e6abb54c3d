#!/usr/bin/env bash
# Fails when the engine's 32-bit code does arithmetic on the x87 unit: its
# 64-bit significands round differently from the legacy's double arithmetic.
# Moves through the x87 stack (fld, fstp, fild, fistp, fxch) stay allowed:
# the 32-bit calling convention returns a float or double in st(0), and a
# load followed by a store of the same format is exact. The same holds for
# the whole DLL, so that no x87 implementation of a math function from the
# toolchain's libraries is linked in either.
# usage: check_no_x87.sh OBJDUMP FILE...   (an argument may be a CMake list:
# file;file;...)
set -euo pipefail
objdump=$1
shift
files=()
for argument in "$@"; do
  IFS=';' read -ra listed <<<"$argument"
  files+=("${listed[@]}")
done
# A memory operand gives the mnemonic a size suffix (objdump's AT&T syntax):
# s and l for 32- and 64-bit floats (fmuls, faddl), s and l for 16- and
# 32-bit integers (fimuls, fidivl), t for 80 bits; p pops a register form.
arithmetic='f(i?add|i?sub|i?subr|i?mul|i?div|i?divr)(p|[slt])?|fsqrt|fsin|fcos|fsincos|fptan|fpatan|fyl2x|fyl2xp1|f2xm1|fscale|frndint|fprem1?|fxtract'
status=0
instructions=0
for file in "${files[@]}"; do
  code=$("$objdump" -d --no-show-raw-insn "$file")
  instructions=$((instructions + $(grep -cE '^\s+[0-9a-f]+:\s' <<<"$code" || true)))
  found=$(grep -E "^\s+[0-9a-f]+:\s+($arithmetic)\s" <<<"$code" || true)
  if [ -n "$found" ]; then
    echo "x87 arithmetic in $file:" >&2
    head -5 <<<"$found" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "no x87 arithmetic in ${#files[@]} files ($instructions instructions)"
exit "$status"
