#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the whole program
# in build/test, the core (no Qt) again under AddressSanitizer and
# UndefinedBehaviorSanitizer in build/asan, the fuzzers of the core's
# readers (clang, libFuzzer) in build/fuzz, a minute each, and the Windows
# build (build/windows, cross-compiled) under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
bash tools/check-format.sh
bash tools/check-layers.sh

jobs=$(nproc)

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVALDORA_WERROR=ON \
  -DVALDORA_WINDOWS_PROGRAMS="$PWD/build/windows"
cmake --build build/test -j "$jobs"
# The Windows programs' tests (label windows) run with the Windows build below.
ctest --test-dir build/test -j "$jobs" --output-on-failure --timeout 300 -LE windows

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVALDORA_SANITIZE=ON \
  -DVALDORA_BUILD_UI=OFF -DVALDORA_WERROR=ON
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan -j "$jobs" --output-on-failure --timeout 300 -L 'unit|integration|faults'

cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVALDORA_FUZZ=ON -DVALDORA_WERROR=ON
cmake --build build/fuzz -j "$jobs"
# Three at a time: each fuzzes for its full minute.
ctest --test-dir build/fuzz -j 3 --output-on-failure --timeout 600
cat build/fuzz/fuzz/work/*/summary

# Windows: the programs and the core suites cross-compiled, then run under
# Wine; the Windows programs against nginx too, driven from build/test.
bash tools/windows-build.sh --tests
bash tools/windows-test.sh build/test
