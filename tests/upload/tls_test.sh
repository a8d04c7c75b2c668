#!/usr/bin/env bash
# The client's TLS module against a real nginx on loopback, one row per certificate: from a CA
# trusted through ca_file, the same CA but for another host, and from a CA nobody trusts. Only
# the trusted row may reach nginx's access log. Prints the handshake's mean cost on loopback.
#
#   tls_test.sh native|wine PROBE
set -euo pipefail

target=$1
probe=$2
command -v nginx >/dev/null || { echo "no nginx"; exit 77; }
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

work=$(mktemp -d)
nginx_pid=
# shellcheck disable=SC2317  # run by the trap
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

ssl() { openssl "$@" 2>>openssl.log; }
make_ca() {
    ssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
        -subj "/CN=$1" -keyout "$1.key" -out "$1.crt" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
}
make_cert() {  # NAME DNS-NAME CA
    ssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=$2" \
        -keyout "$1.key" -out "$1.csr"
    printf 'subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' \
        "$2" >"$1.ext"
    ssl x509 -req -in "$1.csr" -CA "$3.crt" -CAkey "$3.key" -set_serial "$RANDOM$RANDOM" \
        -days 1 -extfile "$1.ext" -out "$1.crt"
}
make_ca trusted-ca
make_ca stranger-ca
make_cert right localhost trusted-ca
make_cert other other-host.invalid trusted-ca
make_cert untrusted localhost stranger-ca

read -r port_right port_other port_untrusted < <(python3 -c '
import socket
s = [socket.socket() for _ in range(3)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')

mkdir -p temp
server() {  # PORT CERT
    printf '  server { listen 127.0.0.1:%s ssl; ssl_certificate %s.crt; ssl_certificate_key %s.key;
             location / { return 200 "hello\\n"; } }\n' "$1" "$work/$2" "$work/$2"
}
cat >nginx.conf <<EOF
daemon off;
master_process off;
pid $work/nginx.pid;
events {}
http {
  log_format port '\$server_port \$request';
  access_log $work/access.log port;
  client_body_temp_path $work/temp; proxy_temp_path $work/temp; fastcgi_temp_path $work/temp;
  uwsgi_temp_path $work/temp; scgi_temp_path $work/temp;
  ssl_protocols TLSv1.2 TLSv1.3;
$(server "$port_right" right; server "$port_other" other; server "$port_untrusted" untrusted)
}
EOF
nginx -p "$work" -e "$work/error.log" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 100); do
    [ -s nginx.pid ] && break
    sleep 0.1
done
[ -s nginx.pid ] || { cat error.log; exit 1; }

ca_file=$work/trusted-ca.crt
run=("$probe")
if [ "$target" = wine ]; then
    ca_file=Z:$ca_file
    run=("$repo/scripts/wine-run.sh" "$probe")
fi

status=0
check() {  # PORT EXPECTED [HANDSHAKES]
    timeout 120 "${run[@]}" "$1" localhost "$ca_file" ${3:+"$3"} </dev/null >out.txt 2>&1 || true
    tr -d '\r' <out.txt >answer.txt
    grep '^handshake:' answer.txt || true
    if [ "$(tail -n 1 answer.txt)" != "$2" ]; then
        echo "port $1: expected \"$2\", got:"
        cat answer.txt
        status=1
    fi
}
check "$port_right" "HTTP/1.1 200 OK" 20
check "$port_other" "TLS: certificate is for another host"
check "$port_untrusted" "TLS: certificate not trusted"

# Exactly the one request of the trusted row; the refused ones sent nothing.
if [ "$(cat access.log)" != "$port_right GET /probe HTTP/1.1" ]; then
    echo "access log:"
    cat access.log
    status=1
fi
exit "$status"
