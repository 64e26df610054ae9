#!/usr/bin/env bash
# The installer in a real window under Xvfb: the window appears with its caption, the final
# message is confirmed from outside, the program ends by itself, and the stores are filled.
# A second run shows no error dialog. The window carries the program's icon.
#   window_test.sh [-s SCREENSHOT.png] [-c STORE-CHECK-COMMAND] PROGRAM [ARGUMENT...]
# Without -c the stores are the Linux ones, counted in a fresh data folder.
set -euo pipefail
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
export XDG_DATA_HOME=$data

program_output=$data/out.txt
# shellcheck source=xwindows.sh
source "$(dirname "$0")/xwindows.sh"

# The window with the final message moved beside it, since some servers leave a window
# that overlaps another unpainted in a picture of the screen.
take_screenshot() {
    local main
    main=$(window_named "Установка корневых сертификатов в хранилище Windows")
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool windowmove "$1" "$X" $((Y + HEIGHT + 20))
    sleep 1
    xwd -root -silent | convert xwd:- -trim "$screenshot"
}

run_once() {
    "$@" > "$data/out.txt" 2>&1 &
    local pid=$!
    local main dialog
    main=$(window_named "Установка корневых сертификатов в хранилище Windows")
    has_program_icon "$main" || { echo "the window does not carry the program's icon" >&2; return 1; }
    dialog=$(window_named 'Установка корневых сертификатов УЦ ЗАО "ЛАРКОН"')
    if [ -n "$screenshot" ]; then
        take_screenshot "$dialog"
        screenshot=
    fi
    if has_window_named "Ошибка"; then
        echo "an error dialog was shown" >&2
        return 1
    fi
    # The box goes at the key press; the release may then miss its window.
    xdotool windowfocus "$dialog" key --window "$dialog" Return 2> /dev/null || true
    timeout 60 tail --pid="$pid" -f /dev/null || { echo "the program did not end" >&2; return 1; }
    wait "$pid"
}

count() { find "$data/certinstall/stores/$1" -regextype posix-extended -regex "$2" | wc -l; }

check_stores() {
    [ "$(count ROOT '.*/[0-9a-f]{8}\.[0-9]+')" = 3 ]
    [ "$(count CA '.*/[0-9a-f]{8}\.[0-9]+')" = 14 ]
    [ "$(count AddressBook '.*/[0-9a-f]{8}\.[0-9]+')" = 0 ]
    for store in ROOT CA AddressBook; do [ "$(count $store '.*/[0-9a-f]{8}\.r[0-9]+')" = 6 ]; done
}

run_once "$@"
$check
run_once "$@"
$check
echo "window test passed"
