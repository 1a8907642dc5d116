#!/usr/bin/env bash
# Writes the orientation fixtures in tests/data/orientation: one small upright
# picture (3 x 2 blocks of 8 x 8 pixels, each block its own colour), and for
# every orientation tag 1..8 a JPEG and a TIFF that store it turned the way a
# camera would, tagged so that a viewer turns it back upright.
#
# Only tools from Debian do the work (not the program's own code):
#   libjpeg-turbo-progs (cjpeg, jpegtran), netpbm (pamflip, pnmtotiff),
#   libimage-exiftool-perl (exiftool).
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/tests/data/orientation"
mkdir -p "$out"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# The upright picture as a plain PPM: blocks, left to right then top to bottom.
colours=("255 0 0" "0 255 0" "0 0 255" "255 255 0" "0 255 255" "255 255 255")
{
  echo "P3 24 16 255"
  for y in $(seq 0 15); do
    for x in $(seq 0 23); do echo "${colours[$(( (y / 8) * 3 + x / 8 ))]}"; done
  done
} > "$tmp/upright.ppm"
cp "$tmp/upright.ppm" "$out/upright.ppm"
cjpeg -quality 100 -sample 1x1 -outfile "$tmp/upright.jpg" "$tmp/upright.ppm"

# How each orientation's file stores the upright picture (the inverse of the
# turn the tag asks a viewer to make).
jpegtran_op=("" "" "-flip horizontal" "-rotate 180" "-flip vertical" "-transpose" "-rotate 270" "-transverse" "-rotate 90")
pamflip_op=("" "-null" "-leftright" "-rotate180" "-topbottom" "-transpose" "-rotate90" "-xform=transpose,leftright,topbottom" "-rotate270")
for n in 1 2 3 4 5 6 7 8; do
  # shellcheck disable=SC2086
  jpegtran -perfect -copy none ${jpegtran_op[$n]} -outfile "$tmp/o$n.jpg" "$tmp/upright.jpg"
  exiftool -q -overwrite_original -n -Orientation=$n "$tmp/o$n.jpg"
  cp "$tmp/o$n.jpg" "$out/orientation-$n.jpg"
  # shellcheck disable=SC2086
  pamflip ${pamflip_op[$n]} "$tmp/upright.ppm" | pnmtotiff -truecolor -none > "$tmp/o$n.tif"
  exiftool -q -overwrite_original -n -Orientation=$n "$tmp/o$n.tif"
  cp "$tmp/o$n.tif" "$out/orientation-$n.tif"
done
