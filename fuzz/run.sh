#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs them, as many at once as there are cores, for
# SECONDS in all (default 60), on a corpus seeded with archives of the kinds the tests use. Exits non-zero when a target finds a
# crash, a hang or a sanitizer report; the input is left in build-fuzz/ (crash-*, timeout-*).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=build-fuzz
targets=(archive_fuzzer unzip_fuzzer mask_fuzzer differential_fuzzer methods_fuzzer)
# Each target's share of the whole time, so that more targets do not make the run longer.
per_target=$((seconds * $(nproc) / ${#targets[@]}))
per_target=$((per_target > 0 ? per_target : 1))

cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DCERTINSTALL_FUZZ=ON -DCERTINSTALL_TESTS=OFF \
    -DCERTINSTALL_INSTALLER=OFF > /dev/null
cmake --build "$out"

seeds="$out/seeds"
if [ ! -d "$seeds" ]; then
    mkdir -p "$seeds/src/sub"
    (
        cd "$seeds"
        seq 1 3000 > src/numbers.txt
        head -c 3000 /dev/urandom > src/sub/random.bin
        : > src/empty.txt
        zip -q -r deflated.zip src && zip -q -r -0 stored.zip src
        zip -q -r -e -P fuzz encrypted.zip src && zip -q -r - src > piped.zip
        # Items encrypted with AES, deflated and stored, where 7-Zip is installed.
        if command -v 7z > /dev/null; then
            7z a -tzip -bd -pfuzz -mem=AES256 aes256.zip src > /dev/null
            7z a -tzip -bd -pfuzz -mem=AES128 -mm=Copy aes128-stored.zip src > /dev/null
        fi
        python3 -c "
import zipfile
with zipfile.ZipFile('zip64.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    with z.open('a.txt', 'w', force_zip64=True) as f: f.write(b'zip64 ' * 100)
    z.writestr('b/', '')
    z.comment = b'archive comment'
"
        rm -rf src
    )
    cp resources/roots.zip "$seeds/"
fi
# Recipes for the differential target: coding, shape and size factor, size, changes, seed.
if [ ! -d "$seeds/recipes" ]; then
    mkdir -p "$seeds/recipes"
    (
        cd "$seeds/recipes"
        printf '\x0d\x11\xd1\xcc\x00' > zeros-256k-level6
        { printf '\x0d\x0d\xff\xff\x00'; echo 'certificate line'; } > text-256k-level6
        { printf '\x4d\x1e\x00\x80\x00'; head -c 64 /dev/urandom; } > runs-huffman
        { printf '\x00\x00\x00\x00\x00'; head -c 3000 /dev/urandom; } > random-stored
        { printf '\x07\x05\x00\x10\x02\x10\x00\x00\x01\x40\x00\x00\x80'; echo text; } \
            > changed-level3
    )
fi

# Items in each method a library beside zlib decodes: method, declared size, CRC-32, data.
if [ ! -d "$seeds/methods" ]; then
    mkdir -p "$seeds/methods"
    python3 -c "
import lzma, struct, subprocess, zlib
text = b''.join(b'%d certificate line\\n' % (i * 7919 % 10007) for i in range(2000))
props = lzma._encode_filter_properties({'id': lzma.FILTER_LZMA1})
packer = lzma.LZMACompressor(lzma.FORMAT_RAW,
                             filters=[lzma._decode_filter_properties(lzma.FILTER_LZMA1, props)])
packed = {0: subprocess.run(['bzip2', '-c'], input=text, capture_output=True).stdout,
          1: struct.pack('<BBH', 9, 4, 5) + props + packer.compress(text) + packer.flush(),
          2: subprocess.run(['zstd', '-q', '-c'], input=text, capture_output=True).stdout,
          3: subprocess.run(['xz', '-c'], input=text, capture_output=True).stdout}
for method, data in packed.items():
    header = bytes([method]) + struct.pack('<I', len(text))[:3] + struct.pack('<I', zlib.crc32(text))
    open('$seeds/methods/%d' % method, 'wb').write(header + data)
"
fi

# One target's run; what it printed last goes to its summary, shown once all have run.
fuzz_target() {
    local target=$1 corpus="$out/corpus/$1" regressions=()
    mkdir -p "$corpus"
    case $target in
    archive_fuzzer | unzip_fuzzer) cp -n "$seeds"/*.zip "$corpus"/ ;;
    differential_fuzzer) cp -n "$seeds"/recipes/* "$corpus"/ ;;
    methods_fuzzer) cp -n "$seeds"/methods/* "$corpus"/ ;;
    esac
    [ -d "fuzz/regressions/$target" ] && regressions=("fuzz/regressions/$target")
    echo "== $target for ${per_target}s"
    (cd "$out" && "./fuzz/$target" -max_total_time="$per_target" -max_len=70000 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 "corpus/$target" \
        "${regressions[@]/#/../}" 2>&1 | tail -n 12)
}

# A fuzzer keeps one core busy: as many run at once as there are cores.
status=0
running=0
for target in "${targets[@]}"; do
    if [ $running -ge "$(nproc)" ]; then
        wait -n || status=1
        running=$((running - 1))
    fi
    fuzz_target "$target" > "$out/$target.summary" 2>&1 &
    running=$((running + 1))
done
while [ $running -gt 0 ]; do
    wait -n || status=1
    running=$((running - 1))
done
for target in "${targets[@]}"; do
    cat "$out/$target.summary"
done
exit $status
