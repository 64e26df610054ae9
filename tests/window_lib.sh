# What the window tests share: windows found by their exact titles, dialogs confirmed, the
# Linux stores counted. The caller sets $pid (the program under test) and $program_output
# (the file it prints into).
# Nothing here waits for a fixed time: each wait lasts until its condition holds or the
# program has ended, and the caller's time limit ends a wait that never comes to either.

main_title="Установка корневых сертификатов в хранилище Windows"
app_title='Установка корневых сертификатов УЦ ЗАО "ЛАРКОН"'
here_lib=$(dirname "${BASH_SOURCE[0]}")

running() { kill -0 "$pid" 2> /dev/null; }

# The viewable windows whose title is exactly the text. A window that exists but is not
# mapped yet takes no input, and one of no size is the Windows program's task-bar entry:
# neither is counted. xdotool's own name search does not match the titles' Cyrillic
# letters, so the titles are compared here.
windows_named() {
    local id width
    for id in $(xdotool search --onlyvisible --name . 2> /dev/null); do
        [ "$(xdotool getwindowname "$id" 2> /dev/null)" = "$1" ] || continue
        width=$(xdotool getwindowgeometry --shell "$id" 2> /dev/null | sed -n 's/^WIDTH=//p')
        [ "${width:-0}" -gt 1 ] && echo "$id"
    done
    return 0
}

has_window_named() { [ -n "$(windows_named "$1")" ]; }

viewable() { xwininfo -id "$1" 2> /dev/null | grep -q "Map State: IsViewable"; }

# Waits for a viewable window with that title while the program runs; prints its id. A
# window with the second title, when one is given, fails the wait at once.
window_named() {
    local id
    while running; do
        if [ -n "${2:-}" ] && has_window_named "$2"; then
            echo "a window \"$2\" came instead of \"$1\"" >&2
            return 1
        fi
        # Not head: its early end could fail the pipe when two windows match.
        id=$(windows_named "$1" | sed -n 1p)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "the program ended without a window \"$1\"; it printed:" >&2
    cat "$program_output" >&2
    return 1
}

# Presses Return in the window. The box goes at the press, and the release then finds no
# window to go to: it is sent again to whatever has the focus, or the server would hold the
# key down and repeat it into the next program's box.
press_return() {
    xdotool windowfocus "$1" key --window "$1" Return 2> /dev/null || xdotool keyup Return
}

# Presses Return in the dialog until it has gone: a key that reaches the toolkit before it
# has the box ready is lost.
confirm() {
    while viewable "$1"; do
        press_return "$1"
        sleep 0.2
    done
}

click_button() {
    xdotool mousemove --window "$1" 160 30 click 1
}

carries_program_icon() {
    xprop -id "$1" -notype 32c _NET_WM_ICON 2> /dev/null | "$here_lib/icon_check.py"
}

# The window carries the program's icon, once the X server has it.
has_program_icon() {
    until carries_program_icon "$1" 2> /dev/null; do
        running || { carries_program_icon "$1"; return 1; }
        sleep 0.1
    done
}

count() { find "$data/certinstall/stores/$1" -regextype posix-extended -regex "$2" | wc -l; }

check_stores() {
    [ "$(count ROOT '.*/[0-9a-f]{8}\.[0-9]+')" = 3 ]
    [ "$(count CA '.*/[0-9a-f]{8}\.[0-9]+')" = 14 ]
    [ "$(count AddressBook '.*/[0-9a-f]{8}\.[0-9]+')" = 0 ]
    for store in ROOT CA AddressBook; do [ "$(count $store '.*/[0-9a-f]{8}\.r[0-9]+')" = 6 ]; done
}

# The class that task bars group the Linux program's windows by.
has_program_class() {
    local class
    class=$(xprop -id "$1" WM_CLASS)
    [ "$class" = 'WM_CLASS(STRING) = "certinstall", "Certinstall"' ] ||
        { echo "the window's class is not the program's: $class" >&2; return 1; }
}

# A window manager on the display, for what only one shows: icewm, which reads the Motif
# hints and says in _NET_WM_ALLOWED_ACTIONS what a window offers (openbox keeps its
# minimise button whatever a window asks). It keeps its settings in the caller's HOME.
# Without it, says so in one line, and $wm stays empty.
wm=
start_window_manager() {
    if ! command -v icewm > /dev/null; then
        echo "icewm is not installed: the checks under a window manager are skipped"
        return 0
    fi
    icewm > /dev/null 2>&1 &
    wm=$!
    until xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q "window id"; do
        kill -0 "$wm" 2> /dev/null || { echo "icewm did not start" >&2; return 1; }
        sleep 0.1
    done
}

stop_window_manager() { [ -z "$wm" ] || { kill "$wm" && wait "$wm"; } 2> /dev/null || true; }

# What the window manager offers, once it has taken the window on, is moving and closing.
offers_close_only() {
    local actions
    until actions=$(xprop -id "$1" _NET_WM_ALLOWED_ACTIONS 2> /dev/null) &&
        [[ $actions == *_NET_WM_ACTION_CLOSE* ]]; do
        running || return 1
        sleep 0.1
    done
    if [[ $actions =~ MINIMIZE|MAXIMIZE|RESIZE ]]; then
        echo "the window offers more than moving and closing: $actions" >&2
        return 1
    fi
}

# The width of a text on one line, in pixels, in a font of the display's.
text_width() {
    convert -font "$1" -pointsize "$2" -density 96 label:"$3" -format %w info:
}

# The caption fits the title bar: the window is as wide as the caption in icewm's title font
# (12 points), with room beside it for four buttons as wide as the title bar is high.
caption_fits() {
    local caption top needed
    caption=$(xdotool getwindowname "$1")
    top=$(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //' | cut -d, -f3)
    needed=$(($(text_width DejaVu-Sans 12 "$caption") + 4 * top))
    eval "$(xdotool getwindowgeometry --shell "$1")"
    [ "$WIDTH" -ge "$needed" ] ||
        { echo "the caption needs $needed pixels; the window is $WIDTH wide" >&2; return 1; }
}
