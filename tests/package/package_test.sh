#!/usr/bin/env bash
# The Debian packages of this build tree, as a player and an operator get them.
#
#   package_test.sh build DEB_DIR CPACK_CONFIG   CPack makes both packages
#   package_test.sh lintian DEB_DIR              no lintian error in either
#   package_test.sh server_unit DEB_DIR          the systemd unit's command serves a site
#   package_test.sh desktop_entry DEB_DIR        the desktop entry validates
#   package_test.sh starter DEB_DIR PUBLISH PAGES SERVE_SITE
#       the launcher package unpacked, its starter run as a player (an
#       unprivileged user when run as root) against a site served by nginx:
#       first start, a later start, an older copy replaced, the self-update,
#       the self-updated launcher kept
#   package_test.sh installed DEB_DIR PUBLISH PAGES SERVE_SITE
#       the same with the package installed as a player installs it
#       (apt-get install ./...deb; as root, else unpacked), removed again
#       unless it was installed before
#   package_test.sh starter_bad_input DEB_DIR
#       root, a file as the game directory (also shown as a desktop
#       notification), another user's, one another user may change (by its
#       mode, sticky or not, or an ACL, or its base/), an unwritable home, a
#       full home
set -euo pipefail

case_name=$1
debs=$2
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
launcher_deb() { echo "$debs"/valdora-launcher_*.deb; }

