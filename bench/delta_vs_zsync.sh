#!/usr/bin/env bash
# A change to a big file, as a delta, against zsync and rsync on the same
# change. A 160 MiB archive of random bytes gets 32 inserts and overwrites of
# 4 to 64 KiB at random places and one cut of 256 KiB (SEED picks them);
# both versions are published signed by valdora-publish and served by nginx
# (the shipped configuration) on 127.0.0.1, and a game directory with the old
# version is brought up to date:
#
#   D1 bytes     what nginx sent for the file (its index, the records of its
#                changed groups, its ranges) vs zsync -i OLD URL (its control
#                file and ranges, zsyncmake's defaults) from the same nginx,
#                and vs the bytes changed; rsync's figure beside them (a
#                daemon on 127.0.0.1; bytes received, and sent)
#   D2 requests  nginx's requests for the file and its index vs the changed
#                places (32 + the cut)
#   D3 planning  reading a 1 GiB old copy as a delta does (valdora-chunk-sizes
#                --plan: chunks, their hashes, the whole hash) vs sha256sum
#   D4 memory    peak resident memory of valdora-patch making the 160 MiB
#                file and a 1 GiB file from their old copies
#   sizes        what other chunk and group sizes would fetch for D1
#                (valdora-chunk-sizes, no server)
#
#   bash bench/delta_vs_zsync.sh      # RUNS=7, SEED=3; TMPDIR picks the disk (4 GiB)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
seed=${SEED:-3}
for tool in zsync zsyncmake rsync; do
  command -v "$tool" > /dev/null || apt-get install -y -qq zsync rsync > /dev/null ||
    { echo "needs zsync and rsync (apt-get install zsync rsync)" >&2; exit 1; }
done
bench_start delta valdora-patch valdora-publish valdora-chunk-sizes
sizes=$root/build/bench/bench/valdora-chunk-sizes

port=$(free_port)
host=http://127.0.0.1:$port

echo "making the versions in $work ..." >&2
python3 - "$work" "$seed" > "$work/changed" <<'PY'
import os, random, sys
work, seed = sys.argv[1], int(sys.argv[2])
rng = random.Random(seed)
def versions(name, size, edits, cut):
    old = bytearray(b"".join(rng.randbytes(1 << 24) for _ in range(size >> 24)))
    new = bytearray(old)
    places = sorted(rng.sample(range(0, size - (1 << 20), 1 << 16), edits + (1 if cut else 0)),
                    reverse=True)
    changed = 0
    for i, at in enumerate(places):
        at += rng.randrange(1 << 16)
        if cut and i == len(places) // 2:
            del new[at:at + (256 << 10)]
            continue
        n = rng.randint(4 << 10, 64 << 10)
        changed += n
        if i % 2:
            new[at:at] = rng.randbytes(n)
        else:
            new[at:at + n] = rng.randbytes(n)
    for tree, data, stamp in (("old", old, 1709535000), ("new", new, 1709622489)):
        path = os.path.join(work, tree + "-" + name, "big.pak")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (stamp, stamp))
    return changed
print(versions("160", 160 << 20, 32, True))
print(versions("1g", 1 << 30, 4, False))
PY
changed=$(sed -n 1p "$work/changed")
regions=33  # 32 inserts and overwrites, one cut

"$publisher" keygen "$work/keys" > /dev/null
publish() {  # tree, site
  "$publisher" "$work/$1" "$work/$2" --base-url "$host/game" --pages deploy/pages \
    --sign-key "$work/keys/valdora.key" > /dev/null
}
publish old-160 site160
publish new-160 site160
publish new-1g site1g
chmod -R a+rX "$work"
serve() { bench_serve "$work/$1" "$port"; }  # site
files_path() {  # site: the release's folder, as nginx logs it
  head -n 1 "$work/$1/Patcher/1000_1.0.0.1_Update.txt" | tr -d '\r' | sed "s|$host||"
}
log_lines() { wc -l < "$work/nginx/logs/access.log"; }
# Requests and bytes nginx sent after log line $1 for paths holding $2.
sent_after() {
  awk -v from="$1" -v part="$2" 'NR > from && index($7, part) { n++; s += $10 }
    END { print n + 0, s + 0 }' "$work/nginx/logs/access.log"
}
# One valdora-patch run in a new game directory holding the old version:
# the peak resident KiB, then the requests and bytes of the file's release.
delta_run() {  # tree suffix, site
  local game=$work/game-$1 from
  rm -rf "$game"
  mkdir -p "$game"
  cp -p "$work/old-$1/big.pak" "$game/"
  from=$(log_lines)
  (cd "$game" && /usr/bin/time -f %M -o "$work/peak" "$patcher" \
    --update-list "$host/Patcher/1000_1.0.0.1_Update.txt" \
    --server-list "$host/serverlist_test.aspx" --trusted-key "$work/keys/valdora.pub" \
    > "$work/last.out") || { echo "valdora-patch failed:" >&2; tail -3 "$work/last.out" >&2; exit 1; }
  cmp -s "$game/big.pak" "$work/new-$1/big.pak" || { echo "$game/big.pak is not the new one" >&2; exit 1; }
  echo "$(cat "$work/peak") $(sent_after "$from" "$(files_path "$2")/")"
  rm -rf "$game"
}

