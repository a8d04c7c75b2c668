#!/usr/bin/env python3
"""Writes a PNG of about the requested size: RGB noise, which deflate cannot shrink, so the
file is as large as a detailed screenshot of that size. Usage: make_png.py OUT [BYTES]"""
import os
import struct
import sys
import zlib


def chunk(kind: bytes, data: bytes) -> bytes:
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def main() -> None:
    out = sys.argv[1]
    size = int(sys.argv[2]) if len(sys.argv) > 2 else 200 * 1024
    side = max(1, int((size / 3) ** 0.5))
    rows = b"".join(b"\0" + os.urandom(side * 3) for _ in range(side))
    header = struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
           chunk(b"IDAT", zlib.compress(rows, 1)) + chunk(b"IEND", b""))
    with open(out, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
