#!/usr/bin/env bash
# Loads and unloads the DLL in the probe under the emulator (Wine): both
# trace lines on the debugger channel always, which Wine shows with
# WINEDEBUG=+debugstr, and on standard error only with MOSARO_TRACE set.
# usage: check_load_unload_trace.sh EMULATOR PROBE DLL_NAME
set -euo pipefail
emulator=$1
probe=$2
dll=$3
cd "$(dirname "$probe")"

run() {  # standard error of the probe, with the given environment
  env -u MOSARO_TRACE "$@" "$emulator" "$probe" "$dll" 2>&1 >/dev/null | tr -d '\r'
}

expected_marks=$'[dlopen]\n[dlclose]\n[end]'
status=0
for setting in "" MOSARO_TRACE=0; do
  got=$(run WINEDEBUG=-all $setting)
  if [ "$got" != "$expected_marks" ]; then
    printf 'stderr with "%s":\n%s\n' "$setting" "$got" >&2
    status=1
  fi
done
got=$(run WINEDEBUG=-all MOSARO_TRACE=1)
if [ "$got" != $'[dlopen]\nMOSARO.DLL Initializing!\n[dlclose]\nMOSARO.DLL Terminating!\n[end]' ]; then
  printf 'stderr with MOSARO_TRACE=1:\n%s\n' "$got" >&2
  status=1
fi
debugger=$(run WINEDEBUG=-all,+debugstr | grep -o 'MOSARO.DLL [A-Za-z]*!' || true)
if [ "$debugger" != $'MOSARO.DLL Initializing!\nMOSARO.DLL Terminating!' ]; then
  printf 'debugger channel:\n%s\n' "$debugger" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "trace lines as expected"
exit "$status"
