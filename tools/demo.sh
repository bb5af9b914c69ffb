#!/usr/bin/env bash
# The whole launcher in one command: installs what is missing, makes a
# signing key, builds the launcher with its public key, publishes a demo game
# (about 20 MiB) with valdora-publish, signed, serves it with nginx on
# 127.0.0.1:8787 (the launcher's compiled-in host), prepares a game
# directory with an outdated copy, and runs launcher.exe there: on your
# display when there is one, otherwise on a virtual one (Xvfb). Screenshots
# of each state go to build/demo-run/screenshots; the launcher's log is
# printed at the end. Run it as often as you like.
#
#   bash tools/demo.sh
#
# BUILD_DIR (default build/demo) and DEMO_DIR (default build/demo-run) move
# the build and the demo's files.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build/demo}
work=${DEMO_DIR:-build/demo-run}
host=127.0.0.1:8787
title='^Valdora Oyunu'

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
die() { echo "demo: $*" >&2; exit 1; }

launcher_pid=
xvfb_pid=
cleanup() {
  if [ -n "$launcher_pid" ] && kill -0 "$launcher_pid" 2>/dev/null; then kill "$launcher_pid"; fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -f "$work/nginx/nginx.pid" ] && bash deploy/serve-site.sh --stop "$work/nginx"
  return 0
}
trap cleanup EXIT

say "Installing what is missing"
bash tools/install-deps.sh

mkdir -p "$work"
work=$(cd "$work" && pwd)

say "Building valdora-publish and making the demo's signing key"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVALDORA_BUILD_TESTS=OFF \
  -DVALDORA_PATCH_HOST="http://$host" -DVALDORA_WEB_HOST="http://$host" >/dev/null
cmake --build "$build" -j "$(nproc)" --target valdora-publish
# Made once for the demo's folder (keygen never overwrites a key): the
# launcher built below takes only a site signed with it.
[ -f "$work/keys/valdora.key" ] || "$build/tools/valdora-publish/valdora-publish" keygen "$work/keys"
public_key=$(sed -n 2p "$work/keys/valdora.pub")

say "Building launcher.exe and its tools with the public key (Release, $build)"
cmake -S . -B "$build" -DVALDORA_TRUSTED_KEYS="$public_key" >/dev/null
cmake --build "$build" -j "$(nproc)" --target launcher launch_helper valdora-game-stand-in

# A game build of a few folders, with a space and Turkish letters in names.
game_build=$work/game-build
if [ ! -f "$work/game-build.complete" ]; then
  say "Making the demo game (about 20 MiB)"
  rm -rf "$game_build"
  make_file() {  # path MiB
    mkdir -p "$(dirname "$game_build/$1")"
    head -c "$(awk "BEGIN { print int($2 * 1048576) }")" /dev/urandom >"$game_build/$1"
  }
  make_file "base/valdora.pak" 6
  make_file "base/karakterler.pak" 4
  make_file "maps/Kara Orman.map" 3
  make_file "maps/Kuzey Kalesi.map" 2
  make_file "ses/müzik/açılış teması.ogg" 3
  make_file "ses/efektler/kılıç.wav" 1
  make_file "doku/şövalye zırhı.tex" 1.5
  printf 'Valdora 1.0.0.2\r\nYeni haritalar: Kara Orman, Kuzey Kalesi.\r\n' >"$game_build/oku beni.txt"
  find "$game_build" -type f -exec touch -d '2024-03-05 07:08:09 UTC' {} +
  touch "$work/game-build.complete"
fi

say "Publishing it with valdora-publish, signed"
"$build/tools/valdora-publish/valdora-publish" "$game_build" "$work/site" \
  --base-url "http://$host/game" --note "Valdora 1.0.0.2: Kara Orman ve Kuzey Kalesi" \
  --pages deploy/pages --sign-key "$work/keys/valdora.key"
echo "Checked with the stock minisign tool:"
minisign -Vm "$work/site/Patcher/1000_1.0.0.1_Update.txt.sha256" -p "$work/keys/valdora.pub"

say "Serving the site with nginx on $host"
# Downloads slowed to about 1 MiB/s, so that the progress can be seen.
bash deploy/serve-site.sh "$work/site" --listen "$host" --run-dir "$work/nginx" --rate 1m ||
  die "could not serve on $host (is another server using it?)"

