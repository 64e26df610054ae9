#!/bin/sh
# The browser tests' bundle: a root, an intermediate authority and a server certificate for
# localhost and 127.0.0.1, new keys each build. Everything stays in the build folder OUT:
#   OUT/testbundle.zip   the bundle, laid out as the program expects it
#   OUT/server.pem       the server's certificate and the intermediate, for the test server
#   OUT/server.key       the server's key
set -eu
out=$1
mkdir -p "$out/keys"
cd "$out/keys"
cat > ext.cnf <<'CNF'
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2> /dev/null; }
key root
openssl req -x509 -new -key root.key -subj "/O=certinstall tests/CN=Test root for browsers" \
    -days 30 -extensions authority -config ext.cnf -out root.pem
for name in intermediate server; do
    key "$name"
done
openssl req -new -key intermediate.key -subj "/O=certinstall tests/CN=Test intermediate" \
    -out intermediate.csr
openssl x509 -req -in intermediate.csr -CA root.pem -CAkey root.key -CAcreateserial -days 30 \
    -extfile ext.cnf -extensions authority -out intermediate.pem 2> /dev/null
openssl req -new -key server.key -subj "/O=certinstall tests/CN=localhost" -out server.csr
openssl x509 -req -in server.csr -CA intermediate.pem -CAkey intermediate.key \
    -CAcreateserial -days 30 -extfile ext.cnf -extensions server -out server-only.pem 2> /dev/null
mkdir -p bundle/ROOT bundle/CA bundle/AddressBook
openssl x509 -in root.pem -outform DER -out bundle/ROOT/root.cer
openssl x509 -in intermediate.pem -outform DER -out bundle/CA/intermediate.cer
openssl x509 -in server-only.pem -outform DER -out bundle/AddressBook/localhost.cer
rm -f ../testbundle.zip
python3 -c 'import sys, zipfile, pathlib
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for f in sorted(pathlib.Path("bundle").rglob("*.cer")):
        z.write(f, f.relative_to("bundle").as_posix())' ../testbundle.zip
cat server-only.pem intermediate.pem > ../server.pem
cp server.key ../server.key
