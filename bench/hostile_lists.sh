#!/usr/bin/env bash
# What a hostile update list costs valdora-patch: its peak resident memory
# and its time, each as a ratio against a baseline measured in this run (the
# median of RUNS runs, at least 5, min and max shown).
#
#   H1 signed   a signed site whose list is swapped for 64 MiB of tiny
#               entries (the manifest and its signature the site's own):
#               memory vs a run on the site as published; time vs curl
#               fetching the same list. strace counts the file look-ups.
#   H2 endless  an unsigned list of valid entries that never ends (a
#               python server): memory vs the same site run; time vs curl
#               reading the first 32 MiB of the same body.
#
#   bash bench/hostile_lists.sh        # RUNS=5 by default; TMPDIR picks the disk
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${RUNS:-5}
bench_start hostile valdora-patch valdora-publish
patcher=$root/build/bench/tools/valdora-patch/valdora-patch
publisher=$root/build/bench/tools/valdora-publish/valdora-publish
serving= endless=
bench_cleanup_more='[ -n "$serving" ] && bash deploy/serve-site.sh --stop "$serving" > /dev/null 2>&1
  [ -n "$endless" ] && kill "$endless" 2> /dev/null'
port=$(free_port)
host=http://127.0.0.1:$port
list=/Patcher/1000_1.0.0.1_Update.txt

# A small signed site, then a copy of it whose list is 64 MiB of tiny entries.
mkdir -p "$work/build"
head -c 100000 /dev/urandom > "$work/build/a.pak"
"$publisher" keygen "$work/keys" > /dev/null
"$publisher" "$work/build" "$work/site" --base-url "$host/files" --pages deploy/pages \
  --sign-key "$work/keys/valdora.key" > /dev/null
cp -a "$work/site" "$work/hostile"
python3 - "$work/hostile$list" << 'PY'
import sys
with open(sys.argv[1], "wb") as f:
    f.write(b"http://127.0.0.1/x\r\nnote\r\n" + b"a\r\n1\r\nt\r\n" * (64 * 1024 * 1024 // 9))
PY
chmod -R a+rX "$work"
serve() {
  [ -n "$serving" ] && bash deploy/serve-site.sh --stop "$serving" > /dev/null
  serving=$work/nginx-$1
  bash deploy/serve-site.sh "$work/$1" --listen "127.0.0.1:$port" --run-dir "$serving" > /dev/null
}

# An endless list of valid entries, each a file of its own (a list may not
# name one file twice).
eport=$(free_port)
python3 - "$eport" > /dev/null 2>&1 << 'PY' &
import http.server, socketserver, sys
class H(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_GET(self):
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        chunk, n = b"http://127.0.0.1/x\r\nnote\r\n", 0
        try:
            while True:
                self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
                chunk = b"".join(b"%d.pak\r\n1\r\n05.03.2024 07:08:09\r\n" % (n + i)
                                 for i in range(4096))
                n += 4096
        except OSError:
            pass
class S(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
S(("127.0.0.1", int(sys.argv[1])), H).serve_forever()
PY
endless=$!
until (exec 3<> "/dev/tcp/127.0.0.1/$eport") 2> /dev/null; do sleep 0.05; done

# One run of valdora-patch in a new game directory: "KiB seconds" into $1,
# its exit status checked against $2.
measure() {  # file, status, patch arguments...
  local out=$1 expected=$2 dir status=0
  shift 2
  dir=$(mktemp -d "$work/game.XXXXXX")
  (cd "$dir" && /usr/bin/time -f "%M %e" -o "$work/time" "$patcher" --server-wait 5 "$@" \
    > "$work/last.out" 2>&1) || status=$?
  [ "$status" -eq "$expected" ] ||
    { echo "exit $status, not $expected:" >&2; tail -5 "$work/last.out" >&2; exit 1; }
  tail -1 "$work/time" >> "$out"  # after "Command exited with non-zero status"
  rm -rf "$dir"
}
curl_time() {  # file, command...
  local out=$1 t0 t1
  shift
  t0=$(date +%s%N)
  "$@"
  t1=$(date +%s%N)
  awk -v d=$((t1 - t0)) 'BEGIN { printf "0 %.3f\n", d / 1e9 }' >> "$out"
}
signed=(--update-list "$host$list" --server-list "$host/serverlist_test.aspx"
        --trusted-key "$work/keys/valdora.pub")
unsigned=(--update-list "http://127.0.0.1:$eport$list" --server-list "$host/serverlist_test.aspx")

echo "runs ..." >&2
for _ in $(seq "$runs"); do
  serve site
  measure "$work/good" 0 "${signed[@]}"
  serve hostile
  measure "$work/h1" 1 "${signed[@]}"
  curl_time "$work/h1-curl" curl -s -o /dev/null "$host$list"
  measure "$work/h2" 1 "${unsigned[@]}"
  curl_time "$work/h2-curl" sh -c "curl -s 'http://127.0.0.1:$eport$list' | head -c 33554432 > /dev/null"
done
lookups=-
if command -v strace > /dev/null; then
  mkdir -p "$work/traced" && cd "$work/traced"
  strace -f -qq -c -e trace=newfstatat,statx -o "$work/strace" "$patcher" "${signed[@]}" \
    > /dev/null 2>&1 || true
  lookups=$(awk '$NF ~ /stat/ { n += $4 } END { print n + 0 }' "$work/strace")
  cd "$root"
fi

col() { awk -v c="$2" '{ print $c }' "$1"; }  # a column of a file of figures
echo
echo "valdora-patch, median of $runs runs (min..max), $(date -u +%Y-%m-%d)"
echo
echo "| | what | valdora-patch | baseline | ratio |"
echo "|---|---|---|---|---|"
for h in h1 h2; do
  name=$([ "$h" = h1 ] && echo "H1 signed, 64 MiB of tiny entries" || echo "H2 endless list, unsigned")
  awk -v n="$name" -v m="$(col "$work/$h" 1 | median)" -v mr="$(col "$work/$h" 1 | span)" \
    -v b="$(col "$work/good" 1 | median)" -v br="$(col "$work/good" 1 | span)" 'BEGIN {
      printf "| %s | peak memory | %.1f MiB (%s KiB) | the site as published %.1f MiB (%s KiB) | **%.2f** |\n",
        n, m / 1024, mr, b / 1024, br, m / b }'
  awk -v n="$name" -v t="$(col "$work/$h" 2 | median)" -v tr="$(col "$work/$h" 2 | span)" \
    -v c="$(col "$work/$h-curl" 2 | median)" -v cr="$(col "$work/$h-curl" 2 | span)" \
    -v what="$([ "$h" = h1 ] && echo "curl of the list" || echo "curl, first 32 MiB")" 'BEGIN {
      printf "| %s | time | %.2f s (%s) | %s %.2f s (%s) | **%.2f** |\n", n, t, tr, what, c, cr, t / c }'
done
echo
echo "H1: $lookups file look-ups (newfstatat, statx) in one run."
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) RAM," \
  "Linux $(uname -r), $(curl --version | head -1 | cut -d' ' -f1-2)"
