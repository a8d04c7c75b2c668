#!/usr/bin/env bash
# https through the upload transport and the client's TLS module to a real nginx on loopback: a CA
# trusted through ca_file (TLS 1.3, and 1.2 alone), a server that never answers the greeting (bad
# hosts and CAs are the deploy scenario's) and, natively, a probe without its TLS module. SERVICE's
# own TLS takes an upload and serves it to curl trusting the CA, never without it nor plain HTTP.
#   tls_test.sh native|wine PROBE [SERVICE]
set -euo pipefail

target=$1
probe=$2
service=${3:-}
command -v nginx >/dev/null || { echo "no nginx"; exit 77; }
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
e2e_dir=$repo/tests/e2e
. "$e2e_dir/lib.sh"  # make_cert, wait_until

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait; rm -rf "$work"' EXIT
cd "$work"

make_cert trusted-ca trusted-ca
make_cert right localhost trusted-ca
convert -size 400x300 xc: +noise Random shot.png  # several records and send pieces

# Free ports: two for nginx, one for the service's TLS, and a listener that says nothing.
python3 -c 'import socket, time; s = [socket.socket() for _ in "abcd"]
[x.bind(("127.0.0.1", 0)) for x in s]; s[3].listen(); p = [x.getsockname()[1] for x in s]
print(*p, flush=True); [x.close() for x in s[:3]]; time.sleep(100)' >ports.txt &
pids+=($!)
wait_until 10 test -s ports.txt
read -r port_right port_tls12 port_own port_silent <ports.txt

if [ -x "$service" ]; then
    "$service" --listen 127.0.0.1 --port "$port_own" --data-dir "$work/own" --tls-cert right.crt \
        --tls-key right.key --public-url "https://localhost:$port_own" 2>own.log &
    pids+=($!)
    wait_until 10 test -s own.log  # its first line says it listens
fi
server() {  # PORT PROTOCOLS
    printf '  server { listen 127.0.0.1:%s ssl; ssl_certificate %s; ssl_certificate_key %s;
             ssl_protocols %s; location / { return 200 https://localhost/made-by-nginx.png; } }\n' \
        "$1" "$work/right.crt" "$work/right.key" "$2"
}
mkdir -p temp
cat >nginx.conf <<EOF
daemon off; master_process off; pid $work/nginx.pid; events {}
http {
  access_log off; client_body_temp_path $work/temp; proxy_temp_path $work/temp;
  fastcgi_temp_path $work/temp; uwsgi_temp_path $work/temp; scgi_temp_path $work/temp;
$(server "$port_right" "TLSv1.2 TLSv1.3"; server "$port_tls12" TLSv1.2)
}
EOF
nginx -p "$work" -e "$work/error.log" -c "$work/nginx.conf" &
pids+=($!)
wait_until 10 test -s nginx.pid || { cat error.log; exit 1; }

ca_file=$work/trusted-ca.crt
run=("$probe")
if [ "$target" = wine ]; then
    ca_file=Z:$ca_file
    run=("$repo/scripts/wine-run.sh" "$probe")
fi

status=0
row() {  # PORT EXPECTED-PATTERN: the probe's last line must match
    timeout 120 "${run[@]}" https://localhost/api.php "$1" "$ca_file" shot.png \
        </dev/null >out.txt 2>err.txt || echo "the probe failed" >>err.txt
    link=$(tr -d '\r' <out.txt | tail -n 1)
    # shellcheck disable=SC2053  # the expected text is a pattern
    if [[ $link != $2 || -s err.txt ]]; then
        echo "port $1: expected \"$2\", got:"
        cat out.txt err.txt
        status=1
    fi
}
row "$port_right" "https://localhost/made-by-nginx.png"
row "$port_tls12" "https://localhost/made-by-nginx.png"
row "$port_silent" "TLS: timed out"
if [ -x "$service" ]; then
    row "$port_own" "https://localhost:$port_own/*"
    own=https://localhost:$port_own/${link##*/}
    curl -sf --cacert trusted-ca.crt "$own" -o own.png && cmp shot.png own.png || status=1
    if curl -s -o /dev/null "$own" || curl -s -o /dev/null -m 5 "http://127.0.0.1:$port_own/"; then
        echo "the service's TLS port served curl without the CA, or plain HTTP"
        status=1
    fi
fi
if [ "$target" = native ]; then  # a copy of the probe away from glimmerix-tls.so refuses https
    mkdir alone && cp "$probe" alone/ && run=("$work/alone/$(basename "$probe")")
    row "$port_right" "TLS: cannot load glimmerix-tls.so"
fi
exit "$status"
