#!/bin/bash
# Times the installer over a home with the shared NSS database and ten Firefox profiles:
# the first run, which adds the whole bundle to every database, a second run, which adds
# nothing, and --status, which looks in every store. Each figure is the median of RUNS runs
# (default 5), each on a fresh home, with the fastest and the slowest run: the elapsed time,
# and the processor time (user and system), which other work on the machine disturbs less.
# The first run's elapsed time is mostly the databases' own flushes to disk. PROGRAM is the
# installer with the bundle it carries: build/certinstall with the test bundle (14 certificates
# and 6 CRLs), or build/bench/certinstall-mozilla with a CA's real set (142 roots).
#   bench/nss_databases.sh PROGRAM [RUNS]
set -euo pipefail
program=$(realpath "$1")
runs=${2:-5}
command -v certutil > /dev/null || { echo "certutil (libnss3-tools) makes the databases" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A home whose profiles.ini lists ten profiles, each with an empty database.
make_home() {
    local home=$1 firefox=$1/.mozilla/firefox
    mkdir -p "$firefox"
    for n in $(seq 0 9); do
        mkdir -p "$firefox/p$n.default"
        certutil -N --empty-password -d "sql:$firefox/p$n.default"
        printf '[Profile%d]\nName=p%d\nIsRelative=1\nPath=p%d.default\n\n' "$n" "$n" "$n" \
            >> "$firefox/profiles.ini"
    done
}

# "elapsed processor" seconds of one run, with the options that follow the home.
seconds() {
    local home=$1
    shift
    /usr/bin/time -f '%e %U %S' -o "$scratch/time" \
        env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_DATA_HOME="$home/data" "$program" \
        "$@" > /dev/null
    awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$scratch/time"
}

# The median, the fastest and the slowest of the numbers on standard input.
spread() { sort -n | awk '{ v[NR] = $1 } END { printf "%6.2f (%.2f-%.2f)", v[int((NR + 1) / 2)], v[1], v[NR] }'; }

first=() second=() status=()
for run in $(seq "$runs"); do
    home=$scratch/home$run
    make_home "$home"
    first+=("$(seconds "$home")")
    second+=("$(seconds "$home")")
    status+=("$(seconds "$home" --status)")
done
report() {
    local label=$1
    shift
    printf '%-11s %s s elapsed %s s processor\n' "$label" \
        "$(printf '%s\n' "$@" | cut -d' ' -f1 | spread)" \
        "$(printf '%s\n' "$@" | cut -d' ' -f2 | spread)"
}
report "first run" "${first[@]}"
report "second run" "${second[@]}"
report "--status" "${status[@]}"
