#!/usr/bin/env bash
# Saves a picture of the settings dialog to docs/images/settings-dialog.png,
# drawn on a virtual X display (Xvfb), for the README.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build/dev}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja
fi
cmake --build "$build" -j2 --target valdora-settings-preview
mkdir -p docs/images
xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/ui/valdora-settings-preview" docs/images/settings-dialog.png
echo "wrote docs/images/settings-dialog.png"
