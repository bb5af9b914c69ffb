#!/usr/bin/env bash
# launcher.exe's start-up under Xvfb against a plain Qt window (the game
# stand-in), median of RUNS runs (min and max shown):
#   frame:  process start until the first painted frame, as each program reports it
#   shown:  process start until the window is mapped, seen from outside (xdotool)
#   memory: resident memory when the window is shown, and once up (launcher
#           alone, and with its web-engine processes)
# No patch server is needed: the window appears before the network is asked.
# Only the processes this script started are ended.
#
#   bash bench/window_startup.sh     # RUNS=5 by default
#   BEFORE=path/to/older/launcher.exe bash bench/window_startup.sh   # that one too
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-5}

cmake -S . -B build/bench-ui -G Ninja -DCMAKE_BUILD_TYPE=Release -DVALDORA_BUILD_TESTS=OFF \
  ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >/dev/null
cmake --build build/bench-ui -j2 --target launcher valdora-game-stand-in >/dev/null
launcher=$root/build/bench-ui/app/launcher.exe
standin=$root/build/bench-ui/tools/game_stand_in/valdora-game-stand-in

work=$(mktemp -d /tmp/valdora-bench-ui.XXXXXX)
# The X server picks a free display itself and writes its number once it
# accepts clients: no clash with other displays on the machine. It and each
# measured program run in sessions of their own, so that ending a program's
# process group reaches nothing else. -noreset: an X server that resets when its last client leaves
# refuses connections meanwhile, and crashed now and then doing it.
setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
cleanup() { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
# A running-launcher marker of our own: another launcher on this machine
# must not make ours refuse to start.
mkdir -m 700 "$work/run" && export XDG_RUNTIME_DIR=$work/run

descendants() {  # pid -> the pid and all its descendants
  local child
  echo "$1"
  for child in $(pgrep -P "$1" || true); do descendants "$child"; done
}
tree_rss_kib() {  # pid -> resident KiB of the process and all its descendants
  local total=0 pid
  for pid in $(descendants "$1"); do
    total=$((total + $(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)))
  done
  echo "$total"
}

# One run: program, window name -> "frame_ms shown_ms rss_kib tree_kib shown_rss_kib"
measure() {
  local program=$1 name=$2 start end pid frame rss tree early
  rm -rf "$work/game" && mkdir -p "$work/game" && cd "$work/game"
  start=$(date +%s%N)
  VALDORA_REPORT_FIRST_FRAME=1 setsid "$program" 2>"$work/err" &
  pid=$!
  until xdotool search --onlyvisible --name "$name" >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "$program ended before showing a window:" >&2; cat "$work/err" >&2; exit 1; }
    [ $(($(date +%s%N) - start)) -lt 60000000000 ] || { echo "$program showed no window in 60 s" >&2; exit 1; }
    sleep 0.01
  done
  end=$(date +%s%N)
  early=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  sleep 3  # the web panes load
  frame=$(sed -n 's/^valdora: first frame \([0-9]*\) ms.*/\1/p' "$work/err" | head -1)
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  tree=$(tree_rss_kib "$pid")
  # Ours only: the program and what it started (the web engine's processes).
  kill -9 -- -"$pid" $(descendants "$pid") 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  cd "$root"
  echo "${frame:-0} $(((end - start) / 1000000)) $rss $tree $early"
}

stats() {  # numbers -> "median (min..max)"
  sort -n | awk '{a[NR]=$1} END {printf "%s (%s..%s)", a[int((NR+1)/2)], a[1], a[NR]}'
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
col() { awk -v c="$2" '{print $c}' "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

: >"$work/launcher.txt"; : >"$work/standin.txt"; : >"$work/before.txt"
for _ in $(seq "$runs"); do
  measure "$launcher" "Valdora Oyunu" >>"$work/launcher.txt"
  measure "$standin" "^Valdora$" >>"$work/standin.txt"
  [ -z "${BEFORE:-}" ] || measure "$BEFORE" "Valdora Oyunu" >>"$work/before.txt"
done

l=$work/launcher.txt s=$work/standin.txt
echo "runs: $runs under Xvfb $DISPLAY"
echo "first frame, ms:     launcher $(col "$l" 1 | stats)   plain Qt window $(col "$s" 1 | stats)   ratio $(ratio "$(col "$l" 1 | median)" "$(col "$s" 1 | median)")"
echo "window shown, ms:    launcher $(col "$l" 2 | stats)   plain Qt window $(col "$s" 2 | stats)   ratio $(ratio "$(col "$l" 2 | median)" "$(col "$s" 2 | median)")"
echo "resident shown, MiB: launcher $(col "$l" 5 | awk '{print int($1/1024)}' | stats)   plain Qt window $(col "$s" 5 | awk '{print int($1/1024)}' | stats)   ratio $(ratio "$(col "$l" 5 | median)" "$(col "$s" 5 | median)")"
echo "resident, MiB:       launcher $(col "$l" 3 | awk '{print int($1/1024)}' | stats)   plain Qt window $(col "$s" 3 | awk '{print int($1/1024)}' | stats)   ratio $(ratio "$(col "$l" 3 | median)" "$(col "$s" 3 | median)")"
echo "with web panes, MiB: launcher and its web-engine processes $(col "$l" 4 | awk '{print int($1/1024)}' | stats)"
if [ -n "${BEFORE:-}" ]; then
  b=$work/before.txt
  echo "BEFORE ($BEFORE):"
  echo "first frame, ms:     $(col "$b" 1 | stats)   ratio to the plain window $(ratio "$(col "$b" 1 | median)" "$(col "$s" 1 | median)")"
  echo "window shown, ms:    $(col "$b" 2 | stats)   ratio to the plain window $(ratio "$(col "$b" 2 | median)" "$(col "$s" 2 | median)")"
  echo "resident shown, MiB: $(col "$b" 5 | awk '{print int($1/1024)}' | stats)"
  echo "resident, MiB:       $(col "$b" 3 | awk '{print int($1/1024)}' | stats)"
  echo "with web panes, MiB: $(col "$b" 4 | awk '{print int($1/1024)}' | stats)"
fi
