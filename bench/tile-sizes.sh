#!/bin/bash
# What tiles of several sizes buy, run by hand (never by the tests):
#
#   bench/tile-sizes.sh MAIN LIBRARY [CLI]
#
# CLI defaults to build/bin/velmora-cli. Prints
#  (a) the mean colour error at 4 x 4 samples per cell of a 64 x 48 mosaic
#      with --sizes 1,2,4, its --calm chosen so that it has about 1,500
#      tiles, against a plain grid of about as many tiles (45 x 34 cells).
#      Both are measured by 'quality --picture' on the same 64 x 48 grid of
#      the same main picture, at the same pixel size: the plain grid's
#      1,890 x 1,428 picture is scaled to 1,920 x 1,440 (netpbm's pnmscale)
#      first, since the measure takes whole pixels per cell and a cell of 29.5
#      px would drift off its part of the main picture. A mosaic covers the
#      whole main picture, so the scaling keeps every part in its place. The
#      plain grid measured on its own 45 x 34 grid is printed too;
#  (b) the time of a 48 x 48 mosaic with --sizes 1,2,4 against the same
#      mosaic without, each made twice and the second time taken (the first
#      fills the summary and rendition caches).
# Both use create's defaults (the settings advice included) and one seed.
set -euo pipefail

main=$(realpath "${1:?usage: $0 MAIN LIBRARY [CLI]}")
library=$(realpath "${2:?usage: $0 MAIN LIBRARY [CLI]}")
cli=$(realpath "${3:-build/bin/velmora-cli}")
work=$(mktemp -d /tmp/velmora-tile-sizes-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"

create() {  # out, then options; prints create's standard error
  local out=$1
  shift
  "$cli" create --quiet --seed 11 --main "$main" --library "$library" --out "$out" "$@" 2>&1
}
tiles_of() { sed -n 's/^\([0-9]*\) tiles on.*/\1/p'; }
detail_error() {  # picture: the mean at 4 x 4 samples on the 64 x 48 grid
  "$cli" quality --picture "$1" --main "$main" --cells 64x48 | sed -n 's/.*4 x 4 samples per cell: *mean \([0-9.]*\).*/\1/p'
}
seconds() {  # the wall time of the command given
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

# (a) --calm searched (by halving) for about 1,500 tiles of 64 x 48; the
# merge depends only on the main picture and the grid, so small cells do.
target=1500
lo=0.5
hi=50
calm=6
for _ in 1 2 3 4 5 6 7 8; do
  tiles=$(create "$work/probe.bmp" --cells 64x48 --cell-size 8x8 --sizes 1,2,4 --calm "$calm" | tiles_of)
  if [ "$tiles" -gt $((target + 40)) ]; then lo=$calm; elif [ "$tiles" -lt $((target - 40)) ]; then hi=$calm; else break; fi
  calm=$(echo "($lo + $hi) / 2" | bc -l | xargs printf '%.2f')
done
sized_tiles=$(create "$work/sized.bmp" --cells 64x48 --cell-size 30x30 --sizes 1,2,4 --calm "$calm" | tiles_of)
create "$work/plain.bmp" --cells 45x34 --cell-size 42x42 >/dev/null
"$cli" decode "$work/plain.bmp" "$work/plain.ppm"
pnmscale -xsize 1920 -ysize 1440 "$work/plain.ppm" >"$work/plain-scaled.ppm"
sized=$(detail_error "$work/sized.bmp")
plain=$(detail_error "$work/plain-scaled.ppm")
own=$("$cli" quality --picture "$work/plain.bmp" --main "$main" --cells 45x34 |
  sed -n 's/.*4 x 4 samples per cell: *mean \([0-9.]*\).*/\1/p')
gain=$(echo "100 * ($plain - $sized) / $plain" | bc -l | xargs printf '%.1f')
echo "$(basename "$main"): (a) --sizes 1,2,4 on 64x48 cells, --calm $calm: $sized_tiles tiles, mean error $sized;" \
  "plain 45x34 (1530 tiles): $plain (on its own grid $own); the sizes $gain % lower"

# (b) time of 48 x 48.
for pass in 1 2; do
  t_plain=$(seconds create "$work/p48.bmp" --cells 48x48)
  t_sized=$(seconds create "$work/s48.bmp" --cells 48x48 --sizes 1,2,4)
done
ratio=$(echo "$t_sized / $t_plain" | bc -l | xargs printf '%.2f')
echo "$(basename "$main"): (b) 48x48: plain $(printf '%.2f' "$t_plain") s, --sizes 1,2,4 $(printf '%.2f' "$t_sized") s," \
  "ratio $ratio"
