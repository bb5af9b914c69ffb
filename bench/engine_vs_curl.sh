#!/usr/bin/env bash
# valdora-patch against curl on the same local nginx, as ratios (median of
# RUNS runs, min and max shown; below 1.0 the engine is faster):
#   big:   one 50 MiB file            vs  curl -o
#   small: 1,000 files of 4 KiB       vs  one curl fetching the same URLs over one connection
# The engine's figure is a whole run: update list, check, download through
# "~temp.dat", copy into place, time stamp, server list.
#
#   bash bench/engine_vs_curl.sh     # RUNS=5 by default; TMPDIR picks the disk
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-5}

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVALDORA_BUILD_UI=OFF \
  -DVALDORA_BUILD_TESTS=OFF > /dev/null
cmake --build build/bench -j2 --target valdora-patch > /dev/null
patcher=$root/build/bench/tools/valdora-patch/valdora-patch

work=$(mktemp -d "${TMPDIR:-/tmp}/valdora-bench.XXXXXX")
chmod 755 "$work"
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
site=http://127.0.0.1:$port
stamp='05.03.2024 07:08:09'

# The site: two trees and a list for each, every file stamped the same.
mkdir -p "$work/site/big" "$work/site/small" "$work/site/Patcher" "$work/nginx/tmp"
head -c $((50 << 20)) /dev/urandom > "$work/site/big/big.bin"
for i in $(seq -w 0 999); do
  mkdir -p "$work/site/small/d${i:0:1}"
  head -c 4096 /dev/urandom > "$work/site/small/d${i:0:1}/f$i.dat"
done
write_list() {  # tree -> update list on stdout
  printf '%s\r\nbench\r\n' "$site/$1"
  (cd "$work/site/$1" && find . -type f -printf '%P\n' | sort) | while read -r path; do
    printf '%s\r\n%s\r\n%s\r\n' "$path" "$(stat -c %s "$work/site/$1/$path")" "$stamp"
  done
}
write_list big > "$work/site/Patcher/big.txt"
write_list small > "$work/site/Patcher/small.txt"
printf 'Bench|x|y|127.0.0.1|7000\r\n' > "$work/site/servers.txt"
(cd "$work/site/small" && find . -type f -printf '%P\n' | sort) | while read -r path; do
  printf 'url = "%s"\noutput = "%s"\n' "$site/small/$path" "$work/curl-small/$path"
done > "$work/small.curl"
chmod -R a+rX "$work/site"

cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 256; }
http {
  access_log $work/nginx/access.log;
  client_body_temp_path $work/nginx/tmp/body;
  proxy_temp_path $work/nginx/tmp/proxy;
  fastcgi_temp_path $work/nginx/tmp/fastcgi;
  uwsgi_temp_path $work/nginx/tmp/uwsgi;
  scgi_temp_path $work/nginx/tmp/scgi;
  default_type application/octet-stream;
  sendfile on;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$port;
    root $work/site;
    # The launcher asks for "dir\\file"; one folder level per pass.
    location / { rewrite "^(.*)\\\\\\\\(.*)\$" \$1/\$2 last; }
  }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
nginx_pid=$!
for _ in $(seq 100); do curl -sf -o /dev/null "$site/servers.txt" && break; sleep 0.05; done

now_us() { echo $(($(date +%s%N) / 1000)); }

# One timed run of a command in a new directory; prints microseconds. Each
# run gets a directory of its own: deleting the last one just before would
# measure the file system's inode allocator (ext4 without a journal skips
# inodes freed in the last minute) rather than the program.
timed() {
  local dir=$1
  shift
  mkdir -p "$dir"
  local t0 t1
  t0=$(now_us)
  (cd "$dir" && "$@" > "$work/last.out") || { echo "$* failed ($?):" >&2; tail -5 "$work/last.out" >&2; exit 1; }
  t1=$(now_us)
  echo $((t1 - t0))
}

engine() { "$patcher" --update-list "$site/Patcher/$1.txt" --server-list "$site/servers.txt"; }
curl_big() { curl -s -o big.bin "$site/big/big.bin"; }

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

report() {  # name, engine times file, curl times file
  local e c
  e=$(median < "$2")
  c=$(median < "$3")
  awk -v n="$1" -v e="$e" -v c="$c" -v emin="$(sort -n "$2" | head -1)" \
    -v emax="$(sort -n "$2" | tail -1)" -v cmin="$(sort -n "$3" | head -1)" \
    -v cmax="$(sort -n "$3" | tail -1)" 'BEGIN {
      printf "%-6s valdora-patch %8.1f ms (%.1f..%.1f)   curl %8.1f ms (%.1f..%.1f)   ratio %.2f\n",
        n, e / 1000, emin / 1000, emax / 1000, c / 1000, cmin / 1000, cmax / 1000, e / c }'
}

for i in $(seq "$runs"); do
  timed "$work/game-big-$i" engine big >> "$work/engine-big.t"
  cmp -s "$work/game-big-$i/big.bin" "$work/site/big/big.bin" \
    || { echo "big: wrong bytes" >&2; exit 1; }
  timed "$work/curl-big-$i" curl_big >> "$work/curl-big.t"
  timed "$work/game-small-$i" engine small >> "$work/engine-small.t"
  diff -rq "$work/game-small-$i" "$work/site/small" -x base > /dev/null \
    || { echo "small: wrong files" >&2; exit 1; }
  sed "s|$work/curl-small/|$work/curl-small-$i/|" "$work/small.curl" > "$work/small-$i.curl"
  timed "$work/curl-small-$i" curl -s --create-dirs -K "$work/small-$i.curl" >> "$work/curl-small.t"
done

echo "valdora-patch vs curl, $runs runs each, nginx on 127.0.0.1 ($(nproc) cores)"
report big "$work/engine-big.t" "$work/curl-big.t"
report small "$work/engine-small.t" "$work/curl-small.t"
