#!/usr/bin/env bash
# The launcher's SHA-256 (trust/, OpenSSL's libcrypto) against sha256sum over
# the same 1 GiB of files in the same run: four files of 192 MiB and 256
# files of 1 MiB, read from the page cache (both read them once before the
# timed runs), so the figure is the hashing and the reading, not the disk.
# The ratio is median(valdora-sha256) / median(sha256sum) of RUNS runs (at
# least 5), min and max shown; both must print the same hashes. The target
# for `valdora-patch --verify` over the same files is 1.2.
#
#   bash bench/hash_vs_sha256sum.sh     # RUNS=7 by default; TMPDIR picks the disk
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-7}
[ "$runs" -ge 5 ] || { echo "RUNS must be at least 5" >&2; exit 64; }

echo "building Release in build/bench ..." >&2
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVALDORA_BUILD_UI=OFF \
  -DVALDORA_BUILD_TESTS=OFF > /dev/null
cmake --build build/bench -j2 --target valdora-sha256 > /dev/null
hasher=$PWD/build/bench/bench/valdora-sha256

work=$(mktemp -d "${TMPDIR:-/tmp}/valdora-hash-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "making 1 GiB of files in $work ..." >&2
mkdir -p "$work/files/small"
for i in 1 2 3 4; do head -c $((192 << 20)) /dev/urandom > "$work/files/big$i.bin"; done
head -c $((256 << 20)) /dev/urandom | split -b 1M -a 3 - "$work/files/small/s"
cd "$work/files"
mapfile -t files < <(find . -type f | sort)

now_us() { date +%s%6N; }
timed() {  # output file, command...
  local out=$1 t0 t1
  shift
  t0=$(now_us)
  "$@" "${files[@]}" > "$out"
  t1=$(now_us)
  echo $((t1 - t0))
}
median() { sort -n "$1" | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

timed "$work/ours.txt" "$hasher" > /dev/null  # warm the cache and check
timed "$work/theirs.txt" sha256sum > /dev/null
cmp -s "$work/ours.txt" "$work/theirs.txt" || { echo "the hashes differ from sha256sum's" >&2; exit 1; }
for ((r = 0; r < runs; r++)); do
  timed /dev/null "$hasher" >> "$work/ours.t"
  timed /dev/null sha256sum >> "$work/theirs.t"
done

o=$(median "$work/ours.t") s=$(median "$work/theirs.t")
awk -v o="$o" -v s="$s" -v runs="$runs" -v d="$(date -u +%Y-%m-%d)" \
  -v omin="$(sort -n "$work/ours.t" | head -1)" -v omax="$(sort -n "$work/ours.t" | tail -1)" \
  -v smin="$(sort -n "$work/theirs.t" | head -1)" -v smax="$(sort -n "$work/theirs.t" | tail -1)" \
  'BEGIN {
    printf "SHA-256 over 1 GiB (4 x 192 MiB, 256 x 1 MiB), median of %d runs (min..max), %s\n\n", runs, d
    print "| | valdora-sha256 ms | sha256sum ms | ratio | target (valdora-patch --verify) |"
    print "|---|---|---|---|---|"
    printf "| H1 | %.0f (%.0f..%.0f) | %.0f (%.0f..%.0f) | **%.2f** | 1.2 %s |\n", o / 1000,
      omin / 1000, omax / 1000, s / 1000, smin / 1000, smax / 1000, o / s, o / s <= 1.2 ? "met" : "MISSED"
  }'
