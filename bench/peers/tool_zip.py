"""Writes a ZIP archive whose items are compressed by a format's own tool, for the methods that
neither Python's zipfile nor Debian's libzip writes (Zstandard, XZ).

    tool_zip.py ARCHIVE METHOD 'TOOL ARGS' FILE...
"""
import shlex
import struct
import subprocess
import sys
import zlib


def write(out, method, tool, paths):
    body = central = b''
    for path in paths:
        with open(path, 'rb') as f:
            data = f.read()
        packed = subprocess.run(tool, input=data, stdout=subprocess.PIPE, check=True).stdout
        name, crc, offset = path.encode(), zlib.crc32(data), len(body)
        sizes = (0x21, crc, len(packed), len(data), len(name))
        body += struct.pack('<IHHHHHIIIHH', 0x04034b50, 63, 0, method, 0, *sizes, 0)
        body += name + packed
        central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 0x033F, 63, 0, method, 0,
                               *sizes, 0, 0, 0, 0, 0o100644 << 16, offset) + name
    end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, len(paths), len(paths), len(central),
                      len(body), 0)
    with open(out, 'wb') as f:
        f.write(body + central + end)


if __name__ == '__main__':
    write(sys.argv[1], int(sys.argv[2]), shlex.split(sys.argv[3]), sys.argv[4:])
