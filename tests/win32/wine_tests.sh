#!/usr/bin/env bash
# The Windows programs under Wine, in a throw-away prefix with a Russian user locale and a
# virtual X server: the unit tests, then the installer in its window, its stores checked by
# thumbprint.
#   wine_tests.sh WINDOWS-BUILD-FOLDER [SCREENSHOT.png]
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
screenshot=${2:+$(realpath "$2")}

# Wine's desktop takes the display it first starts with: the whole run is on the X server.
if [ -z "${WINE_TESTS_ON_X:-}" ]; then
    WINE_TESTS_ON_X=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

WINEPREFIX=$(mktemp -d)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=ru_RU.UTF-8
trap 'wineserver -k 2> /dev/null || true; rm -rf "$WINEPREFIX"' EXIT

wineboot -i > /dev/null 2>&1
# Xvfb runs no window manager: Wine draws the frames itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f > /dev/null 2>&1

wine "$build/tests/engine_tests.exe" --gtest_brief=1
"$here/../window_test.sh" ${screenshot:+-s "$screenshot"} \
    -c "wine $build/tests/storecheck.exe" wine "$build/certinstall.exe"
