#!/usr/bin/env python3
"""Writes a tiny uncompressed DNG: 32 x 32 pixels of 16-bit Bayer data (RGGB)
whose left half is red and right half blue, one IFD, the tags a raw
developer needs. Usage: make-tiny-dng.py OUT.dng [SIDE]
SIDE (even, 32 by default) makes a larger one of the same kind, as the memory
benchmark does with 8000."""
import struct
import sys

W = H = int(sys.argv[2]) if len(sys.argv) > 2 else 32
SHORT, LONG, RATIONAL, SRATIONAL, ASCII, BYTE = 3, 4, 5, 10, 2, 1
SIZE = {BYTE: 1, ASCII: 1, SHORT: 2, LONG: 4, RATIONAL: 8, SRATIONAL: 8}


def sample(x, y):
    # RGGB: red sites at even/even, blue at odd/odd, green elsewhere.
    red_site = x % 2 == 0 and y % 2 == 0
    blue_site = x % 2 == 1 and y % 2 == 1
    left = x < W // 2
    if red_site:
        return 60000 if left else 2000
    if blue_site:
        return 2000 if left else 60000
    return 2000


# Two kinds of row (even and odd) repeat down the picture, so a large one is
# built from them rather than sample by sample.
rows = [b"".join(struct.pack("<H", sample(x, y)) for x in range(W)) for y in (0, 1)]
pixels = (rows[0] + rows[1]) * (H // 2) + (rows[0] if H % 2 else b"")
ident = [(1, 1), (0, 1), (0, 1), (0, 1), (1, 1), (0, 1), (0, 1), (0, 1), (1, 1)]
entries = [
    (254, LONG, [0]),
    (256, LONG, [W]),
    (257, LONG, [H]),
    (258, SHORT, [16]),
    (259, SHORT, [1]),
    (262, SHORT, [32803]),
    (271, ASCII, b"Velmora\0"),
    (272, ASCII, b"Fixture\0"),
    (273, LONG, [None]),  # strip offset, filled in below
    (274, SHORT, [1]),
    (277, SHORT, [1]),
    (278, LONG, [H]),
    (279, LONG, [len(pixels)]),
    (284, SHORT, [1]),
    (33421, SHORT, [2, 2]),
    (33422, BYTE, [0, 1, 1, 2]),
    (50706, BYTE, [1, 4, 0, 0]),
    (50708, ASCII, b"Velmora Fixture\0"),
    (50714, LONG, [0]),
    (50717, LONG, [65535]),
    (50721, SRATIONAL, ident),
    (50728, RATIONAL, [(1, 1), (1, 1), (1, 1)]),
    (50778, SHORT, [21]),
]

ifd_offset = 8
ifd_size = 2 + 12 * len(entries) + 4
extra_offset = ifd_offset + ifd_size
extra = b""
pixel_offset = None


def pack_values(typ, values):
    if typ == ASCII:
        return values
    if typ in (RATIONAL, SRATIONAL):
        fmt = "<II" if typ == RATIONAL else "<ii"
        return b"".join(struct.pack(fmt, *v) for v in values)
    fmt = {BYTE: "<B", SHORT: "<H", LONG: "<I"}[typ]
    return b"".join(struct.pack(fmt, v) for v in values)


# Extra data first (so the offsets are known), then the pixels.
packed = []
for tag, typ, values in entries:
    count = len(values)
    data = pack_values(typ, [0 if v is None else v for v in values] if typ != ASCII else values)
    packed.append((tag, typ, count, data))
extra_size = sum(len(d) + (len(d) & 1) for _, _, _, d in packed if len(d) > 4)
pixel_offset = extra_offset + extra_size

ifd = struct.pack("<H", len(packed))
for tag, typ, count, data in packed:
    if tag == 273:
        data = struct.pack("<I", pixel_offset)
    if len(data) <= 4:
        ifd += struct.pack("<HHI", tag, typ, count) + data.ljust(4, b"\0")
    else:
        ifd += struct.pack("<HHII", tag, typ, count, extra_offset + len(extra))
        extra += data + (b"\0" if len(data) & 1 else b"")
ifd += struct.pack("<I", 0)

with open(sys.argv[1], "wb") as f:
    f.write(b"II*\0" + struct.pack("<I", ifd_offset) + ifd + extra + pixels)
