#!/usr/bin/env bash
# launcher.exe for Windows under Wine and Xvfb against a plain Win32 window
# of the same size (bench/plain_window.cpp), median of RUNS runs (min and
# max shown):
#   frame:  process start until the first painted frame, as each program
#           reports it (the process's creation time as the start)
#   shown:  start of the program until its window is mapped, seen from outside
#   memory: resident memory of the program's process when the window is
#           shown, and 3 s later
# Both run in one Wine prefix of the script's own with its server kept
# running, so neither pays for starting Wine itself. The launcher's patch
# server need not run: the window appears before the network is asked (run
# it under the machine's e2e lock all the same: it asks 127.0.0.1:8787).
# Only the processes this script started are ended.
#
#   bash bench/window_startup_wine.sh     # RUNS=5 by default
#   LAUNCHER=path/to/launcher.exe bash bench/window_startup_wine.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-5}
wine=/usr/lib/wine/wine64

if [ -z "${LAUNCHER:-}" ]; then
  bash tools/windows-build.sh >/dev/null
  LAUNCHER=$root/build/windows/launcher.exe
fi
work=$(mktemp -d /tmp/valdora-bench-wine.XXXXXX)
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -mwindows bench/plain_window.cpp \
  -o "$work/plain_window.exe"

setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p  # kept until the end
"$wine" wineboot --init >/dev/null 2>&1

# One run: program, window name -> "frame_ms shown_ms shown_rss_kib rss_kib"
measure() {
  local program=$1 name=$2 start end pid frame early rss
  rm -rf "$WINEPREFIX/drive_c/game" && mkdir -p "$WINEPREFIX/drive_c/game"
  cp "$program" "$WINEPREFIX/drive_c/game/"
  cd "$WINEPREFIX/drive_c/game"
  start=$(date +%s%N)
  VALDORA_REPORT_FIRST_FRAME=1 "$wine" "./${program##*/}" 2>"$work/err" &
  pid=$!
  until xdotool search --onlyvisible --name "$name" >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "$program ended before showing a window:" >&2; cat "$work/err" >&2; exit 1; }
    [ $(($(date +%s%N) - start)) -lt 60000000000 ] || { echo "$program showed no window in 60 s" >&2; exit 1; }
    sleep 0.01
  done
  end=$(date +%s%N)
  early=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  sleep 3
  frame=$(sed -n 's/^valdora: first frame \([0-9]*\) ms.*/\1/p' "$work/err" | head -1)
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  cd "$root"
  echo "${frame:-0} $(((end - start) / 1000000)) $early $rss"
}

stats() {  # numbers -> "median (min..max)"
  sort -n | awk '{a[NR]=$1} END {printf "%s (%s..%s)", a[int((NR+1)/2)], a[1], a[NR]}'
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
col() { awk -v c="$2" '{print $c}' "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
mib() { awk '{printf "%.1f\n", $1 / 1024}'; }

: >"$work/launcher.txt"; : >"$work/plain.txt"
for _ in $(seq "$runs"); do
  measure "$LAUNCHER" "Valdora Oyunu" >>"$work/launcher.txt"
  measure "$work/plain_window.exe" "Plain Win32 window" >>"$work/plain.txt"
done

l=$work/launcher.txt p=$work/plain.txt
echo "runs: $runs under Wine $("$wine" --version) and Xvfb $DISPLAY"
echo "first frame, ms:     launcher $(col "$l" 1 | stats)   plain Win32 window $(col "$p" 1 | stats)   ratio $(ratio "$(col "$l" 1 | median)" "$(col "$p" 1 | median)")"
echo "window shown, ms:    launcher $(col "$l" 2 | stats)   plain Win32 window $(col "$p" 2 | stats)   ratio $(ratio "$(col "$l" 2 | median)" "$(col "$p" 2 | median)")"
echo "resident shown, MiB: launcher $(col "$l" 3 | mib | stats)   plain Win32 window $(col "$p" 3 | mib | stats)   ratio $(ratio "$(col "$l" 3 | median)" "$(col "$p" 3 | median)")"
echo "resident, MiB:       launcher $(col "$l" 4 | mib | stats)   plain Win32 window $(col "$p" 4 | mib | stats)   ratio $(ratio "$(col "$l" 4 | median)" "$(col "$p" 4 | median)")"
