#!/bin/sh
# The service's own HTTPS (--tls-cert/--tls-key) with a certificate from a CA made here: curl
# trusting that CA uploads and fetches the image back; curl without it, and plain HTTP to the
# same port, get nothing. Prints the handshake's cost on loopback.
# Usage: tls_test.sh SERVER_BINARY
set -eu
SERVER=$1
command -v openssl >/dev/null && command -v curl >/dev/null || { echo "skipped"; exit 77; }
WORK=$(mktemp -d)
trap 'kill ${SERVER_PID:-} 2>/dev/null || true; wait; rm -rf "$WORK"' EXIT
cd "$WORK"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
    -subj /CN=glimmerix-test-ca 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=localhost \
    2>/dev/null
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' >san.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile san.ext -out server.pem 2>/dev/null
python3 -c 'import struct,sys,zlib
c = lambda k, d: struct.pack(">I", len(d)) + k + d + struct.pack(">I", zlib.crc32(k + d))
sys.stdout.buffer.write(b"\x89PNG\r\n\x1a\n" + c(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0))
    + c(b"IDAT", zlib.compress(b"\0\0")) + c(b"IEND", b""))' >shot.png

"$SERVER" --port 0 --listen 127.0.0.1 --data-dir data --tls-cert server.pem \
    --tls-key server.key >server.log 2>&1 &
SERVER_PID=$!
for _ in $(seq 50); do
    PORT=$(sed -n 's/.* port \([0-9]*\), links.*/\1/p' server.log 2>/dev/null) || true
    [ -n "$PORT" ] && break
    sleep 0.1
done
[ -n "${PORT:-}" ] || { cat server.log; exit 1; }
URL=https://127.0.0.1:$PORT
LINK=$(curl -sS --cacert ca.pem -F file=@shot.png "$URL/api.php")
case $LINK in https://*:$PORT/*.png) ;; *) echo "no https link: $LINK"; exit 1 ;; esac
curl -sS --cacert ca.pem -o fetched.png "$URL/${LINK##*/}"
cmp shot.png fetched.png
! curl -s -o /dev/null -F file=@shot.png "$URL/api.php" || { echo "untrusted CA taken"; exit 1; }
! curl -s -o /dev/null -m 5 "http://127.0.0.1:$PORT/" || { echo "plain HTTP served"; exit 1; }
for _ in 1 2 3 4 5; do
    curl -s -o /dev/null --cacert ca.pem -w '%{time_connect} %{time_appconnect}\n' \
        "$URL/${LINK##*/}"
done | awk '{ s += ($2 - $1) * 1000 } END { printf "TLS handshake on loopback: %.1f ms (mean of %d)\n", s / NR, NR }'
echo "upload and fetch over the service's own TLS: ok"
