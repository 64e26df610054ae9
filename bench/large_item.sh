#!/bin/sh
# One item of 512 MiB of zeros: what `zaread -t` takes to extract it to memory (wall time
# and peak resident set, bench/measure.py), against `unzip -t`, which keeps no output.
#   bench/large_item.sh [ZAREAD] [RUNS]
set -e
zaread=${1:-build/zaread}
runs=${2:-3}
dir=${BENCH_CORPORA:-/tmp/certinstall-bench}
mkdir -p "$dir"
archive="$dir/zeros-512MiB.zip"
if [ ! -f "$archive" ]; then
    python3 -c "import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    with z.open('zeros', 'w', force_zip64=True) as f:
        for _ in range(512): f.write(bytes(1 << 20))" "$archive"
fi
python3 "$(dirname "$0")/measure.py" "$runs" "512 MiB of zeros, -t" \
    -- engine "$zaread" -t "$archive" -- unzip unzip -tq "$archive"
