#!/usr/bin/env bash
# Round trips: a fresh install of 400 files of 16 KiB from nginx (the shipped
# configuration) through valdora-latency-proxy, which hands on every byte
# 15 ms after it arrived, each way (a 30 ms round trip). Each figure is the
# median of RUNS runs (at least 5) against a baseline measured in this run:
#
#   R1  valdora-patch with the publisher's key (the small files as ranges
#       of the release's packs; 8 requests in flight, the default) vs curl
#       --parallel --parallel-max 16 fetching the same files, and the
#       requests the run made
#   R1  without the key (every file at its own URL, as launchers without
#       keys fetch): the default, --max-transfers 16, --max-transfers 1 (one
#       file after the other, as the launcher fetched before), and the
#       default against curl --parallel --parallel-max 8
#   H2  over https, nginx speaking HTTP/2 (serve-site.sh --tls), without the
#       key: the default against curl --parallel --parallel-max 16 over the
#       same https (curl multiplexes too)
#   R2  4,000 files of 4 KiB through a 100 ms round trip, with the key: the
#       default against curl --parallel --parallel-max 16
#
# A valdora-patch figure is a whole run: update list, check, downloads into
# place with the list's time, server list, all through the proxy.
#
#   bash bench/round_trips.sh          # RUNS=7 by default; TMPDIR picks the disk
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
bench_start rtt valdora-patch valdora-publish valdora-latency-proxy
proxy=$root/build/bench/bench/valdora-latency-proxy

nginx_port=$(free_port)
port=$(free_port)
host=http://127.0.0.1:$port  # the proxy's

bench_files "$work/build" 400 16384 10 11
"$publisher" keygen "$work/keys" > /dev/null
"$publisher" "$work/build" "$work/site" --base-url "$host/game" --pages deploy/pages \
  --sign-key "$work/keys/valdora.key" > /dev/null
# R2: 4,000 files of 4 KiB behind a 100 ms round trip.
r2_nginx_port=$(free_port)
r2_port=$(free_port)
r2_host=http://127.0.0.1:$r2_port
bench_files "$work/r2-build" 4000 4096 40 12
"$publisher" "$work/r2-build" "$work/r2-site" --base-url "$r2_host/game" --pages deploy/pages \
  --sign-key "$work/keys/valdora.key" > /dev/null
# The same over https by the name localhost, through a proxy of its own.
tls_nginx_port=$(free_port)
tls_port=$(free_port)
tls_host=https://localhost:$tls_port
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost \
  -addext subjectAltName=DNS:localhost -keyout "$work/tls.key" -out "$work/tls.crt" 2> /dev/null
"$publisher" "$work/build" "$work/tls-site" --base-url "$tls_host/game" --pages deploy/pages > /dev/null
chmod -R a+rX "$work"
bench_serve "$work/site" "$nginx_port"
bash deploy/serve-site.sh "$work/tls-site" --listen "127.0.0.1:$tls_nginx_port" \
  --run-dir "$work/tls-nginx" --tls "$work/tls.crt" "$work/tls.key" > /dev/null
bash deploy/serve-site.sh "$work/r2-site" --listen "127.0.0.1:$r2_nginx_port" \
  --run-dir "$work/r2-nginx" > /dev/null
bench_cleanup_more='for d in tls-nginx r2-nginx; do bash "$root/deploy/serve-site.sh" --stop "$work/$d" > /dev/null 2>&1 || true; done;
  kill "$tls_proxy" "$r2_proxy" 2> /dev/null || true'
"$proxy" "$port" "$nginx_port" 15 > "$work/proxy.out" &
bench_pid=$!
"$proxy" "$tls_port" "$tls_nginx_port" 15 > "$work/tls-proxy.out" &
tls_proxy=$!
"$proxy" "$r2_port" "$r2_nginx_port" 50 > "$work/r2-proxy.out" &
r2_proxy=$!
for out in proxy tls-proxy r2-proxy; do
  until grep -q ready "$work/$out.out" 2> /dev/null; do sleep 0.05; done
done

files=$(head -n 1 "$work/site/Patcher/1000_1.0.0.1_Update.txt" | tr -d '\r')
(cd "$work/build" && find . -type f -printf '%P\n' | sort) | while read -r path; do
  printf 'url = "%s"\noutput = "%s"\n' "$files/$path" "$path"
done > "$work/files.curl"
sed "s|$files|$(head -n 1 "$work/tls-site/Patcher/1000_1.0.0.1_Update.txt" | tr -d '\r')|" \
  "$work/files.curl" > "$work/tls-files.curl"

