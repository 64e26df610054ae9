#!/usr/bin/env bash
# The Windows programs under Wine on a virtual X server, each run in a throw-away prefix
# with Wine's own fonts, after the checks of the build and the package (package_test.sh):
# with a Russian user locale, the unit tests and then the installer in its window, its
# stores checked by thumbprint, with a store it may not open, and without its bundle; then
# the installer again on a French system (ANSI code page 1252), where its own texts and the
# system's must both still read right, on the screen as through the API.
#   wine_tests.sh WINDOWS-BUILD-FOLDER [SCREENSHOT.png]
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
screenshot=${2:+$(realpath "$2")}

# Wine's desktop takes the display it first starts with: the whole run is on the X server.
if [ -z "${WINE_TESTS_ON_X:-}" ]; then
    WINE_TESTS_ON_X=1 exec "$here/../on_own_display.sh" "$0" "$@"
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A 64-bit build needs Wine's 64-bit loader: the plain command prefers the 32-bit one
# whenever it is installed.
pe_machine() {
    local header
    header=$(od -An -tu4 -j60 -N4 "$1")
    od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' '
}
if [ "$(pe_machine "$build/certinstall.exe")" = 8664 ]; then
    export WINELOADER=/usr/lib/wine/wine64
    wine() { "$WINELOADER" "$@"; }
    export -f wine
    loader=$WINELOADER
else
    loader=/usr/lib/wine/wine
fi
if ! "$loader" --version > /dev/null 2>&1; then
    echo "wine_tests.sh: $loader does not run here, so neither does $1; on a machine whose" \
        "kernel runs no 32-bit program, test a 64-bit build (cmake/mingw-w64-x86_64.cmake)." >&2
    exit 1
fi
program_output=$(mktemp)
# Only the prefixes made here are removed: never one that the caller's environment names.
unset WINEPREFIX
# shellcheck source=../window_lib.sh
source "$here/../window_lib.sh"

# Wine's own fonts, as Debian keeps them; Wine looks for them elsewhere, so each prefix gets a
# copy in its fonts folder. Without them every text falls back to a font of the system's.
wine_fonts=/usr/share/wine/fonts
[ -e "$wine_fonts/sserifer.fon" ] ||
    { echo "wine_tests.sh: Wine's fonts are not in $wine_fonts (install fonts-wine)." >&2; exit 1; }

