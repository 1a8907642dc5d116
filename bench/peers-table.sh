#!/bin/bash
# Velmora's settings against metapixel on one main picture and one library,
# every result measured by the same tool (velmora-cli quality), run by hand
# (never by the tests):
#
#   bench/peers-table.sh [MAIN_PICTURE] [LIBRARY_FOLDER] > table.md
#
# Defaults: samples/main.jpg and the sample library build/bin/images. All
# mosaics are 48 x 48 cells of 32 px (--advice sets cells down to keep the
# main picture's shape, so its rows have fewer cells down). Rows:
#   velmora-cli create with no options; with --advice; with --advice --detail
#   --fair-use-all; metapixel --cheat=30 (its overlay) and with its defaults.
# Times are wall-clock seconds from empty caches (Velmora's summary and
# rendition caches in a fresh folder each time); metapixel's table is
# prepared once and its time is added to both metapixel rows. Velmora's
# mosaics are measured from their projects (with the photo counts and the
# tile contrast kept), the metapixel ones with 'quality --picture' on their
# 48 x 48 grid (no tile contrast: there is no untinted drawing to compare
# with), the photo counts read from metapixel's own protocol of which photo
# went where.
# metapixel is given the main picture stretched to the mosaic's size, as it
# keeps the input's size at --scale 1.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
main=$(realpath "${1:-$here/samples/main.jpg}")
library=$(realpath "${2:-$here/build/bin/images}")
cells=48
side=32
size=$((cells * side))

if ! command -v metapixel >/dev/null || ! command -v metapixel-prepare >/dev/null; then
  echo "installing metapixel" >&2
  apt-get install -y metapixel >&2
fi
for tool in convert bc; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d /tmp/velmora-peers-XXXXXX)
trap 'rm -rf "$work"' EXIT
# A copy, so that a rebuild meanwhile does not pull the program away.
cp "${VELMORA_CLI:-$here/build/bin/velmora-cli}" "$work/velmora-cli"
cli=$work/velmora-cli

# Wall-clock seconds of a command, its output thrown away.
seconds() {
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l | xargs printf '%.2f'
}

# The figures of a quality report: delta E76 and E00 with 4 x 4 samples, SSIM,
# the tile contrast kept, photos used and the most uses (blank when the
# report has none).
figures() {
  local report=$1 e76 e00 ssim contrast used most
  e76=$(sed -n 's/^  4 x 4 samples per cell: mean \([0-9.]*\),.*/\1/p' <<<"$report")
  e00=$(sed -n 's/^Mean colour error per cell, CIEDE2000: .*; \([0-9.]*\) with 4 x 4 samples)/\1/p' <<<"$report")
  ssim=$(sed -n 's/^Structural similarity .* px: \([0-9.-]*\)/\1/p' <<<"$report")
  contrast=$(sed -n 's/^Tile contrast kept: \([0-9.]*\) %.*/\1 %/p' <<<"$report")
  used=$(sed -n 's/^Photos used: \([0-9]*\) different.*/\1/p' <<<"$report")
  most=$(sed -n 's/^Photos used: .* at most \([0-9]*\) times one/\1/p' <<<"$report")
  echo "$e76 | $e00 | $ssim | $contrast | $used | $most"
}

echo "Main picture $(basename "$main"), library $library ($(ls "$library" | grep -ci '\.jpe\?g$') photos), $(nproc) cores"
echo
echo "| setting | time (cold), s | mean ΔE76, 4 x 4 | mean ΔE00, 4 x 4 | SSIM | tile contrast kept | distinct photos | max uses |"
echo "|---|---|---|---|---|---|---|---|"

velmora_row() {  # name, create options...
  local name=$1
  shift
  local n=$((++runs)) t report
  t=$(XDG_CACHE_HOME="$work/cache-$n" seconds "$cli" create --quiet --main "$main" --library "$library" \
    --cells "${cells}x${cells}" --cell-size "${side}x${side}" --out "$work/v$n.jpg" --project "$work/v$n.vm6" "$@")
  report=$(XDG_CACHE_HOME="$work/cache-$n" "$cli" quality --quiet "$work/v$n.vm6")
  echo "| $name | $t | $(figures "$report") |"
}
runs=0
velmora_row "velmora-cli create (no options)"
velmora_row "velmora-cli create --advice" --advice
velmora_row "velmora-cli create --advice --detail --fair-use-all" --advice --detail --fair-use-all

convert "$main" -resize "${size}x${size}!" "$work/main.png"
mkdir -p "$work/table"
prep=$(seconds metapixel-prepare --width="$side" --height="$side" "$library" "$work/table")

metapixel_row() {  # name, metapixel options...
  local name=$1
  shift
  local n=$((++runs)) t report used most
  t=$(seconds metapixel --library "$work/table" --width="$side" --height="$side" "$@" \
    --out="$work/p$n.txt" --metapixel "$work/main.png" "$work/m$n.png")
  report=$("$cli" quality --picture "$work/m$n.png" --main "$main" --cells "${cells}x${cells}")
  # The protocol names one photo per cell: (x y 1 1 "file").
  used=$(grep -o '"[^"]*"' "$work/p$n.txt" | sort | uniq -c | wc -l)
  most=$(grep -o '"[^"]*"' "$work/p$n.txt" | sort | uniq -c | sort -rn | head -1 | awk '{print $1}')
  echo "| $name | $(echo "$prep + $t" | bc -l | xargs printf '%.2f') ($prep + $t) | $(figures "$report" | sed 's/| *| *$//')| $used | $most |"
}
metapixel_row "metapixel --cheat=30" --cheat=30
metapixel_row "metapixel (defaults)"
echo
echo "metapixel's time is its table preparation ($prep s, once) plus the mosaic."
