#!/bin/bash
# Throughput of glimmerix-server on loopback, measured with wrk:
#   - uploads per second of a 1.5 MB screenshot-sized PNG to /api.php, with the 99th
#     percentile latency;
#   - GET requests per second of one stored 200 KB image;
#   - the same GETs served by nginx from the same images directory, as the yardstick;
#   - the same uploads and GETs with the S3 store, on a throwaway local Ceph cluster
#     (scripts/ceph-cluster.sh), and the ratio to the directory store;
#   - probe latencies (p50, p99) of a GET and an upload while 1,000 slowloris connections, 500
#     silent ones and 300 slow readers are open (tests/server/availability_test.sh, 30 s).
# Prints figures; it is not a test. Needs wrk, nginx, python3 and slowhttptest, and Ceph
# (ceph-mon, ceph-osd, radosgw) for the S3 figures.
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
s3_pid=
nginx_pid=
cleanup() {
    [ -n "$server_pid" ] && kill -TERM "$server_pid" 2>/dev/null && wait "$server_pid" || true
    [ -n "$s3_pid" ] && kill -TERM "$s3_pid" 2>/dev/null && wait "$s3_pid" || true
    [ -d "$work/ceph" ] && sh "$here/../../scripts/ceph-cluster.sh" stop "$work/ceph"
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

# Starts the server with the extra flags, its log in $1; sets $port.
start_server() {
    log=$1
    shift
    "$server" --listen 127.0.0.1 --port 0 --public-url http://bench.invalid "$@" 2>"$log" &
    started_pid=$!
    for _ in $(seq 100); do
        grep -q "listening on" "$log" && break
        sleep 0.05
    done
    port=$(sed -n 's/.* port \([0-9]*\), links start with .*/\1/p' "$log" | head -n1)
    [ -n "$port" ] || { cat "$log" >&2; exit 1; }
}

# Uploads for $seconds, then GETs of one 200 KB image; the reports go to $1.upload, $1.get.
measure() {
    BENCH_PNG="$work/shot.png" wrk -t2 -c"$connections" -d"${seconds}s" --latency \
        -s "$here/upload.lua" "http://127.0.0.1:$port/api.php" >"$1.upload"
    check_all_ok "$1.upload"
    name=$(curl -sf -F "file=@$work/small.png" "http://127.0.0.1:$port/api.php" | sed 's|.*/||')
    wrk -t2 -c"$connections" -d"${seconds}s" --latency "http://127.0.0.1:$port/$name" >"$1.get"
    check_all_ok "$1.get"
}

start_server "$work/server.log" --data-dir "$work/data"
server_pid=$started_pid
measure "$work/dir"
stored=$(ls "$work/data/images" | wc -l)
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

# The S3 store: the same load, on a single-host Ceph cluster with one gateway.
s3_figures=
if command -v ceph-mon >/dev/null && command -v radosgw >/dev/null; then
    sh "$here/../../scripts/ceph-cluster.sh" start "$work/ceph" 1 >/dev/null
    . "$work/ceph/env"
    export AWS_ACCESS_KEY_ID AWS_SECRET_ACCESS_KEY
    "$server" --new-delete-key "$work/delete.key"
    start_server "$work/s3.log" --data-dir "$work/s3-tmp" --s3-endpoint "$S3_ENDPOINT_1" \
        --s3-bucket "$S3_BUCKET" --delete-key-file "$work/delete.key"
    s3_pid=$started_pid
    measure "$work/s3"
    s3_figures=yes
fi

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
ours=$(requests_per_second "$work/dir.get")
theirs=$(requests_per_second "$work/nginx.txt")
echo "glimmerix-server benchmark: $seconds s per run, $connections connections, $(nproc) CPUs"
echo "  uploads of a $png_bytes-byte PNG: $(requests_per_second "$work/dir.upload") /s," \
     "p99 $(p99 "$work/dir.upload") ($stored stored)"
echo "  GET of a 200 KB image, glimmerix-server: $ours /s, p99 $(p99 "$work/dir.get")"
echo "  GET of a 200 KB image, nginx:            $theirs /s, p99 $(p99 "$work/nginx.txt")"
echo "  glimmerix-server / nginx: $(ratio "$ours" "$theirs")"
if [ -n "$s3_figures" ]; then
    echo "  S3 store on a local Ceph cluster (1 monitor, 1 in-memory OSD, 1 gateway):"
    echo "    uploads: $(requests_per_second "$work/s3.upload") /s, p99 $(p99 "$work/s3.upload");" \
         "S3 / directory: $(ratio "$(requests_per_second "$work/s3.upload")" \
                                  "$(requests_per_second "$work/dir.upload")")"
    echo "    GET of a 200 KB image: $(requests_per_second "$work/s3.get") /s," \
         "p99 $(p99 "$work/s3.get"); S3 / directory: $(ratio "$(requests_per_second "$work/s3.get")" "$ours")"
else
    echo "  S3 store: skipped (Ceph is not installed)"
fi
echo "  probes during the slow-client attack (30 s):"
sh "$here/../../tests/server/availability_test.sh" "$server" 30 | sed 's/^/    /'
