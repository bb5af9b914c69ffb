#!/usr/bin/env bash
# The patch engine against the tools that do the same work, on trees published
# by valdora-publish and served by nginx with the shipped configuration
# (deploy/) on 127.0.0.1. Every figure is a ratio against a baseline measured
# in this run: the median of RUNS runs (at least 5), min and max shown.
#
#   B1 check   100,000 files, all up to date: valdora-patch (nothing to
#              download) vs find . -type f -printf '%s %T@\n'; also with
#              the site's signature checked (B1 signed)
#   B2 big     one file of 64 MiB, signed, hashing on: valdora-patch vs
#              curl -o tmp + cp tmp target, and vs curl -o alone
#   B3 small   2,000 files of 8 KiB: valdora-patch vs one curl fetching the
#              same URLs into the same names over one connection; and with
#              the key, the small files as ranges of the release's packs
#   B4 memory  peak resident memory of valdora-patch for one 64 MiB file vs
#              one 8 MiB file
#   B5 parse   parsing and checking the 100,000-entry list of B1 in the
#              engine's own functions (valdora-check-bench) vs the find of B1
#   B6 resume  one file of 64 MiB whose connection drops at half (nginx
#              ended abruptly): the bytes of it that the next run fetches,
#              counted in nginx's log, vs the file's size; and curl -C - after
#              the same drop
#   limit      one file of 32 MiB with --limit-rate 4M (8 s at the cap) vs
#              curl --limit-rate 4M; and the fastest speed the run showed
#   limit gzip a text of 3.6 MiB sent gzip-compressed (1.3 MB on the wire) by
#              a small python server, --limit-rate 1M: the bytes a second on
#              the wire, vs curl --compressed --limit-rate 1M
#
# Each valdora-patch figure is a whole run: update list, check, downloads
# through "~temp.dat" into place with the list's time, server list. Every
# site is signed; B1 signed, B2 and B4 run as a launcher built with a
# trusted key does: manifest and signature fetched and checked, every
# download hashed as it arrives.
#
#   bash bench/engine_vs_curl.sh        # RUNS=7 by default; TMPDIR picks the disk
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-7}
[ "$runs" -ge 5 ] || { echo "RUNS must be at least 5" >&2; exit 64; }

echo "building Release in build/bench ..." >&2
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVALDORA_BUILD_UI=OFF \
  -DVALDORA_BUILD_TESTS=OFF > /dev/null
cmake --build build/bench -j2 --target valdora-patch valdora-publish valdora-check-bench > /dev/null
patcher=$root/build/bench/tools/valdora-patch/valdora-patch
publisher=$root/build/bench/tools/valdora-publish/valdora-publish
checker=$root/build/bench/bench/valdora-check-bench

work=$(mktemp -d "${TMPDIR:-/tmp}/valdora-bench.XXXXXX")
chmod 755 "$work"
serving=
gzip_pid=
cleanup() {
  [ -n "$gzip_pid" ] && kill "$gzip_pid" 2> /dev/null
  [ -n "$serving" ] && bash deploy/serve-site.sh --stop "$serving" > /dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
host=http://127.0.0.1:$port
list_path=/Patcher/1000_1.0.0.1_Update.txt

# Game builds, every file stamped 05.03.2024 07:08:09 UTC.
echo "making the trees in $work ..." >&2
python3 - "$work/build" <<'PY'
import os, random, sys
root = sys.argv[1]
stamp = 1709622489
rng = random.Random(7)
def put(path, data):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)
    os.utime(full, (stamp, stamp))
# B1: 100,000 small files, 100 to a folder, two levels deep.
blob = rng.randbytes(4096)
for i in range(100000):
    n = rng.randrange(0, 2048)
    put(f"check/data/d{i // 10000}/s{i // 100 % 100:02d}/f{i:06d}.dat", blob[:n])
# B3: 2,000 files of 8 KiB in 20 folders.
for i in range(2000):
    put(f"small/d{i // 100:02d}/f{i:04d}.dat", rng.randbytes(8192))
# B2 and B4: one file each.
put("big/big.bin", os.urandom(64 << 20))
put("mem8/big.bin", os.urandom(8 << 20))
# The limit figure.
put("lim/lim.bin", os.urandom(32 << 20))
PY

