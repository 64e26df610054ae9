#!/usr/bin/env bash
# The Windows build and package as a user and an administrator get them, judged by tools of
# others: the program's header (objdump) names Vista as its oldest system, a second link of it
# gives the same bytes, and the package (cpack) holds the program signed with a throw-away key
# (osslsigncode verify), the bundle's certificates and CRLs as files (unzip) and a README with
# the roots' thumbprints (openssl); without a key the package step says it is unsigned.
#   package_test.sh WINDOWS-BUILD-FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*" >&2; exit 1; }

header=$(objdump -p "$build/certinstall.exe")
for field in MajorSubsystemVersion MajorOSystemVersion; do
    grep -qx "$field"$'\t'6 <<< "$header" || fail "certinstall.exe: $field is not 6"
done

# The link's time, if it were written, would differ by a second at least.
cp "$build/certinstall.exe" "$work/first.exe"
rm "$build/certinstall.exe"
sleep 1
cmake --build "$build" --target certinstall > /dev/null
cmp "$work/first.exe" "$build/certinstall.exe" || fail "two links of certinstall.exe differ"

cmake --build "$build" --target package_files > /dev/null
unsigned=$(cd "$build" && cpack -B "$work/unsigned" 2>&1 > /dev/null)
[ "$unsigned" = "certinstall.exe is not signed: no key given (CERTINSTALL_SIGN_PFX)." ] ||
    fail "without a key the package step says: $unsigned"

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=certinstall test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2> /dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:throw-away \
    -out "$work/key.pfx"
(cd "$build" && cpack -B "$work/signed" -D CPACK_CERTINSTALL_SIGN_PFX="$work/key.pfx" \
    -D CPACK_CERTINSTALL_SIGN_PASSWORD=throw-away > /dev/null 2>&1)
unzip -q "$work"/signed/certinstall-*.zip -d "$work/package"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/package/certinstall.exe" > "$work/verify" 2>&1 ||
    { cat "$work/verify" >&2; fail "the packaged certinstall.exe does not verify"; }

# Every file of the bundle, with its bytes, and nothing else. Python's zip reader takes names
# without the UTF-8 flag as CP437; the bundle's are in the Russian DOS code page.
python3 - "$source/resources/roots.zip" "$work/bundle" << 'EOF'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as bundle:
    for entry in bundle.infolist():
        entry.filename = entry.filename.encode("cp437").decode("cp866")
        bundle.extract(entry, sys.argv[2])
EOF
diff -r "$work/bundle" "$work/package/certificates" ||
    fail "the package's certificates are not the bundle's"

# Each self-issued certificate of the bundle is named, with its thumbprint as Windows shows it
# on the next line.
common_name() {
    openssl x509 -inform DER -in "$1" -noout "$2" -nameopt utf8,sep_multiline | sed -n 's/^ *CN=//p'
}
roots=0
for cer in "$work"/bundle/*/*.cer; do
    subject=$(common_name "$cer" -subject)
    [ "$subject" = "$(common_name "$cer" -issuer)" ] || continue
    roots=$((roots + 1))
    sha1=$(openssl x509 -inform DER -in "$cer" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
    shown=$(tr -d '\r' < "$work/package/README.txt" | grep -A1 -xF "  $subject" | sed -n 2p)
    [ "$shown" = "  Отпечаток (sha1): $(sed 's/.\{8\}/& /g; s/ $//' <<< "$sha1")" ] ||
        fail "README.txt does not give $subject with its thumbprint $sha1"
done
[ "$roots" = 3 ] || fail "the bundle has $roots self-issued certificates, not 3"
echo "package test passed"
