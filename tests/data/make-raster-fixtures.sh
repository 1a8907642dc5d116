#!/usr/bin/env bash
# Remakes the fixtures of the raster decoders' tests (tests/data/{ico,tga,pcx,
# sgi,psd,pnm}) with tools from Debian: ImageMagick and netpbm. The tests read
# the committed files and do not need these tools. The source pictures are
# written here; tests/imaging/RasterDecodersTest.cpp computes the same pixels.
#   apt-get install imagemagick netpbm && bash tests/data/make-raster-fixtures.sh
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 - "$tmp" <<'PY'
import sys
out = sys.argv[1]
def s5(k): return (k << 3) | (k >> 2)  # exact at 5 bits per channel
levels = [(31,0,0),(0,31,0),(0,0,31),(31,31,0),(31,0,31),(0,31,31),(31,31,31),(0,0,0),
          (16,8,4),(4,16,8),(8,4,16),(24,12,20),(12,24,28),(20,28,12),(28,20,24),(10,10,10)]
pal = [tuple(s5(c) for c in t) for t in levels]
W, H = 7, 5
def idx(x, y): return (max(x - 2, 0) + 3 * y) % 16   # runs of three at each row's start
def alpha(x, y): return [255, 192, 128, 64][(x + y) % 4]
def pam(name, depth, tupl, fn, w=W, h=H):
    hdr = f"P7\nWIDTH {w}\nHEIGHT {h}\nDEPTH {depth}\nMAXVAL 255\nTUPLTYPE {tupl}\nENDHDR\n".encode()
    open(f"{out}/{name}", "wb").write(hdr + b"".join(bytes(fn(x, y)) for y in range(h) for x in range(w)))
pam("colour.pam", 3, "RGB", lambda x, y: pal[idx(x, y)])
pam("rgba.pam", 4, "RGB_ALPHA", lambda x, y: pal[idx(x, y)] + (alpha(x, y),))
pam("grey.pam", 1, "GRAYSCALE", lambda x, y: (17 * idx(x, y),))
pam("mono.pam", 1, "GRAYSCALE", lambda x, y: (255 if (x * x + y) % 3 == 0 else 0,))
pam("many.pam", 3, "RGB", lambda x, y: (40 * x, 60 * y, 255 - 7 * (x + 7 * y)))
pam("big.pam", 4, "RGB_ALPHA", lambda x, y: pal[idx(x % 7, y % 5)] + (alpha(x, y),), 256, 256)
open(f"{out}/mask.pgm", "wb").write(f"P5\n{W} {H}\n255\n".encode() +
    bytes(0 if (x + 2 * y) % 5 == 0 else 255 for y in range(H) for x in range(W)))
PY
cd "$tmp"
pamtopnm < colour.pam > colour.ppm
pamtopnm < grey.pam > grey.pgm
pamtopnm < many.pam > many.ppm
pamthreshold -simple < mono.pam | pamtopnm > mono.pbm
pgmtoppm white < <(pamdepth 255 mono.pbm 2>/dev/null) > mono.ppm
d=$OLDPWD
mkdir -p "$d"/{ico,tga,pcx,sgi,psd,pnm}

# Windows icons: netpbm writes 4/8-bit entries with an AND mask (its 1-bit
# rows are padded to 2 bytes instead of 4, so the 1-bit case is built in the
# test), ImageMagick 32-bit ones and PNG for 256 x 256.
ppmtowinicon -andpgms colour.ppm mask.pgm > "$d/ico/colour-4bit-mask.ico"
ppmtowinicon -andpgms many.ppm mask.pgm > "$d/ico/many-8bit-mask.ico"
convert rgba.pam "$d/ico/rgba-32bit.ico"
convert rgba.pam big.pam "$d/ico/rgba-32bit-and-big-png.ico"

