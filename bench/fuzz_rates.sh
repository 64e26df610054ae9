#!/usr/bin/env bash
# Executions a second of the archive and facade fuzz targets as the test run has them: from
# the seeds alone, the two side by side, each for SECONDS (default 60). FUZZ_BUILD (default
# build-fuzz) may hold another tree's targets, to compare. fuzz/run.sh makes the seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=$(realpath "${2:-build-fuzz}")
seeds=build-fuzz/seeds
[ -d "$seeds" ] || fuzz/run.sh 1 > /dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rate() {
    mkdir "$work/$1"
    cp "$seeds"/*.zip "$work/$1"/
    "$build/fuzz/$1" -max_total_time="$seconds" -max_len=70000 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$work/$1" 2>&1 |
        awk -v t="$1" '/average_exec_per_sec/ { print t ": " $2 " executions a second" }'
}
rate archive_fuzzer &
rate unzip_fuzzer
wait
