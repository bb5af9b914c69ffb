#!/usr/bin/env bash
# Mirrors: a fresh install of 60 MiB (120 files of 512 KiB) from a signed site,
# each host nginx (the shipped configuration) behind valdora-latency-proxy,
# which caps what the host sends, all connections together, at RATE (8 MiB/s
# by default) as a host behind a link of that speed. Each figure is the
# median of RUNS runs (at least 5) against a baseline measured in this run:
#
#   M1  the primary and three mirrors: one refusing connections, one
#       answering every request with 200 and an HTML "blocked" page, one at
#       a tenth of RATE; against the primary alone (target 1.2x)
#   M2  the primary and one mirror, both healthy, the client capped at RATE
#       (--limit-rate): the mirror killed (SIGKILL of its proxy) half way
#       through; against the same run undisturbed (target: 2 s more at most),
#       with the game-file bytes the hosts sent against the 60 MiB installed
#       (the dead proxy resets its connections: what it held is lost and
#       counts, though it never reached the player)
#   M3  the primary and one mirror each capped at RATE; against the primary
#       alone (target 0.6x)
#   M4  the primary alone (no mirrors named); against curl --parallel
#       --parallel-max 8 of the same files through the same proxy, and the
#       requests the run made against those of a launcher without mirrors
#       (list, manifest, signature, server list and its signature, and one
#       a file)
#
#   bash bench/mirrors.sh          # RUNS=5 by default; RATE=8388608; TMPDIR picks the disk
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}
source bench/common.sh
rate=${RATE:-8388608}
bench_start mirrors valdora-patch valdora-publish valdora-latency-proxy
proxy=$root/build/bench/bench/valdora-latency-proxy

bench_files "$work/build" 120 524288 6 27
"$publisher" keygen "$work/keys" > /dev/null

pids=()
bench_cleanup_more='for p in "${pids[@]}"; do kill "$p" 2> /dev/null || true; done;
  for d in "$work"/nginx-*; do bash "$root/deploy/serve-site.sh" --stop "$d" > /dev/null 2>&1 || true; done'
serve() {  # site folder, port
  bash deploy/serve-site.sh "$1" --listen "127.0.0.1:$2" --run-dir "$work/nginx-$2" > /dev/null
}
relay() {  # port, nginx port, rate: the proxy's pid in $relayed
  "$proxy" "$1" "$2" 0 "$3" > "$work/proxy-$1.out" &
  relayed=$!
  pids+=("$relayed")
  until grep -q ready "$work/proxy-$1.out" 2> /dev/null; do sleep 0.05; done
}
url() { echo "http://127.0.0.1:$1"; }

# Ports: the nginx of each site, and the proxies that are its hosts.
for name in na nb nc nd ha hb hc hd slow mc ml blocked refused; do
  declare "$name=$(free_port)"
done
# The blocked mirror: every request answered 200 with a page.
python3 - "$blocked" > "$work/blocked.out" 2>&1 <<'PY' &
import http.server, sys
class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"<html><body>blocked</body></html>"
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Page).serve_forever()
PY
pids+=($!)

publish() {  # site, host port, mirror ports...
  local site=$1 host=$2 args=()
  shift 2
  for m in "$@"; do args+=(--mirror "$(url "$m")"); done
  "$publisher" "$work/build" "$work/$site" --base-url "$(url "$host")/game" --pages deploy/pages \
    --sign-key "$work/keys/valdora.key" "${args[@]}" > /dev/null
}
publish alone "$ha"
publish four "$hb" "$refused" "$blocked" "$slow"
publish two "$hc" "$mc"
publish limited "$hd" "$ml"
chmod -R a+rX "$work"
serve "$work/alone" "$na"
serve "$work/four" "$nb"
serve "$work/two" "$nc"
serve "$work/limited" "$nd"
relay "$ha" "$na" "$rate"
relay "$hb" "$nb" "$rate"
relay "$slow" "$nb" $((rate / 10))
relay "$hd" "$nd" "$rate"
relay "$ml" "$nd" "$rate"
relay "$hc" "$nc" 0
relay "$mc" "$nc" 0
mirror_pid=$relayed

