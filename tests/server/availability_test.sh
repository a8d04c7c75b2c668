#!/bin/sh
# A crowd must not take the service down. Across a veth between two private network namespaces,
# 4,800 silent connections (60 from each of 80 addresses), 4,500 slow bodies from a trusted
# address and 300 slow readers of a 2 MB image stay open (reopened when dropped), while a GET and
# the client's exact upload, each every 200 ms, must be answered 200 within 1 s. Needs root.
# Usage: availability_test.sh SERVER_BINARY CLIENT_REQUEST_TOOL [PROBE_SECONDS]
set -eu
SERVER=$1
CLIENT_REQUEST=$2
PROBE_SECONDS=${3:-40}
[ "$(id -u)" -eq 0 ] && command -v ip >/dev/null || { echo "skipped: needs root and ip"; exit 77; }
command -v slowhttptest >/dev/null && command -v convert >/dev/null ||
    { echo "skipped: slowhttptest or convert is not installed"; exit 77; }
# 9,600 client sockets, and two descriptors a connection in the service (up to 4,096 of them).
ulimit -n "$(ulimit -Hn)"
[ "$(ulimit -n)" -ge 12000 ] || { echo "skipped: needs 12,000 descriptors"; exit 77; }
WORK=$(mktemp -d)
SRV=gx-srv-$$
CLI=gx-cli-$$
PIDS=""
trap 'kill $PIDS 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$WORK"
      for ns in "$SRV" "$CLI"; do ip netns del "$ns" 2>/dev/null || true; done' EXIT
ip netns add "$SRV"
ip netns add "$CLI"
ip link add gx-s$$ netns "$SRV" type veth peer name gx-c$$ netns "$CLI"
ip -n "$SRV" addr add 10.77.0.1/16 dev gx-s$$
ip -n "$CLI" addr add 10.77.2.1/16 dev gx-c$$  # the trusted address
ip -n "$CLI" addr add 10.77.3.1/16 dev gx-c$$  # the probes'
for i in $(seq 80); do ip -n "$CLI" addr add "10.77.1.$i/16" dev gx-c$$; done
ip -n "$SRV" link set gx-s$$ up
ip -n "$CLI" link set gx-c$$ up
in_cli() { ip netns exec "$CLI" "$@"; }

ip netns exec "$SRV" "$SERVER" --listen 10.77.0.1 --port 8080 --data-dir "$WORK/data" \
    --public-url http://t --trusted-proxies 10.77.2.1 >"$WORK/server.log" 2>&1 &
SERVER_PID=$!
PIDS=$SERVER_PID
for _ in $(seq 50); do grep -qs ' port 8080, links' "$WORK/server.log" && break; sleep 0.1; done
URL=http://10.77.0.1:8080
# Real PNGs of noise (about 2 MB and 20 KB): the service checks an upload's structure.
convert -size 840x840 xc: +noise Random -depth 8 "$WORK/big.png"
convert -size 80x80 xc: +noise Random -depth 8 "$WORK/small.png"
"$CLIENT_REQUEST" 10.77.0.1 screenshot.png "$WORK/small.png" >"$WORK/upload.request"
BIG=$(in_cli curl -sf -F "file=@$WORK/big.png" "$URL/api.php" | sed 's|http://t||')
SMALL=$(in_cli curl -sf -F "file=@$WORK/small.png" "$URL/api.php" | sed 's|http://t||')
[ -n "$BIG" ] && [ -n "$SMALL" ] || { echo "no link for the test images"; exit 1; }
# Without --upload-from, only loopback and private networks upload: a public address is refused.
ip -n "$CLI" addr add 198.51.100.7/24 dev gx-c$$
ip -n "$SRV" route add 198.51.100.0/24 dev gx-s$$
FAR=$(in_cli curl -s -o /dev/null -w '%{http_code}' --interface 198.51.100.7 \
    -F "file=@$WORK/small.png" "$URL/api.php")
[ "$FAR" = 403 ] || { echo "an upload from a public address got $FAR, not 403"; exit 1; }

ATTACK_SECONDS=$((PROBE_SECONDS + 15))
in_cli slowhttptest -X -c 300 -r 100 -w 10 -y 20 -n 5 -z 32 -l "$ATTACK_SECONDS" -u "$URL$BIG" \
    -p 3 -o "$WORK/slowread" >/dev/null 2>&1 &
