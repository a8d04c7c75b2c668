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
nginx_pid=
silent_pid=
service_pid=
# shellcheck disable=SC2317  # run by the trap
cleanup() {
    for pid in $nginx_pid $silent_pid $service_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
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
silent_pid=$!
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
daemon off;
master_process off;
pid $work/nginx.pid;
events {}
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
nginx_pid=$!
wait_for nginx.pid || { cat error.log; exit 1; }

ca_file=$work/trusted-ca.crt
run=("$probe")
if [ "$target" = wine ]; then
    ca_file=Z:$ca_file
    run=("$repo/scripts/wine-run.sh" "$probe")
fi

status=0
check() {  # PORT EXPECTED [HANDSHAKES]
    timeout 120 "${run[@]}" "$1" localhost "$ca_file" ${3:+"$3"} </dev/null >out.txt 2>err.txt ||
        { echo "port $1: the probe failed"; status=1; }
    tr -d '\r' <out.txt >answer.txt
    grep '^handshake:' answer.txt || true
    if [ "$(tail -n 1 answer.txt)" != "$2" ]; then
        echo "port $1: expected \"$2\", got:"
        cat answer.txt err.txt
        status=1
    fi
}
check "$port_right" "HTTP/1.1 200 OK" 20
check "$port_tls12" "HTTP/1.1 200 OK"
check "$port_other" "TLS: certificate is for another host"
check "$port_untrusted" "TLS: certificate not trusted"
check "$port_silent" "TLS: timed out"

if [ -x "$service" ]; then
    "$service" --listen 127.0.0.1 --port "$port_service" --data-dir "$work/data" \
        --public-url "https://localhost:$port_right" 2>service.log &
    service_pid=$!
    cp "$repo/logo.png" shot.png
    upload() {  # PORT EXPECTED-PATTERN
        timeout 120 "${run[@]}" upload https://localhost/api.php "$1" "$ca_file" shot.png \
            </dev/null >out.txt 2>err.txt || { echo "upload to $1: the probe failed"; status=1; }
        answer=$(tr -d '\r' <out.txt)
        # shellcheck disable=SC2053  # the expected text is a pattern
        if [[ $answer != $2 ]]; then
            echo "upload to $1: expected \"$2\", got:"
            cat out.txt err.txt
            status=1
        fi
    }
    for _ in $(seq 50); do (: >"/dev/tcp/127.0.0.1/$port_service") 2>/dev/null && break; sleep 0.1; done
    upload "$port_untrusted" "TLS: certificate not trusted"
    upload "$port_right" "https://localhost:$port_right/*"
    link=$answer
    echo "uploaded over https: $link"
    if ! curl -sf --cacert trusted-ca.crt "$link" -o fetched.png || ! cmp -s shot.png fetched.png
    then
        echo "the link $link does not serve the picture"
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
