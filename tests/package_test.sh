#!/usr/bin/env bash
# The Debian package as a user gets it: Debian's own checker finds no error in it, it holds the
# program, its menu entry and the icon the entry names at every size drawn, and the program
# unpacked from it installs the bundle as the built one does.
#   package_test.sh BUILD-FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && cpack --config "$build/CPackConfig.cmake" > /dev/null)
deb=$(echo "$work"/certinstall_*_amd64.deb)
lintian --fail-on error "$deb" 2> /dev/null

root=$work/root
dpkg -x "$deb" "$root"
entry=$root/usr/share/applications/certinstall.desktop
program=$(sed -n 's/^Exec=//p' "$entry")
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -x "$root/usr/bin/$program" ] || { echo "the menu entry starts $program, which is not in the package"; exit 1; }
for size in 16 32 48; do
    png=$root/usr/share/icons/hicolor/${size}x$size/apps/$icon.png
    file "$png" | grep -q "PNG image data, $size x $size" || { echo "no $size-pixel icon $icon"; exit 1; }
done

# Each program in a home of its own, without a display; what each leaves must be the same.
installs() {
    mkdir "$work/$1"
    env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_DATA_HOME HOME="$work/$1" "$2" > "$work/$1.out"
    find "$work/$1/.local" -type f -printf '%P\n' | sort
    (cd "$work/$1/.local" && find . -type f -exec sha256sum {} + | sort -k 2)
    certutil -L -d "sql:$work/$1/.pki/nssdb"
    crlutil -L -d "sql:$work/$1/.pki/nssdb"
    cat "$work/$1.out"
}
installs built "$build/certinstall" > "$work/built.txt"
installs unpacked "$root/usr/bin/$program" > "$work/unpacked.txt"
grep -q '\.r0$' "$work/built.txt" || { echo "the built program installed no CRL"; exit 1; }
diff "$work/built.txt" "$work/unpacked.txt"
