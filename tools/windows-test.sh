#!/usr/bin/env bash
# Runs the Windows build's tests under wine64, in a fresh Wine prefix made
# here (build/windows/wine): the core suites built for Windows (labels unit
# and integration, in build/windows/tree); with LINUX_BUILD, a Linux build of
# the tests made with -DVALDORA_WINDOWS_PROGRAMS=$PWD/build/windows, also the
# Windows programs against nginx (label windows: a signed site through
# killed runs; https).
#
#   bash tools/windows-test.sh [LINUX_BUILD]
#
# Expects tools/windows-build.sh --tests to have run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

export WINEPREFIX=$root/build/windows/wine
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
# The prefix's server and services end with the script, also when a test
# fails.
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
start=$SECONDS
# The prefix is made by the first program run through tools/wine-run.sh;
# its setup goes on after that program, until the server ends. Then one
# server stays for all the tests, with the prefix's own services started
# here: started by a test, they would hold its output open.
bash tools/wine-run.sh cmd /c exit >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -w
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
bash tools/wine-run.sh cmd /c exit </dev/null >/dev/null 2>&1 || true
echo "windows-test: Wine prefix made in $((SECONDS - start)) s"

start=$SECONDS
ctest --test-dir build/windows/tree -j "$jobs" --output-on-failure --timeout 300 \
  -L 'unit|integration'
echo "windows-test: Windows suites under Wine in $((SECONDS - start)) s"

# The Windows programs against nginx, driven from a Linux build of the tests
# (label windows), when one is given.
if [ -n "${1:-}" ]; then
  start=$SECONDS
  ctest --test-dir "$1" -j "$jobs" --output-on-failure --timeout 600 -L windows
  echo "windows-test: Windows programs against nginx in $((SECONDS - start)) s"
fi