say "Preparing the game directory with an outdated copy"
game=$work/game
rm -rf "$game"
mkdir -p "$game/base" "$game/maps"
cp -p "$game_build/base/valdora.pak" "$game/base/"  # up to date: not downloaded
head -c 1048576 /dev/urandom >"$game/maps/Kuzey Kalesi.map"  # an old version
touch -d '2023-11-20 10:00:00 UTC' "$game/maps/Kuzey Kalesi.map"
printf 'Valdora 1.0.0.1\r\n' >"$game/oku beni.txt"
cp "$build/app/launcher.exe" "$game/launcher.exe"
cp "$build/tools/launch_helper/launch_helper.exe" "$game/launch_helper.exe"
cp "$build/tools/game_stand_in/valdora-game-stand-in" "$game/valdora.exe"
echo "$game"

if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  headless=0
  say "Starting launcher.exe on your display ($DISPLAY)"
else
  headless=1
  for n in $(seq 50 150); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  xdotool getdisplaygeometry >/dev/null 2>&1 || die "Xvfb did not start (see $work/xvfb.log)"
  say "No display: starting launcher.exe on a virtual one (Xvfb $DISPLAY)"
fi

shots=$work/screenshots
rm -rf "$shots"
mkdir -p "$shots"
access_log=$work/nginx/logs/access.log
: >"$access_log"
(cd "$game" && exec ./launcher.exe) >"$work/launcher.out" 2>&1 &
launcher_pid=$!

# Waits up to $2 seconds for a request of path $1 to reach nginx.
wait_for_request() {
  for _ in $(seq $(($2 * 10))); do
    grep -q "\"GET $1" "$access_log" && return 0
    kill -0 "$launcher_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
window=
for _ in $(seq 600); do
  window=$(xdotool search --name "$title" 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  kill -0 "$launcher_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$window" ] || die "the launcher's window did not appear (see $work/launcher.out)"

screenshot() {
  import -window "$window" "$shots/$1.png" 2>/dev/null && echo "  $shots/$1.png"
}
# The launcher logs each file as its download begins.
for _ in $(seq 600); do
  grep -q 'download ediliyor' "$game/base/launcher_log.txt" 2>/dev/null && break
  kill -0 "$launcher_pid" 2>/dev/null || break
  sleep 0.1
done
sleep 2.5  # speed and remaining time are shown after the first second
screenshot 1-patching
wait_for_request /serverlist_test.aspx 120 || die "the launcher did not reach the server list"
sleep 2  # the web panes finish drawing
screenshot 2-ready
echo "Ready: the game files are up to date and the servers are listed."

if [ "$headless" -eq 1 ]; then
  # Nobody is watching the virtual display: the demo opens the settings
  # dialog for a picture and leaves it with "İptal", then closes the
  # launcher with its close button once it is ready.
  xdotool mousemove --window "$window" 461 53 click 1
  dialog=
  for _ in $(seq 50); do
    dialog=$(xdotool search --onlyvisible --name 'Ayarlar Penceresi' 2>/dev/null | head -n1 || true)
    [ -n "$dialog" ] && break
    sleep 0.1
  done
  if [ -n "$dialog" ]; then
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$window")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$shots/3-settings.png" 2>/dev/null &&
      echo "  $shots/3-settings.png"
    xdotool mousemove --window "$dialog" 360 202 click 1  # "İptal"
    sleep 0.5
  fi
  xdotool mousemove --window "$window" 568 54 click 1
  for _ in $(seq 100); do kill -0 "$launcher_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$launcher_pid" 2>/dev/null && kill "$launcher_pid"  # a click that did not land
  echo "No display, so the demo closed the launcher after the ready state."
else
  echo "The launcher is open on your display: pick a server and press OYNA to start the"
  echo "stand-in game, or close it with its X button. The demo ends when the launcher does."
fi
status=0
wait "$launcher_pid" || status=$?
launcher_pid=

say "The launcher's log (base\\launcher_log.txt)"
iconv -f CP1254 -t UTF-8 "$game/base/launcher_log.txt" | tr -d '\r'
say "Done"
echo "launcher.exe ended with exit code $status."
echo "Screenshots: $shots"
echo "Game directory: $game"
