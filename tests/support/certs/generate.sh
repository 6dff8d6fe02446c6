#!/bin/sh
# Regenerates the test-only certificates of the loopback test servers: a certificate authority,
# a server certificate for 127.0.0.1 and localhost, one that expired long ago, one for another
# host, and a self-signed one. Long validity, so the files stay usable; run again to renew.
# Usage: tests/support/certs/generate.sh (writes next to itself; needs the openssl command).
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

days=36500
subj() { echo "/O=Velmora tests/CN=$1"; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out ca.pem -days $days \
    -subj "$(subj 'Velmora test CA')" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null

# leaf NAME CN SAN [extra x509 options]: a key and a certificate signed by the test CA.
leaf() {
    name=$1; cn=$2; san=$3; shift 3
    openssl req -newkey rsa:2048 -nodes -keyout "$name.key" -out "$work/$name.csr" \
        -subj "$(subj "$cn")" 2>/dev/null
    printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$san" \
        > "$work/$name.ext"
    openssl x509 -req -in "$work/$name.csr" -CA ca.pem -CAkey "$work/ca.key" -CAcreateserial \
        -CAserial "$work/ca.srl" -extfile "$work/$name.ext" -out "$name.pem" "$@" 2>/dev/null
}

leaf server 127.0.0.1 "IP:127.0.0.1,DNS:localhost" -days $days
leaf wronghost other.invalid "DNS:other.invalid" -days $days

# Expired: signed through "openssl ca", which takes explicit dates in the past.
mkdir "$work/db"
: > "$work/db/index.txt"
echo 1000 > "$work/db/serial"
cat > "$work/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = $work/db/index.txt
serial = $work/db/serial
new_certs_dir = $work/db
default_md = sha256
policy = anything
copy_extensions = none
[anything]
commonName = supplied
organizationName = optional
[ext]
subjectAltName = IP:127.0.0.1,DNS:localhost
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
CNF
openssl req -newkey rsa:2048 -nodes -keyout expired.key -out "$work/expired.csr" \
    -subj "$(subj 127.0.0.1)" 2>/dev/null
openssl ca -batch -config "$work/ca.cnf" -extensions ext -cert ca.pem -keyfile "$work/ca.key" \
    -startdate 20200101000000Z -enddate 20200201000000Z -in "$work/expired.csr" \
    -out "$work/expired.full" 2>/dev/null
openssl x509 -in "$work/expired.full" -out expired.pem

openssl req -x509 -newkey rsa:2048 -nodes -keyout selfsigned.key -out selfsigned.pem -days $days \
    -subj "$(subj 127.0.0.1)" -addext subjectAltName=IP:127.0.0.1,DNS:localhost 2>/dev/null
