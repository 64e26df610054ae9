#!/usr/bin/env bash
# Makes the test certification-authority hierarchy of the bundle with the openssl command and
# lays it out as roots.zip. The keys are new each time, so the output is committed.
#   ROOT/        two self-signed roots and the CRLs of three roots
#   CA/          a third self-signed root, four intermediate authorities, two CRLs
#   AddressBook/ seven end-entity certificates and one CRL
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

org="/C=RU/O=ЗАО Тестовый УЦ"
days=7300

new_key() { openssl genrsa -out "$1.key" 2048 2>/dev/null; }

# name, subject common name, issuer name or "self", basic constraints
make_cert() {
    local name=$1 cn=$2 issuer=$3 constraints=$4
    new_key "$name"
    cat > "$name.ext" <<EXT
basicConstraints=critical,$constraints
keyUsage=critical,$([ "$constraints" = "CA:FALSE" ] && echo digitalSignature,keyEncipherment || echo keyCertSign,cRLSign)
subjectKeyIdentifier=hash
EXT
    [ "$issuer" = self ] || echo "authorityKeyIdentifier=keyid" >> "$name.ext"
    openssl req -new -utf8 -key "$name.key" -subj "$org/CN=$cn" -out "$name.csr" 2>/dev/null
    if [ "$issuer" = self ]; then
        openssl x509 -req -sha256 -days $days -in "$name.csr" -signkey "$name.key" \
            -extfile "$name.ext" -set_serial "0x$(openssl rand -hex 8)" -out "$name.pem" 2>/dev/null
    else
        openssl x509 -req -sha256 -days $days -in "$name.csr" -CA "$issuer.pem" -CAkey "$issuer.key" \
            -extfile "$name.ext" -set_serial "0x$(openssl rand -hex 8)" -out "$name.pem" 2>/dev/null
    fi
    openssl x509 -in "$name.pem" -outform DER -out "$name.cer"
}

make_crl() {
    local issuer=$1
    mkdir -p "ca-$issuer"
    : > "ca-$issuer/index.txt"
    echo 1000 > "ca-$issuer/crlnumber"
    cat > "ca-$issuer/ca.cnf" <<CNF
[ca]
default_ca = this
[this]
database = ca-$issuer/index.txt
crlnumber = ca-$issuer/crlnumber
default_md = sha256
default_crl_days = 3650
CNF
    openssl ca -config "ca-$issuer/ca.cnf" -gencrl -keyfile "$issuer.key" -cert "$issuer.pem" \
        -out "$issuer.crl.pem" 2>/dev/null
    openssl crl -in "$issuer.crl.pem" -outform DER -out "$issuer.crl"
}

make_cert root1 "Тестовый корневой УЦ 1" self CA:TRUE
make_cert root2 "Тестовый корневой УЦ 2" self CA:TRUE
make_cert root3 "Тестовый корневой УЦ 3" self CA:TRUE
make_cert ca11 "Подчинённый УЦ 1.1" root1 CA:TRUE,pathlen:0
make_cert ca12 "Подчинённый УЦ 1.2" root1 CA:TRUE,pathlen:0
make_cert ca21 "Подчинённый УЦ 2.1" root2 CA:TRUE,pathlen:0
make_cert ca31 "Подчинённый УЦ 3.1" root3 CA:TRUE,pathlen:0
make_cert user1 "Иванов Иван Иванович" ca11 CA:FALSE
make_cert user2 "Петров Пётр Петрович" ca11 CA:FALSE
make_cert user3 "Сидорова Анна Сергеевна" ca12 CA:FALSE
make_cert user4 "Кузнецов Олег Юрьевич" ca12 CA:FALSE
make_cert user5 "Смирнова Елена Павловна" ca21 CA:FALSE
make_cert user6 "Служба доставки" ca31 CA:FALSE
make_cert user7 "Сервер обновлений" ca31 CA:FALSE
for issuer in root1 root2 root3 ca11 ca12 ca21; do make_crl "$issuer"; done

python3 "$here/write_bundle.py" "$here/roots.zip" \
    AddressBook/ \
    AddressBook/user1.cer=user1.cer AddressBook/user2.cer=user2.cer \
    AddressBook/user3.cer=user3.cer AddressBook/user4.cer=user4.cer \
    AddressBook/user5.cer=user5.cer "AddressBook/Служба доставки.cer=user6.cer" \
    AddressBook/user7.cer=user7.cer AddressBook/ca21.crl=ca21.crl \
    CA/ \
    CA/root3.cer=root3.cer CA/ca11.cer=ca11.cer CA/ca12.cer=ca12.cer CA/ca21.cer=ca21.cer \
    CA/ca31.cer=ca31.cer CA/ca11.crl=ca11.crl CA/ca12.crl=ca12.crl \
    ROOT/ \
    ROOT/root1.cer=root1.cer ROOT/root2.cer=root2.cer \
    ROOT/root1.crl=root1.crl ROOT/root2.crl=root2.crl ROOT/root3.crl=root3.crl
echo "wrote $here/roots.zip"