timed() {  # dir, command...: microseconds, in a new directory
  local dir=$1 t0
  shift
  mkdir -p "$dir"
  t0=$(now_us)
  (cd "$dir" && "$@" > /dev/null 2>&1) || { echo "$* failed" >&2; exit 1; }
  echo $(($(now_us) - t0))
  diff -rq "$dir" "$work/${build:-build}" -x base > /dev/null || { echo "$dir differs" >&2; exit 1; }
  rm -rf "$dir"
}
engine() { "$patcher" --update-list "$host/Patcher/1000_1.0.0.1_Update.txt" \
  --server-list "$host/serverlist_test.aspx" "$@"; }
keyed() { engine --trusted-key "$work/keys/valdora.pub" "$@"; }
r2_engine() { "$patcher" --update-list "$r2_host/Patcher/1000_1.0.0.1_Update.txt" \
  --server-list "$r2_host/serverlist_test.aspx" --trusted-key "$work/keys/valdora.pub"; }
r2_files=$(head -n 1 "$work/r2-site/Patcher/1000_1.0.0.1_Update.txt" | tr -d '\r')
(cd "$work/r2-build" && find . -type f -printf '%P\n' | sort) | while read -r path; do
  printf 'url = "%s"\noutput = "%s"\n' "$r2_files/$path" "$path"
done > "$work/r2-files.curl"
engine_tls() { "$patcher" --update-list "$tls_host/Patcher/1000_1.0.0.1_Update.txt" \
  --server-list "$tls_host/serverlist_test.aspx" --ca-file "$work/tls.crt" "$@"; }

for i in $(seq "$runs"); do
  timed "$work/k8-$i" keyed >> "$work/k8.t"
  timed "$work/e8-$i" engine >> "$work/e8.t"
  timed "$work/e16-$i" engine --max-transfers 16 >> "$work/e16.t"
  timed "$work/e1-$i" engine --max-transfers 1 >> "$work/e1.t"
  timed "$work/c16-$i" curl -s --parallel --parallel-max 16 --create-dirs -K "$work/files.curl" \
    >> "$work/c16.t"
  timed "$work/c8-$i" curl -s --parallel --parallel-max 8 --create-dirs -K "$work/files.curl" \
    >> "$work/c8.t"
  timed "$work/h2-$i" engine_tls >> "$work/h2.t"
  timed "$work/ch2-$i" curl -s --cacert "$work/tls.crt" --parallel --parallel-max 16 --create-dirs \
    -K "$work/tls-files.curl" >> "$work/ch2.t"
  build=r2-build timed "$work/r2-$i" r2_engine >> "$work/r2.t"
  build=r2-build timed "$work/cr2-$i" curl -s --parallel --parallel-max 16 --create-dirs \
    -K "$work/r2-files.curl" >> "$work/cr2.t"
done
: > "$work/nginx/logs/access.log"
timed "$work/count" keyed > /dev/null
requests=$(wc -l < "$work/nginx/logs/access.log")

ms_span() { sort -n "$1" | awk '{v[NR]=$1} END {printf "%.0f..%.0f", v[1] / 1000, v[NR] / 1000}'; }
row() {  # name, what, engine file, target[, baseline file, its name]
  local base=${5:-$work/c16.t}
  awk -v n="$1" -v w="$2" -v e="$(median < "$3")" -v c="$(median < "$base")" -v es="$(ms_span "$3")" \
    -v cs="$(ms_span "$base")" -v t="$4" -v bn="${6:-}" 'BEGIN { r = e / c
      printf "| %s | %s | %.0f (%s) | %s%.0f (%s) | **%.2f** | %s |\n", n, w, e / 1000, es, bn,
        c / 1000, cs, r, t == "-" ? "-" : (r <= t ? t " met" : t " MISSED") }'
}
echo
echo "400 files of 16 KiB through a 30 ms round trip, median of $runs runs (min..max), $(date -u +%Y-%m-%d)"
echo
echo "| | what | valdora-patch ms | curl --parallel --parallel-max 16 ms | ratio | target |"
echo "|---|---|---|---|---|---|"
row R1 "with the key: packs, 8 in flight (the default)" "$work/k8.t" 0.4
echo "| R1 | requests of that run (target 10 at most) | $requests | | | $([ "$requests" -le 10 ] && echo met || echo MISSED) |"
row R1 "without the key: 8 requests in flight" "$work/e8.t" "-"
row R1 "--max-transfers 16" "$work/e16.t" "-"
row R1 "--max-transfers 1 (one file after the other)" "$work/e1.t" "-"
row R1 "8 requests in flight (the default)" "$work/e8.t" "-" "$work/c8.t" "--parallel-max 8: "
row H2 "https, HTTP/2, 8 transfers (their streams)" "$work/h2.t" 0.6 "$work/ch2.t" "https: "
echo
echo "4,000 files of 4 KiB through a 100 ms round trip, median of $runs runs (min..max)"
echo
row R2 "with the key: packs, 8 in flight (the default)" "$work/r2.t" 0.25 "$work/cr2.t"
