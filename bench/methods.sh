#!/bin/sh
# Each method a library beside zlib decodes, on one corpus (48 MiB of varied text, 16 MiB of
# random bytes): `zaread -t` against `7z t` and, for the methods it reads, Python's zipfile.
# Wall time and peak resident set (bench/measure.py); deflate as the reference.
#   bench/methods.sh [ZAREAD] [RUNS]
set -e
zaread=${1:-build/zaread}
runs=${2:-3}
here=$(cd "$(dirname "$0")" && pwd)
dir=${BENCH_CORPORA:-/tmp/certinstall-bench}/methods
mkdir -p "$dir"
cd "$dir"
if [ ! -f text ]; then
    python3 -c "
import random
random.seed(3)
words = [''.join(random.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(random.randint(2, 9)))
         for _ in range(5000)]
with open('text', 'w') as f:
    size = 0
    while size < 48 << 20:
        line = ' '.join(random.choice(words) for _ in range(12)) + ' %d\n' % random.getrandbits(24)
        size += f.write(line)
open('random', 'wb').write(random.randbytes(16 << 20))"
fi
[ -f deflate.zip ] || python3 -c "
import sys, zipfile
for name, method in (('deflate.zip', zipfile.ZIP_DEFLATED), ('bzip2.zip', zipfile.ZIP_BZIP2),
                     ('lzma.zip', zipfile.ZIP_LZMA)):
    with zipfile.ZipFile(name, 'w', method) as z:
        for f in ('text', 'random'): z.write(f)"
[ -f zstd.zip ] || python3 "$here/peers/tool_zip.py" zstd.zip 93 'zstd -q -c -T1' text random
[ -f xz.zip ] || python3 "$here/peers/tool_zip.py" xz.zip 95 'xz -c -T1' text random
cd - > /dev/null
for method in deflate bzip2 lzma zstd xz; do
    archive="$dir/$method.zip"
    set -- engine "$zaread" -t "$archive" -- 7z 7z t "$archive"
    case $method in
    deflate | bzip2 | lzma) set -- "$@" -- python python3 "$here/peers/python_read.py" -t "$archive" ;;
    esac
    python3 "$here/measure.py" "$runs" "$method ($(du -m "$archive" | cut -f1) MiB)" -- "$@"
done
