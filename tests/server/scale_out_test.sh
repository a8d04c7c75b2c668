#!/bin/sh
# Three instances behind a real nginx take 2,000 uploads, 16 at a time; one instance is killed
# (-9) after 1,000 answers. Every answered link must then serve its exact bytes, no id repeats.
# Usage: scale_out_test.sh dir SERVER LOCATIONS_CONF | scale_out_test.sh s3 SERVER (as root)
#  dir: one data directory; nginx serves images through the shipped locations file. After a new
#       start, incoming/ holds only the living instances' empty folders.
#  s3:  three network namespaces around a lab namespace with Ceph and nginx, a gateway each; one
#       gateway dies after 1,300 answers. With both back, every link serves through nginx and
#       every instance, and every object in the bucket, linked or not, is one whole upload.
set -eu
STORE=$1
SERVER=$(realpath "$2")
LOCATIONS=$(realpath "${3:-/dev/null}")
HERE=$(cd "$(dirname "$0")" && pwd)
CEPH="$HERE/../../scripts/ceph-cluster.sh"
tools="nginx python3"
[ "$STORE" = dir ] || tools="$tools ceph-mon ceph-osd radosgw ip unshare"
for tool in $tools; do
    command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
if [ "$STORE" = s3 ] && [ -z "${GLIMMERIX_LAB:-}" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "skipped: needs root for network namespaces"; exit 77; }
    unshare -n -m true 2>/dev/null || { echo "skipped: cannot make namespaces here"; exit 77; }
    # Everything runs in a lab of private network and mount namespaces, which vanish with it.
    exec timeout 150 unshare -n -m env GLIMMERIX_LAB=1 sh "$0" "$@"
fi
WORK=$(mktemp -d)
chmod 755 "$WORK"
PIDS=""
trap 'kill $(cat "$WORK/nginx.pid" 2>/dev/null) $PIDS 2>/dev/null || true
      [ "$STORE" = dir ] || sh "$CEPH" stop "$WORK/ceph"; rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

if [ "$STORE" = s3 ]; then
    ip link set lo up
    mkdir -p /run/netns
    mount -t tmpfs tmpfs /run/netns
    RGW_ADDRESS=0.0.0.0 sh "$CEPH" start "$WORK/ceph" 3
    . "$WORK/ceph/env"
    export AWS_ACCESS_KEY_ID AWS_SECRET_ACCESS_KEY
    "$SERVER" --new-delete-key "$WORK/key"
    for n in 1 2 3; do  # machine N: namespace mN at 10.77.N.2, linked to the lab at 10.77.N.1
        ip netns add "m$n"
        ip link add "lab$n" type veth peer name eth0 netns "m$n"
        ip addr add "10.77.$n.1/24" dev "lab$n"
        ip link set "lab$n" up
        ip -n "m$n" addr add "10.77.$n.2/24" dev eth0
        ip -n "m$n" link set eth0 up
        ip -n "m$n" link set lo up
    done
fi

# Starts instance N for the START-th time (its log keeps every start); prints "PID ADDRESS:PORT".
start_instance() {
    if [ "$STORE" = dir ]; then
        "$SERVER" --port 0 --listen 127.0.0.1 --data-dir "$WORK/data" \
            --public-url http://glimmerix.test >>"$WORK/log.$1" 2>&1 &
    else
        eval gateway=\$S3_PORT_$1
        ip netns exec "m$1" "$SERVER" --listen "10.77.$1.2" --port 8080 --data-dir "$WORK/tmp.$1" \
            --public-url http://glimmerix.test --s3-endpoint "http://10.77.$1.1:$gateway" \
            --s3-bucket "$S3_BUCKET" --delete-key-file "$WORK/key" --trusted-proxies 10.77.$1.1 \
            >>"$WORK/log.$1" 2>&1 &
    fi
    for _ in $(seq 50); do
        at=$(sed -n 's/.*listening on \([0-9.]*\) port \([0-9]*\), links.*/\1:\2/p' "$WORK/log.$1" |
            sed -n "$2p")
        [ -n "$at" ] && { echo "$! $at"; return; }
        sleep 0.1
    done
    fail "instance $1 did not start: $(cat "$WORK/log.$1")"
}
: >"$WORK/log.1"; : >"$WORK/log.2"; : >"$WORK/log.3"
set -- $(start_instance 1 1) $(start_instance 2 1) $(start_instance 3 1)
PIDS="$1 $3 $5"
VICTIM=$1
INSTANCES="$2 $4 $6"
if [ "$STORE" = dir ]; then
    GATEWAY=0 SITE="root $WORK/data/images; include $LOCATIONS;"
