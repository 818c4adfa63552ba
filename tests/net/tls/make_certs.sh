#!/bin/sh
# Makes in folder $1 a throw-away CA (ca.pem) and certificates: good (localhost, 127.0.0.1),
# wronghost (other.example), expired (valid in 2020), untrusted (from another CA), selfsigned.
set -eu
cd "$1"
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null; }
makeCa() {
  key "$1"
  openssl req -x509 -new -key "$1.key" -out "$1.pem" -days 2 -subj "/CN=$1" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
  mkdir -p "$1.db" && : > "$1.db/index.txt" && echo 1000 > "$1.db/serial"
  cat > "$1.cnf" <<CNF
[ca]
default_ca = db
[db]
database = $1.db/index.txt
new_certs_dir = $1.db
serial = $1.db/serial
default_md = sha256
policy = any
unique_subject = no
copy_extensions = copy
[any]
commonName = supplied
CNF
}
# leaf NAME CA SAN [openssl ca options...]
leaf() {
  name=$1 ca=$2 san=$3; shift 3
  key "$name"
  openssl req -new -key "$name.key" -out "$name.csr" -subj "/CN=$name" \
    -addext "subjectAltName=$san" -addext basicConstraints=CA:FALSE
  openssl ca -batch -notext -config "$ca.cnf" -cert "$ca.pem" -keyfile "$ca.key" \
    -in "$name.csr" -out "$name.pem" "$@" 2>/dev/null
}
makeCa ca && makeCa otherca
leaf good ca "DNS:localhost,IP:127.0.0.1" -days 2
leaf wronghost ca "DNS:other.example" -days 2
leaf expired ca "DNS:localhost,IP:127.0.0.1" -startdate 20200101000000Z -enddate 20200102000000Z
leaf untrusted otherca "DNS:localhost,IP:127.0.0.1" -days 2
key selfsigned
openssl req -x509 -new -key selfsigned.key -out selfsigned.pem -days 2 -subj /CN=localhost \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1"
