# shellcheck shell=bash
# Package installation on Debian for setup.sh and the tests' own set-up; sourced, not run.
#   install_packages PACKAGE...                installs those not installed yet, or fails
#   try_packages WHAT PACKAGE...               the same for something optional: one line
#                                              saying why when it cannot be had
#   try_foreign_packages ARCH WHAT PACKAGE...  the same for another architecture's packages

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q 'install ok installed' ||
            echo "$p"
    done
}

# A mirror caught mid-sync fails an index now and then, sometimes for days and for one
# architecture only; what did download is still used, and the install says plainly when a
# package cannot be had. Once a run is enough, unless the sources change.
index_fresh=""
refresh_index() {
    [ -n "$index_fresh" ] && return
    index_fresh=1
    local attempt
    for attempt in 1 2; do
        [ "$attempt" = 2 ] && sleep 3
        $SUDO apt-get update -q > /dev/null 2>&1 && return
    done
    echo "Some package indexes could not be downloaded; going on with those that were." >&2
}

# A download that the mirror is still replacing fails once and then succeeds with a fresh
# index; a package that cannot be had at all is not asked for twice.
apt_install() {
    local attempt errors status=1
    errors=$(mktemp)
    for attempt in first again; do
        [ "$attempt" = again ] && { index_fresh=""; refresh_index; }
        if $SUDO apt-get install -y -q -o DPkg::Lock::Timeout=300 "$@" 2> "$errors"; then
            status=0
            break
        fi
        cat "$errors" >&2
        grep -q -e 'Failed to fetch' -e 'Hash Sum mismatch' -e 'unexpected size' "$errors" || break
    done
    rm -f "$errors"
    return $status
}

install_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@")
    [ ${#missing[@]} -eq 0 ] && return
    refresh_index
    apt_install --no-install-recommends "${missing[@]}" > /dev/null
}

try_packages() {
    local what=$1 missing log
    shift
    mapfile -t missing < <(missing_packages "$@")
    [ ${#missing[@]} -eq 0 ] && return
    refresh_index
    log=$(mktemp)
    if ! apt_install "${missing[@]}" > "$log" 2>&1; then
        echo "$what could not be installed ($(grep -m1 '^E:' "$log" || tail -n 1 "$log"))." >&2
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
}

# The architecture is added for the packages and, when they cannot be had (an index that
# fails, multi-arch versions that do not match), taken away again, so that apt is left as it
# was.
try_foreign_packages() {
    local arch=$1 added=""
    shift
    if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        $SUDO dpkg --add-architecture "$arch"
        added=1
        index_fresh=""
    fi
    try_packages "$@" && return
    [ -n "$added" ] && $SUDO dpkg --remove-architecture "$arch"
    return 1
}
