#!/usr/bin/env bash
# Redraws the launcher's skin and button pictures into resources/skin/
# (24-bit BMPs, compiled into launcher.exe) and the desktop icon into
# resources/icons/ (PNGs, in the launcher package). Edit tools/skin/make_skin.cpp
# to restyle them, then run this and rebuild.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/skin -G Ninja -DVALDORA_BUILD_TESTS=OFF >/dev/null
cmake --build build/skin --target valdora-skin-gen
mkdir -p resources/icons
QT_QPA_PLATFORM=offscreen build/skin/tools/skin/valdora-skin-gen resources/skin resources/icons
