#!/bin/sh
# Items encrypted with AES-256 by 7-Zip, about 100 MiB of mixed data (text, random bytes,
# zeros), deflated and stored: what `zaread -t` takes to decrypt and extract every item to
# memory, checking each authentication code (wall time and peak resident set,
# bench/measure.py), against `7z t`, which keeps no output. 7-Zip writes AE-2, so neither
# takes a CRC-32.
#   bench/aes.sh [ZAREAD] [RUNS]
set -e
zaread=${1:-build/zaread}
runs=${2:-3}
dir=${BENCH_CORPORA:-/tmp/certinstall-bench}/aes
mkdir -p "$dir"
if [ ! -f "$dir/aes256.zip" ]; then
    (
        cd "$dir"
        python3 -c "import os, random
random.seed(5)
os.makedirs('mixed', exist_ok=True)
for i in range(8):
    open('mixed/text%d.txt' % i, 'w').write(''.join(
        '%d certificate revocation entry %d\n' % (n, n * 7919 % 100003) for n in range(200000)))
    open('mixed/random%d.bin' % i, 'wb').write(random.randbytes(4 << 20))
    open('mixed/zeros%d.dat' % i, 'wb').write(bytes(1 << 20))"
        7z a -tzip -bd -pbench -mem=AES256 aes256.zip mixed > /dev/null
        7z a -tzip -bd -pbench -mem=AES256 -mm=Copy aes256-stored.zip mixed > /dev/null
        rm -r mixed
    )
fi
for archive in aes256 aes256-stored; do
    python3 "$(dirname "$0")/measure.py" "$runs" "$archive.zip, -t" \
        -- engine "$zaread" -P bench -t "$dir/$archive.zip" \
        -- 7z 7z t -pbench "$dir/$archive.zip"
done
