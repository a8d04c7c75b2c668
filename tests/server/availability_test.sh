#!/bin/sh
# With 1,000 slowloris connections, 500 silent ones and 300 slow readers of a 2 MB image open
# (slowhttptest and a Python holder), a GET and an upload must each be answered within 1 s,
# every time, over 60 s of probing. Loopback only.
# Usage: availability_test.sh SERVER_BINARY [PROBE_SECONDS]
set -eu
SERVER=$1
PROBE_SECONDS=${2:-60}
command -v slowhttptest >/dev/null || { echo "skipped: slowhttptest is not installed"; exit 77; }
ulimit -n "$(ulimit -Hn)"
WORK=$(mktemp -d)
trap 'kill ${PIDS:-} 2>/dev/null || true; wait; rm -rf "$WORK"' EXIT

"$SERVER" --port 0 --listen 127.0.0.1 --data-dir "$WORK/data" --public-url http://t \
    >"$WORK/server.log" 2>&1 &
SERVER_PID=$!
PIDS=$SERVER_PID
for _ in $(seq 50); do
    PORT=$(sed -n 's/.* port \([0-9]*\), links.*/\1/p' "$WORK/server.log" 2>/dev/null) || true
    [ -n "$PORT" ] && break
    sleep 0.1
done
URL=http://127.0.0.1:$PORT
# PNG-headed noise: the service judges only the first bytes.
png() { python3 -c 'import os,sys; sys.stdout.buffer.write(b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR" + os.urandom(int(sys.argv[1])))' "$1"; }
png 2097152 >"$WORK/big.png"
png 20000 >"$WORK/small.png"
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

END=$(($(date +%s) + PROBE_SECONDS))
: >"$WORK/probes"
while [ "$(date +%s)" -lt "$END" ]; do
    curl -s -o /dev/null --max-time 5 -w 'GET %{http_code} %{time_total}\n' "$URL$BIG" >>"$WORK/probes"
    curl -s -o /dev/null --max-time 5 -w 'POST %{http_code} %{time_total}\n' \
        -F "file=@$WORK/small.png" "$URL/api.php" >>"$WORK/probes"
    sleep 0.25
done
kill -0 "$SERVER_PID" || { echo "the server died"; exit 1; }
python3 - "$WORK/probes" <<'PY'
import sys
rows = [line.split() for line in open(sys.argv[1])]
for kind in ("GET", "POST"):
    ms = sorted(float(t) * 1000 for k, c, t in rows if k == kind)
    print("%s probes: %d, p50 %.1f ms, p99 %.1f ms, max %.1f ms"
          % (kind, len(ms), ms[len(ms) // 2], ms[int(0.99 * (len(ms) - 1))], ms[-1]))
failed = [r for r in rows if r[1] != "200" or float(r[2]) >= 1.0]
print("probes not answered 200 within 1 s: %d of %d" % (len(failed), len(rows)))
sys.exit(1 if failed or not rows else 0)
PY
