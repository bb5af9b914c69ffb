#!/usr/bin/env bash
# Builds the Windows programs into build/windows/: launcher.exe (the Win32
# window), valdora-patch.exe, launch_helper.exe, valdora-publish.exe and the
# game stand-in (valdora-game-stand-in.exe, installed as valdora.exe), each
# one static .exe that needs only the system's DLLs, and the players'
# installer valdora-setup-VERSION.exe. Cross-compiled with Debian's
# mingw-w64 (posix threads) against the libraries tools/windows-deps.sh
# builds from Debian's sources (once; later builds reuse them).
#
#   bash tools/windows-build.sh [--tests]
#
# --tests builds the Windows test suites too (tools/windows-test.sh runs them).
# From the environment when set, as tools/package.sh takes them:
# VALDORA_PATCH_HOST, VALDORA_WEB_HOST, VALDORA_TRUSTED_KEYS, VALDORA_VERSION;
# VALDORA_WINDOWS_OUT is the folder instead of build/windows. With a
# code-signing certificate (tools/sign-windows.sh) launcher.exe,
# launch_helper.exe, valdora-patch.exe, the installer and its uninstaller
# are signed.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${VALDORA_WINDOWS_OUT:-build/windows}
targets=(launcher installer valdora-patch launch_helper valdora-publish valdora-game-stand-in)
if [ "${1:-}" = "--tests" ]; then
  targets=(all installer)
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
cached=$(sed -n 's/^VALDORA_WINDOWS_DEPS:[A-Z]*=//p' "$out/tree/CMakeCache.txt" 2>/dev/null || true)
if [ "$cached" != "$deps" ]; then
  rm -rf "$out/tree"
fi
# Unset means the default, not what an earlier run left in the cache.
settings=()
for name in VALDORA_PATCH_HOST VALDORA_WEB_HOST VALDORA_TRUSTED_KEYS VALDORA_VERSION; do
  if [ -n "${!name:-}" ]; then settings+=("-D$name=${!name}"); else settings+=("-U$name"); fi
done
cmake -S . -B "$out/tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DVALDORA_WINDOWS_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DVALDORA_WERROR=ON "${settings[@]}" >/dev/null
rm -f "$out"/valdora-setup-*.exe "$out"/tree/valdora-setup-*.exe
cmake --build "$out/tree" -j "$(nproc)" --target "${targets[@]}"
for program in tools/valdora-patch/valdora-patch.exe tools/valdora-publish/valdora-publish.exe \
  tools/game_stand_in/valdora-game-stand-in.exe; do
  x86_64-w64-mingw32-strip -o "$out/${program##*/}" "$out/tree/$program"
done
# The installer's programs were signed before it packed them (win32ui/).
bash tools/sign-windows.sh "$out/valdora-patch.exe"
# The installer's own: a site publishes the launcher the players installed
# (stripping stamps the time, so a second strip would differ).
cp "$out"/tree/win32ui/installer/{launcher,launch_helper}.exe "$out"/tree/valdora-setup-*.exe "$out/"
echo "windows-build: built in $((SECONDS - start)) s"
bash tools/sign-windows.sh --check || echo "windows-build: the programs are unsigned (no certificate)"
ls -l "$out"/*.exe
