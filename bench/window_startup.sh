#!/usr/bin/env bash
# launcher.exe's start-up under Xvfb against a plain Qt window (the game
# stand-in), median of RUNS runs (min and max shown):
#   shown:  process start until the window is mapped, seen from outside (xdotool)
#   frame:  process start until the launcher paints its first frame, as it reports it
#   memory: resident memory once up (launcher alone, and with its web-engine processes)
# No patch server is needed: the window appears before the network is asked.
#
#   bash bench/window_startup.sh     # RUNS=5 by default
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-5}

cmake -S . -B build/bench-ui -G Ninja -DCMAKE_BUILD_TYPE=Release -DVALDORA_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench-ui -j2 --target launcher valdora-game-stand-in >/dev/null
launcher=$root/build/bench-ui/app/launcher.exe
standin=$root/build/bench-ui/tools/game_stand_in/valdora-game-stand-in

work=$(mktemp -d /tmp/valdora-bench-ui.XXXXXX)
display=:$((100 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
export DISPLAY=$display
# A running-launcher marker of our own: another launcher on this machine
# must not make ours refuse to start.
mkdir -m 700 "$work/run" && export XDG_RUNTIME_DIR=$work/run
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

tree_rss_kib() {  # pid -> resident KiB of the process and all its descendants
  local total=0 pid
  for pid in $1 $(pgrep -P "$1"); do
    [ "$pid" = "$1" ] || { total=$((total + $(tree_rss_kib "$pid"))); continue; }
    total=$((total + $(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)))
  done
  echo "$total"
}

# One run: program, window name -> "shown_ms frame_ms rss_kib tree_kib"
measure() {
  local program=$1 name=$2 start end pid frame rss tree
  rm -rf "$work/game" && mkdir -p "$work/game" && cd "$work/game"
  start=$(date +%s%N)
  VALDORA_REPORT_FIRST_FRAME=1 "$program" 2>"$work/err" &
  pid=$!
  for _ in $(seq 2000); do
    xdotool search --onlyvisible --name "$name" >/dev/null 2>&1 && break
    kill -0 "$pid" 2>/dev/null || { echo "$program ended before showing a window" >&2; exit 1; }
    sleep 0.01
  done
  end=$(date +%s%N)
  sleep 3
  frame=$(sed -n 's/^valdora: first frame \([0-9]*\) ms.*/\1/p' "$work/err" | head -1)
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  tree=$(tree_rss_kib "$pid")
  kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
  pkill -9 -f QtWebEngineProcess 2>/dev/null || true
  cd "$root"
  echo "$(((end - start) / 1000000)) ${frame:-0} $rss $tree"
}

stats() {  # numbers -> "median (min..max)"
  sort -n | awk '{a[NR]=$1} END {printf "%s (%s..%s)", a[int((NR+1)/2)], a[1], a[NR]}'
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: >"$work/launcher.txt"; : >"$work/standin.txt"
for _ in $(seq "$runs"); do
  measure "$launcher" "Valdora Oyunu" >>"$work/launcher.txt"
  measure "$standin" "^Valdora$" >>"$work/standin.txt"
done

col() { awk -v c="$2" '{print $c}' "$1"; }
ls_=$(col "$work/launcher.txt" 1 | median); ss_=$(col "$work/standin.txt" 1 | median)
lr=$(col "$work/launcher.txt" 3 | median); sr=$(col "$work/standin.txt" 3 | median)
echo "runs: $runs under Xvfb $display"
echo "window shown, ms:        launcher $(col "$work/launcher.txt" 1 | stats)   plain Qt window $(col "$work/standin.txt" 1 | stats)   ratio $(awk -v a="$ls_" -v b="$ss_" 'BEGIN {printf "%.2f", a / b}')"
echo "first frame, ms:         launcher $(col "$work/launcher.txt" 2 | stats)"
echo "resident, MiB:           launcher $(col "$work/launcher.txt" 3 | awk '{print int($1/1024)}' | stats)   plain Qt window $(col "$work/standin.txt" 3 | awk '{print int($1/1024)}' | stats)   ratio $(awk -v a="$lr" -v b="$sr" 'BEGIN {printf "%.2f", a / b}')"
echo "with web panes, MiB:     launcher and its web-engine processes $(col "$work/launcher.txt" 4 | awk '{print int($1/1024)}' | stats)"