"$publisher" keygen "$work/keys" > /dev/null
for tree in check small big mem8 lim; do
  "$publisher" "$work/build/$tree" "$work/site-$tree" --base-url "$host/files" \
    --note bench --pages deploy/pages --sign-key "$work/keys/valdora.key" > /dev/null
done
chmod -R a+rX "$work"
# Where a tree's files lie: its release's folder, the list's first line.
files_url() { head -n 1 "$work/site-$1/Patcher/1000_1.0.0.1_Update.txt" | tr -d '\r'; }
big_url=$(files_url big)

serve() {  # tree [rate]
  [ -n "$serving" ] && bash deploy/serve-site.sh --stop "$serving" > /dev/null
  serving=$work/nginx-$1
  bash deploy/serve-site.sh "$work/site-$1" --listen "127.0.0.1:$port" --run-dir "$serving" \
    --rate "${2:-0}" > /dev/null
}

now_us() { echo $(($(date +%s%N) / 1000)); }

# One timed run of a command in a directory (made when missing); prints
# microseconds. Downloads get a new directory each run: deleting the last
# one just before would measure the file system's inode allocator rather
# than the program.
timed() {
  local dir=$1
  shift
  mkdir -p "$dir"
  local t0 t1
  t0=$(now_us)
  (cd "$dir" && "$@" > "$work/last.out") || {
    echo "$* failed ($?):" >&2
    tail -5 "$work/last.out" >&2
    exit 1
  }
  t1=$(now_us)
  echo $((t1 - t0))
}

engine() { "$patcher" --update-list "$host$list_path" --server-list "$host/serverlist_test.aspx" \
  "$@"; }
signed_engine() { engine --trusted-key "$work/keys/valdora.pub"; }
find_sizes_times() { find . -type f -printf '%s %T@\n'; }
curl_cp() { curl -s -o tmp "$big_url/big.bin" && cp tmp big.bin; }
curl_o() { curl -s -o big.bin "$big_url/big.bin"; }
peak_kib() { /usr/bin/time -f %M -o "$work/peak" "$patcher" --update-list "$host$list_path" \
  --server-list "$host/serverlist_test.aspx" --trusted-key "$work/keys/valdora.pub" > /dev/null &&
  cat "$work/peak"; }

same_tree() {  # game dir, build tree
  diff -rq -x base "$1" "$2" > /dev/null || { echo "$1 differs from $2" >&2; exit 1; }
}

