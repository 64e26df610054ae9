#!/usr/bin/env bash
# Runs the whole test suite: the format and lint checks, a normal build, one under
# AddressSanitizer and UndefinedBehaviorSanitizer where any report fails the run and whose
# coverage is shown, the Windows program and its tests under Wine, and a short run of each
# fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)
# Most tests wait on the programs they start more than they compute.
tests_at_once=$((jobs * 2))
# A bare environment names no locale, and the packaging tools then cannot spell the bundle's
# Cyrillic file names.
export LANG=${LANG:-C.UTF-8}
# Each stage says how long it took, so that a slow run shows where its time went.
stage() { echo "== $1: $SECONDS s since the start" >&2; }
tests/install_tools.sh
stage "test tools"

git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# setup.sh builds the programs alone into the same folder.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCERTINSTALL_TESTS=ON \
    -DCERTINSTALL_BENCH=ON >/dev/null
cmake --build build
# The checks in .clang-tidy over the program's own sources (the tests are left out) run beside
# the tests, much of whose time is spent waiting on the programs they start.
run-clang-tidy -p build -quiet -j "$jobs" \
    "$PWD/(archive|gui|installer|platform|runtime|stores|tools|unzip)/" > build/clang-tidy.log 2>&1 &
tidy=$!
ctest --test-dir build --output-on-failure -j "$tests_at_once"
wait $tidy || { grep -E '(warning|error):' build/clang-tidy.log; exit 1; }
stage "build, tests and lint"

# The Ansible role on three fresh Debian machines with this build's package. It waits mostly on
# the mirror and on the machines' package installs, so it runs beside the sanitizer build; its
# output is shown once both are done. Where a tool or the mirror is missing, it says so in one
# line and the run goes on.
(cd build && cpack > /dev/null)
tests/deploy/ansible_test.sh build/certinstall_*_amd64.deb build/tests/certinstall-testbundle \
    build/tests/browsers > build/deploy-test.log 2>&1 &
deployment=$!

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCERTINSTALL_SANITIZE=ON \
    -DCERTINSTALL_COVERAGE=ON >/dev/null
cmake --build build-asan
# The counts start afresh with each run.
find build-asan -name '*.gcda' -delete
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$tests_at_once"
# What the tests reach of each layer they judge, from one pass over the counts; the lines left
# out are in the HTML report.
layers=(archive stores installer unzip)
folders=("${layers[@]/%//}")
gcovr -r . -j "$jobs" "${folders[@]/#/--filter=}" --exclude-throw-branches \
    --exclude-unreachable-branches --html-details build-asan/coverage.html \
    --json-summary build-asan/coverage.json build-asan >/dev/null
python3 tests/coverage_summary.py build-asan/coverage.json "${layers[@]}"
stage "sanitizer build, tests and coverage"

status=0
wait $deployment || status=$?
cat build/deploy-test.log
[ "$status" = 0 ] || [ "$status" = 77 ] || exit 1
stage "deployment test"

# FOLDER PROCESSOR [WITH-TESTS]
windows_build() {
    cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$2.cmake" -DCERTINSTALL_TESTS="${3:-ON}" >/dev/null
    cmake --build "$1"
}
# Where 32-bit Wine is missing or the kernel runs no 32-bit program, the Wine tests take a
# 64-bit build of the same sources, and the 32-bit programs are only built.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    windows_build build-win i686
    windows=build-win
else
    echo "32-bit Wine does not run here: the Wine tests run a 64-bit build." >&2
    windows_build build-win i686 OFF
    windows_build build-win64 x86_64
    windows=build-win64
fi
# The 32-bit program as users get it.
(cd build-win && cpack > /dev/null)
unzip -Z1 build-win/certinstall-*-win32.zip | grep -x certinstall.exe > /dev/null
# A window that never comes must fail the run, not hold it up.
timeout 900 tests/win32/wine_tests.sh "$windows"
stage "Windows builds and Wine tests"

fuzz/run.sh 60
stage "fuzzing"
