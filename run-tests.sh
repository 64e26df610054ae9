#!/usr/bin/env bash
# Runs the whole test suite: a normal build, one under AddressSanitizer and
# UndefinedBehaviorSanitizer where any report fails the run, the Windows program and its
# tests under Wine, and a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCERTINSTALL_SANITIZE=ON >/dev/null
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake >/dev/null
cmake --build build-win
# A window that never comes must fail the run, not hold it up.
timeout 900 tests/win32/wine_tests.sh build-win

fuzz/run.sh 60
