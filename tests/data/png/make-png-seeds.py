#!/usr/bin/env python3
"""Writes the small PNG fixtures of this folder (they seed the picture fuzzer
and must decode): one per colour type the decoder handles differently, each a
few hundred bytes. Made by this script from nothing; no outside picture."""
import struct, zlib, os

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

def png(name, w, h, depth, colour, rows, extra=b"", interlace=0):
    raw = b"".join(b"\x00" + r for r in rows)
    if interlace:
        # Adam7: the seven passes, each row with filter type 0.
        passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
        bpp = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour] * depth // 8
        raw = b""
        for x0, y0, dx, dy in passes:
            for y in range(y0, h, dy):
                line = b"".join(rows[y][x * bpp:(x + 1) * bpp] for x in range(x0, w, dx))
                if line:
                    raw += b"\x00" + line
    ihdr = struct.pack(">IIBBBBB", w, h, depth, colour, 0, 0, interlace)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    open(os.path.join(os.path.dirname(__file__) or ".", name), "wb").write(data)

w = h = 8
png("rgb-8.png", w, h, 8, 2, [bytes(v for x in range(w) for v in (x * 32, y * 32, 128)) for y in range(h)])
png("rgba-8-interlaced.png", w, h, 8, 6,
    [bytes(v for x in range(w) for v in (x * 32, 255 - y * 32, 64, (x + y) * 16)) for y in range(h)], interlace=1)
png("grey-16.png", w, h, 16, 0, [b"".join(struct.pack(">H", (x * 8 + y) * 1000) for x in range(w)) for y in range(h)])
png("palette-4-trns.png", w, h, 4, 3, [bytes(((x + y) % 4) << 4 | ((x + y + 1) % 4) for x in range(0, w, 2)) for y in range(h)],
    extra=chunk(b"PLTE", bytes([255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255])) + chunk(b"tRNS", bytes([255, 128, 0])))