median() { sort -n "$1" | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
low() { sort -n "$1" | head -1; }
high() { sort -n "$1" | tail -1; }
ms() { awk -v t="$1" 'BEGIN {printf "%.1f", t / 1000}'; }

rows=()
row() {  # figure, what, engine file, baseline name, baseline file, target
  local e b
  e=$(median "$3")
  b=$(median "$5")
  rows+=("$(awk -v f="$1" -v w="$2" -v e="$e" -v b="$b" -v bn="$4" -v t="$6" \
    -v emin="$(low "$3")" -v emax="$(high "$3")" -v bmin="$(low "$5")" -v bmax="$(high "$5")" \
    'BEGIN { r = e / b; verdict = t == "-" ? "-" : sprintf("%s %s", t, r <= t + 0 ? "met" : "MISSED")
      printf "| %s | %s | %.1f (%.1f..%.1f) | %s %.1f (%.1f..%.1f) | **%.2f** | %s |",
      f, w, e / 1000, emin / 1000, emax / 1000, bn, b / 1000, bmin / 1000, bmax / 1000, r, verdict }')")
}

# B1 and B5: the 100,000-file tree, all up to date.
echo "B1/B5 ..." >&2
serve check
cp -a "$work/build/check" "$work/game-check"
timed "$work/game-check" engine > /dev/null
grep -q 'Bütün dosyalar güncel durumda.' "$work/last.out" ||
  { echo "B1: the game copy is not up to date" >&2; exit 1; }
timed "$work/game-check" signed_engine > /dev/null  # the release kept once
for _ in $(seq "$runs"); do
  timed "$work/game-check" engine >> "$work/b1-engine.t"
  timed "$work/game-check" find_sizes_times >> "$work/b1-find.t"
  timed "$work/game-check" signed_engine >> "$work/b1s-engine.t"
done
curl -s --compressed -o "$work/check-list.txt" "$host$list_path"
"$checker" "$work/check-list.txt" "$work/game-check" "$runs" > "$work/b5.out"
awk '$4 != 0 { bad = 1 } END { exit bad }' "$work/b5.out" ||
  { echo "B5: the check found files to download" >&2; exit 1; }
awk '{print $1 + $2}' "$work/b5.out" > "$work/b5-engine.t"
awk '{print $1}' "$work/b5.out" > "$work/b5-parse.t"

# B2 and B4: one big file into an empty game directory.
echo "B2/B4 ..." >&2
serve big
for i in $(seq "$runs"); do
  timed "$work/b2-engine-$i" signed_engine >> "$work/b2-engine.t"
  same_tree "$work/b2-engine-$i" "$work/build/big"
  timed "$work/b2-curlcp-$i" curl_cp >> "$work/b2-curlcp.t"
  timed "$work/b2-curl-$i" curl_o >> "$work/b2-curl.t"
  rm -rf "$work/b2-engine-$i" "$work/b2-curlcp-$i" "$work/b2-curl-$i"
done
for i in $(seq "$runs"); do
  timed "$work/b4-64-$i" peak_kib > /dev/null
  cat "$work/last.out" >> "$work/b4-64.k"
  rm -rf "$work/b4-64-$i"
done
serve mem8
for i in $(seq "$runs"); do
  timed "$work/b4-8-$i" peak_kib > /dev/null
  same_tree "$work/b4-8-$i" "$work/build/mem8"
  cat "$work/last.out" >> "$work/b4-8.k"
  rm -rf "$work/b4-8-$i"
done

# B3: many small files.
echo "B3 ..." >&2
serve small
(cd "$work/build/small" && find . -type f -printf '%P\n' | sort) | while read -r path; do
  printf 'url = "%s"\noutput = "%s"\n' "$(files_url small)/$path" "$path"
done > "$work/small.curl"
for i in $(seq "$runs"); do
  timed "$work/b3-engine-$i" engine >> "$work/b3-engine.t"
  same_tree "$work/b3-engine-$i" "$work/build/small"
  timed "$work/b3-keyed-$i" signed_engine >> "$work/b3-keyed.t"
  same_tree "$work/b3-keyed-$i" "$work/build/small"
  timed "$work/b3-curl-$i" curl -s --create-dirs -K "$work/small.curl" >> "$work/b3-curl.t"
  same_tree "$work/b3-curl-$i" "$work/build/small"
done

# B6: a download whose connection drops at half, and the run after it.
echo "B6 ..." >&2
big_size=$(stat -c %s "$work/build/big/big.bin")
# Waits until file $1 holds half of the big file, then ends nginx at once
# (its connections drop) and starts it again.
drop_at_half() {  # file, pid of its download
  until [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge $((big_size / 2)) ]; do
    kill -0 "$2" 2> /dev/null || { echo "B6: the download ended before half" >&2; exit 1; }
    sleep 0.01
  done
  local pid
  pid=$(cat "$serving/nginx.pid")
  kill -TERM "$pid"
  while kill -0 "$pid" 2> /dev/null; do sleep 0.01; done
  rm -f "$serving/nginx.pid"
  serve big 16m
}
# Bytes of the big file that nginx sent after log line $1.
big_bytes_after() {
  awk -v from="$1" -v path="${big_url#"$host"}/big.bin" \
    'NR > from && $7 == path { s += $10 } END { print s + 0 }' \
    "$serving/logs/access.log"
}
log_lines() { wc -l < "$serving/logs/access.log"; }
serve big 16m
for i in $(seq "$runs"); do
  dir=$work/b6-engine-$i
  mkdir -p "$dir"
  (cd "$dir" && exec "$patcher" --update-list "$host$list_path" \
    --server-list "$host/serverlist_test.aspx" > "$work/b6-first.out") &
  first=$!
  drop_at_half "$dir/~temp.dat" "$first"
  status=0
  wait "$first" || status=$?
  [ "$status" -eq 4 ] || { echo "B6: the dropped run ended with $status" >&2; exit 1; }
  [ -f "$dir/~temp.dat.resume" ] || { echo "B6: no partial kept" >&2; exit 1; }
  from=$(log_lines)
  (cd "$dir" && engine > /dev/null) || { echo "B6: the next run failed" >&2; exit 1; }
  same_tree "$dir" "$work/build/big"
  big_bytes_after "$from" >> "$work/b6-engine.b"

  dir=$work/b6-curl-$i
  mkdir -p "$dir"
  (cd "$dir" && exec curl -s -o big.bin "$big_url/big.bin") &
  first=$!
  drop_at_half "$dir/big.bin" "$first"
  wait "$first" || true
  from=$(log_lines)
  (cd "$dir" && curl -s -C - -o big.bin "$big_url/big.bin")
  same_tree "$dir" "$work/build/big"
  big_bytes_after "$from" >> "$work/b6-curl.b"
  rm -rf "$work/b6-engine-$i" "$dir"
done

# The limit: 32 MiB at 4 MiB/s.
echo "limit ..." >&2
serve lim
limited() { "$patcher" --update-list "$host$list_path" --server-list "$host/serverlist_test.aspx" \
  --limit-rate 4M; }
for i in $(seq "$runs"); do
  timed "$work/lim-engine-$i" limited >> "$work/lim-engine.t"
  same_tree "$work/lim-engine-$i" "$work/build/lim"
  # The fastest speed the run showed, KB/s.
  grep -o 'Hız: [0-9]*' "$work/last.out" | awk '{ if ($2 > m) m = $2 } END { print m + 0 }' \
    >> "$work/lim-shown.k"
  timed "$work/lim-curl-$i" curl -s --limit-rate 4M -o lim.bin "$(files_url lim)/lim.bin" \
    >> "$work/lim-curl.t"
  rm -rf "$work/lim-engine-$i" "$work/lim-curl-$i"
done

# The limit on a compressed body: the bytes on the wire count.
echo "limit gzip ..." >&2
gzip_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 - "$gzip_port" "$work/gzip.size" <<'PY' &
import gzip, http.server, random, sys
port = int(sys.argv[1])
rng = random.Random(5)
words = ["".join(rng.choice("abcdefghij") for _ in range(rng.randint(2, 7))) for _ in range(800)]
body = " ".join(rng.choice(words) for _ in range(700000)).encode()[: 3 << 20]
packed = gzip.compress(body, 6)
listing = (f"http://127.0.0.1:{port}/files\r\nnote\r\nbig.txt\r\n{len(body)}\r\n"
           "05.03.2024 07:08:09\r\n").encode()
class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def log_message(self, *args): pass
    def do_GET(self):
        data, encoding = {"/Patcher/1000_1.0.0.1_Update.txt": (listing, None),
                          "/files/big.txt": (packed, "gzip"),
                          "/serverlist_test.aspx": (b"V1|x|y|10.0.0.1|7000\r\n", None)}.get(
                              self.path, (b"", None))
        self.send_response(200 if data else 404)
        if encoding: self.send_header("Content-Encoding", encoding)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)