else
    GATEWAY=$(cat "$WORK/ceph/rgw.2.pid")
    SITE="location / { proxy_pass http://glimmerix; proxy_http_version 1.1;
        proxy_set_header Connection \"\"; client_max_body_size 33m; }"
fi
NGINX_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$WORK/nginx.conf" <<CONF
$([ "$(id -u)" -eq 0 ] && echo "user root;")
worker_processes 2;
pid $WORK/nginx.pid;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $WORK/body;
    proxy_temp_path $WORK/proxy;
    upstream glimmerix {
        $(for at in $INSTANCES; do echo "server $at max_fails=1 fail_timeout=30s;"; done)
        keepalive 16;
    }
    server { listen 127.0.0.1:$NGINX_PORT; $SITE }
}
CONF
nginx -c "$WORK/nginx.conf" -p "$WORK" -e "$WORK/nginx-error.log"

python3 - "$NGINX_PORT" "$VICTIM" "$GATEWAY" "$WORK" <<'PY'
import concurrent.futures, hashlib, http.client, json, os, struct, sys, threading, zlib
port, victim, gateway, work = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
lock, answers, sent, links, statuses, duplicates = threading.Lock(), [0], set(), {}, {}, [0]
def upload(i):
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data
                                + struct.pack(">I", zlib.crc32(kind + data)))
    image = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0))
             + chunk(b"IDAT", os.urandom(1200)) + chunk(b"IEND", b""))  # checked, never decoded
    digest = hashlib.sha256(image).hexdigest()
    body = (b"--B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"s.png\"\r\n\r\n"
            + image + b"\r\n--B--\r\n")
    try:
        c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        c.request("POST", "/api.php", body, {"Content-Type": "multipart/form-data; boundary=B"})
        r = c.getresponse()
        status, link = r.status, r.read()
    except Exception:
        status = 0
    with lock:
        sent.add(digest)
        answers[0] += 1
        statuses[status] = statuses.get(status, 0) + 1
        if answers[0] == 1000:
            os.kill(victim, 9)
        if answers[0] == 1300 and gateway:
            os.kill(gateway, 9)
        if status == 200:
            duplicates[0] += link.decode() in links
            links[link.decode()] = digest
with concurrent.futures.ThreadPoolExecutor(16) as pool:
    list(pool.map(upload, range(2000)))
print("answers by status:", dict(sorted(statuses.items())), "duplicate ids:", duplicates[0])
json.dump({"links": links, "sent": sorted(sent)}, open(work + "/uploads.json", "w"))
sys.exit(1 if duplicates[0] or len(links) < (1900 if not gateway else 1300) else 0)
PY

# Shapes libmicrohttpd cannot refuse (it cuts at NUL, joins a folded line onto the field's name):
# nginx answers 400 and passes none of them, nor what hides behind them, to an instance.
python3 - "$NGINX_PORT" <<'PY'
import socket, sys
failed = 0
for shape in [b"GET /shape\0x HTTP/1.1\r\nHost: h\r\n\r\n",
              b"GET /shape HTTP/1.1\r\nHost: h\r\nX-A: a\0b\r\n\r\n",
              b"GET /shape HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\n\t40\r\n\r\n"]:
    with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5) as s:
        s.sendall(shape + b"GET /hidden HTTP/1.1\r\nHost: h\r\n\r\n")
        answer = b"".join(iter(lambda: s.recv(65536), b""))  # a time-out (kept open) fails
    if not answer.startswith(b"HTTP/1.1 400 ") or answer.count(b"HTTP/1.1 ") != 1:
        print("nginx let through %r: %r" % (shape, answer[:80]))
        failed += 1
