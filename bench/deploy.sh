#!/bin/bash
# Times the Ansible role (deploy/ansible) on one fresh Debian 12 machine, made by debootstrap as
# the deployment test makes it (tests/deploy/machines.sh), with the package's dependencies
# already there: the first play (copies and installs the package, fills the computer's
# stores) and the second (finds everything in place), each on a fresh copy of the machine,
# RUNS times (default 5). Then `certinstall --status --machine` on the filled machine, which a
# deployment agent runs at every detection, STATUS_RUNS times (default 30). Each figure is the
# median elapsed time with the fastest and the slowest run. Needs root; everything is written
# inside the machines only.
#   bench/deploy.sh DEB [RUNS] [STATUS_RUNS]
set -euo pipefail
deb=$(realpath "$1")
runs=${2:-5}
status_runs=${3:-30}
# shellcheck source=../tests/deploy/machines.sh
source "$(dirname "$0")/../tests/deploy/machines.sh"
missing=$(deploy_tools_missing)
[ -z "$missing" ] || { echo "$missing." >&2; exit 2; }

work=$(mktemp -d -p "$(dirname "$deb")" deploy-bench.XXXXXX)
trap 'release_machines "$work"' EXIT
make_machine "$deb" "$work" "$work/fresh" ||
    { tail -n 20 "$work/debootstrap.log" >&2; exit 1; }
write_inventory "$work" "$work/machine"

# Milliseconds since the epoch.
now() { echo $((${EPOCHREALTIME/./} / 1000)); }
spread() { sort -n | awk '{ v[NR] = $1 } END { printf "%8.3f (%.3f-%.3f)", v[int((NR + 1) / 2)], v[1], v[NR] }'; }
timed_play() {
    local started
    started=$(now)
    play "$work" "$work/play.log" "certinstall_deb=$deb" ||
        { cat "$work/play.log" >&2; exit 1; }
    awk -v t=$(($(now) - started)) 'BEGIN { print t / 1000 }'
}

first=() second=()
for _ in $(seq "$runs"); do
    if mountpoint -q "$work/machine/proc"; then umount -l "$work/machine/proc"; fi
    rm -rf "$work/machine"
    cp -a "$work/fresh" "$work/machine"
    mount -t proc proc "$work/machine/proc"
    first+=("$(timed_play)")
    second+=("$(timed_play)")
done

status=()
for _ in $(seq "$status_runs"); do
    started=$(now)
    chroot "$work/machine" certinstall --status --machine > /dev/null
    status+=("$(awk -v t=$(($(now) - started)) 'BEGIN { print t / 1000 }')")
done

printf '%-28s %s s elapsed, %d runs\n' "first play, one host" \
    "$(printf '%s\n' "${first[@]}" | spread)" "$runs"
printf '%-28s %s s elapsed, %d runs\n' "second play, one host" \
    "$(printf '%s\n' "${second[@]}" | spread)" "$runs"
printf '%-28s %s s elapsed, %d runs\n' "--status --machine, filled" \
    "$(printf '%s\n' "${status[@]}" | spread)" "$status_runs"
