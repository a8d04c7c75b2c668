#!/bin/sh
# Three instances on three "machines" (network namespaces of their own, linked to a private lab
# namespace that holds the Ceph cluster and nginx), each using the S3 store through a gateway of
# its own, behind a real nginx. 2,000 uploads; after 1,000 answers one instance is killed (-9),
# after 1,300 one gateway. Then, with both back, every answered link must serve its exact bytes
# through every instance and nginx, no id may repeat, and every object in the bucket, linked or
# not, must be one whole uploaded image.
# Usage: s3_scale_out_test.sh SERVER_BINARY   (as root: it makes namespaces)
set -eu
SERVER=$(realpath "$1")
HERE=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root for network namespaces"; exit 77; }
for tool in ceph-mon ceph-osd radosgw nginx ip unshare python3; do
    command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
unshare -n -m true 2>/dev/null || { echo "skipped: cannot make namespaces here"; exit 77; }
if [ -z "${GLIMMERIX_LAB:-}" ]; then
    # Everything runs in a lab of private network and mount namespaces, which vanish with it.
    exec timeout 150 unshare -n -m env GLIMMERIX_LAB=1 sh "$0" "$@"
fi
ip link set lo up
mkdir -p /run/netns
mount -t tmpfs tmpfs /run/netns
WORK=$(mktemp -d)
chmod 755 "$WORK"
PIDS=""
trap 'kill $(cat "$WORK/nginx.pid" 2>/dev/null) $PIDS 2>/dev/null || true; sh "$HERE/../../scripts/ceph-cluster.sh" stop "$WORK/ceph"; rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

started=$(date +%s.%N)
RGW_ADDRESS=0.0.0.0 sh "$HERE/../../scripts/ceph-cluster.sh" start "$WORK/ceph" 3
echo "cluster with 3 gateways started in $(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s"
. "$WORK/ceph/env"
export AWS_ACCESS_KEY_ID AWS_SECRET_ACCESS_KEY
"$SERVER" --new-delete-key "$WORK/key"

# Machine N: namespace mN at 10.77.N.2, linked to the lab at 10.77.N.1.
for n in 1 2 3; do
    ip netns add "m$n"
    ip link add "lab$n" type veth peer name eth0 netns "m$n"
    ip addr add "10.77.$n.1/24" dev "lab$n"
    ip link set "lab$n" up
    ip -n "m$n" addr add "10.77.$n.2/24" dev eth0
    ip -n "m$n" link set eth0 up
    ip -n "m$n" link set lo up
done

# Instance N on machine N, talking to gateway N; prints its pid once it listens.
start_instance() {
    eval port=\$S3_PORT_$1
    ip netns exec "m$1" "$SERVER" --listen "10.77.$1.2" --port 8080 --data-dir "$WORK/tmp.$1" \
        --public-url http://glimmerix.test --s3-endpoint "http://10.77.$1.1:$port" \
        --s3-bucket "$S3_BUCKET" --delete-key-file "$WORK/key" --trusted-proxies 10.77.$1.1 \
        >>"$WORK/log.$1" 2>&1 &
    pid=$!
    for _ in $(seq 50); do
        [ "$(grep -c "listening on" "$WORK/log.$1")" -ge "$2" ] && { echo $pid; return; }
        sleep 0.1
    done
    fail "instance $1 did not start: $(cat "$WORK/log.$1")"
}
: >"$WORK/log.1"; : >"$WORK/log.2"; : >"$WORK/log.3"
PID1=$(start_instance 1 1); PID2=$(start_instance 2 1); PID3=$(start_instance 3 1)
PIDS="$PID1 $PID2 $PID3"

NGINX_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$WORK/nginx.conf" <<CONF
user root;
worker_processes 2;
pid $WORK/nginx.pid;
error_log $WORK/nginx-error.log;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $WORK/body;
    proxy_temp_path $WORK/proxy;
    upstream glimmerix {
        server 10.77.1.2:8080 max_fails=1 fail_timeout=30s;
        server 10.77.2.2:8080 max_fails=1 fail_timeout=30s;
        server 10.77.3.2:8080 max_fails=1 fail_timeout=30s;
        keepalive 16;
    }
    server {
        listen 127.0.0.1:$NGINX_PORT;
        location / {
            proxy_pass http://glimmerix;
            proxy_http_version 1.1;
            proxy_set_header Connection "";
            proxy_request_buffering on;
            client_max_body_size 33m;
            proxy_next_upstream error timeout;
        }
    }
}
CONF
nginx -c "$WORK/nginx.conf" -p "$WORK" -e "$WORK/nginx-error.log"

