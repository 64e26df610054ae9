#!/usr/bin/env bash
# The installer in a real window on an X server: the window appears with its caption, the
# final message is confirmed from outside, the program ends by itself, and the stores are
# filled. A second run shows no error dialog. The window carries the program's icon.
#   window_test.sh [-w] [-s SCREENSHOT.png] [-c STORE-CHECK-COMMAND] PROGRAM [ARGUMENT...]
# Without -c the stores are the Linux ones, counted in a fresh data folder. With -w the Linux
# program runs under a window manager: both windows carry its class and icon, the window
# offers no more than moving and closing, and the message's caption fits its title bar.
set -euo pipefail
. "$(dirname "$0")/window_lib.sh"
screenshot=
check=check_stores
linux=
while getopts ws:c: option; do
    case $option in
    w) linux=1 ;;
    s) screenshot=$OPTARG ;;
    c) check=$OPTARG ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
data=$(mktemp -d)
trap 'stop_window_manager; rm -rf "$data"' EXIT
# The stores and the shared NSS database of a throw-away user.
export HOME=$data XDG_DATA_HOME=$data
[ -z "$linux" ] || start_window_manager
program_output=$data/out.txt

# The window with the final message moved beside it, since some servers leave a window
# that overlaps another unpainted in a picture of the screen.
take_screenshot() {
    local main
    main=$(window_named "$main_title")
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool windowmove --sync "$1" "$X" $((Y + HEIGHT + 20))
    xwd -root -silent | convert xwd:- -trim "$screenshot"
}

run_once() {
    "$@" > "$program_output" 2>&1 &
    pid=$!
    local main dialog
    main=$(window_named "$main_title")
    has_program_icon "$main" || { echo "the window does not carry the program's icon" >&2; return 1; }
    # An error dialog would hold the final message back.
    dialog=$(window_named "$app_title" "Ошибка")
    if [ -n "$linux" ]; then
        # The Linux program sets its windows' icons before it shows them.
        carries_program_icon "$dialog" ||
            { echo "the message does not carry the program's icon" >&2; return 1; }
        has_program_class "$main"
        has_program_class "$dialog"
        if [ -n "$wm" ]; then
            offers_close_only "$main"
            caption_fits "$dialog"
        fi
    fi
    if [ -n "$screenshot" ]; then
        take_screenshot "$dialog"
        screenshot=
    fi
    confirm "$dialog"
    wait "$pid"
}

run_once "$@"
$check
run_once "$@"
$check
echo "window test passed"
