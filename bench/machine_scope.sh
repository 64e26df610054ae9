#!/bin/bash
# Times --machine (the anchors, the distribution's tool with its hooks, the browsers'
# policies) and --remove --machine, RUNS times each (default 5): the median elapsed time with
# the fastest and the slowest run. As root, in a private mount namespace over copies of what
# it writes (tests/machine/private_machine.sh), so that the machine's own files are never
# touched.
#   bench/machine_scope.sh PROGRAM [RUNS]
set -euo pipefail
program=$(realpath "$1")
runs=${2:-5}
[ "$(id -u)" -eq 0 ] || { echo "the computer's stores need root" >&2; exit 2; }
if [ -z "${IN_PRIVATE_MOUNTS:-}" ]; then
    exec env IN_PRIVATE_MOUNTS=1 unshare -m --propagation private "$0" "$@"
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# shellcheck source=../tests/machine/private_machine.sh
source "$(dirname "$0")/../tests/machine/private_machine.sh"
private_machine "$scratch"

seconds() {
    /usr/bin/time -f '%e' -o "$scratch/time" "$program" --machine --quiet "$@" 2> /dev/null
    cat "$scratch/time"
}
spread() { sort -n | awk '{ v[NR] = $1 } END { printf "%6.2f (%.2f-%.2f)", v[int((NR + 1) / 2)], v[1], v[NR] }'; }

install=() removal=()
for _ in $(seq "$runs"); do
    install+=("$(seconds)")
    removal+=("$(seconds --remove)")
done
printf '%-18s %s s elapsed\n' "--machine" "$(printf '%s\n' "${install[@]}" | spread)"
printf '%-18s %s s elapsed\n' "--remove --machine" "$(printf '%s\n' "${removal[@]}" | spread)"
