#!/usr/bin/env bash
# Checks that a Windows build of the engine exports its entry points by their
# plain, undecorated names and nothing else:
#   windows/check_exports.sh TRIPLET DLL    (TRIPLET: i686-w64-mingw32, ...)
# Prints one line saying what was found; exit 1 when the table is not right.
set -uo pipefail
triplet=$1 dll=$2
expected="FileRecover FileRecoverEx GetDllVersion LoadTarncmn SetBreakFlag isEnvReady "
names=$("$triplet-objdump" -p "$dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR > 1 {print $3}' | sort | tr '\n' ' ')
if [ "$names" = "$expected" ]; then
  echo "$(basename "$dll") ($triplet) exports $names"
else
  echo "$(basename "$dll") ($triplet) exports [$names], expected [$expected]"
  exit 1
fi
