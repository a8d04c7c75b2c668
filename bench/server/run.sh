#!/bin/bash
# Throughput of glimmerix-server on loopback, measured with wrk:
#   - uploads per second of a 1.5 MB screenshot-sized PNG to /api.php, with the 99th
#     percentile latency;
#   - GET requests per second of one stored 200 KB image;
#   - the same GETs served by nginx from the same images directory, as the yardstick;
#   - probe latencies (p50, p99) of a GET and an upload while 1,000 slowloris connections, 500
#     silent ones and 300 slow readers are open (tests/server/availability_test.sh, 30 s).
# Prints figures; it is not a test. Needs wrk, nginx, python3 and slowhttptest.
#
# Usage: bench/server/run.sh PATH/TO/glimmerix-server [SECONDS] [CONNECTIONS]
set -euo pipefail

server=${1:?usage: run.sh PATH/TO/glimmerix-server [SECONDS] [CONNECTIONS]}
seconds=${2:-5}
connections=${3:-16}
here=$(cd "$(dirname "$0")" && pwd)
for tool in wrk nginx python3; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is needed" >&2; exit 1; }
done

work=$(mktemp -d)
chmod 755 "$work"  # nginx workers run as an unprivileged user
server_pid=
nginx_pid=
cleanup() {
    [ -n "$server_pid" ] && kill -TERM "$server_pid" 2>/dev/null && wait "$server_pid" || true
    [ -n "$nginx_pid" ] && kill -QUIT "$nginx_pid" 2>/dev/null && wait "$nginx_pid" || true
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# "Requests/sec:" and the 99% latency line of wrk's --latency report.
requests_per_second() { awk '/^Requests\/sec:/ { print $2 }' "$1"; }
p99() { awk '$1 == "99%" { print $2 }' "$1"; }
check_all_ok() {
    if grep -q "Non-2xx" "$1"; then
        echo "run.sh: some answers were errors:" >&2
        cat "$1" >&2
        exit 1
    fi
}

python3 "$here/make_png.py" "$work/shot.png" $((1536 * 1024))
python3 "$here/make_png.py" "$work/small.png" $((200 * 1024))
png_bytes=$(stat -c %s "$work/shot.png")

: >"$work/server.log"
"$server" --listen 127.0.0.1 --port 0 --data-dir "$work/data" --public-url http://bench.invalid \
    2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do
    grep -q "listening on" "$work/server.log" && break
    sleep 0.05
done
port=$(sed -n 's/.* port \([0-9]*\), links start with .*/\1/p' "$work/server.log" | head -n1)
[ -n "$port" ] || { cat "$work/server.log" >&2; exit 1; }

BENCH_PNG="$work/shot.png" wrk -t2 -c"$connections" -d"${seconds}s" --latency \
    -s "$here/upload.lua" "http://127.0.0.1:$port/api.php" >"$work/upload.txt"
check_all_ok "$work/upload.txt"
stored=$(ls "$work/data/images" | wc -l)
name=$(curl -sf -F "file=@$work/small.png" "http://127.0.0.1:$port/api.php" | sed 's|.*/||')

wrk -t2 -c"$connections" -d"${seconds}s" --latency "http://127.0.0.1:$port/$name" >"$work/get.txt"
check_all_ok "$work/get.txt"

# nginx as it ships, serving the same directory.
nginx_port=$(free_port)
cat >"$work/nginx.conf" <<EOF
daemon off;
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
    include /etc/nginx/mime.types;
    access_log off;
    sendfile on;
    tcp_nopush on;
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/data/images;
    }
}
EOF
nginx -c "$work/nginx.conf" -p "$work" -e "$work/nginx-error.log" &
nginx_pid=$!
for _ in $(seq 100); do
    curl -sf -o /dev/null "http://127.0.0.1:$nginx_port/$name" 2>/dev/null && break
    sleep 0.05
done
wrk -t2 -c"$connections" -d"${seconds}s" --latency "http://127.0.0.1:$nginx_port/$name" \
    >"$work/nginx.txt"
check_all_ok "$work/nginx.txt"

ours=$(requests_per_second "$work/get.txt")
theirs=$(requests_per_second "$work/nginx.txt")
echo "glimmerix-server benchmark: $seconds s per run, $connections connections, $(nproc) CPUs"
echo "  uploads of a $png_bytes-byte PNG: $(requests_per_second "$work/upload.txt") /s," \
     "p99 $(p99 "$work/upload.txt") ($stored stored)"
echo "  GET of a 200 KB image, glimmerix-server: $ours /s, p99 $(p99 "$work/get.txt")"
echo "  GET of a 200 KB image, nginx:            $theirs /s, p99 $(p99 "$work/nginx.txt")"
echo "  glimmerix-server / nginx: $(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a / b }')"
echo "  probes during the slow-client attack (30 s):"
sh "$here/../../tests/server/availability_test.sh" "$server" 30 | sed 's/^/    /'
