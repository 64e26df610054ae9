#!/bin/bash
# Times the installer over a home with the shared NSS database and ten Firefox profiles:
# the first run, which adds the whole bundle to every database, and a second run, which adds
# nothing. Each figure is the median of RUNS runs (default 5), each on a fresh home.
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

seconds() {
    local start end
    start=$(date +%s.%N)
    env -u DISPLAY -u WAYLAND_DISPLAY HOME="$1" XDG_DATA_HOME="$1/data" "$program" > /dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

first=() second=()
for run in $(seq "$runs"); do
    home=$scratch/home$run
    make_home "$home"
    first+=("$(seconds "$home")")
    second+=("$(seconds "$home")")
done
printf 'first run   %.3f s\nsecond run  %.3f s\n' \
    "$(printf '%s\n' "${first[@]}" | median)" "$(printf '%s\n' "${second[@]}" | median)"
