#!/bin/sh
# Starts glimmerix-server twice on loopback, plain and with a certificate from a throwaway CA,
# and runs tls_bench against both.
#
#   tls_bench.sh TLS_BENCH SERVER
set -eu
bench=$1
server=$2
work=$(mktemp -d)
pids=""
trap 'kill $pids 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
    -subj /CN=bench-ca -keyout ca.key -out ca.crt \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
    -subj /CN=localhost -keyout server.key -out server.crt -CA ca.crt -CAkey ca.key \
    -addext subjectAltName=DNS:localhost -addext basicConstraints=CA:FALSE 2>/dev/null
mkdir plain tls
"$server" --port 18482 --data-dir plain --public-url http://localhost 2>/dev/null &
pids="$pids $!"
"$server" --port 18483 --data-dir tls --public-url https://localhost \
    --tls-cert server.crt --tls-key server.key 2>/dev/null &
pids="$pids $!"
for _ in $(seq 50); do
    curl -s -o /dev/null http://127.0.0.1:18482/ && curl -s -o /dev/null --cacert ca.crt \
        --resolve localhost:18483:127.0.0.1 https://localhost:18483/ && break
    sleep 0.1
done
"$bench" 18482 18483 "$work/ca.crt"
