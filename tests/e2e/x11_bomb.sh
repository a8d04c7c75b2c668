#!/usr/bin/env bash
# A decompression bomb on the clipboard: a small PNG that declares 20000 x 20000 pixels opens no
# editor and costs no memory worth the name, and the next ordinary picture opens the editor.
# Usage: x11_bomb.sh PROGRAM
set -u
program=$(realpath "$1")
. "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
trap 'stop_xvfb; pkill -P $$ xclip 2>/dev/null; rm -rf "$work"' EXIT
start_xvfb || exit 1
cd "$work"

# 20000 rows of 20000 black 8-bit grey pixels: 400 MB of zeros in a PNG of a few hundred KB.
python3 - <<'PY'
import struct, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
packer, row = zlib.compressobj(9), bytes(20001)
idat = b"".join(packer.compress(row) for _ in range(20000)) + packer.flush()
with open("bomb.png", "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 20000, 20000, 8, 0, 0, 0, 0))
            + chunk(b"IDAT", idat) + chunk(b"IEND", b""))
PY
convert -size 64x48 xc:blue PNG24:shot.png

rss_mb() { awk '/VmRSS/ { print int($2 / 1024) }' "/proc/$1/status" 2>/dev/null || echo 0; }

"$program" -s & pid=$!
sleep 0.5
xclip -selection clipboard -t image/png -i bomb.png &
peak=0
for _ in $(seq 20); do  # 2 s
    rss=$(rss_mb "$pid")
    [ "$rss" -gt "$peak" ] && peak=$rss
    [ -n "$(window_titled 'Glimmerix Idle')" ] && break
    sleep 0.1
done
check "the bomb ($(stat -c %s bomb.png) bytes) opens no editor within 2 s" \
    test -z "$(window_titled 'Glimmerix Idle')"
check "the program stays under 100 MB (peak ${peak} MB)" test "$peak" -lt 100
check "the program still runs" kill -0 "$pid"

xclip -selection clipboard -t image/png -i shot.png &
check "the next ordinary picture opens the editor" wait_window "Glimmerix Idle" 3
stop_program "$pid"
[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "all passed"
