#!/usr/bin/env bash
# Runs a Windows program under wine64, quietly, in the prefix that
# WINEPREFIX names (default build/windows/wine, made on first use). The
# Windows build's tests run through it; tools/windows-test.sh gives them a
# fresh prefix.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$repo/build/windows/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: console programs need neither, and nothing is fetched.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=${VALDORA_WINE:-/usr/lib/wine/wine64}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1
  ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$@"
