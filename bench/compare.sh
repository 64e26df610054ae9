#!/usr/bin/env bash
# Times the engine (zaread) against peer ZIP readers and the zlib limit on three corpora, and
# prints Markdown tables: median seconds of several runs, peak memory, ratio to the engine.
#   bench/compare.sh [RUNS]          corpora are kept in $BENCH_CORPORA (/tmp/certinstall-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
corpora=${BENCH_CORPORA:-/tmp/certinstall-bench}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build --target zaread libzip_read minizip_read zlib_limit libdeflate_limit > /dev/null
python3 bench/make_corpora.py "$corpora" 10000 100000 1000000
b=build/bench
measure() { python3 -u bench/measure.py "$runs" "$@"; }

measure "A: open and list 100,000 small items" \
    -- engine build/zaread -l "$corpora/A-100000.zip" \
    -- libzip $b/libzip_read -l "$corpora/A-100000.zip" \
    -- minizip $b/minizip_read -l "$corpora/A-100000.zip" \
    -- unzip-l unzip -l "$corpora/A-100000.zip" \
    -- python python3 bench/peers/python_read.py -l "$corpora/A-100000.zip"

for n in 10000 1000000; do
    measure "A at $n items" \
        -- engine build/zaread -l "$corpora/A-$n.zip" \
        -- libzip $b/libzip_read -l "$corpora/A-$n.zip" \
        -- minizip $b/minizip_read -l "$corpora/A-$n.zip" \
        -- unzip-l unzip -l "$corpora/A-$n.zip"
done

for corpus in B C M; do
    case $corpus in
    B) title="B: extract 200 MB in 200 items to memory, checking each CRC" ;;
    C) title="C: extract one 1 GiB item to memory, checking its CRC" ;;
    M) title="M: extract 234 MB in 19 items of mixed sizes to memory, checking each CRC" ;;
    esac
    measure "$title" \
        -- engine build/zaread -t "$corpora/$corpus.zip" \
        -- zlib-limit $b/zlib_limit "$corpora/$corpus.zip" \
        -- libdeflate-limit $b/libdeflate_limit "$corpora/$corpus.zip" \
        -- libzip $b/libzip_read -t "$corpora/$corpus.zip" \
        -- minizip $b/minizip_read -t "$corpora/$corpus.zip" \
        -- unzip-t unzip -tq "$corpora/$corpus.zip" \
        -- unzip-p unzip -p "$corpora/$corpus.zip" \
        -- python python3 bench/peers/python_read.py -t "$corpora/$corpus.zip"
done
