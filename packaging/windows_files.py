#!/usr/bin/env python3
"""Lays out what the Windows package carries beside the program, taken from the bundle itself:
its certificates and CRLs as files, in the bundle's folders, and the README with the names and
SHA-1 thumbprints of the roots, which Windows asks the user to check.

Usage: windows_files.py BUNDLE.zip README-TEMPLATE VERSION OUT-FOLDER

The README is UTF-8 with a byte order mark and CRLF line ends, as Notepad reads it on every
Windows version.
"""
import hashlib
import os
import shutil
import sys
import zipfile

# The attributes that Windows names a certificate by in its prompt, in the order it looks.
COMMON_NAME, UNIT, ORGANIZATION = b"\x55\x04\x03", b"\x55\x04\x0b", b"\x55\x04\x0a"
STRING_CODECS = {0x0C: "utf-8", 0x13: "ascii", 0x16: "ascii", 0x14: "latin-1", 0x1E: "utf-16-be"}


def elements(data):
    """The DER elements one after another in data: (tag, contents)."""
    pos = 0
    while pos < len(data):
        tag, length = data[pos], data[pos + 1]
        pos += 2
        if length & 0x80:
            count = length & 0x7F
            length = int.from_bytes(data[pos : pos + count], "big")
            pos += count
        yield tag, data[pos : pos + length]
        pos += length


def display_name(name):
    """A distinguished name's simple display name, as Windows shows it."""
    attributes = {}
    for _, rdn in elements(name):
        for _, attribute in elements(rdn):
            (_, oid), (tag, value) = elements(attribute)
            attributes.setdefault(oid, value.decode(STRING_CODECS[tag]))
    return next(attributes[oid] for oid in (COMMON_NAME, UNIT, ORGANIZATION) if oid in attributes)


def subject_and_issuer(certificate):
    (_, body), = elements(certificate)
    _, tbs = next(elements(body))
    fields = [contents for tag, contents in elements(tbs) if tag != 0xA0]  # without the version
    return display_name(fields[4]), display_name(fields[2])


def thumbprint(certificate):
    """The SHA-1 hash in groups of eight hex digits, as Windows' prompt shows it."""
    digest = hashlib.sha1(certificate).hexdigest().upper()
    return " ".join(digest[i : i + 8] for i in range(0, len(digest), 8))


def entry_name(info):
    """The entry's name: stored in the DOS code page unless flagged as UTF-8."""
    return info.filename if info.flag_bits & 0x800 else info.filename.encode("cp437").decode("cp866")


def main():
    bundle, template, version, out = sys.argv[1:]
    certificates = os.path.join(out, "certificates")
    shutil.rmtree(certificates, ignore_errors=True)
    roots = []
    with zipfile.ZipFile(bundle) as archive:
        for info in archive.infolist():
            if info.is_dir():
                continue
            data = archive.read(info)
            path = os.path.join(certificates, *entry_name(info).split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
            if not info.filename.lower().endswith(".crl"):
                subject, issuer = subject_and_issuer(data)
                if subject == issuer:  # self-issued: the program puts it into "ROOT"
                    roots.append((subject, thumbprint(data)))
    with open(template, encoding="utf-8") as f:
        text = f.read()
    text = text.replace("@VERSION@", version)
    text = text.replace("@ROOTS@", "\n".join(f"  {name}\n  Отпечаток (sha1): {print_}\n"
                                             for name, print_ in roots).rstrip("\n"))
    text = text.replace("@REMOVE_COMMANDS@", "\n".join(
        f"  certutil -user -delstore {store} {print_.replace(' ', '')}"
        for _, print_ in roots for store in ("Root", "CA")))
    with open(os.path.join(out, "README.txt"), "w", encoding="utf-8-sig", newline="\r\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