case $case_name in
  build)
    rm -rf "$debs"
    cpack -G DEB --config "$3" -B "$debs"
    rm -rf "$debs/_CPack_Packages"
    ls "$debs"/valdora-launcher_*.deb "$debs"/valdora-patch-server_*.deb
    exit 0
    ;;
  server_unit)
    # The patch-server package's systemd unit: its command, as systemd would
    # run it for the instance of a published site, serves that site; its
    # prerm stops every instance.
    work=$(mktemp -d)
    chmod 755 "$work"
    served=
    trap '[ -n "$served" ] && kill "$served" 2>/dev/null && wait "$served"; rm -rf "$work"' EXIT
    dpkg-deb -x "$debs"/valdora-patch-server_*.deb "$work/root"
    dpkg-deb -e "$debs"/valdora-patch-server_*.deb "$work/control"
    unit=$work/root/lib/systemd/system/valdora-site@.service
    grep -q "systemctl stop 'valdora-site@\*.service'" "$work/control/prerm" || fail "prerm stops no site"
    mkdir -p "$work/build" && echo map > "$work/build/a.map"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    "$work/root/usr/bin/valdora-publish" "$work/build" "$work/site" --base-url "http://127.0.0.1:$port/game" > /dev/null
    instance=$(systemd-escape --path "$work/site" 2>/dev/null || echo "${work#/}/site" | tr / -)
    command=$(sed -n 's/^ExecStart=//p' "$unit")
    command=${command//%f/$work/site}
    command=${command//%i/$instance}
    command=${command//\$\{LISTEN\}/127.0.0.1:$port}
    command=${command//\$\{RATE\}/0}
    command=${command//\/run\/valdora-site/$work/run}
    command=${command//\/usr\/share/$work/root/usr/share}
    # exec all the way down: $served is nginx's master, which the trap ends
    # (a stray one would hold what the test inherited, the e2e lock among it).
    (eval "exec $command") > "$work/served.out" 2>&1 &
    served=$!
    list() {
      exec 3<>"/dev/tcp/127.0.0.1/$port" || return 1
      printf 'GET /Patcher/1000_1.0.0.1_Update.txt HTTP/1.0\r\n\r\n' >&3
      cat <&3
    }
    for _ in $(seq 100); do
      list 2>/dev/null | grep -q "^http://127.0.0.1:$port/game/r-" && exit 0
      sleep 0.1
    done
    fail "the unit's command serves no site: $(cat "$work/served.out")"
    ;;
  lintian)
    # Errors fail; warnings and notes are shown.
    lintian --fail-on error --display-info "$debs"/valdora-*.deb
    exit 0
    ;;
  desktop_entry)
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    dpkg-deb -x "$(launcher_deb)" "$work"
    desktop-file-validate "$work/usr/share/applications/valdora.desktop"
    grep -qx 'Exec=valdora' "$work/usr/share/applications/valdora.desktop"
    # The width and height in the PNG header.
    for size in 48 128 256; do
      icon=$work/usr/share/icons/hicolor/${size}x${size}/apps/valdora.png
      [ "$(od -An -tu4 --endian=big -j16 -N8 "$icon" | tr -s ' ')" = " $size $size" ] ||
        fail "$icon is not $size x $size"
    done
    exit 0
    ;;
esac

# The starter cases: a root of the unpacked (or installed) package and a
# player.
work=$(mktemp -d)
chmod 755 "$work"
root=$work/root
installed=
if [ "$case_name" = installed ] && [ "$(id -u)" -eq 0 ]; then
  dpkg-query -W -f='${Status}' valdora-launcher 2>/dev/null | grep -q 'install ok installed' ||
    installed=valdora-launcher
  apt-get install -y -q -o DPkg::Lock::Timeout=600 "$(realpath "$(launcher_deb)")" >"$work/apt" 2>&1 ||
    fail "apt-get install: $(tail -n 20 "$work/apt")"
  root=
else
  [ "$case_name" != installed ] || echo "installing a package needs root: unpacked instead"
  dpkg-deb -x "$(launcher_deb)" "$root"
fi
[ "$case_name" != installed ] || case_name=starter
remove_installed() {
  [ -z "$installed" ] || apt-get purge -y -q -o DPkg::Lock::Timeout=600 "$installed" >/dev/null
}
trap 'remove_installed; rm -rf "$work"' EXIT
starter=$root/usr/bin/valdora
packaged=$root/usr/lib/valdora/launcher.exe
mkdir "$work/home" "$work/run"
if [ "$(id -u)" -eq 0 ]; then
  player=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  chown 65534:65534 "$work/home" "$work/run"
else
  player=()
fi
chmod 700 "$work/run"
game=$work/home/.local/share/valdora

# Runs a command as the player, in a clean environment: HOME and the
# offscreen display, plus the NAME=VALUE words before the command.
player_env=(env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
            QT_QPA_PLATFORM=offscreen)
as_player() { "${player[@]}" "${player_env[@]}" "$@"; }

# waits up to $1 seconds for the command after it to succeed
wait_for() {
  local limit=$(($1 * 10))
  shift
  for ((i = 0; i < limit; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# The launcher's stamp in file $1 rewritten with every digit as $2: as long
# as the original, 9s for a newer launcher, 0s for an older one.
restamp() {
  perl -0777 -pe "s/(VALDORA_LAUNCHER_VERSION=)([0-9.]+)\\0/\$1 . (\$2 =~ tr{0-9}{$2}r) . \"\\0\"/e" "$1"
}

# Ends every process working in the game directory: the launcher, the one
# launch_helper started, their web engine processes.
stop_game() {
  local p
  for p in /proc/[0-9]*; do
    # (one that ends meanwhile is no failure)
    [ "$(readlink "$p/cwd" 2>/dev/null)" = "$game" ] && kill -9 "${p#/proc/}" 2>/dev/null || true
  done
  wait_for 20 bash -c 'for p in /proc/[0-9]*; do [ "$(readlink $p/cwd 2>/dev/null)" = "$1" ] && exit 1; done; exit 0' _ "$game"
}

if [ "$case_name" = starter_bad_input ]; then
  bus_pid=
  monitor=
  trap 'kill $monitor $bus_pid 2>/dev/null; rm -rf "$work"' EXIT
  # runs the starter as the player with the words given before it; its
  # output in $out, its status in $status
  attempt() {
    status=0
    out=$(as_player "$@" "$starter" 2>&1) || status=$?
    [ "$status" -ne 0 ] || fail "the starter accepted: $*"
  }
  expect() { grep -qF -- "$1" <<<"$out" || fail "expected \"$1\", got: $out"; }

  if [ "$(id -u)" -eq 0 ]; then
    status=0
    out=$(env HOME="$work/home" "$starter" 2>&1) || status=$?
    [ "$status" -ne 0 ] || fail "ran as root"
    expect "not starting as root"
    [ ! -e "$work/home/.local" ] || fail "root's start wrote into the home folder"
  fi

  echo "game" >"$work/a-file"
  chmod 644 "$work/a-file"
  attempt VALDORA_GAME_DIR="$work/a-file"
  expect "is a file, not a folder"
  [ "$(cat "$work/a-file")" = game ] || fail "the file was changed"

  # The same refusal as a desktop notification, on a session bus of the player's.
  if command -v dbus-daemon >/dev/null && command -v dbus-monitor >/dev/null; then
    bus=$(as_player dbus-daemon --session --fork --print-address=1 --print-pid=1)
    address=$(head -1 <<<"$bus")
    bus_pid=$(tail -1 <<<"$bus")
    "${player[@]}" "${player_env[@]}" DBUS_SESSION_BUS_ADDRESS="$address" dbus-monitor --session \
      "interface='org.freedesktop.Notifications'" >"$work/monitor" 2>&1 &
    monitor=$!
    wait_for 10 grep -q member=NameLost "$work/monitor" || fail "no bus monitor"
    attempt DBUS_SESSION_BUS_ADDRESS="$address" VALDORA_GAME_DIR="$work/a-file"
    wait_for 10 grep -qF "is a file, not a folder" "$work/monitor" ||
      fail "no notification: $(cat "$work/monitor")"
  fi

  # Another user's: root's when we are root, else a system folder.
  others=/usr/share
  if [ "$(id -u)" -eq 0 ]; then others=$work/others && mkdir -m 755 "$others"; fi
  attempt VALDORA_GAME_DIR="$others"
  expect "belongs to another user"

  # Folders another user may change, sticky or not, by group or ACL, or a
  # "base" in the game directory that is: a second user drops a launcher
  # update there (one that would run as the player), or into base/.
  if [ "$(id -u)" -eq 0 ]; then
    id valdora-other >/dev/null 2>&1 || useradd --system --no-create-home valdora-other
    other=(setpriv --reuid=valdora-other --regid=valdora-other --clear-groups)
    other_name=valdora-other
  else
    other=()
    other_name=nobody
  fi
  printf '#!/bin/sh\necho pwned >pwned\n' >"$work/pwn"
  chmod 755 "$work/pwn"
  for shape in 777 1777 775 acl base; do
    dir=$work/shared-$shape
    mkdir "$dir"
    [ "$(id -u)" -ne 0 ] || chown 65534:"$(id -g valdora-other 2>/dev/null || id -g)" "$dir"
    case $shape in
      acl) chmod 755 "$dir" && setfacl -m "u:$other_name:rwx" "$dir" ;;
      base) chmod 755 "$dir" && mkdir -m 777 "$dir/base" && chmod 777 "$dir/base" ;;
      *) chmod "$shape" "$dir" ;;
    esac
    drop=$dir/_launcher.dll
    [ "$shape" != base ] || drop=$dir/base/pwn
    "${other[@]}" cp "$work/pwn" "$drop" ||
      fail "the second user could not write into $dir"
    # A launcher started there anyway would hand over at once; never wait long.
    attempt timeout 30 env VALDORA_GAME_DIR="$dir"
    expect "can be changed by other users"
    [ ! -e "$dir/launcher.exe" ] && [ ! -e "$dir/pwned" ] ||
      fail "the starter used a folder other users may change ($shape)"
  done

  # A home folder the player may not write to.
  mkdir -m 755 "$work/locked"
  [ "$(id -u)" -eq 0 ] || chmod 555 "$work/locked"
  attempt HOME="$work/locked"
  expect "cannot create the game directory $work/locked/.local/share/valdora: Permission denied"

  # A full home folder, with an older launcher in the game directory: the
  # new copy does not fit, the older one stays whole, no scratch file stays.
  if [ "$(id -u)" -ne 0 ]; then
    echo "a full disk needs the right to mount a file system: not tried"
    exit 0
  fi
  size=$(stat -c %s "$packaged")
  restamp "$packaged" 0 >"$work/older"
  mkdir "$work/full"
  status=0
  out=$(unshare --mount --propagation private bash -c '
    dir=$1 size=$2 older=$3
    shift 3
    mount -t tmpfs -o size=$((size * 3 / 2)),mode=755 tmpfs "$dir" || exit 99
    mkdir "$dir/game" && cp "$older" "$dir/game/launcher.exe" && chown -R 65534:65534 "$dir/game"
    status=0
    "$@" 2>&1 || status=$?
    cmp -s "$dir/game/launcher.exe" "$older" || echo "launcher.exe changed"
    ls -A "$dir/game" | grep -F .valdora-copy && echo "a scratch copy is left"
    exit $status' _ "$work/full" "$size" "$work/older" \
    "${player[@]}" env -i VALDORA_GAME_DIR="$work/full/game" "$starter") || status=$?
  [ "$status" -ne 99 ] || fail "could not mount a small file system: $out"
  [ "$status" -ne 0 ] || fail "the starter accepted a full disk"
  expect "cannot put launcher.exe into the game directory $work/full/game: No space left on device"
  ! grep -q -e "launcher.exe changed" -e "scratch copy" <<<"$out" || fail "$out"
  exit 0
fi

[ "$case_name" = starter ] || fail "unknown case $case_name"
publish=$3
pages=$4
serve_site=$5
site=$work/site
access=$work/nginx/logs/access.log
trap 'bash "$serve_site" --stop "$work/nginx" || true; stop_game || true; remove_installed; rm -rf "$work"' EXIT

# A small game build on the compiled-in host (the demo's).
build=$work/build
mkdir -p "$build/base" "$build/maps" "$build/ses/müzik"
head -c 300000 /dev/urandom >"$build/base/valdora.pak"
echo "Kara Orman" >"$build/maps/Kara Orman.map"
echo "ogg" >"$build/ses/müzik/açılış.ogg"
"$publish" "$build" "$site" --base-url http://127.0.0.1:8787/game --pages "$pages" >/dev/null
bash "$serve_site" "$site" --run-dir "$work/nginx" >/dev/null

lists() { grep -c '/Patcher/1000_1.0.0.1_Update.txt' "$access" || true; }
servers() { grep -c '/serverlist_test.aspx' "$access" || true; }
game_files() { grep -c ' /game/' "$access" || true; }
# Starts the starter as the player, in the background, with the arguments
# for the launcher; the launcher keeps its process ($!).
start() {
  "${player[@]}" "${player_env[@]}" "$starter" "$@" >>"$work/starter.out" 2>&1 &
}
above() { [ "$("$1")" -gt "$2" ]; }

# First start: the game directory appears with both programs, the game
# arrives, the settings file is written; the launcher got the arguments.
start -test_launcher
wait_for 60 above servers 0 || fail "the first run did not finish: $(cat "$work/starter.out")"
[ "$(tr '\0' ' ' <"/proc/$!/cmdline")" = "./launcher.exe -test_launcher " ] ||
  fail "the launcher's command line: $(tr '\0' ' ' <"/proc/$!/cmdline")"
[ -d "$game" ] || fail "no game directory"
cmp "$packaged" "$game/launcher.exe"
cmp "$root/usr/lib/valdora/launch_helper.exe" "$game/launch_helper.exe"
(cd "$build" && find . -type f) | while read -r f; do cmp "$build/$f" "$game/$f"; done
[ -s "$game/base/pref_launch.prefs" ] || fail "no base/pref_launch.prefs"
[ "$(stat -c %u "$game/launcher.exe")" = "$(as_player id -u)" ] || fail "not the player's launcher"
stop_game

# A later start starts the copy there as it is (given back its execute bit)
# and fetches nothing new.
as_player chmod 644 "$game/launcher.exe"
inode=$(stat -c %i "$game/launcher.exe")
before=$(game_files)
start
wait_for 60 above servers 1 || fail "the second run did not finish"
[ "$(stat -c %i "$game/launcher.exe")" = "$inode" ] || fail "the launcher was copied again"
[ "$(game_files)" = "$before" ] || fail "the second run fetched files again"
stop_game

# An older launcher in the game directory gives way to the packaged one.
restamp "$packaged" 0 >"$work/older"
as_player cp "$work/older" "$game/launcher.exe"
start
wait_for 60 above servers 2 || fail "the run after the older launcher did not finish"
cmp "$packaged" "$game/launcher.exe"
stop_game

# The site publishes a newer launcher: the launcher fetches it, hands over
# to launch_helper.exe, which puts it in place inside the game directory
# and starts it; that one patches as usual.
restamp "$packaged" 9 >"$work/newer"
"$publish" "$build" "$site" --base-url http://127.0.0.1:8787/game --pages "$pages" \
  --launcher "$work/newer" >/dev/null
lists_before=$(lists)
start
wait_for 60 cmp -s "$work/newer" "$game/launcher.exe" ||
  fail "no self-update: $(iconv -f cp1254 -t utf-8 "$game/base/launcher_log.txt")"
wait_for 60 above lists $((lists_before + 1)) ||
  fail "the updated launcher did not run: $(iconv -f cp1254 -t utf-8 "$game/base/launcher_log.txt")
$(grep -v setParent "$work/starter.out" | tail -n 20)
$(ps -eo pid,ppid,stat,etimes,args | grep -v ' \[' | cut -c1-120)
$(cat /proc/locks)"
cmp "$work/newer" "$game/_launcher.dll"
stop_game

# The self-updated launcher is newer than the packaged one: it stays.
servers_before=$(servers)
start
wait_for 60 above servers "$servers_before" || fail "the run after the self-update did not finish"
cmp "$work/newer" "$game/launcher.exe"
stop_game
echo "game directory, first start, later start, older copy, self-update: as expected"
