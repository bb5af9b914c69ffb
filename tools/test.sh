#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the whole program
# as players get it in build/test (Release, Debian's hardening flags) with
# its tests, and the packages and the installer made from it and checked as
# players meet them; the core (no Qt) again under AddressSanitizer and
# UndefinedBehaviorSanitizer in build/asan, the fuzzers of the core's
# readers (clang, libFuzzer) in build/fuzz, a minute each, and the Windows
# build (build/windows, cross-compiled) under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
bash tools/check-format.sh
bash tools/check-layers.sh

jobs=$(nproc)

# Windows first: the programs and the core suites cross-compiled; the
# packages below take the Windows programs from here.
bash tools/windows-build.sh --tests

# What players get: tools/package.sh builds build/test with its tests
# (Release, Debian's hardening flags, -Werror) and makes the packages from
# it and the installer from build/windows (made again, signed with a
# certificate of this run); then the packages are checked as players meet
# them (tests/package/release_test.sh), and the tests run on the very
# programs packaged.
cmake -S . -B build/test -G Ninja -DVALDORA_WINDOWS_PROGRAMS="$PWD/build/windows" >/dev/null
VALDORA_PACKAGE_TREE=$PWD/build/test VALDORA_WINDOWS_OUT=$PWD/build/windows \
  bash tests/package/release_test.sh
# The Windows programs' tests (label windows) run with the Windows build
# below; the package tests (label package) ran on the packages above.
ctest --test-dir build/test -j "$jobs" --output-on-failure --timeout 300 -LE 'windows|package'

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

# Windows: the core suites under Wine; the Windows programs against nginx
# too, driven from build/test.
bash tools/windows-test.sh build/test
