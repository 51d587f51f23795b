#!/bin/sh
# Makes the certificates of the updater tests' loopback server: a test CA that only the test
# program trusts, and a server certificate for the vendor host and its "www." name.
# Usage: make-test-certificates.sh <output folder> <vendor host>
set -eu
out="$1"
host="$2"
mkdir -p "$out"
cd "$out"
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout ca.key -out ca.pem \
	-subj "/CN=Ostrelo updater test CA" \
	-addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -sha256 -keyout server.key -out server.csr -subj "/CN=$host" 2>/dev/null
printf 'subjectAltName=DNS:%s,DNS:www.%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
	"$host" "$host" >server.ext
openssl x509 -req -sha256 -days 3650 -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial \
	-extfile server.ext -out server.pem 2>/dev/null
rm -f server.csr server.ext ca.srl
