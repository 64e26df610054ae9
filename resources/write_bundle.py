#!/usr/bin/env python3
"""Lays out the certificate bundle as the program ships it.

Usage: write_bundle.py OUT.zip ENTRY...   where ENTRY is "Folder/" or "Folder/name=file".

Folder entries are stored with the directory bit; files are deflated with flags 0. Every
entry needs version 20 and is made by version 63 on host 0; the central headers carry one
NTFS time extra field and the local headers none. Names are stored in CP866 without the
UTF-8 flag.
"""
import struct
import sys
import zlib

DOS_TIME = (12 << 11) | (0 << 5) | 0           # 12:00:00
DOS_DATE = ((2026 - 1980) << 9) | (12 << 5) | 8  # 2026-12-08
FILETIME = 134096832000000000                    # the same moment, in 100 ns since 1601
FOLDER_ATTRIBUTES = 0x2010
FILE_ATTRIBUTES = 0x2020


def ntfs_extra():
    times = struct.pack('<QQQ', FILETIME, FILETIME, FILETIME)
    data = b'\0\0\0\0' + struct.pack('<HH', 1, len(times)) + times
    return struct.pack('<HH', 0x000A, len(data)) + data


def deflate(data):
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    return packer.compress(data) + packer.flush()


def main():
    out, entries = sys.argv[1], sys.argv[2:]
    archive, central = bytearray(), bytearray()
    for entry in entries:
        name, _, path = entry.partition('=')
        folder = not path
        data = b'' if folder else open(path, 'rb').read()
        stored = data if folder else deflate(data)
        method = 0 if folder else 8
        crc = zlib.crc32(data)
        raw_name = name.encode('cp866')
        offset = len(archive)
        archive += struct.pack('<IHHHHHIIIHH', 0x04034B50, 20, 0, method, DOS_TIME, DOS_DATE,
                               crc, len(stored), len(data), len(raw_name), 0)
        archive += raw_name + stored
        extra = ntfs_extra()
        central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, 63, 20, 0, method, DOS_TIME,
                               DOS_DATE, crc, len(stored), len(data), len(raw_name), len(extra),
                               0, 0, 0, FOLDER_ATTRIBUTES if folder else FILE_ATTRIBUTES, offset)
        central += raw_name + extra
    directory_offset = len(archive)
    archive += central
    archive += struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                           directory_offset, 0)
    open(out, 'wb').write(archive)


if __name__ == '__main__':
    main()
