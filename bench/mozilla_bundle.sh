#!/bin/sh
# Lays out a CA's real set of roots as a bundle: every PEM certificate of FOLDER (default
# Debian's Mozilla set, 142 roots) as a DER file under ROOT/, deflated by Python's zipfile.
#   bench/mozilla_bundle.sh OUT.zip [FOLDER]
set -eu
out=$(realpath "$1")
folder=${2:-/usr/share/ca-certificates/mozilla}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ROOT"
for pem in "$folder"/*.crt; do
    openssl x509 -in "$pem" -outform DER -out "$work/ROOT/$(basename "$pem" .crt).cer"
done
cd "$work"
python3 -c 'import sys, zipfile, pathlib
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for f in sorted(pathlib.Path("ROOT").glob("*.cer")):
        z.write(f, f.as_posix())' "$out.tmp"
mv "$out.tmp" "$out"
