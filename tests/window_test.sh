#!/usr/bin/env bash
# The installer in a real window on an X server: the window appears with its caption, the
# final message is confirmed from outside, the program ends by itself, and the stores are
# filled. A second run shows no error dialog. The window carries the program's icon.
#   window_test.sh [-s SCREENSHOT.png] [-c STORE-CHECK-COMMAND] PROGRAM [ARGUMENT...]
# Without -c the stores are the Linux ones, counted in a fresh data folder.
set -euo pipefail
. "$(dirname "$0")/window_lib.sh"
screenshot=
check=check_stores
while getopts s:c: option; do
    case $option in
    s) screenshot=$OPTARG ;;
    c) check=$OPTARG ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
# The stores and the shared NSS database of a throw-away user.
export HOME=$data XDG_DATA_HOME=$data
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
