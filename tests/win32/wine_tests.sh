#!/usr/bin/env bash
# The Windows programs under Wine on a virtual X server, each run in a throw-away prefix:
# with a Russian user locale, the unit tests and then the installer in its window, its
# stores checked by thumbprint; then the installer again on a system whose ANSI code page is
# 1252, where its texts must still read right.
#   wine_tests.sh WINDOWS-BUILD-FOLDER [SCREENSHOT.png]
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
screenshot=${2:+$(realpath "$2")}

# Wine's desktop takes the display it first starts with: the whole run is on the X server.
if [ -z "${WINE_TESTS_ON_X:-}" ]; then
    WINE_TESTS_ON_X=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

new_prefix() {
    [ -n "${WINEPREFIX:-}" ] && { wineserver -k 2> /dev/null || true; rm -rf "$WINEPREFIX"; }
    WINEPREFIX=$(mktemp -d)
    export WINEPREFIX LC_ALL=$1
    wineboot -i > /dev/null 2>&1
    # Xvfb runs no window manager: Wine draws the frames itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f > /dev/null 2>&1
}
trap 'wineserver -k 2> /dev/null || true; rm -rf "$WINEPREFIX"' EXIT

window_test() {
    "$here/../window_test.sh" "$@" -c "wine $build/tests/storecheck.exe" \
        wine "$build/certinstall.exe"
}

new_prefix ru_RU.UTF-8
wine "$build/tests/engine_tests.exe" --gtest_brief=1
window_test ${screenshot:+-s "$screenshot"}

new_prefix C.UTF-8
window_test
