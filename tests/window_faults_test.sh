#!/usr/bin/env bash
# The Linux window under a user's hands: a click as soon as the window shows starts no
# second installation inside the first; after an error that left the run, Esc leaves the
# window open and the button installs everything.
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

# The error box, Esc on the window, then the button: a whole installation, window open.
start "$2"
main=$(window_named "$main_title")
error_box=$(window_named "$app_title" "Ошибка")
confirm "$error_box"
xdotool key --window "$main" Escape 2> /dev/null
click_button "$main"
done_box=$(window_named "$app_title" "Ошибка")
confirm "$done_box"
running || { echo "the window closed" >&2; exit 1; }
check_stores
echo "window faults test passed"
