#!/bin/sh
# Availability under slow clients: with 1,000 slowloris connections (headers trickled), 500
# silent connections and 300 slow readers of a 2 MB image all open against the real server on
# loopback, a normal client's GET and upload must each be answered within 1 s, every time,
# over 60 s of probing. Attackers are Debian's slowhttptest and a small Python holder.
# Usage: availability_test.sh SERVER_BINARY [PROBE_SECONDS]
set -eu
SERVER=$1
PROBE_SECONDS=${2:-60}
command -v slowhttptest >/dev/null || { echo "skipped: slowhttptest is not installed"; exit 77; }
ulimit -n "$(ulimit -Hn)"
WORK=$(mktemp -d)
PIDS=""
cleanup() {
    for pid in $PIDS; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

"$SERVER" --port 0 --listen 127.0.0.1 --data-dir "$WORK/data" --public-url http://t \
    >"$WORK/server.log" 2>&1 &
PIDS=$!
SERVER_PID=$!
for _ in $(seq 50); do
    PORT=$(sed -n 's/.* port \([0-9]*\), links.*/\1/p' "$WORK/server.log")
    [ -n "$PORT" ] && break
    sleep 0.1
done
URL=http://127.0.0.1:$PORT
# PNG-headed bytes: the service judges only the first bytes.
python3 -c 'import os,sys; sys.stdout.buffer.write(b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR" + os.urandom(int(sys.argv[1])))' \
    2097152 >"$WORK/big.png"
python3 -c 'import os,sys; sys.stdout.buffer.write(b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR" + os.urandom(20000))' \
    >"$WORK/small.png"
BIG=$(curl -sf -F "file=@$WORK/big.png" "$URL/api.php" | sed 's|http://t||')

ATTACK_SECONDS=$((PROBE_SECONDS + 20))
slowhttptest -H -c 1000 -r 250 -i 5 -s 8192 -l "$ATTACK_SECONDS" -u "$URL/" -p 3 \
    -o "$WORK/slowloris" >/dev/null 2>&1 &
PIDS="$PIDS $!"
slowhttptest -X -c 300 -r 100 -w 10 -y 20 -n 5 -z 32 -l "$ATTACK_SECONDS" -u "$URL$BIG" -p 3 \
    -o "$WORK/slowread" >/dev/null 2>&1 &
PIDS="$PIDS $!"
# Silent connections: opened and never written to; reopened whenever the server drops one.
python3 - "$PORT" "$ATTACK_SECONDS" >/dev/null 2>&1 <<'PY' &
import socket, sys, time, selectors
port, end = int(sys.argv[1]), time.time() + int(sys.argv[2])
sel = selectors.DefaultSelector()
def open_one():
    try:
        s = socket.create_connection(("127.0.0.1", port), timeout=2)
        s.setblocking(False)
        sel.register(s, selectors.EVENT_READ)
    except OSError:
        pass
for _ in range(500):
    open_one()
while time.time() < end:
    for key, _ in sel.select(0.5):
        sel.unregister(key.fileobj); key.fileobj.close(); open_one()
PY
PIDS="$PIDS $!"
sleep 8  # let every attacker reach its full count

connections() { ls "/proc/$SERVER_PID/fd" | wc -l; }
echo "server descriptors with the attack in place: $(connections)"
END=$(($(date +%s) + PROBE_SECONDS))
: >"$WORK/probes"
while [ "$(date +%s)" -lt "$END" ]; do
    curl -s -o /dev/null --max-time 5 -w 'GET %{http_code} %{time_total}\n' "$URL$BIG" >>"$WORK/probes" || echo "GET 000 5" >>"$WORK/probes"
    curl -s -o /dev/null --max-time 5 -w 'POST %{http_code} %{time_total}\n' -F "file=@$WORK/small.png" "$URL/api.php" >>"$WORK/probes" || echo "POST 000 5" >>"$WORK/probes"
    sleep 0.25
done
kill -0 "$SERVER_PID" || { echo "the server died"; exit 1; }
python3 - "$WORK/probes" <<'PY'
import sys
rows = [line.split() for line in open(sys.argv[1])]
for kind in ("GET", "POST"):
    times = sorted(float(t) for k, c, t in rows if k == kind)
    p = lambda q: times[min(len(times) - 1, int(q * len(times)))] * 1000
    print("%s probes: %d, p50 %.1f ms, p99 %.1f ms, max %.1f ms" % (kind, len(times), p(0.5), p(0.99), times[-1] * 1000))
failed = [r for r in rows if r[1] not in ("200",) or float(r[2]) >= 1.0]
print("probes not answered 200 within 1 s: %d of %d" % (len(failed), len(rows)))
sys.exit(1 if failed or not rows else 0)
PY
