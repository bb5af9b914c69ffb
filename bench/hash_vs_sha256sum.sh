#!/usr/bin/env bash
# The launcher's SHA-256 (trust/, OpenSSL's libcrypto) against sha256sum over
# the same 1 GiB of files in the same run: four files of 192 MiB and 256
# files of 1 MiB, read from the page cache (both read them once before the
# timed runs), so the figure is the hashing and the reading, not the disk.
# The ratio is median(valdora-sha256) / median(sha256sum) of RUNS runs (at
# least 5), min and max shown; both must print the same hashes.
#
#   H1 valdora-sha256 FILE...  (the trust module's hasher alone)
#   H2 valdora-patch --verify  in the folder of the files, published as a
#      signed site (valdora-publish --sign-key) and served by nginx on
#      127.0.0.1: the list, manifest and signature fetched and checked,
#      every file hashed against the manifest, none found to repair.
#      Target 1.2.
#
#   bash bench/hash_vs_sha256sum.sh     # RUNS=7 by default; TMPDIR picks the disk
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-7}
[ "$runs" -ge 5 ] || { echo "RUNS must be at least 5" >&2; exit 64; }

echo "building Release in build/bench ..." >&2
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVALDORA_BUILD_UI=OFF \
  -DVALDORA_BUILD_TESTS=OFF > /dev/null
cmake --build build/bench -j2 --target valdora-sha256 valdora-patch valdora-publish > /dev/null
hasher=$PWD/build/bench/bench/valdora-sha256
patcher=$PWD/build/bench/tools/valdora-patch/valdora-patch
publisher=$PWD/build/bench/tools/valdora-publish/valdora-publish
root=$PWD

work=$(mktemp -d "${TMPDIR:-/tmp}/valdora-hash-bench.XXXXXX")
chmod 755 "$work"
trap 'bash "$root/deploy/serve-site.sh" --stop "$work/nginx" > /dev/null 2>&1; rm -rf "$work"' EXIT
echo "making 1 GiB of files in $work ..." >&2
mkdir -p "$work/files/small"
for i in 1 2 3 4; do head -c $((192 << 20)) /dev/urandom > "$work/files/big$i.bin"; done
head -c $((256 << 20)) /dev/urandom | split -b 1M -a 3 - "$work/files/small/s"
cd "$work/files"
mapfile -t files < <(find . -type f | sort)

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
host=http://127.0.0.1:$port
"$publisher" keygen "$work/keys" > /dev/null
"$publisher" "$work/files" "$work/site" --base-url "$host/files" --note bench \
  --pages "$root/deploy/pages" --sign-key "$work/keys/valdora.key" > /dev/null
chmod -R a+rX "$work"
bash "$root/deploy/serve-site.sh" "$work/site" --listen "127.0.0.1:$port" --run-dir "$work/nginx" \
  > /dev/null
# The folder of the files is the game directory: every file is current.
verify() {
  "$patcher" --update-list "$host/Patcher/1000_1.0.0.1_Update.txt" \
    --server-list "$host/serverlist_test.aspx" --trusted-key "$work/keys/valdora.pub" --verify
}
verify > "$work/verify.out" || { cat "$work/verify.out" >&2; exit 1; }
grep -q 'Bütün dosyalar güncel durumda.' "$work/verify.out" ||
  { echo "valdora-patch --verify repaired files" >&2; exit 1; }

now_us() { date +%s%6N; }
timed() {  # output file, command... (given the files)
  local out=$1 t0 t1
  shift
  t0=$(now_us)
  "$@" "${files[@]}" > "$out"
  t1=$(now_us)
  echo $((t1 - t0))
}
timed_verify() {
  local t0 t1
  t0=$(now_us)
  verify > /dev/null
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
  timed_verify >> "$work/verify.t"
done

s=$(median "$work/theirs.t")
row() {  # figure, what, times file, target
  local o
  o=$(median "$3")
  awk -v f="$1" -v w="$2" -v o="$o" -v s="$s" -v t="$4" \
    -v omin="$(sort -n "$3" | head -1)" -v omax="$(sort -n "$3" | tail -1)" \
    -v smin="$(sort -n "$work/theirs.t" | head -1)" -v smax="$(sort -n "$work/theirs.t" | tail -1)" \
    'BEGIN {
      printf "| %s | %s | %.0f (%.0f..%.0f) | %.0f (%.0f..%.0f) | **%.2f** | %s |\n", f, w, o / 1000,
        omin / 1000, omax / 1000, s / 1000, smin / 1000, smax / 1000, o / s,
        t == "-" ? "-" : sprintf("%s %s", t, o / s <= t + 0 ? "met" : "MISSED")
    }'
}
echo "SHA-256 over 1 GiB (4 x 192 MiB, 256 x 1 MiB), median of $runs runs (min..max), $(date -u +%Y-%m-%d)"
echo
echo "| | what | ms | sha256sum ms | ratio | target |"
echo "|---|---|---|---|---|---|"
row H1 "valdora-sha256 (the hasher alone)" "$work/ours.t" "-"
row H2 "valdora-patch --verify (signed site, whole run)" "$work/verify.t" 1.2
