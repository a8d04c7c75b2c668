# shellcheck shell=bash disable=SC2154
# A decompression bomb on the clipboard: a small PNG that declares 20000 x 20000 pixels opens no
# editor and costs no memory worth the name, and the next ordinary picture opens the editor.
setup
# 20000 rows of 20000 black 8-bit grey pixels: 400 MB of zeros in a PNG of a few hundred KB.
python3 - <<'PY'
import struct, zlib
chunk = lambda k, d: struct.pack(">I", len(d)) + k + d + struct.pack(">I", zlib.crc32(k + d))
packer, row = zlib.compressobj(9), bytes(20001)
idat = b"".join(packer.compress(row) for _ in range(20000)) + packer.flush()
header = struct.pack(">IIBBBBB", 20000, 20000, 8, 0, 0, 0, 0)
with open("bomb.png", "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", idat))
    f.write(chunk(b"IEND", b""))
PY
convert -size 64x48 xc:blue PNG24:shot.png

launch -s
sleep "$launch_wait"
copy_picture bomb.png
peak=0
for _ in $(seq 20); do  # 2 s
    rss=$(awk '/VmRSS/ { print int($2 / 1024) }' "/proc/$pid/status" 2>/dev/null)
    [ "${rss:-0}" -gt "$peak" ] && peak=$rss
    has_window 'Glimmerix Idle' && break
    sleep 0.1
done
check "the bomb, $(stat -c %s bomb.png) bytes, opens no editor in 2 s" no_window 'Glimmerix Idle'
check "the program stays under 100 MB (peak ${peak} MB)" test "$peak" -lt 100
check "the program still runs" kill -0 "$pid"
copy_picture shot.png
check "the next ordinary picture opens the editor" wait_window 'Glimmerix Idle' 3
finish
