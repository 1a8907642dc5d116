#!/usr/bin/env python3
"""Writes coded-larger-than-announced.heic beside this script: the photo
fixture blocks.heic (96 x 64) with the sequence parameter set in its hvcC
property rewritten to code 4000 x 4000 pixels, while its ispe still says
96 x 64. The slice data is unchanged, so the decoder would make a picture of
4000 x 4000 from it.
    python3 tests/data/bad/heif/make-coded-larger-than-announced.py
"""
import os

WIDTH, HEIGHT = 4000, 4000
here = os.path.dirname(os.path.abspath(__file__))
source = os.path.join(here, "..", "..", "photo", "blocks.heic")
target = os.path.join(here, "coded-larger-than-announced.heic")


def unescape(payload):  # the NAL payload without its emulation prevention bytes
    out, zeros = bytearray(), 0
    for b in payload:
        if zeros >= 2 and b == 3:
            zeros = 0
            continue
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return bytes(out)


def escape(payload):
    out, zeros = bytearray(), 0
    for b in payload:
        if zeros >= 2 and b <= 3:
            out.append(3)
            zeros = 0
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return bytes(out)


def golomb(value):
    code = value + 1
    return "0" * (code.bit_length() - 1) + format(code, "b")


def read_golomb(bits, at):
    zeros = 0
    while bits[at + zeros] == "0":
        zeros += 1
    return at + 2 * zeros + 1


def rewrite_sps(nal):
    bits = "".join(format(b, "08b") for b in unescape(nal[2:]))
    assert int(bits[4:7], 2) == 0, "one sub-layer expected"
    at = 8 + 96  # ids and sub-layer count, then the general profile, tier and level
    at = read_golomb(bits, at)  # sps_seq_parameter_set_id
    chroma_end = read_golomb(bits, at)
    assert bits[at:chroma_end] != "00100", "4:4:4 with separate planes not expected"
    at = chroma_end
    size_end = read_golomb(bits, read_golomb(bits, at))
    bits = bits[:at] + golomb(WIDTH) + golomb(HEIGHT) + bits[size_end:]
    bits = bits.rstrip("0")  # the stop bit and the alignment after it are laid anew
    bits += "0" * (-len(bits) % 8)
    return nal[:2] + escape(bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8)))


data = bytearray(open(source, "rb").read())
at = data.index(b"hvcC")
size = int.from_bytes(data[at - 4:at], "big")
config = data[at + 4:at - 4 + size]
new, pos = bytearray(config[:23]), 23
for _ in range(config[22]):
    count = int.from_bytes(config[pos + 1:pos + 3], "big")
    new += config[pos:pos + 3]
    pos += 3
    for _ in range(count):
        length = int.from_bytes(config[pos:pos + 2], "big")
        nal = config[pos + 2:pos + 2 + length]
        pos += 2 + length
        if (nal[0] >> 1) & 0x3F == 33:
            nal = rewrite_sps(nal)
        new += len(nal).to_bytes(2, "big") + nal
grown = len(new) - len(config)
data[at - 4:at - 4 + size] = (size + grown).to_bytes(4, "big") + b"hvcC" + new
for box in (b"ipco", b"iprp", b"meta"):  # the boxes around it grow as much
    at = data.index(box)
    data[at - 4:at] = (int.from_bytes(data[at - 4:at], "big") + grown).to_bytes(4, "big")
# The one item's data, in the mdat after the meta box, moves as much: iloc
# version 0 with 4-byte offsets and lengths and a 4-byte base offset.
at = data.index(b"iloc")
assert data[at + 4] == 0 and data[at + 8:at + 10] == b"\x44\x40" and data[at + 10:at + 12] == b"\x00\x01"
base = at + 16  # after version and flags, sizes, item count, item ID, data reference
data[base:base + 4] = (int.from_bytes(data[base:base + 4], "big") + grown).to_bytes(4, "big")
open(target, "wb").write(data)
