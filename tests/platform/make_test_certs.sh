#!/bin/sh
# Builds the certificates of the TLS tests into $1: a test root (ca.pem), a server
# certificate for 127.0.0.1 and localhost signed by it (server.pem), one signed by it for
# another name (wrong-name.pem), one signed by it that has expired (expired.pem), a
# self-signed one for 127.0.0.1 (self-signed.pem), and one for 127.0.0.1 and localhost issued
# by a root no test trusts (other-root.pem). A second root that only the Wine stage trusts,
# through the certificate store of its Windows prefix (store-ca.pem), issues
# store-server.pem for localhost. Keys are P-256, so this takes a blink.
set -eu
out="$1"
mkdir -p "$out"
cd "$out"

key() {
	openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null
}

# root NAME COMMON-NAME
root() {
	key "$1"
	openssl req -x509 -new -key "$1.key" -subj "/CN=$2" -days 36500 -sha256 \
		-addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" -out "$1.pem"
}

# leaf NAME SUBJECT-ALT-NAMES DAYS [ISSUER]
leaf() {
	issuer="${4:-ca}"
	key "$1"
	openssl req -new -key "$1.key" -subj "/CN=$1" -out "$1.csr"
	printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature\nextendedKeyUsage=serverAuth\n' \
		"$2" >"$1.ext"
	openssl x509 -req -in "$1.csr" -CA "$issuer.pem" -CAkey "$issuer.key" -CAcreateserial -days "$3" -sha256 \
		-extfile "$1.ext" -out "$1.pem" 2>/dev/null
	rm -f "$1.csr" "$1.ext"
}

root ca "Ostrelo test root"
leaf server "IP:127.0.0.1,DNS:localhost" 36500
leaf wrong-name "DNS:wrong-name.invalid" 36500
leaf expired "IP:127.0.0.1,DNS:localhost" -1
root other-ca "Ostrelo untrusted test root"
leaf other-root "IP:127.0.0.1,DNS:localhost" 36500 other-ca
root store-ca "Ostrelo test root of the Windows store"
leaf store-server "DNS:localhost" 36500 store-ca

key self-signed
openssl req -x509 -new -key self-signed.key -subj "/CN=127.0.0.1" -days 36500 -sha256 \
	-addext "subjectAltName=IP:127.0.0.1" -out self-signed.pem
