#!/usr/bin/env bash
# The Linux window under a user's hands: a click as soon as the window shows starts no
# second installation inside the first; after an error that left the run, Esc leaves the
# window open and the button installs everything. The error's box shows the icon theme's
# error icon and wraps a long message.
#   window_faults_test.sh PROGRAM STORE-ERROR-PROGRAM
# STORE-ERROR-PROGRAM is the installer whose first open of "ROOT" raises an error.
set -euo pipefail
. "$(dirname "$0")/window_lib.sh"
data=
trap 'rm -rf "$data"; [ -n "${pid:-}" ] && kill "$pid" 2> /dev/null; true' EXIT

start() {
    rm -rf "$data"
    data=$(mktemp -d)
    program_output=$data/out.txt
    HOME=$data XDG_DATA_HOME=$data "$1" > "$program_output" 2>&1 &
    pid=$!
}

# Clicked at once, the installation still runs once: one final message, then the end.
start "$1"
main=$(window_named "$main_title")
click_button "$main"
done_box=$(window_named "$app_title" "Ошибка")
confirm "$done_box"
while running; do
    if [ -n "$(windows_named "$app_title")" ]; then
        echo "a second final message: an installation ran inside another" >&2
        exit 1
    fi
    sleep 0.1
done
wait "$pid"
check_stores

# The box is narrower than its message on one line, as the console run of the same program
# prints it, in the box's font (11 pixels).
wraps_message() {
    local message width
    mkdir -p "$data/console"
    message=$(HOME=$data/console XDG_DATA_HOME=$data/console DISPLAY='' "$2" |
        sed 's/^\[[^]]*\] //') || true
    width=$(text_width DejaVu-Sans 8.25 "$message")
    eval "$(xdotool getwindowgeometry --shell "$1")"
    [ "$WIDTH" -lt "$width" ] ||
        { echo "the box is $WIDTH pixels wide for a message of $width on one line" >&2; return 1; }
}

# The box shows the icon theme's error icon: its picture, laid on the box's colour, is found
# in the box's top left corner.
shows_theme_error_icon() {
    local icon=/usr/share/icons/Adwaita/48x48/legacy/dialog-error.png found
    if [ ! -f "$icon" ]; then
        echo "the Adwaita icon theme is not installed: the error icon is not compared"
        return 0
    fi
    xwd -id "$1" -silent | convert xwd:- -crop 100x100+0+0 +repage "$data/corner.png"
    convert "$icon" -background "$(convert "$data/corner.png" -format '%[pixel:p{99,0}]' info:)" \
        -flatten "$data/icon.png"
    # The number of pixels that differ where it matches best, and where that is.
    found=$(compare -metric AE -fuzz 8% -subimage-search "$data/corner.png" "$data/icon.png" \
        null: 2>&1) || true
    [[ ${found%% *} =~ ^[0-9]+$ ]] && [ "${found%% *}" -le 46 ] ||
        { echo "the box does not show the theme's error icon: $found" >&2; return 1; }
}

# The error box, Esc on the window, then the button: a whole installation, window open.
start "$2"
main=$(window_named "$main_title")
error_box=$(window_named "$app_title" "Ошибка")
shows_theme_error_icon "$error_box"
wraps_message "$error_box" "$2"
confirm "$error_box"
xdotool key --window "$main" Escape 2> /dev/null
click_button "$main"
done_box=$(window_named "$app_title" "Ошибка")
confirm "$done_box"
running || { echo "the window closed" >&2; exit 1; }
check_stores
echo "window faults test passed"
