#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the whole program
# in build/test, and the core (no Qt) again under AddressSanitizer and
# UndefinedBehaviorSanitizer in build/asan.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
bash tools/check-format.sh

jobs=$(nproc)

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVALDORA_WERROR=ON
cmake --build build/test -j "$jobs"
ctest --test-dir build/test -j "$jobs" --output-on-failure --timeout 300

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVALDORA_SANITIZE=ON \
  -DVALDORA_BUILD_UI=OFF -DVALDORA_WERROR=ON
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan -j "$jobs" --output-on-failure --timeout 300 -L 'unit|integration'