timed() {  # dir, host port, more arguments: microseconds, in a new directory
  local dir=$1 host=$2 t0
  shift 2
  mkdir -p "$dir"
  t0=$(now_us)
  (cd "$dir" && "$patcher" --update-list "$(url "$host")/Patcher/1000_1.0.0.1_Update.txt" \
    --server-list "$(url "$host")/serverlist_test.aspx" --trusted-key "$work/keys/valdora.pub" \
    "$@" > "$dir.out" 2>&1) || { echo "valdora-patch $* failed: $(tail -3 "$dir.out")" >&2; exit 1; }
  echo $(($(now_us) - t0))
  diff -rq "$dir" "$work/build" -x base > /dev/null || { echo "$dir differs" >&2; exit 1; }
  rm -rf "$dir"
}
game_bytes() {  # the body bytes of the game files an nginx sent
  awk '$7 ~ /^\/game\/r-/ && $7 !~ /\.chunks/ { s += $10 } END { print s + 0 }' "$work/nginx-$1/logs/access.log"
}
files=$(head -n 1 "$work/alone/Patcher/1000_1.0.0.1_Update.txt" | tr -d '\r')
(cd "$work/build" && find . -type f -printf '%P\n' | sort) | while read -r path; do
  printf 'url = "%s"\noutput = "%s"\n' "$files/$path" "$path"
done > "$work/files.curl"

for i in $(seq "$runs"); do
  timed "$work/alone-$i" "$ha" >> "$work/alone.t"
  timed "$work/four-$i" "$hb" >> "$work/four.t"
  timed "$work/limited-$i" "$hd" >> "$work/limited.t"
  if ! kill -0 "$mirror_pid" 2> /dev/null; then relay "$mc" "$nc" 0; mirror_pid=$relayed; fi
  timed "$work/two-$i" "$hc" --limit-rate "$rate" >> "$work/two.t"
  # The same, the mirror killed half way through its undisturbed time.
  : > "$work/nginx-$nc/logs/access.log"
  half=$(($(median < "$work/two.t") / 2000))
  (sleep "$(awk -v ms="$half" 'BEGIN { print ms / 1000 }')" && kill -9 "$mirror_pid") &
  killer=$!
  timed "$work/killed-$i" "$hc" --limit-rate "$rate" >> "$work/killed.t"
  wait "$killer" 2> /dev/null || true
  game_bytes "$nc" >> "$work/killed.bytes"
  mkdir -p "$work/c8-$i"
  t0=$(now_us)
  (cd "$work/c8-$i" && curl -s --parallel --parallel-max 8 --create-dirs -K "$work/files.curl" 2> /dev/null)
  echo $(($(now_us) - t0)) >> "$work/c8.t"
  rm -rf "$work/c8-$i"
done
: > "$work/nginx-$na/logs/access.log"
timed "$work/count" "$ha" > /dev/null
requests=$(wc -l < "$work/nginx-$na/logs/access.log")

ms() { median < "$1" | awk '{ printf "%.0f", $1 / 1000 }'; }
ratio() { awk -v a="$(median < "$1")" -v b="$(median < "$2")" 'BEGIN { printf "%.2f", a / b }'; }
echo
echo "60 MiB in 120 files, hosts capped at $((rate >> 20)) MiB/s, median of $runs runs, $(date -u +%Y-%m-%d)"
echo
echo "| | what | ms | baseline ms | figure | target |"
echo "|---|---|---|---|---|---|"
r=$(ratio "$work/four.t" "$work/alone.t")
echo "| M1 | primary + refusing, blocking, 1/10-speed mirrors vs the primary alone | $(ms "$work/four.t") | $(ms "$work/alone.t") | **${r}x** | 1.2x $(awk -v r="$r" 'BEGIN { print r <= 1.2 ? "met" : "MISSED" }') |"
more=$(awk -v a="$(median < "$work/killed.t")" -v b="$(median < "$work/two.t")" 'BEGIN { printf "%.2f", (a - b) / 1e6 }')
echo "| M2 | the mirror killed half way vs undisturbed (client at $((rate >> 20)) MiB/s) | $(ms "$work/killed.t") | $(ms "$work/two.t") | **+${more} s** | 2 s $(awk -v m="$more" 'BEGIN { print m <= 2 ? "met" : "MISSED" }') |"
sent=$(median < "$work/killed.bytes")
echo "| M2 | game-file bytes sent by both hosts, killed runs, vs 60 MiB | | | **$(awk -v s="$sent" 'BEGIN { printf "%.3f", s / (60 * 1048576) }')x** | - |"
r=$(ratio "$work/limited.t" "$work/alone.t")
echo "| M3 | primary + one mirror, each capped, vs the primary alone | $(ms "$work/limited.t") | $(ms "$work/alone.t") | **${r}x** | 0.6x $(awk -v r="$r" 'BEGIN { print r <= 0.6 ? "met" : "MISSED" }') |"
r=$(ratio "$work/alone.t" "$work/c8.t")
echo "| M4 | the primary alone vs curl --parallel-max 8 | $(ms "$work/alone.t") | $(ms "$work/c8.t") | **${r}x** | - |"
echo "| M4 | requests of a run with no mirror named | $requests | $((120 + 5)) | | same |"
