# Windows on the X server found by their titles, for the window tests to source. xdotool's own
# name search does not match the titles' Cyrillic letters, so the titles are compared here.
# When program_output names a file, a window that does not come prints it.

# The windows whose title is exactly the text, leaving out those of no size: the Windows
# program's task-bar entry is one, and is never the window looked for.
windows_named() {
    local id width
    for id in $(xdotool search --name . 2> /dev/null); do
        [ "$(xdotool getwindowname "$id" 2> /dev/null)" = "$1" ] || continue
        width=$(xdotool getwindowgeometry --shell "$id" 2> /dev/null | sed -n 's/^WIDTH=//p')
        [ "${width:-0}" -gt 1 ] && echo "$id"
    done
    return 0
}

# The first window with that title, waited for.
window_named() {
    local id
    for _ in $(seq 600); do
        id=$(windows_named "$1" | head -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "no window \"$1\" within 60 s" >&2
    if [ -n "${program_output:-}" ]; then
        echo "the program printed:" >&2
        cat "$program_output" >&2
    fi
    return 1
}

has_window_named() {
    [ -n "$(windows_named "$1")" ]
}

# Waits until the window is gone.
window_gone() {
    for _ in $(seq 600); do
        xdotool getwindowname "$1" > /dev/null 2>&1 || return 0
        sleep 0.1
    done
    echo "window $1 still there after 60 s" >&2
    return 1
}

# The window carries the program's icon, once the X server has it.
has_program_icon() {
    for _ in $(seq 50); do
        xprop -id "$1" -notype 32c _NET_WM_ICON 2> /dev/null |
            "$(dirname "${BASH_SOURCE[0]}")/icon_check.py" 2> /dev/null && return 0
        sleep 0.1
    done
    xprop -id "$1" -notype 32c _NET_WM_ICON | "$(dirname "${BASH_SOURCE[0]}")/icon_check.py"
}
