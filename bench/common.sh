# What the benchmark scripts share; sourced from the project's root, after
# `set -euo pipefail`.
#
#   bench_start NAME TARGET...   RUNS checked (at least 5; 7 by default),
#                                the TARGETs built (Release, no Qt) in
#                                build/bench ($patcher and $publisher name
#                                two of them), a work folder made in $work
#                                (TMPDIR picks the disk), removed at the end
#                                with whatever bench_cleanup_more names
#   bench_serve SITE PORT        nginx (the shipped configuration) serving
#                                SITE on 127.0.0.1:PORT from $work/nginx, in
#                                place of the one before; stopped at the end
#   bench_pid                    a program the script started in the
#                                background: ended at the end
#   bench_files DIR N SIZE FOLDERS SEED
#                                N files of SIZE random bytes (SEED) in
#                                DIR/d0.. (FOLDERS of them, in turn), named
#                                fNNN.pak, stamped 05.03.2024 07:08:09 UTC
root=$PWD
runs=${RUNS:-7}
work=
bench_cleanup_more=:
bench_pid=
bench_serving=
patcher=$root/build/bench/tools/valdora-patch/valdora-patch
publisher=$root/build/bench/tools/valdora-publish/valdora-publish

bench_start() {
  local name=$1
  shift
  [ "$runs" -ge 5 ] || { echo "RUNS must be at least 5" >&2; exit 64; }
  echo "building Release in build/bench ..." >&2
  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVALDORA_BUILD_UI=OFF \
    -DVALDORA_BUILD_TESTS=OFF > /dev/null
  cmake --build build/bench -j2 --target "$@" > /dev/null
  work=$(mktemp -d "${TMPDIR:-/tmp}/valdora-$name.XXXXXX")
  chmod 755 "$work"
  trap 'eval "$bench_cleanup_more"; bench_end_helpers; rm -rf "$work"' EXIT
}

bench_end_helpers() {
  [ -z "$bench_pid" ] || kill "$bench_pid" 2> /dev/null || true
  [ -z "$bench_serving" ] || bash "$root/deploy/serve-site.sh" --stop "$bench_serving" > /dev/null 2>&1 || true
}

bench_serve() {
  [ -z "$bench_serving" ] || bash "$root/deploy/serve-site.sh" --stop "$bench_serving" > /dev/null 2>&1 || true
  bench_serving=$work/nginx
  bash "$root/deploy/serve-site.sh" "$1" --listen "127.0.0.1:$2" --run-dir "$bench_serving" > /dev/null
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
now_us() { echo $(($(date +%s%N) / 1000)); }
# The median and the span of the numbers on standard input.
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
span() { sort -n | awk '{v[NR]=$1} END {printf "%s..%s", v[1], v[NR]}'; }
bench_files() {
  python3 - "$@" <<'PY'
import os, random, sys
root, count, size, folders, seed = sys.argv[1], *map(int, sys.argv[2:])
rng = random.Random(seed)
width = len(str(count - 1))
for i in range(count):
    path = os.path.join(root, f"d{i % folders}", f"f{i:0{width}d}.pak")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(rng.randbytes(size))
    os.utime(path, (1709622489, 1709622489))
PY
}
