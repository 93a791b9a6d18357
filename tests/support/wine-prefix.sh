#!/usr/bin/env bash
# The Wine session the Windows program's tests run in.
#   wine-prefix.sh WINE64 PREFIX start   make the prefix, then keep one wine server and its
#                                        helper processes running for the tests
#   wine-prefix.sh WINE64 PREFIX stop    end that session
# A test's program that finds no server starts one, and the helper processes Wine starts with it
# (winedevice.exe and the like) inherit that program's standard output and error: the test then
# waits for them to exit, seconds a case, and reads their "wine client error" lines as the
# program's. A server started here with its streams on /dev/null spares every test of that.
set -u
wine64=${1:?wine64}
prefix=${2:?prefix}
action=${3:?start or stop}
wineserver=$(dirname "$wine64")/wineserver

if [ "$action" = stop ]; then
  WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null
  exit 0
fi

# A server left by an earlier run, or by a run that was cut short, goes first.
WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null
# The very first start of Wine on a fresh machine has been seen to fail ("could not load
# kernel32.dll") where the next start from an empty prefix works, so it is tried up to three times.
made=no
for attempt in 1 2 3; do
  # The registry reaches the prefix's files when the wine server exits: wait for it.
  if WINEPREFIX=$prefix WINEDEBUG=-all "$wine64" wineboot --init </dev/null >/dev/null 2>&1 &&
    WINEPREFIX=$prefix "$wineserver" -w && [ -f "$prefix/system.reg" ]; then
    made=yes
    break
  fi
  echo "wine-prefix: attempt $attempt failed, starting again from an empty prefix" >&2
  WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null
  rm -rf "$prefix"
  sleep 2
done
[ "$made" = yes ] || exit 1

# The server stays until stop; the first program it serves starts the helper processes.
WINEPREFIX=$prefix "$wineserver" -p </dev/null >/dev/null 2>&1 || exit 1
WINEPREFIX=$prefix WINEDEBUG=-all "$wine64" wineboot </dev/null >/dev/null 2>&1 || exit 1