PIDS="$PIDS $!"
# Silent connections and slow bodies (a byte every 2 s), each reopened a second after the
# service drops it: the crowd stays, without a race for the CPU between this script and it.
in_cli python3 - "$ATTACK_SECONDS" >/dev/null 2>&1 <<'PY' &
import selectors, socket, sys, time
end = time.time() + int(sys.argv[1])
server = ("10.77.0.1", 8080)
head = (b"POST /api.php HTTP/1.1\r\nHost: t\r\nContent-Type: multipart/form-data; boundary=B\r\n"
        b"Content-Length: 1000000\r\n\r\n")
sel = selectors.EpollSelector()
slow, reopen = set(), []
def tried(call, *args):  # what the socket call returned, or None when it failed
    try:
        return call(*args)
    except OSError:
        return None
def open_one(source, is_slow):
    s = socket.socket()
    s.setblocking(False)
    s.bind((source, 0))
    s.connect_ex(server)
    sel.register(s, selectors.EVENT_WRITE if is_slow else selectors.EVENT_READ, (source, is_slow))
for n in range(60 * 80):
    open_one("10.77.1.%d" % (n % 80 + 1), False)
for _ in range(4500):
    open_one("10.77.2.1", True)
next_byte = time.time() + 2
while time.time() < end:
    for key, events in sel.select(0.2):
        s, (source, is_slow) = key.fileobj, key.data
        if events & selectors.EVENT_WRITE and tried(s.send, head):  # connected: the body's head
            sel.modify(s, selectors.EVENT_READ, key.data)
            slow.add(s)
            continue
        if tried(s.recv, 4096):
            continue
        sel.unregister(s)
        slow.discard(s)
        s.close()
        reopen.append((time.time() + 1, source, is_slow))
    while reopen and reopen[0][0] <= time.time():
        open_one(*reopen.pop(0)[1:])
    if time.time() >= next_byte:
        next_byte += 2
        for s in slow:
            tried(s.send, b"-")
PY
PIDS="$PIDS $!"
sleep 8  # every attacker at its full count
echo "connections open at the service: $(ip netns exec "$SRV" ss -Htn state established | wc -l)"

in_cli python3 - "$PROBE_SECONDS" "$SMALL" "$WORK/upload.request" <<'PY'
import socket, sys, time
seconds, image, upload = float(sys.argv[1]), sys.argv[2], open(sys.argv[3], "rb").read()
get = ("GET %s HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n" % image).encode()
def probe(request, half_close):  # (answered 200, seconds taken)
    start = time.monotonic()
    try:
        with socket.create_connection(("10.77.0.1", 8080), 5, ("10.77.3.1", 0)) as s:
            s.sendall(request)
            if half_close:  # as the Glimmerix client does
                s.shutdown(socket.SHUT_WR)
            answer = b"".join(iter(lambda: s.recv(65536), b""))
    except OSError as e:
        answer = repr(e).encode()
    if not answer.startswith((b"HTTP/1.1 200 ", b"HTTP/1.0 200 ")):
        print("probe failed:", answer[:40])
    return answer.startswith((b"HTTP/1.1 200 ", b"HTTP/1.0 200 ")), time.monotonic() - start
results = {"GET": [], "upload": []}
end = time.monotonic() + seconds
while time.monotonic() < end:
    tick = time.monotonic()
    results["GET"].append(probe(get, False))
    results["upload"].append(probe(upload, True))
    time.sleep(max(0, 0.2 - (time.monotonic() - tick)))
for kind, rows in results.items():
    ms = sorted(t * 1000 for _, t in rows)
    bad = sum(1 for ok, t in rows if not ok or t >= 1.0)
    print("%s probes: %d, p50 %.1f ms, p99 %.1f ms, max %.1f ms, failed or over 1 s: %d"
          % (kind, len(ms), ms[len(ms) // 2], ms[int(0.99 * (len(ms) - 1))], ms[-1], bad))
sys.exit(any(not ok or t >= 1.0 for rows in results.values() for ok, t in rows))
PY
kill -0 "$SERVER_PID" || { echo "the server died"; exit 1; }
