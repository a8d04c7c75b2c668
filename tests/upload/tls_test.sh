#!/usr/bin/env bash
# The client's TLS module against a real nginx on loopback, one row per server: certificates
# from a CA trusted through ca_file (TLS 1.3, and 1.2 alone), from the same CA for another host,
# and from a CA nobody trusts. Only the trusted rows may reach nginx's access log. A server that
# never answers the greeting times out. Prints the handshake's mean cost on loopback. Given the
# upload service, nginx passes the trusted servers on to it, and the upload transport posts a
# picture over https whose link then serves it; to the untrusted server it sends nothing.
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

wait_for() { for _ in $(seq 100); do [ -s "$1" ] && return; sleep 0.1; done; }
# Free ports: four for nginx, one for the service, and one where a listener takes connections
# and says nothing.
python3 -c '
import socket, time
s = [socket.socket() for _ in range(6)]
for x in s: x.bind(("127.0.0.1", 0))
s[5].listen()
print(*[x.getsockname()[1] for x in s], flush=True)
[x.close() for x in s[:5]]
time.sleep(100)' >ports.txt &
pids+=($!)
wait_for ports.txt
read -r port_right port_tls12 port_other port_untrusted port_service port_silent <ports.txt

mkdir -p temp
server() {  # PORT CERT [PROTOCOLS]
    printf '  server { listen 127.0.0.1:%s ssl; ssl_certificate %s.crt; ssl_certificate_key %s.key;
             ssl_protocols %s; location = /probe { return 200 "hello\\n"; }
             location / { client_max_body_size 0; proxy_pass http://127.0.0.1:%s; } }\n' \
        "$1" "$work/$2" "$work/$2" "${3:-TLSv1.2 TLSv1.3}" "$port_service"
}
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
row() {  # EXPECTED-PATTERN PROBE-ARGUMENTS...: the probe's last line must match
    local expected=$1
    shift
    timeout 120 "${run[@]}" "$@" </dev/null >out.txt 2>err.txt || echo "the probe failed" >>err.txt
    answer=$(tr -d '\r' <out.txt | tail -n 1)
    tr -d '\r' <out.txt | grep '^handshake:' || true
    # shellcheck disable=SC2053  # the expected text is a pattern
    if [[ $answer != $expected || -s err.txt ]]; then
        echo "$*: expected \"$expected\", got:"
        cat out.txt err.txt
        status=1
    fi
}
row "HTTP/1.1 200 OK" "$port_right" localhost "$ca_file" 20
row "HTTP/1.1 200 OK" "$port_tls12" localhost "$ca_file"
row "TLS: certificate is for another host" "$port_other" localhost "$ca_file"
row "TLS: certificate not trusted" "$port_untrusted" localhost "$ca_file"
row "TLS: timed out" "$port_silent" localhost "$ca_file"

if [ -x "$service" ]; then
    "$service" --listen 127.0.0.1 --port "$port_service" --data-dir "$work/data" \
        --public-url "https://localhost:$port_right" 2>service.log &
    pids+=($!)
    cp "$repo/logo.png" shot.png
    wait_for service.log  # its first line says it listens
    url=https://localhost/api.php
    row "TLS: certificate not trusted" upload "$url" "$port_untrusted" "$ca_file" shot.png
    row "https://localhost:$port_right/*" upload "$url" "$port_right" "$ca_file" shot.png
    echo "uploaded over https: $answer"
    if ! curl -sf --cacert trusted-ca.crt "$answer" -o fetched.png || ! cmp shot.png fetched.png
    then
        echo "the link does not serve the picture"
        status=1
    fi
else
    echo "no service: upload rows left out"
fi

# The refused rows sent nothing.
if grep -E "^($port_other|$port_untrusted) " access.log; then
    echo "requests arrived where the certificate was refused"
    status=1
fi
exit "$status"
