#!/usr/bin/env bash
# Compares the export table of the DLL with the committed list (C++ names
# demangled), so that nothing of the engine leaks out and nothing public
# goes missing; then checks that the legacy entry point keeps the C calling
# convention: on 32-bit x86 the caller pops the arguments, so the function
# returns with a plain `ret`, never `ret $N` as a __stdcall one would (whose
# name would also be decorated, _KARVO_ScatToGridWithKrig@56).
# usage: check_dll_exports.sh OBJDUMP DLL REFERENCE_LIST
set -euo pipefail
objdump=$1
dll=$2
reference=$3

# The export table's name list: lines "[ordinal] name" after its heading.
actual=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
                                     table && /^\t\[ *[0-9]+\]/ { print $NF; next }
                                     table { table = 0 }' | c++filt | LC_ALL=C sort -u)
if ! diff -u <(LC_ALL=C sort -u "$reference") <(printf '%s\n' "$actual"); then
  echo "exports of $dll differ from $reference (- expected, + found)" >&2
  exit 1
fi
echo "exports match $(wc -l < "$reference") expected entries"

# The entry point's code, found through the symbol table (the leading
# underscore is the 32-bit C symbol decoration, not part of the export).
symbol=KARVO_ScatToGridWithKrig
if "$objdump" -f "$dll" | grep -q 'file format pei-i386'; then symbol=_$symbol; fi
# A PE symbol has no size, so the disassembly runs on into the functions
# laid out after it: keep the lines up to the next symbol's label.
code=$("$objdump" -d --no-show-raw-insn --disassemble="$symbol" "$dll" |
  awk -v label="<$symbol>:" 'index($0, label) && !done { inside = 1; next } inside && /^[0-9a-f]+ </ { inside = 0; done = 1 } inside')
returns=$(grep -cE '\sret[lq]?\b' <<<"$code" || true)
if [ "$returns" -eq 0 ]; then
  echo "no code found for $symbol in $dll" >&2
  exit 1
fi
if grep -qE '\sret[lq]?\s+\$' <<<"$code"; then
  echo "$symbol pops its own arguments: not the C calling convention" >&2
  exit 1
fi
echo "$symbol: C calling convention ($returns plain returns)"