server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
open(sys.argv[2], "w").write(str(len(packed)))
server.serve_forever()
PY
gzip_pid=$!
until [ -s "$work/gzip.size" ]; do sleep 0.05; done
gz=http://127.0.0.1:$gzip_port
for i in $(seq "$runs"); do
  timed "$work/gz-engine-$i" "$patcher" --update-list "$gz$list_path" \
    --server-list "$gz/serverlist_test.aspx" --limit-rate 1M >> "$work/gz-engine.t"
  timed "$work/gz-curl-$i" curl -s --compressed --limit-rate 1M -o big.txt "$gz/files/big.txt" \
    >> "$work/gz-curl.t"
  rm -rf "$work/gz-engine-$i" "$work/gz-curl-$i"
done
kill "$gzip_pid"
gzip_pid=

row B1 "check 100,000 files, all up to date" "$work/b1-engine.t" "find" "$work/b1-find.t" 1.0
row "B1 signed" "the same, the signature and 11 MB manifest checked" "$work/b1s-engine.t" "find" \
  "$work/b1-find.t" "-"
row B2 "one 64 MiB file, signed, hashing on" "$work/b2-engine.t" "curl -o + cp" "$work/b2-curlcp.t" 1.0
row B2 "one 64 MiB file, signed, hashing on" "$work/b2-engine.t" "curl -o" "$work/b2-curl.t" "-"
row B3 "2,000 files of 8 KiB" "$work/b3-engine.t" "curl, one connection" "$work/b3-curl.t" 1.0
row B3 "the same with the key (packs)" "$work/b3-keyed.t" "curl, one connection" "$work/b3-curl.t" 1.0
row B5 "parse + check 100,000 entries, in process" "$work/b5-engine.t" "find (B1)" \
  "$work/b1-find.t" "-"

