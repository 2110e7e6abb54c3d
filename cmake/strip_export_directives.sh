#!/bin/sh
# usage: strip_export_directives.sh OBJCOPY OBJECT...  (see MosaroWindows.cmake)
objcopy=$1
shift
for object in "$@"; do
  "$objcopy" --remove-section .drectve "$object" || exit 1
done
