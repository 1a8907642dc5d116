#!/usr/bin/env bash
# Writes the photo-format fixtures in tests/data/photo from the orientation
# fixtures' upright picture (3 x 2 flat blocks), enlarged so that every block
# is 32 x 32 pixels and survives lossy coding:
#   blocks.webp, blocks.jxl   lossless, exactly the blocks
#   blocks.heic               HEVC, lossy (block centres within a few levels)
#   blocks-thumb.heic         the same with a thumbnail of 48 x 32 pixels
#   orientation-6.webp/.jxl   stored turned, tagged 6 (from orientation-6.jpg)
#   jpeg-inside.heic          a JPEG file under a HEIF name, as phones write
#   png-inside.jpg            a PNG file under a JPEG name
#   tiny.dng                  a 4 x 4 linear DNG (written by make-tiny-dng.py)
#
# Only Debian's tools do the work: imagemagick (convert), webp (cwebp),
# libheif-examples (heif-enc), libjxl-tools (cjxl), python3.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
src="$root/tests/data/orientation"
out="$root/tests/data/photo"
mkdir -p "$out"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# PNG24: heif-enc misreads the palette PNG ImageMagick would otherwise write.
convert "$src/upright.ppm" -filter point -resize 400% "PNG24:$tmp/blocks.png"
cwebp -quiet -lossless "$tmp/blocks.png" -o "$out/blocks.webp"
cjxl -d 0 "$tmp/blocks.png" "$out/blocks.jxl" >/dev/null 2>&1
heif-enc -q 90 "$tmp/blocks.png" -o "$out/blocks.heic" >/dev/null
heif-enc -q 90 -t 48 "$tmp/blocks.png" -o "$out/blocks-thumb.heic" >/dev/null
cwebp -quiet -q 100 -metadata exif "$src/orientation-6.jpg" -o "$out/orientation-6.webp"
cjxl "$src/orientation-6.jpg" "$out/orientation-6.jxl" >/dev/null 2>&1
cp "$src/orientation-1.jpg" "$out/jpeg-inside.heic"
cp "$tmp/blocks.png" "$out/png-inside.jpg"
python3 "$root/scripts/make-tiny-dng.py" "$out/tiny.dng"