sys.exit(failed)
PY
! grep -l '/shape\|/hidden' "$WORK"/log.* || fail "a malformed request reached an instance"

if [ "$STORE" = dir ]; then
    before=$(ls "$WORK/data/incoming" | wc -l)
    set -- $(start_instance 4 1)
    PIDS="$PIDS $1"  # it removed the dead folder before it said it listens
    after=$(ls "$WORK/data/incoming" | wc -l)
    # Two living, one dead; the newcomer adds its own and removes the dead one's.
    [ "$before $after" = "3 3" ] || fail "incoming/ folders: $before with the dead one, then $after"
    [ -z "$(find "$WORK/data/incoming" -type f)" ] || fail "orphan files in incoming/"
    SERVERS=127.0.0.1:$NGINX_PORT
else
    # Both back: the killed instance starts afresh, the killed gateway on its old port.
    sh "$CEPH" gateway "$WORK/ceph" 2
    set -- $(start_instance 1 2)
    PIDS="$PIDS $1"  # it removed the dead folder before it said it listens
    SERVERS="127.0.0.1:$NGINX_PORT $INSTANCES"
    radosgw-admin -c "$CEPH_CONF" -n client.rgw bucket list --bucket "$S3_BUCKET" \
        --max-entries 10000 >"$WORK/objects.json" 2>/dev/null
fi

python3 - "$WORK" $SERVERS <<'PY'
import concurrent.futures, hashlib, http.client, json, sys, threading
work, servers = sys.argv[1], [tuple(s.split(":")) for s in sys.argv[2:]]
uploads = json.load(open(work + "/uploads.json"))
links, sent = uploads["links"], set(uploads["sent"])
# The bucket index writes a name that starts with "_" with one more in front. No bucket: no objects.
bucket = json.load(open(work + "/objects.json")) if len(servers) > 1 else []
objects = [o["name"][o["name"].startswith("__"):] for o in bucket]
local = threading.local()
def fetch(server, name, headers={}):
    if not hasattr(local, "c"):
        local.c = {s: http.client.HTTPConnection(s[0], int(s[1]), timeout=30) for s in servers}
    local.c[server].request("GET", "/" + name, headers=headers)
    r = local.c[server].getresponse()
    return r.status, r.getheader("ETag"), r.read()
def check(item):  # failures among every server for one link
    name, digest = item[0].replace("http://glimmerix.test/", ""), item[1]
    return sum(status != 200 or hashlib.sha256(data).hexdigest() != digest or etag != '"%s"' % name
               for status, etag, data in (fetch(s, name) for s in servers))
linked = {link.replace("http://glimmerix.test/", "") for link in links}
unlinked = [o for o in objects if o not in linked]
def whole(name):  # stored while its answer was lost: whole, or it would not exist
    status, _, data = fetch(servers[-1], name)
    return status == 200 and hashlib.sha256(data).hexdigest() in sent
with concurrent.futures.ThreadPoolExecutor(8) as pool:
    bad = sum(pool.map(check, links.items()))
    strays = sum(not w for w in pool.map(whole, unlinked))
missing = len(linked - set(objects)) if len(servers) > 1 else 0
name = next(iter(linked))
revalidated = fetch(servers[0], name, {"If-None-Match": '"%s"' % name})[0] == 304
print("%d links, each fetched through %d servers: %d failed; 304 when revalidated: %s; %d objects, "
      "%d without a link (%d not a whole upload), %d links without an object"
      % (len(links), len(servers), bad, revalidated, len(objects), len(unlinked), strays, missing))
sys.exit(1 if bad or strays or missing or not revalidated else 0)
PY
