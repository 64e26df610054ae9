# What the window tests share: windows found by their exact titles, dialogs confirmed, the
# Linux stores counted. The caller sets $data (the data folder, where the program under test
# prints into out.txt) and $pid (the program under test).
# Nothing here waits for a fixed time: each wait lasts until its condition holds or the
# program has ended, and the test's time limit ends a wait that never comes to either.

main_title="Установка корневых сертификатов в хранилище Windows"
app_title='Установка корневых сертификатов УЦ ЗАО "ЛАРКОН"'

running() { kill -0 "$pid" 2> /dev/null; }

# The viewable windows whose title is exactly the text. A window that exists but is not
# mapped yet takes no input, so it is not counted. xdotool's own name search does not match
# the titles' Cyrillic letters, so the titles are compared here.
windows_named() {
    local id
    for id in $(xdotool search --onlyvisible --name . 2> /dev/null); do
        [ "$(xdotool getwindowname "$id" 2> /dev/null)" = "$1" ] && echo "$id"
    done
    return 0
}

viewable() { xwininfo -id "$1" 2> /dev/null | grep -q "Map State: IsViewable"; }

# Waits for a viewable window with that title while the program runs; prints its id.
window_named() {
    local id
    while running; do
        id=$(windows_named "$1" | head -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "the program ended without a window \"$1\"; it printed:" >&2
    cat "$data/out.txt" >&2
    return 1
}

# Presses Return in the dialog until it has gone: a key that reaches the toolkit before it
# has the box ready is lost. The box goes at the press; the release may then miss it.
confirm() {
    while viewable "$1"; do
        xdotool key --window "$1" Return 2> /dev/null || true
        sleep 0.2
    done
}

click_button() {
    xdotool mousemove --window "$1" 160 30 click 1
}

count() { find "$data/certinstall/stores/$1" -regextype posix-extended -regex "$2" | wc -l; }

check_stores() {
    [ "$(count ROOT '.*/[0-9a-f]{8}\.[0-9]+')" = 3 ]
    [ "$(count CA '.*/[0-9a-f]{8}\.[0-9]+')" = 14 ]
    [ "$(count AddressBook '.*/[0-9a-f]{8}\.[0-9]+')" = 0 ]
    for store in ROOT CA AddressBook; do [ "$(count $store '.*/[0-9a-f]{8}\.r[0-9]+')" = 6 ]; done
}