new_prefix() {
    [ -n "${WINEPREFIX:-}" ] && { wineserver -k 2> /dev/null || true; rm -rf "$WINEPREFIX"; }
    WINEPREFIX=$(mktemp -d)
    export WINEPREFIX LC_ALL=$1
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp "$wine_fonts"/* "$WINEPREFIX/drive_c/windows/Fonts/"
    wine wineboot -i > /dev/null 2>&1
    # Xvfb runs no window manager: Wine draws the frames itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f > /dev/null 2>&1
}
trap 'wineserver -k 2> /dev/null || true; rm -rf "${WINEPREFIX:-}" "$program_output"' EXIT

window_test() {
    "$here/../window_test.sh" "$@" -c "wine $build/tests/storecheck.exe" \
        wine "$build/certinstall.exe"
}


start() {
    wine "$build/$1" > "$program_output" 2>&1 &
    pid=$!
}

# The program ends by itself (or by what was just done to it) with that status.
ends_with() {
    timeout 60 tail --pid="$pid" -f /dev/null || { echo "the program did not end" >&2; return 1; }
    local status=0
    wait "$pid" || status=$?
    [ "$status" = "$1" ] || { echo "the program ended with $status, not $1" >&2; return 1; }
}

# The box with that title shows that icon ("error" or "none") and text; it is confirmed
# from outside and goes.
confirm_box() {
    local box seen
    box=$(window_named "$1")
    seen=$(wine "$build/tests/boxcheck.exe" "$1" | tr -d '\r')
    if [ "$seen" != "icon: $2"$'\n'"$3" ]; then
        printf 'the box "%s" shows\n%s\ninstead of\nicon: %s\n%s\n' "$1" "$seen" "$2" "$3" >&2
        return 1
    fi
    # One press: Wine may show the next box in the same window, which a second press would
    # confirm unseen.
    press_return "$box"
    window_gone "$box"
}

# Waits until the window is destroyed; a minute at the most.
window_gone() {
    for _ in $(seq 600); do
        xdotool getwindowname "$1" > /dev/null 2>&1 || return 0
        sleep 0.1
    done
    echo "window $1 still there after 60 s" >&2
    return 1
}

# A left click at that place of the window.
click() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove $((X + $2)) $((Y + $3)) click 1
}

# The task bar's entries: the windows shown that are neither owned nor kept off it.
taskbar_entries() {
    for id in $(xdotool search --onlyvisible --name . 2> /dev/null); do
        xprop -id "$id" WM_TRANSIENT_FOR _NET_WM_STATE |
            grep 'WM_TRANSIENT_FOR(WINDOW)\|_NET_WM_STATE_SKIP_TASKBAR' > /dev/null ||
            xdotool getwindowname "$id"
    done
}

# The marks drawn inside the button (its edges left out), black on white: one line for each,
# "WIDTHxHEIGHT+X+Y AREA". The window is laid out at 96 pixels per inch: the client area is
# 327 x 60 at the bottom of the frame that Wine draws, the button 309 x 45 at 8, 8 in it.
button_marks() {
    local border
    eval "$(xdotool getwindowgeometry --shell "$1")"
    border=$(((WIDTH - 327) / 2))
    xwd -id "$1" -silent |
        convert xwd:- -crop 301x37+$((border + 12))+$((HEIGHT - 60 - border + 12)) +repage \
            -threshold 50% -define connected-components:verbose=true -connected-components 8 \
            null: | awk '$NF == "srgb(0,0,0)" { print $2, $4 }'
}

# The button's caption is drawn letter by letter: of its 46 letters at least 40 marks of a
# letter's height are there (a few letters touch), and none is a solid box, which is what a
# font without the caption's letters draws in their place.
button_reads_right() {
    local marks
    for _ in $(seq 50); do
        marks=$(button_marks "$1" | awk '{ split($1, g, /[x+]/) }
            g[2] >= 5 { letters++ }
            g[1] >= 2 && g[2] >= 6 && $2 == g[1] * g[2] { boxes++ }
            END { print letters + 0, boxes + 0 }')
        [ "${marks% *}" -ge 40 ] && [ "${marks#* }" = 0 ] && return 0
        sleep 0.1
    done
    echo "the button shows ${marks% *} letters, ${marks#* } of them solid boxes" >&2
    return 1
}

# Without a bundle (or with an empty one) the box says so and the window stays: the button
# shows the same box again, clicked or, having the focus back, by Space; the close box ends
# the program. The task bar shows the application title only.
missing_bundle_test() {
    local main
    start "$1"
    main=$(window_named "$main_title")
    confirm_box "$app_title" error "Не найдена информация о корневых сертификатах."
    button_reads_right "$main"
    [ "$(taskbar_entries)" = "$app_title" ] || { echo "task bar: $(taskbar_entries)" >&2; return 1; }
    eval "$(xdotool getwindowgeometry --shell "$main")"
    click "$main" $((WIDTH / 2)) $((HEIGHT - 30)) # the button fills the window's lower part
    confirm_box "$app_title" error "Не найдена информация о корневых сертификатах."
    xdotool key space
    confirm_box "$app_title" error "Не найдена информация о корневых сертификатах."
    click "$main" $((WIDTH - 12)) 12 # the close box, in the frame's top right corner
    ends_with 2 # the bundle's error
    echo "missing bundle test passed: $1"
}

# With a store it may not open, each certificate's add to it fails with the system's words
# for it, in the error dialog: the bundle's three self-issued certificates go to "ROOT". The
# run finishes, and its status says that certificates failed.
denied_store_test() {
    local denied="Ошибка Win32.  Код: 5."$'\n'"$1"
    wine "$build/tests/storeaccess.exe" deny ROOT
    start certinstall.exe
    window_named "$main_title" > /dev/null
    for _ in 1 2 3; do
        confirm_box "Ошибка" error "$denied"
    done
    confirm_box "$app_title" none "Установка произведена !"
    ends_with 1
    wine "$build/tests/storeaccess.exe" allow ROOT
    echo "denied store test passed"
}

# The unit tests, their size sweep in two halves beside the rest: the sweep is most of their
# time, and it works in memory only.
unit_tests() {
    local tests=$build/tests/engine_tests.exe sweep='Sizes/BoundarySweep.*' halves=() half
    for half in 0 1; do
        GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$half wine "$tests" --gtest_brief=1 \
            --gtest_filter="$sweep" &
        halves+=($!)
    done
    wine "$tests" --gtest_brief=1 --gtest_filter="-$sweep"
    for half in "${halves[@]}"; do
        wait "$half"
    done
}

"$here/package_test.sh" "$build"
new_prefix ru_RU.UTF-8
unit_tests
denied_store_test "Доступ запрещён"
window_test ${screenshot:+-s "$screenshot"}
missing_bundle_test certinstall-nobundle.exe
missing_bundle_test certinstall-emptybundle.exe

new_prefix fr_FR.UTF-8
wine "$build/tests/engine_tests.exe" --gtest_brief=1 --gtest_filter='Win32Text.*:ShownMessage.*'
denied_store_test "Accès refusé"
window_test
missing_bundle_test certinstall-nobundle.exe
