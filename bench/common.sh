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