echo "D1/D2/D4 ..." >&2
serve site160
release=$work/site160$(files_path site160)
for _ in $(seq "$runs"); do delta_run 160 site160 >> "$work/d160"; done
# zsync: its control file beside the file, from the same nginx.
(cd "$release" && zsyncmake -u big.pak -o big.pak.zsync big.pak 2> /dev/null)
mkdir -p "$work/zsync"
from=$(log_lines)
(cd "$work/zsync" && zsync -q -i "$work/old-160/big.pak" -o big.pak \
  "$host$(files_path site160)/big.pak.zsync" > /dev/null 2>&1)
cmp -s "$work/zsync/big.pak" "$work/new-160/big.pak" || { echo "zsync made another file" >&2; exit 1; }
read -r zsync_requests zsync_bytes < <(sent_after "$from" "/big.pak")
# rsync: a daemon on 127.0.0.1 with the new version, the old one to update.
rsync_port=$(free_port)
printf 'use chroot = no\n[new]\npath = %s\nread only = yes\n' "$work/new-160" > "$work/rsyncd.conf"
rsync --daemon --no-detach --config="$work/rsyncd.conf" --port="$rsync_port" \
  --address=127.0.0.1 &
bench_pid=$!
mkdir -p "$work/rsync"
cp "$work/old-160/big.pak" "$work/rsync/"
until rsync --stats --no-whole-file "rsync://127.0.0.1:$rsync_port/new/big.pak" \
  "$work/rsync/big.pak" > "$work/rsync.out" 2>&1; do
  kill -0 "$bench_pid" || { echo "rsync's daemon ended" >&2; exit 1; }
  sleep 0.1
done
cmp -s "$work/rsync/big.pak" "$work/new-160/big.pak" || { echo "rsync made another file" >&2; exit 1; }
rsync_received=$(awk -F': ' '/Total bytes received/ {gsub(",", "", $2); print $2}' "$work/rsync.out")
rsync_sent=$(awk -F': ' '/Total bytes sent/ {gsub(",", "", $2); print $2}' "$work/rsync.out")

serve site1g
for _ in 1 2 3; do delta_run 1g site1g >> "$work/d1g"; done

echo "D3 ..." >&2
cat "$work/old-1g/big.pak" > /dev/null  # in the page cache for both
for _ in $(seq "$runs"); do
  t0=$(now_us)
  "$sizes" --plan "$work/old-1g/big.pak" > /dev/null
  echo $((($(now_us) - t0) / 1000)) >> "$work/plan.ms"
  t0=$(now_us)
  sha256sum "$work/old-1g/big.pak" > /dev/null
  echo $((($(now_us) - t0) / 1000)) >> "$work/sha.ms"
done

bytes=$(awk '{print $3}' "$work/d160" | median)
requests=$(awk '{print $2}' "$work/d160" | median)
peak160=$(awk '{print $1}' "$work/d160" | median)
peak1g=$(awk '{print $1}' "$work/d1g" | median)
plan=$(median < "$work/plan.ms")
sha=$(median < "$work/sha.ms")

echo
echo "A 160 MiB file, $regions changed places ($changed bytes changed), seed $seed; median of" \
  "$runs runs (min..max) where times vary, $(date -u +%Y-%m-%d)"
echo
echo "| | what | valdora-patch | baseline | ratio | target |"
echo "|---|---|---|---|---|---|"
awk -v b="$bytes" -v z="$zsync_bytes" -v c="$changed" -v rr="$rsync_received" -v rs="$rsync_sent" 'BEGIN {
  printf "| D1 | bytes fetched for the changed file, index included | %d | zsync %d | **%.2f** | 0.85 %s |\n",
    b, z, b / z, b <= 0.85 * z ? "met" : "MISSED"
  printf "| D1 | the same | %d | bytes changed %d | **%.2f** | 1.15 %s |\n", b, c, b / c, b <= 1.15 * c ? "met" : "MISSED"
  printf "| D1 | the same | %d | rsync daemon: received %d (sent %d) | **%.2f** | - |\n", b, rr, rs, b / rr }'
awk -v r="$requests" -v n="$regions" -v z="$zsync_requests" 'BEGIN {
  printf "| D2 | requests for the file and its index | %d | changed places %d (zsync: %d, several ranges each) | **%.2f** | 2.0 %s |\n",
    r, n, z, r / n, r <= 2 * n ? "met" : "MISSED" }'
awk -v p="$plan" -v s="$sha" -v ps="$(span < "$work/plan.ms")" -v ss="$(span < "$work/sha.ms")" 'BEGIN {
  printf "| D3 | chunks and hashes of a 1 GiB old copy, ms | %d (%s) | sha256sum %d (%s) | **%.2f** | 1.5 %s |\n",
    p, ps, s, ss, p / s, p <= 1.5 * s ? "met" : "MISSED" }'
awk -v a="$peak160" -v b="$peak1g" 'BEGIN {
  printf "| D4 | peak memory, a 1 GiB file made from its old copy | %.1f MiB | the 160 MiB file %.1f MiB | **%.2f** | under 64 MiB %s |\n",
    b / 1024, a / 1024, b / a, (b < 65536 && a < 65536) ? "met" : "MISSED" }'
echo
echo "Chunk and group sizes (min/average/max bytes, group average/max chunks) on the same change, no server:"
echo
echo '```'
"$sizes" "$work/old-160/big.pak" "$work/new-160/big.pak" 256/1024/8192/64/512 \
  256/1024/8192/32/256 256/1024/8192/128/1024 128/512/4096/64/512 512/2048/16384/64/512 \
  1024/4096/32768/64/512
echo '```'