python3 - "$NGINX_PORT" "$PID1" "$(cat "$WORK/ceph/rgw.2.pid")" "$WORK" <<'PY'
import concurrent.futures, hashlib, http.client, json, os, struct, sys, threading, zlib
port, victim, gateway, work = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
def post(body):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    c.request("POST", "/api.php", body, {"Content-Type": "multipart/form-data; boundary=B"})
    r = c.getresponse()
    return r.status, r.read()
lock, answers, sent, links, statuses = threading.Lock(), [0], set(), {}, {}
duplicates = [0]
def upload(i):
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data
                                + struct.pack(">I", zlib.crc32(kind + data)))
    image = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0))
             + chunk(b"IDAT", os.urandom(1200)) + chunk(b"IEND", b""))  # checked, never decoded
    digest = hashlib.sha256(image).hexdigest()
    body = (b"--B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"s.png\"\r\n\r\n"
            + image + b"\r\n--B--\r\n")
    with lock:
        sent.add(digest)
    try:
        status, link = post(body)
    except Exception:
        status = 0
    with lock:
        answers[0] += 1
        statuses[status] = statuses.get(status, 0) + 1
        if answers[0] == 1000:
            os.kill(victim, 9)
        if answers[0] == 1300:
            os.kill(gateway, 9)
        if status == 200:
            duplicates[0] += link in links
            links[link.decode()] = digest
with concurrent.futures.ThreadPoolExecutor(16) as pool:
    list(pool.map(upload, range(2000)))
print("answers by status:", dict(sorted(statuses.items())), "duplicate ids:", duplicates[0])
json.dump({"links": links, "sent": sorted(sent)}, open(work + "/uploads.json", "w"))
sys.exit(1 if duplicates[0] or len(links) < 1300 else 0)
PY

# Both back: the killed instance starts afresh, the killed gateway on its old port.
sh "$HERE/../../scripts/ceph-cluster.sh" gateway "$WORK/ceph" 2
PID1=$(start_instance 1 2)
PIDS="$PIDS $PID1"
radosgw-admin -c "$CEPH_CONF" -n client.rgw bucket list --bucket "$S3_BUCKET" --max-entries 10000 \
    >"$WORK/objects.json" 2>/dev/null

python3 - "$NGINX_PORT" "$WORK" <<'PY'
import concurrent.futures, hashlib, http.client, json, sys, threading
port, work = int(sys.argv[1]), sys.argv[2]
uploads = json.load(open(work + "/uploads.json"))
links, sent = uploads["links"], set(uploads["sent"])
# The bucket index writes a name that starts with "_" with one more in front.
objects = [o["name"][o["name"].startswith("__"):] for o in json.load(open(work + "/objects.json"))]
servers = [("127.0.0.1", port)] + [("10.77.%d.2" % n, 8080) for n in (1, 2, 3)]
local = threading.local()
def fetch(server, name):
    if not hasattr(local, "c"):
        local.c = {s: http.client.HTTPConnection(*s, timeout=30) for s in servers}
    local.c[server].request("GET", "/" + name)
    r = local.c[server].getresponse()
    return r.status, r.getheader("ETag"), r.read()
def check(item):  # failures among every server for one link
    name, digest = item[0].replace("http://glimmerix.test/", ""), item[1]
    return sum(status != 200 or hashlib.sha256(data).hexdigest() != digest or etag != '"%s"' % name
               for status, etag, data in (fetch(s, name) for s in servers))
linked = {link.replace("http://glimmerix.test/", "") for link in links}
unlinked = [o for o in objects if o not in linked]
def whole(name):  # stored while its answer was lost: whole, or it would not exist
    status, _, data = fetch(servers[3], name)
    return status == 200 and hashlib.sha256(data).hexdigest() in sent
with concurrent.futures.ThreadPoolExecutor(8) as pool:
    bad = sum(pool.map(check, links.items()))
    strays = sum(not w for w in pool.map(whole, unlinked))
missing = len(linked - set(objects))
print("%d links, each fetched through nginx and all 3 instances: %d failed; %d objects, "
      "%d without a link (%d not a whole upload), %d links without an object"
      % (len(links), bad, len(objects), len(unlinked), strays, missing))
sys.exit(1 if bad or strays or missing else 0)
PY
