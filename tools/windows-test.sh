#!/usr/bin/env bash
# Runs the Windows build's tests under wine64, in a fresh Wine prefix made
# here (build/windows/wine): the core suites built for Windows (labels unit
# and integration, in build/windows/tree), then, driven from a Linux build
# of the tests, the Windows programs against nginx (label windows:
# install, update, resume, verify a signed site; https; killed runs).
#
#   bash tools/windows-test.sh [LINUX_BUILD]
#
# LINUX_BUILD is a Linux build of the tests made with
# -DVALDORA_WINDOWS_PROGRAMS=$PWD/build/windows (tools/test.sh passes its
# own); without one, a core build in build/windows/host is made here.
# Expects tools/windows-build.sh --tests to have run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

export WINEPREFIX=$root/build/windows/wine
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
start=$SECONDS
# The prefix is made by the first program run through tools/wine-run.sh.
bash tools/wine-run.sh cmd /c exit >/dev/null 2>&1 || true
echo "windows-test: Wine prefix made in $((SECONDS - start)) s"

start=$SECONDS
ctest --test-dir build/windows/tree -j "$jobs" --output-on-failure --timeout 300 \
  -L 'unit|integration'
echo "windows-test: Windows suites under Wine in $((SECONDS - start)) s"

host=${1:-}
if [ -z "$host" ]; then
  host=build/windows/host
  cmake -S . -B "$host" -G Ninja -DVALDORA_BUILD_UI=OFF -DVALDORA_WERROR=ON \
    -DVALDORA_WINDOWS_PROGRAMS="$root/build/windows" >/dev/null
  cmake --build "$host" -j "$jobs" --target tls_e2e_test fault_test wine_player_test
fi
start=$SECONDS
ctest --test-dir "$host" -j "$jobs" --output-on-failure --timeout 600 -L windows
echo "windows-test: Windows programs against nginx in $((SECONDS - start)) s"
# The prefix's server ends with the last program; do not wait for it.
/usr/lib/wine/wineserver -k 2>/dev/null || true
