"""Writes the benchmark archives with Python's zipfile (deflate, level 6) into a folder:
A-N.zip with N small files, B.zip with 200 MB of mixed text and binary data in 200 items,
C.zip with one 1 GiB item of compressible data, M.zip with 234 MB of items of mixed sizes
and kinds. Archives already there are kept.

    make_corpora.py FOLDER [A-ITEM-COUNT...]
"""
import os
import random
import sys
import zipfile

folder = sys.argv[1]
counts = [int(n) for n in sys.argv[2:]] or [100000]
os.makedirs(folder, exist_ok=True)
rng = random.Random(2026)


def text(size):
    words = ["certificate", "issuer", "serial", "ЛАРКОН", "revocation", "authority", "key"]
    lines, length = [], 0
    while length < size:
        lines.append(" ".join(rng.choice(words) for _ in range(8)) + f" {rng.randrange(10**6)}\n")
        length += len(lines[-1].encode())
    return "".join(lines).encode()[:size]


def write(name, items):
    path = os.path.join(folder, name)
    if os.path.exists(path):
        return
    with zipfile.ZipFile(path + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=6) as archive:
        for item_name, data in items():
            archive.writestr(item_name, data)
    os.rename(path + ".part", path)


for count in counts:
    small = text(4096)
    write(f"A-{count}.zip",
          lambda: ((f"dir{i % 100}/file{i}.txt", small[: 64 + i % 2000]) for i in range(count)))
# Half text, a quarter random bytes (stored by deflate as they are), a quarter sparse binary.
write("B.zip", lambda: ((f"item{i:03}.{'txt' if i % 2 == 0 else 'bin'}",
                 text(1 << 20) if i % 2 == 0 else
                 (rng.randbytes(1 << 20) if i % 4 == 1 else bytes(rng.choices(b"\0\0\0\1\xff", k=1 << 20))))
                for i in range(200)))


def one_big_item():
    block = text(16 << 20)
    yield "big.log", b"".join(block[i:] + block[:i] for i in range(64))


write("C.zip", one_big_item)


# Items of mixed sizes: 4 MB of text each, 20 MB of random bytes or sparse binary each, and
# one text item of 97 MB.
def mixed_items():
    for i in range(14):
        yield f"text{i:02}.txt", text(4 << 20)
    for i in range(2):
        yield f"random{i}.bin", rng.randbytes(20 << 20)
        yield f"sparse{i}.bin", bytes(rng.choices(b"\0\0\0\1\xff", k=20 << 20))
    yield "large.log", text(97 << 20)


write("M.zip", mixed_items)
