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
# The bundle as files, which the registry's rows are judged by.
bundle=$(mktemp -d)
unzip -q "$here/../../resources/roots.zip" -d "$bundle"
trap 'wineserver -k 2> /dev/null || true; rm -rf "${WINEPREFIX:-}" "$program_output" "$bundle"' EXIT

window_test() {
    "$here/../window_test.sh" "$@" -c "wine $build/tests/storecheck.exe" \
        wine "$build/certinstall.exe"
}


start() {
    wine "$build/$1" "${@:2}" > "$program_output" 2>&1 &
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
# the program, whose status tells of the bundle. The task bar shows the application title only.
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

# The certificates and CRLs that the registry keeps under HKLM or HKCU, one line for each:
# "STORE\KIND\THUMBPRINT", in capitals. Wine keeps the host's roots in the computer's ROOT
# and takes them out and puts them back as processes open it: the roots there that are not
# the bundle's are left out.
registry_objects() {
    local all
    all=$(wine reg query "$1\\Software\\Microsoft\\SystemCertificates" /s 2> /dev/null |
        tr -d '\r' | sed -n 's/^HKEY_[A-Z_]*\\Software\\Microsoft\\SystemCertificates\\//p' |
        grep -E '^[^\\]+\\(Certificates|CRLs)\\[^\\]+$' | tr '[:lower:]' '[:upper:]' || true)
    {
        grep -v '^ROOT\\CERTIFICATES\\' <<< "$all"
        grep -F -x -f <(bundle_objects) <<< "$all" | grep '^ROOT\\CERTIFICATES\\'
    } | sort || true
}

# A file's SHA-1, as the registry names the object: in capitals.
thumbprint() { sha1sum < "$1" | cut -c1-40 | tr '[:lower:]' '[:upper:]'; }

# What the bundle puts into a scope's stores, named as the registry names it, by OpenSSL and
# sha1sum: every certificate in CA, a self-issued one in ROOT as well, every CRL in all three.
bundle_objects() {
    local file sha1 names
    for file in "$bundle"/*/*; do
        sha1=$(thumbprint "$file")
        if [[ $file == *.crl ]]; then
            printf '%s\\CRLS\\'"$sha1"'\n' ROOT CA ADDRESSBOOK
            continue
        fi
        echo "CA\\CERTIFICATES\\$sha1"
        names=$(openssl x509 -inform DER -in "$file" -noout -subject -issuer -nameopt RFC2253 |
            sed 's/^[a-z]*=//' | uniq | wc -l)
        [ "$names" = 1 ] && echo "ROOT\\CERTIFICATES\\$sha1"
    done | sort
}

# Another authority's certificate in the computer's CA, written as crypt32 keeps one: a key
# named by its SHA-1, whose value "Blob" holds the DER as property 32 (the encoded certificate).
plant_certificate() {
    local der length key
    der=$(mktemp)
    openssl req -x509 -newkey rsa:2048 -nodes -keyout /dev/null -subj "/CN=Another authority" \
        -days 30 -outform DER -out "$der" 2> /dev/null
    length=$(stat -c %s "$der")
    key="HKLM\\Software\\Microsoft\\SystemCertificates\\CA\\Certificates\\$(thumbprint "$der")"
    wine reg add "$key" /v Blob /t REG_BINARY /f /d \
        "2000000001000000$(printf '%02X' $((length & 255)) $((length >> 8 & 255)) \
            $((length >> 16 & 255)) $((length >> 24)))$(xxd -p "$der" | tr -d '\n')" > /dev/null
    rm "$der"
}

# The registry holds that list of objects under the root key.
registry_holds() {
    local held
    held=$(registry_objects "$1")
    [ "$held" = "$2" ] ||
        { printf 'under %s, wrong:\n' "$1" >&2; diff <(echo "$2") <(echo "$held") >&2; return 1; }
}

# The windows shown, the task bar's entries (one pixel wide) left out.
shown_windows() {
    local id width
    for id in $(xdotool search --onlyvisible --name . 2> /dev/null); do
        width=$(xdotool getwindowgeometry --shell "$id" 2> /dev/null | sed -n 's/^WIDTH=//p')
        [ "${width:-0}" -gt 1 ] && xdotool getwindowname "$id"
    done
    return 0
}

# The command ends by itself, showing no window while it runs; its exit status is left in
# $ended.
unseen() {
    local shown
    "$@" > "$program_output" 2>&1 &
    pid=$!
    while running; do
        shown=$(shown_windows)
        [ -z "$shown" ] || { echo "$* shows a window: $shown" >&2; return 1; }
        sleep 0.05
    done
    ended=0
    wait "$pid" || ended=$?
}

# The command (shown as WHAT) ended with that status.
ended_with() {
    [ "$ended" = "$1" ] || { echo "$2 ended with $ended, not $1" >&2; return 1; }
}

# The program with those options ends by itself with that status, showing no window while
# it runs.
runs_unseen() {
    unseen wine "$build/certinstall.exe" "${@:2}"
    ended_with "$1" "certinstall ${*:2}"
}

# The program with those options (and no window) ends with that status.
status_is() {
    local status=0
    wine "$build/certinstall.exe" "${@:2}" > /dev/null || status=$?
    [ "$status" = "$1" ] || { echo "certinstall ${*:2} ended with $status, not $1" >&2; return 1; }
}

# The lines of the file, however they end.
lines_of() { tr -d '\r' < "$1"; }

# The program printed that line, and only that; the line is kept in $console, which the log is
# to hold at the end.
printed_once() {
    [ "$(lines_of "$program_output")" = "$1" ] ||
        { printf 'the program printed\n%s\ninstead of\n%s\n' "$(cat "$program_output")" "$1" >&2; return 1; }
    console+=$1$'\n'
}

# The computer's stores from the command line. The installation fills HKLM's stores with the
# bundle, and nothing else; the removal takes exactly that out again, another authority's
# certificate staying, and a second one changes nothing; the user's keys stay as they were
# throughout. No window shows. The status says where it stands, and the log gets the lines
# that the console gets.
machine_test() {
    local log="$WINEPREFIX/drive_c/certinstall.log" machine user console=""
    status_is 1 /status /machine
    plant_certificate
    machine=$(registry_objects HKLM)
    user=$(registry_objects HKCU)
    runs_unseen 0 /machine /quiet /log 'C:\certinstall.log'
    printed_once "[$app_title] Установка произведена !"
    registry_holds HKLM "$(sort <(echo "$machine") <(bundle_objects) | sed '/^$/d')"
    registry_holds HKCU "$user"
    wine "$build/tests/storecheck.exe" machine
    status_is 0 /status /machine
    for _ in 1 2; do
        runs_unseen 0 /remove /machine /log 'C:\certinstall.log'
        printed_once "[$app_title] Удаление произведено !"
        registry_holds HKLM "$machine"
        registry_holds HKCU "$user"
        wine "$build/tests/storecheck.exe" machine removed
    done
    status_is 1 /status /machine
    [ "$(lines_of "$log")" = "${console%$'\n'}" ] ||
        { printf 'the log holds\n%s\ninstead of\n%s\n' "$(cat "$log")" "$console" >&2; return 1; }
    echo "machine test passed"
}

# The command line under that bold label in the deployment notes: the first line of the
# block after it.
deployment_line() {
    awk -v label="**$1**" '$0 == label { found = 1 } found && /^```/ { getline; print; exit }' \
        "$here/../../deploy/windows/README.md"
}

# That command line as a deployment agent runs it: through the command interpreter, from the
# folder C:\FOLDER, showing no window; its exit status is left in $ended.
agent_runs() {
    printf '%s\r\n' "$2" > "$WINEPREFIX/drive_c/agent.cmd"
    unseen bash -c 'cd "$1" && wine cmd /c "C:\\agent.cmd"' _ "$WINEPREFIX/drive_c/$1"
}

# The folder C:\FOLDER as the agent gets it: the program and the startup script.
agent_content() {
    mkdir -p "$WINEPREFIX/drive_c/$1"
    cp "$build/certinstall.exe" "$here/../../deploy/windows/certinstall-startup.cmd" \
        "$WINEPREFIX/drive_c/$1/"
}

# The deployment notes' command lines, run as the agents run them. Intune's (and
# Configuration Manager's) install from a content folder that is deleted after it; the
# detection before it, after it, after someone took a certificate out (and after the install
# that follows), and after the uninstall; then the Group Policy startup script, twice. The
# computer's stores get exactly the bundle and lose exactly it again, the user's stay as they
# were, and the log gets one line for each install and nothing else.
agent_test() {
    local log="$WINEPREFIX/drive_c/ProgramData/certinstall.log" machine user installed done_line
    local install detection uninstall startup
    install=$(deployment_line "Install command")
    detection=$(deployment_line "Detection command")
    uninstall=$(deployment_line "Uninstall command")
    startup=$(deployment_line "Startup script")
    machine=$(registry_objects HKLM)
    user=$(registry_objects HKCU)
    installed=$(sort <(echo "$machine") <(bundle_objects) | sed '/^$/d')
    done_line="[$app_title] Установка произведена !"
    rm -f "$log"

    agent_content content
    agent_runs "" "$detection"
    [ "$ended" != 0 ] || { echo "detected before the install" >&2; return 1; }
    agent_runs content "$install"
    ended_with 0 "the install command"
    rm -r "$WINEPREFIX/drive_c/content"
    registry_holds HKLM "$installed"
    registry_holds HKCU "$user"
    agent_runs "" "$detection"
    ended_with 0 "the detection after the install"

    wine reg delete "HKLM\\Software\\Microsoft\\SystemCertificates\\$(bundle_objects | head -n 1)" \
        /f > /dev/null
    agent_runs "" "$detection"
    ended_with 1 "the detection with a certificate missing"
    agent_content content
    agent_runs content "$install"
    ended_with 0 "the install again"
    registry_holds HKLM "$installed"
    agent_runs "" "$detection"
    ended_with 0 "the detection after the install again"
    [ "$(lines_of "$log")" = "$done_line"$'\n'"$done_line" ] ||
        { printf 'after two installs the log holds\n%s\n' "$(cat "$log")" >&2; return 1; }

    agent_runs content "$uninstall"
    ended_with 0 "the uninstall command"
    rm -r "$WINEPREFIX/drive_c/content"
    registry_holds HKLM "$machine"
    registry_holds HKCU "$user"
    [ ! -e "$WINEPREFIX/drive_c/ProgramData/certinstall" ] ||
        { echo "the uninstall left the program's copy" >&2; return 1; }
    agent_runs "" "$detection"
    [ "$ended" != 0 ] || { echo "detected after the uninstall" >&2; return 1; }

    agent_content gpo
    for _ in 1 2; do
        agent_runs gpo "$startup"
        ended_with 0 "the startup script"
        registry_holds HKLM "$installed"
        registry_holds HKCU "$user"
    done
    [ "$(lines_of "$log")" = "$done_line"$'\n'"$done_line"$'\n'"$done_line" ] ||
        { printf 'the startup script, twice, left the log\n%s\n' "$(cat "$log")" >&2; return 1; }
    wine "$build/certinstall.exe" /remove /machine /quiet 2> /dev/null
    echo "agent test passed"
}

"$here/package_test.sh" "$build"
new_prefix ru_RU.UTF-8
unit_tests
denied_store_test "Доступ запрещён"
window_test ${screenshot:+-s "$screenshot"}
missing_bundle_test certinstall-nobundle.exe
missing_bundle_test certinstall-emptybundle.exe
machine_test
agent_test

new_prefix fr_FR.UTF-8
wine "$build/tests/engine_tests.exe" --gtest_brief=1 --gtest_filter='Win32Text.*:ShownMessage.*'
denied_store_test "Accès refusé"
window_test
missing_bundle_test certinstall-nobundle.exe
