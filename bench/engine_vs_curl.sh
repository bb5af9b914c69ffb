#!/usr/bin/env bash
# The patch engine against the tools that do the same work, on trees published
# by valdora-publish and served by nginx with the shipped configuration
# (deploy/) on 127.0.0.1. Every figure is a ratio against a baseline measured
# in this run: the median of RUNS runs (at least 5), min and max shown.
#
#   B1 check   100,000 files, all up to date: valdora-patch (nothing to
#              download) vs find . -type f -printf '%s %T@\n'
#   B2 big     one file of 64 MiB: valdora-patch vs curl -o tmp + cp tmp
#              target, and vs curl -o alone
#   B3 small   2,000 files of 8 KiB: valdora-patch vs one curl fetching the
#              same URLs into the same names over one connection
#   B4 memory  peak resident memory of valdora-patch for one 64 MiB file vs
#              one 8 MiB file
#   B5 parse   parsing and checking the 100,000-entry list of B1 in the
#              engine's own functions (valdora-check-bench) vs the find of B1
#
# Each valdora-patch figure is a whole run of a signed site, as a launcher
# built with a trusted key makes it: update list, manifest and signature
# checked, check, downloads through "~temp.dat" hashed as they arrive and
# put into place with the list's time, server list.
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
cleanup() {
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
PY

"$publisher" keygen "$work/keys" > /dev/null
for tree in check small big mem8; do
  "$publisher" "$work/build/$tree" "$work/site-$tree" --base-url "$host/files" \
    --note bench --pages deploy/pages --sign-key "$work/keys/valdora.key" > /dev/null
done
chmod -R a+rX "$work"

serve() {  # tree
  [ -n "$serving" ] && bash deploy/serve-site.sh --stop "$serving" > /dev/null
  serving=$work/nginx-$1
  bash deploy/serve-site.sh "$work/site-$1" --listen "127.0.0.1:$port" --run-dir "$serving" \
    > /dev/null
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
  --trusted-key "$work/keys/valdora.pub"; }
find_sizes_times() { find . -type f -printf '%s %T@\n'; }
curl_cp() { curl -s -o tmp "$host/files/big.bin" && cp tmp big.bin; }
curl_o() { curl -s -o big.bin "$host/files/big.bin"; }
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
for _ in $(seq "$runs"); do
  timed "$work/game-check" engine >> "$work/b1-engine.t"
  timed "$work/game-check" find_sizes_times >> "$work/b1-find.t"
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
  timed "$work/b2-engine-$i" engine >> "$work/b2-engine.t"
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
  printf 'url = "%s"\noutput = "%s"\n' "$host/files/$path" "$path"
done > "$work/small.curl"
for i in $(seq "$runs"); do
  timed "$work/b3-engine-$i" engine >> "$work/b3-engine.t"
  same_tree "$work/b3-engine-$i" "$work/build/small"
  timed "$work/b3-curl-$i" curl -s --create-dirs -K "$work/small.curl" >> "$work/b3-curl.t"
  same_tree "$work/b3-curl-$i" "$work/build/small"
done

row B1 "check 100,000 files, all up to date" "$work/b1-engine.t" "find" "$work/b1-find.t" 2.0
row B2 "one 64 MiB file" "$work/b2-engine.t" "curl -o + cp" "$work/b2-curlcp.t" 1.0
row B2 "one 64 MiB file" "$work/b2-engine.t" "curl -o" "$work/b2-curl.t" "-"
row B3 "2,000 files of 8 KiB" "$work/b3-engine.t" "curl, one connection" "$work/b3-curl.t" 1.5
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
printf '%s\n' "${rows[@]:0:4}" "$b4" "${rows[4]}"
awk -v p="$(median "$work/b5-parse.t")" -v c="$(median "$work/b5-engine.t")" \
  'BEGIN { printf "\nB5 in parts: parse %.1f ms, check %.1f ms (medians)\n", p / 1000, (c - p) / 1000 }'
echo
echo "Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)," \
  "$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) RAM," \
  "$(findmnt -no FSTYPE -T "$work") on $(findmnt -no SOURCE -T "$work")," \
  "Linux $(uname -r), $(curl --version | head -1 | cut -d' ' -f1-2), $(nginx -v 2>&1 | cut -d' ' -f3)"
