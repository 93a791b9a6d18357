#!/usr/bin/env bash
# Creates the Wine prefix the Windows program's tests run in. The very first start of Wine on a
# fresh machine has been seen to fail ("could not load kernel32.dll") where the next start from an
# empty prefix works, so it is tried up to three times.
#   wine-prefix.sh WINE64 PREFIX
set -u
wine64=${1:?wine64}
prefix=${2:?prefix}
for attempt in 1 2 3; do
  # The registry reaches the prefix's files when the wine server exits: wait for it.
  if WINEPREFIX=$prefix WINEDEBUG=-all "$wine64" wineboot --init &&
    WINEPREFIX=$prefix "$(dirname "$wine64")/wineserver" -w && [ -f "$prefix/system.reg" ]; then
    exit 0
  fi
  echo "wine-prefix: attempt $attempt failed, starting again from an empty prefix" >&2
  WINEPREFIX=$prefix "$(dirname "$wine64")/wineserver" -k 2>/dev/null
  rm -rf "$prefix"
  sleep 2
done
exit 1