# Truevision, by netpbm (with its identification field). ImageMagick 6.9's
# writer stores the top row first while the header says bottom first.
pamtotga -norle -rgb colour.pam > "$d/tga/colour-24.tga"
pamtotga -rgb colour.pam > "$d/tga/colour-24-rle.tga"
pamtotga -norle rgba.pam > "$d/tga/rgba-32.tga"
pamtotga rgba.pam > "$d/tga/rgba-32-rle.tga"
pamtotga -norle -cmap colour.ppm > "$d/tga/colour-mapped.tga" 2>/dev/null
pamtotga -cmap colour.ppm > "$d/tga/colour-mapped-rle.tga" 2>/dev/null
pamtotga -norle -mono grey.pgm > "$d/tga/grey-8.tga"
pamtotga -mono grey.pgm > "$d/tga/grey-8-rle.tga"
cp "$d/tga/colour-24.tga" "$d/tga/colour-24.vst"

# ZSoft: netpbm writes the planar and packed layouts, ImageMagick RGBA planes.
ppmtopcx mono.pbm > "$d/pcx/mono-1bit.pcx" 2>/dev/null
ppmtopcx -planes=4 colour.ppm > "$d/pcx/colour-4planes.pcx" 2>/dev/null
ppmtopcx -packed colour.ppm > "$d/pcx/colour-4bit-packed.pcx" 2>/dev/null
ppmtopcx -8bit colour.ppm > "$d/pcx/colour-8bit.pcx" 2>/dev/null
ppmtopcx -24bit colour.ppm > "$d/pcx/colour-24bit.pcx" 2>/dev/null
convert rgba.pam -type TrueColorAlpha "$d/pcx/rgba-32bit.pcx"
cp "$d/pcx/colour-8bit.pcx" "$d/pcx/colour-8bit.scr"

# SGI.
pnmtosgi -verbatim colour.ppm > "$d/sgi/colour-verbatim.sgi"
pnmtosgi -rle colour.ppm > "$d/sgi/colour-rle.rgb"
pnmtosgi -rle grey.pgm > "$d/sgi/grey-rle.bw"
pnmtosgi -verbatim grey.pgm > "$d/sgi/grey-verbatim.bw"
pamdepth 65535 colour.ppm > colour16.ppm
pnmtosgi -rle colour16.ppm > "$d/sgi/colour-16bit-rle.sgi"
pnmtosgi -verbatim colour16.ppm > "$d/sgi/colour-16bit-verbatim.sgi"
convert rgba.pam -compress RLE sgi:"$d/sgi/rgba-rle.rgba"
convert rgba.pam -depth 16 -compress None sgi:"$d/sgi/rgba-16bit-verbatim.rgba"

# Photoshop (ImageMagick writes the merged image and one layer).
convert colour.pam -compress None "$d/psd/colour-raw.psd"
convert colour.pam -compress RLE "$d/psd/colour-rle.psd"
convert colour.pam -depth 16 -compress RLE "$d/psd/colour-16bit-rle.psd"
convert grey.pam -type Grayscale -compress RLE "$d/psd/grey-rle.psd"
convert grey.pam -depth 16 -compress None "$d/psd/grey-16bit-raw.psd"
convert colour.pam -type Palette -compress RLE "$d/psd/colour-indexed-rle.psd"
convert colour.pam -colorspace CMYK -compress RLE "$d/psd/colour-cmyk-rle.psd"
convert colour.pam -colorspace CMYK -depth 16 -compress None "$d/psd/colour-cmyk-16bit-raw.psd"
convert rgba.pam -compress RLE "$d/psd/rgba-rle.psd"
convert colour.pam rgba.pam -compress RLE psd:"$d/psd/colour-two-layers.pdd"

# Portable any-maps.
cp mono.pbm "$d/pnm/mono-p4.pbm"
pamtopnm -plain < mono.pbm > "$d/pnm/mono-p1.pbm"
cp grey.pgm "$d/pnm/grey-p5.pgm"
pamtopnm -plain < grey.pgm > "$d/pnm/grey-p2.pgm"
cp colour.ppm "$d/pnm/colour-p6.ppm"
pamtopnm -plain < colour.ppm > "$d/pnm/colour-p3.ppm"
cp colour16.ppm "$d/pnm/colour-p6-65535.ppm"
pamdepth 1000 colour.ppm > "$d/pnm/colour-p6-1000.ppm"
pamdepth 65535 grey.pgm | pamtopnm -plain > "$d/pnm/grey-p2-65535.pgm"
cp grey.pgm "$d/pnm/grey-p5-named.ppm"
