#!/bin/sh
# Three instances on one data directory behind a real nginx using the shipped locations file;
# 2,000 uploads while one instance is killed (-9) midway. Every link must serve its bytes
# through nginx, no id may repeat, and incoming/ must end empty once a new instance has started.
# Usage: scale_out_test.sh SERVER_BINARY LOCATIONS_CONF
set -eu
SERVER=$1
LOCATIONS=$(realpath "$2")
command -v nginx >/dev/null || { echo "skipped: nginx is not installed"; exit 77; }
WORK=$(mktemp -d)
chmod 755 "$WORK"
PIDS=""
trap 'kill $(cat "$WORK/nginx.pid" 2>/dev/null) $PIDS 2>/dev/null || true; rm -rf "$WORK"' EXIT

# Starts an instance on a free port; prints its pid and port.
start_instance() {
    "$SERVER" --port 0 --listen 127.0.0.1 --data-dir "$WORK/data" \
        --public-url http://glimmerix.test >"$WORK/log.$1" 2>&1 &
    for _ in $(seq 50); do
        port=$(sed -n 's/.* port \([0-9]*\), links.*/\1/p' "$WORK/log.$1" 2>/dev/null) || true
        [ -n "$port" ] && { echo "$! $port"; return; }
        sleep 0.1
    done
    exit 1
}

set -- $(start_instance 1) $(start_instance 2) $(start_instance 3)
PIDS="$1 $3 $5"
VICTIM=$3
NGINX_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$WORK/nginx.conf" <<CONF
$([ "$(id -u)" -eq 0 ] && echo "user root;")
worker_processes 2;
pid $WORK/nginx.pid;
error_log $WORK/nginx-error.log;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $WORK/body;
    proxy_temp_path $WORK/proxy;
    upstream glimmerix {
        server 127.0.0.1:$2 max_fails=1 fail_timeout=30s;
        server 127.0.0.1:$4 max_fails=1 fail_timeout=30s;
        server 127.0.0.1:$6 max_fails=1 fail_timeout=30s;
        keepalive 16;
    }
    server {
        listen 127.0.0.1:$NGINX_PORT;
        root $WORK/data/images;
        include $LOCATIONS;
    }
}
CONF
nginx -c "$WORK/nginx.conf" -p "$WORK" -e "$WORK/nginx-error.log"

# 2,000 uploads, 16 at a time; after the 1,000th answer the victim is killed.
python3 - "$NGINX_PORT" "$VICTIM" "$WORK" <<'PY'
import concurrent.futures, hashlib, http.client, os, struct, sys, threading, zlib
port, victim, work = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
def request(method, path, body=None, headers={}):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    c.request(method, path, body, headers)
    r = c.getresponse()
    return r.status, r.getheader("ETag"), r.read()
lock, done, dup, links = threading.Lock(), [0], [0], {}
def upload(i):
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data
                                + struct.pack(">I", zlib.crc32(kind + data)))
    image = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0))
             + chunk(b"IDAT", os.urandom(1200)) + chunk(b"IEND", b""))  # checked, never decoded
    body = (b"--B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"s.png\"\r\n\r\n"
            + image + b"\r\n--B--\r\n")
    try:
        status, _, link = request("POST", "/api.php", body, {"Content-Type": "multipart/form-data; boundary=B"})
    except Exception:
        status = 0
    with lock:
        done[0] += 1
        if done[0] == 1000:
            os.kill(victim, 9)
        if status == 200:
            dup[0] += link in links
            links[link] = hashlib.sha256(image).hexdigest()
with concurrent.futures.ThreadPoolExecutor(16) as pool:
    list(pool.map(upload, range(2000)))
bad = 0
for link, digest in links.items():
    path = link.decode().replace("http://glimmerix.test", "")
    status, etag, data = request("GET", path)
    if status != 200 or hashlib.sha256(data).hexdigest() != digest or etag != '"%s"' % path[1:]:
        bad += 1
status, _, _ = request("GET", path, headers={"If-None-Match": etag})
print("links: %d of 2000 uploads, %d served intact through nginx, %d duplicate ids, 304: %s"
      % (len(links), len(links) - bad, dup[0], status == 304))
sys.exit(1 if bad or dup[0] or len(links) < 1900 or status != 304 else 0)
PY

# Request shapes libmicrohttpd cannot be made to refuse (it cuts at NUL, and joins a folded line
# onto the previous field's name): nginx in front answers 400 and passes none of them, nor what
# hides behind them, to an instance.
python3 - "$NGINX_PORT" <<'PY'
import socket, sys
hidden = b"GET /hidden HTTP/1.1\r\nHost: h\r\n\r\n"
shapes = [b"GET /shape\0x HTTP/1.1\r\nHost: h\r\n\r\n",
          b"GET /shape HTTP/1.1\r\nHost: h\r\nX-A: a\0b\r\n\r\n",
          b"GET /shape HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\n\t40\r\n\r\n"]
failed = 0
for shape in shapes:
    s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5)
    s.sendall(shape + hidden)
    answer = b""
    try:
        while True:
            data = s.recv(65536)
            if not data:
                break
            answer += data
    except socket.timeout:
        answer += b" (kept open)"
    if not answer.startswith(b"HTTP/1.1 400 ") or answer.count(b"HTTP/1.1 ") != 1:
        print("nginx let through %r: %r" % (shape, answer[:80]))
        failed += 1
print("malformed shapes refused by nginx: %d of %d" % (len(shapes) - failed, len(shapes)))
sys.exit(1 if failed else 0)
PY
if grep -l '/shape\|/hidden' "$WORK"/log.*; then echo "a malformed request reached an instance"; exit 1; fi

folders_before=$(ls "$WORK/data/incoming" | wc -l)
set -- $(start_instance 4)
PIDS="$PIDS $1"
sleep 0.3
folders_after=$(ls "$WORK/data/incoming" | wc -l)
echo "incoming/ folders: $folders_before with the dead one, $folders_after after a new start"
# Three were there (two living, one dead); the newcomer adds its own and removes the dead one's.
# What is left belongs to living, idle instances, and must be empty.
[ "$folders_before" -eq 3 ] && [ "$folders_after" -eq 3 ] || exit 1
[ -z "$(find "$WORK/data/incoming" -type f)" ] || { echo "orphan files in incoming/"; exit 1; }
