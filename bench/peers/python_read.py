"""Python's zipfile doing what zaread does: -l lists every item, -t reads every item into
memory, where zipfile checks its CRC."""
import sys
import zipfile

mode, path = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(path) as archive:
    if mode == "-l":
        out = sys.stdout
        for info in archive.infolist():
            out.write(f"{info.filename}\t{info.file_size}\t{info.compress_size}\t{info.CRC:08x}\n")
    else:
        for info in archive.infolist():
            if not info.is_dir():
                archive.read(info)
