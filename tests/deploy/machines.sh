# shellcheck shell=bash
# Sourced, not run: fresh Debian 12 machines as chroots under a work folder, and the Ansible
# role played against them through Ansible's chroot connection. The deployment test and its
# benchmark share it.
#   deploy_tools_missing            says in one line what is missing to make and reach the
#                                   machines (root, debootstrap, Ansible's chroot connection, a
#                                   mirror), or nothing
#   make_machine DEB WORK ROOT      ROOT: a minimal Debian 12 with what Ansible, the judges and
#                                   the package DEB need; its log in WORK
#   test_package DEB PROGRAM OUT    OUT: DEB with PROGRAM as its program
#   release_machines WORK           unmounts what is mounted on or in WORK and removes WORK
#   write_inventory WORK ROOT...    WORK/inventory: the roots as hosts named after their folders
#   play WORK LOG VAR=VALUE...      the example playbook against the inventory; its recap in LOG

deploy_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../deploy/ansible" && pwd)
debian_mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

deploy_tools_missing() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "Making machines with debootstrap needs root"
    elif ! command -v debootstrap > /dev/null; then
        echo "debootstrap is not installed"
    elif ! ansible-doc -t connection community.general.chroot > /dev/null 2>&1; then
        echo "Ansible's chroot connection (Debian's ansible package) is not installed"
    elif ! curl -sf --max-time 20 -o /dev/null "$debian_mirror/dists/bookworm/InRelease"; then
        echo "debootstrap cannot reach the mirror $debian_mirror"
    fi
}

# The packages the .deb depends on, by name: apt installs them with it on a real machine, but
# here they come with the machine, downloaded once for all of them.
package_depends() {
    dpkg-deb -f "$1" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/[[:space:]]//g' |
        grep . | paste -sd,
}

# Ansible's modules need Python, and its apt module python3-apt; curl judges the trust.
# The downloaded packages are kept for the next run on this computer.
make_machine() {
    local deb=$1 root=$3 downloads=${XDG_CACHE_HOME:-$HOME/.cache}/certinstall/debootstrap
    mkdir -p "$downloads"
    debootstrap --foreign --variant=minbase --cache-dir="$downloads" \
        --include="python3,python3-apt,curl,ca-certificates,$(package_depends "$deb")" \
        bookworm "$root" "$debian_mirror" > "$2/debootstrap.log" 2>&1 || return
    # dpkg flushes every file it unpacks to the disk, which is most of the time here; a machine
    # thrown away after the run needs none of it, and it is made as usual once installed.
    echo force-unsafe-io > "$root/etc/dpkg/dpkg.cfg.d/unsafe-io-while-made"
    chroot "$root" /debootstrap/debootstrap --second-stage >> "$2/debootstrap.log" 2>&1 || return
    rm "$root/etc/dpkg/dpkg.cfg.d/unsafe-io-while-made"
}

# A debootstrap that failed half-way may leave the machine's /proc, /sys or even the host's /dev
# mounted in it: those are unmounted, and the removal stays on WORK's own file system anyway.
release_machines() {
    findmnt -rn -o TARGET | grep -e "^$1/" -e "^$1\$" | sort -r | xargs -r umount -l
    rm -rf --one-file-system "$1"
}

test_package() {
    local unpacked
    unpacked=$(mktemp -d)
    dpkg-deb -R "$1" "$unpacked"
    install -m 755 "$2" "$unpacked/usr/bin/certinstall"
    strip --strip-unneeded "$unpacked/usr/bin/certinstall"
    (cd "$unpacked" && find usr -type f -exec md5sum {} + > DEBIAN/md5sums)
    dpkg-deb -b --root-owner-group "$unpacked" "$3" > /dev/null
    rm -rf "$unpacked"
}

write_inventory() {
    local work=$1 root
    shift
    {
        echo "[all]"
        for root in "$@"; do
            echo "$(basename "$root") ansible_host=$root"
        done
        echo "[all:vars]"
        echo "ansible_connection=community.general.chroot"
        echo "ansible_python_interpreter=/usr/bin/python3"
        # A minimal Debian has su, not sudo.
        echo "ansible_become_method=su"
    } > "$work/inventory"
}

play() {
    local work=$1 log=$2
    shift 2
    local variables=()
    for variable in "$@"; do
        variables+=(-e "$variable")
    done
    ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_LOCAL_TEMP="$work/ansible-tmp" \
        ANSIBLE_HOME="$work/ansible-home" \
        ansible-playbook -i "$work/inventory" "${variables[@]}" "$deploy_dir/site.yml" > "$log" 2>&1
}
