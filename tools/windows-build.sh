#!/usr/bin/env bash
# Builds the Windows programs into build/windows/: valdora-patch.exe,
# launch_helper.exe, valdora-publish.exe and the game stand-in
# (valdora-game-stand-in.exe, installed as valdora.exe), each one static
# .exe that needs only the system's DLLs. Cross-compiled with Debian's
# mingw-w64 (posix threads) against the libraries tools/windows-deps.sh
# builds from Debian's sources (once; later builds reuse them).
#
#   bash tools/windows-build.sh [--tests]
#
# --tests builds the Windows test suites too (tools/windows-test.sh runs them).
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(valdora-patch launch_helper valdora-publish valdora-game-stand-in)
if [ "${1:-}" = "--tests" ]; then
  targets=(all)
elif [ $# -gt 0 ]; then
  echo "usage: bash tools/windows-build.sh [--tests]" >&2
  exit 64
fi

bash tools/install-deps.sh
start=$SECONDS
deps=$(bash tools/windows-deps.sh | tail -1)
echo "windows-build: dependencies ready in $((SECONDS - start)) s ($deps)"

start=$SECONDS
# Libraries of other versions: their paths are in the cache, start over.
cached=$(sed -n 's/^VALDORA_WINDOWS_DEPS:[A-Z]*=//p' build/windows/tree/CMakeCache.txt 2>/dev/null || true)
if [ "$cached" != "$deps" ]; then
  rm -rf build/windows/tree
fi
cmake -S . -B build/windows/tree -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DVALDORA_WINDOWS_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DVALDORA_WERROR=ON >/dev/null
cmake --build build/windows/tree -j "$(nproc)" --target "${targets[@]}"
for program in tools/valdora-patch/valdora-patch.exe tools/launch_helper/launch_helper.exe \
  tools/valdora-publish/valdora-publish.exe tools/game_stand_in/valdora-game-stand-in.exe; do
  x86_64-w64-mingw32-strip -o "build/windows/${program##*/}" "build/windows/tree/$program"
done
echo "windows-build: built in $((SECONDS - start)) s"
ls -l build/windows/*.exe