m8=$(median "$work/b4-8.k")
m64=$(median "$work/b4-64.k")
b4=$(awk -v a="$m8" -v b="$m64" -v l8="$(low "$work/b4-8.k")" -v h8="$(high "$work/b4-8.k")" \
  -v l64="$(low "$work/b4-64.k")" -v h64="$(high "$work/b4-64.k")" 'BEGIN {
    d = (b - a) / 1024
    printf "| B4 | peak memory, 64 MiB file vs 8 MiB file | %.1f MiB (%.1f..%.1f) | 8 MiB file %.1f MiB (%.1f..%.1f) | **%.2f** | growth %+.1f MiB, flat within 2 MiB: %s |",
      b / 1024, l64 / 1024, h64 / 1024, a / 1024, l8 / 1024, h8 / 1024, b / a, d,
      (d <= 2 && d >= -2 ? "met" : "MISSED") }')

echo
echo "valdora-patch, median of $runs runs (min..max), $(date -u +%Y-%m-%d)"
echo
echo "| | what | valdora-patch ms | baseline ms | ratio | target |"
echo "|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]:0:5}" "$b4" "${rows[5]}"
mib() { awk -v b="$1" 'BEGIN { printf "%.1f MiB", b / 1048576 }'; }
awk -v e="$(median "$work/b6-engine.b")" -v c="$(median "$work/b6-curl.b")" -v n="$big_size" \
  -v emin="$(low "$work/b6-engine.b")" -v emax="$(high "$work/b6-engine.b")" 'BEGIN {
    r = e / n
    printf "| B6 | 64 MiB file dropped at half: fetched again by the next run | %.1f MiB (%.1f..%.1f) | whole file %.1f MiB; curl -C - %.1f MiB | **%.2f** (curl %.2f) | 0.55 %s |\n",
      e / 1048576, emin / 1048576, emax / 1048576, n / 1048576, c / 1048576, r, c / n,
      r <= 0.55 ? "met" : "MISSED" }'
awk -v e="$(median "$work/lim-engine.t")" -v c="$(median "$work/lim-curl.t")" \
  -v emin="$(low "$work/lim-engine.t")" -v emax="$(high "$work/lim-engine.t")" \
  -v cmin="$(low "$work/lim-curl.t")" -v cmax="$(high "$work/lim-curl.t")" \
  -v shown="$(high "$work/lim-shown.k")" 'BEGIN {
    s = e / 1e6
    printf "| limit | 32 MiB with --limit-rate 4M | %.2f s (%.2f..%.2f) | curl --limit-rate 4M %.2f s (%.2f..%.2f) | **%.2f** | 8 s +/-10%%: %s; fastest shown %d KB/s (cap 4096) |\n",
      s, emin / 1e6, emax / 1e6, c / 1e6, cmin / 1e6, cmax / 1e6, e / c,
      (s >= 7.2 && s <= 8.8) ? "met" : "MISSED", shown }'
awk -v e="$(median "$work/gz-engine.t")" -v c="$(median "$work/gz-curl.t")" \
  -v n="$(cat "$work/gzip.size")" 'BEGIN {
    we = n / (e / 1e6) / 1048576; wc = n / (c / 1e6) / 1048576
    printf "| limit gzip | 1.3 MB gzip on the wire (3 MiB text) with --limit-rate 1M | %.2f MiB/s on the wire (%.2f s) | curl --compressed --limit-rate 1M %.2f MiB/s (%.2f s) | **%.2f** | at most 1.1 of the cap: %s |\n",
      we, e / 1e6, wc, c / 1e6, we, we <= 1.1 ? "met" : "MISSED" }'
awk -v p="$(median "$work/b5-parse.t")" -v c="$(median "$work/b5-engine.t")" \
  'BEGIN { printf "\nB5 in parts: parse %.1f ms, check %.1f ms (medians)\n", p / 1000, (c - p) / 1000 }'
echo
echo "Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)," \
  "$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) RAM," \
  "$(findmnt -no FSTYPE -T "$work") on $(findmnt -no SOURCE -T "$work")," \
  "Linux $(uname -r), $(curl --version | head -1 | cut -d' ' -f1-2), $(nginx -v 2>&1 | cut -d' ' -f3)"
