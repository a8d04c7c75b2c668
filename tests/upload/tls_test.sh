#!/usr/bin/env bash
# https through the upload transport and the client's TLS module to a real nginx on loopback,
# one row per server: certificates from a CA trusted through ca_file (TLS 1.3, and 1.2 alone),
# from the same CA for another host, and from a CA nobody trusts, and a server that never answers
# the greeting. Only the trusted rows may reach nginx's access log. nginx answers the uploads
# itself, or passes them on to the upload service when one is given, whose link must then serve
# the picture; then the service's own TLS (--tls-cert) takes an upload from the probe, serves it to
# curl trusting the CA, and nothing to curl without it or to plain HTTP on the same port. Prints
# the handshake's mean cost on loopback.
#
#   tls_test.sh native|wine PROBE [SERVICE]
set -euo pipefail

target=$1
probe=$2
service=${3:-}
command -v nginx >/dev/null || { echo "no nginx"; exit 77; }
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

work=$(mktemp -d)
pids=()
# shellcheck disable=SC2317  # run by the trap
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" && wait "$pid"; done 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

make_cert() {  # NAME DNS-NAME [CA]: without a CA to sign it, a CA of its own
    local kind=(-addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign")
    [ -n "${3:-}" ] && kind=(-CA "$3.crt" -CAkey "$3.key" -addext "subjectAltName=DNS:$2"
        -addext extendedKeyUsage=serverAuth -addext basicConstraints=CA:FALSE)
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
        -subj "/CN=$2" -keyout "$1.key" -out "$1.crt" "${kind[@]}" 2>>openssl.log
}
make_cert trusted-ca trusted-ca
make_cert stranger-ca stranger-ca
make_cert right localhost trusted-ca
make_cert other other-host.invalid trusted-ca
make_cert untrusted localhost stranger-ca
convert -size 400x300 xc: +noise Random shot.png  # several records and send pieces

wait_for() { for _ in $(seq 100); do [ -s "$1" ] && return; sleep 0.1; done; }
# Free ports: four for nginx, two for the service (plain, TLS), and one where a listener takes
# connections and says nothing.
python3 -c '
import socket, time
s = [socket.socket() for _ in range(7)]
for x in s: x.bind(("127.0.0.1", 0))
s[6].listen()
print(*[x.getsockname()[1] for x in s], flush=True)
[x.close() for x in s[:6]]
time.sleep(100)' >ports.txt &
pids+=($!)
wait_for ports.txt
read -r port_right port_tls12 port_other port_untrusted port_service port_own port_silent <ports.txt

answer="return 200 https://localhost:$port_right/made-by-nginx.png"
if [ -x "$service" ]; then
    "$service" --listen 127.0.0.1 --port "$port_service" --data-dir "$work/data" \
        --public-url "https://localhost:$port_right" 2>service.log &
    pids+=($!)
    wait_for service.log  # its first line says it listens
    answer="proxy_pass http://127.0.0.1:$port_service"
    "$service" --listen 127.0.0.1 --port "$port_own" --data-dir "$work/own" --tls-cert right.crt \
        --tls-key right.key --public-url "https://localhost:$port_own" 2>own.log &
    pids+=($!)
    wait_for own.log
fi
server() {  # PORT CERT [PROTOCOLS]
    printf '  server { listen 127.0.0.1:%s ssl; ssl_certificate %s.crt; ssl_certificate_key %s.key;
             ssl_protocols %s; client_max_body_size 0; location / { %s; } }\n' \
        "$1" "$work/$2" "$work/$2" "${3:-TLSv1.2 TLSv1.3}" "$answer"
}
mkdir -p temp
cat >nginx.conf <<EOF
daemon off; master_process off; pid $work/nginx.pid; events {}
http {
  log_format port '\$server_port \$request';
  access_log $work/access.log port;
  client_body_temp_path $work/temp; proxy_temp_path $work/temp; fastcgi_temp_path $work/temp;
  uwsgi_temp_path $work/temp; scgi_temp_path $work/temp;
$(server "$port_right" right; server "$port_tls12" right TLSv1.2)
$(server "$port_other" other; server "$port_untrusted" untrusted)
}
EOF
nginx -p "$work" -e "$work/error.log" -c "$work/nginx.conf" &
pids+=($!)
wait_for nginx.pid || { cat error.log; exit 1; }

ca_file=$work/trusted-ca.crt
run=("$probe")
if [ "$target" = wine ]; then
    ca_file=Z:$ca_file
    run=("$repo/scripts/wine-run.sh" "$probe")
fi

status=0
row() {  # PORT EXPECTED-PATTERN [HANDSHAKES]: the probe's last line must match
    timeout 120 "${run[@]}" https://localhost/api.php "$1" "$ca_file" shot.png ${3:+"$3"} \
        </dev/null >out.txt 2>err.txt || echo "the probe failed" >>err.txt
    tr -d '\r' <out.txt | grep '^handshake:' || true
    link=$(tr -d '\r' <out.txt | tail -n 1)
    # shellcheck disable=SC2053  # the expected text is a pattern
    if [[ $link != $2 || -s err.txt ]]; then
        echo "port $1: expected \"$2\", got:"
        cat out.txt err.txt
        status=1
    fi
}
row "$port_right" "https://localhost:$port_right/*" 20
row "$port_tls12" "https://localhost:$port_right/*"
uploaded=$link
row "$port_other" "TLS: certificate is for another host"
row "$port_untrusted" "TLS: certificate not trusted"
row "$port_silent" "TLS: timed out"

if [ -x "$service" ]; then
    echo "uploaded over https: $uploaded"
    if ! curl -sf --cacert trusted-ca.crt "$uploaded" -o fetched.png || ! cmp shot.png fetched.png
    then
        echo "the link does not serve the picture"
        status=1
    fi
    row "$port_own" "https://localhost:$port_own/*"
    own=https://localhost:$port_own/${link##*/}
    curl -sf --cacert trusted-ca.crt "$own" -o own.png && cmp shot.png own.png || status=1
    if curl -s -o /dev/null "$own" || curl -s -o /dev/null -m 5 "http://127.0.0.1:$port_own/"; then
        echo "the service's TLS port served curl without the CA, or plain HTTP"
        status=1
    fi
fi

# The refused rows sent nothing.
if grep -E "^($port_other|$port_untrusted) " access.log; then
    echo "requests arrived where the certificate was refused"
    status=1
fi
exit "$status"
