#!/bin/bash
# Velmora against metapixel on one main picture and one library, every result
# measured by the same tool (velmora-cli quality), run by hand (never by the
# tests):
#
#   [COPIES=5] bench/peers-table.sh [MAIN_PICTURE] [LIBRARY_FOLDER] [MONTAGE_FOLDER] > table.md
#
# Defaults: samples/main.jpg and the sample library build/bin/images. With
# COPIES=N the library's photos are linked N times into a temporary folder
# (400 photos, COPIES=5: 2,000 library entries). All mosaics are 48 x 48
# cells of 32 px. Rows:
#   velmora-cli create with no options but the grid (the settings advice);
#   with --no-advice (the option defaults); with --recolor tint (the advice
#   with the tint instead of the colour transfer); metapixel --cheat=30 (its
#   overlay of the main picture) and metapixel with its defaults.
# Times are wall-clock seconds from empty program caches (the files are read
# once before, so that the system's file cache is the same for every row):
# Velmora's 'create' of the
# picture alone with its summary and rendition caches in a fresh folder,
# metapixel's table preparation plus its mosaic. Velmora's project is then
# saved by a second, warm run with the same seed (the caches change no
# pixel) and measured with its photo counts and tile contrast kept; the
# metapixel pictures with 'quality --picture' on their 48 x 48 grid (no
# tile contrast: there is no untinted drawing to compare with), the photo
# counts read from metapixel's own protocol of which photo went where.
# metapixel is given the main picture stretched to the mosaic's size, as it
# keeps the input's size at --scale 1.
#
# After the table, the targets of the default row against metapixel's
# overlay row. With MONTAGE_FOLDER, NAME-whole.jpg (the mosaics side by side,
# each 512 px) and NAME-closeup.png (the same 400 x 400 px from the middle of
# each, at 100 %) are written there, in the order of the rows.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
main=$(realpath "${1:-$here/samples/main.jpg}")
library=$(realpath "${2:-$here/build/bin/images}")
montage_dir=${3:-}
copies=${COPIES:-1}
cells=48
side=32
size=$((cells * side))

if ! command -v metapixel >/dev/null || ! command -v metapixel-prepare >/dev/null; then
  echo "installing metapixel" >&2
  apt-get install -y metapixel >&2
fi
for tool in convert montage bc; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install imagemagick bc)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/velmora-peers-XXXXXX)
trap 'rm -rf "$work"' EXIT
# A copy, so that a rebuild meanwhile does not pull the program away.
cp "${VELMORA_CLI:-$here/build/bin/velmora-cli}" "$work/velmora-cli"
cli=$work/velmora-cli

if [ "$copies" -gt 1 ]; then
  mkdir "$work/library"
  for ((i = 1; i <= copies; i++)); do
    for f in "$library"/*; do ln -s "$f" "$work/library/c${i}_$(basename "$f")"; done
  done
  library=$work/library
fi

# Wall-clock seconds of a command, its output thrown away.
seconds() {
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l | xargs printf '%.2f'
}

# One figure of a quality report: e76, e00 (4 x 4 samples), ssim, contrast
# (percent), used, most (blank when the report has none).
figure() {
  case $1 in
    e76) sed -n 's/^  4 x 4 samples per cell: mean \([0-9.]*\),.*/\1/p' <<<"$2" ;;
    e00) sed -n 's/^Mean colour error per cell, CIEDE2000: .*; \([0-9.]*\) with 4 x 4 samples)/\1/p' <<<"$2" ;;
    ssim) sed -n 's/^Structural similarity .* px: \([0-9.-]*\)/\1/p' <<<"$2" ;;
    contrast) sed -n 's/^Tile contrast kept: \([0-9.]*\) %.*/\1/p' <<<"$2" ;;
    used) sed -n 's/^Photos used: \([0-9]*\) different.*/\1/p' <<<"$2" ;;
    most) sed -n 's/^Photos used: .* at most \([0-9]*\) times one/\1/p' <<<"$2" ;;
  esac
}

photos=$(find -L "$library" -maxdepth 1 -type f | wc -l)
# The files are read once before any timing, so that no row pays for the
# disk (the first one would): "cold" means the programs' own caches empty.
find -L "$library" "$main" -maxdepth 1 -type f -exec cat {} + >/dev/null
echo "Main picture $(basename "$main"), $photos library entries, $cells x $cells cells of $side px, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
echo
echo "| setting | time (cold), s | mean ΔE76, 4 x 4 | mean ΔE00, 4 x 4 | SSIM | tile contrast kept, % | distinct photos | max uses |"
echo "|---|---|---|---|---|---|---|---|"

declare -A time e76 ssim contrast used most
pictures=()
runs=0
velmora_row() {  # name, create options...
  local name=$1
  shift
  local n=$((++runs)) report
  local common=(create --quiet --seed 1 --main "$main" --library "$library" --cells "${cells}x${cells}"
    --cell-size "${side}x${side}")
  time[$n]=$(XDG_CACHE_HOME="$work/cache-$n" seconds "$cli" "${common[@]}" --out "$work/cold$n.jpg" "$@")
  XDG_CACHE_HOME="$work/cache-$n" "$cli" "${common[@]}" --out "$work/v$n.png" --project "$work/v$n.vm6" "$@" \
    >/dev/null 2>&1
  report=$(XDG_CACHE_HOME="$work/cache-$n" "$cli" quality --quiet "$work/v$n.vm6")
  e76[$n]=$(figure e76 "$report") ssim[$n]=$(figure ssim "$report") contrast[$n]=$(figure contrast "$report")
  used[$n]=$(figure used "$report") most[$n]=$(figure most "$report")
  pictures+=("$work/v$n.png")
  echo "| $name | ${time[$n]} | ${e76[$n]} | $(figure e00 "$report") | ${ssim[$n]} | ${contrast[$n]} | ${used[$n]} | ${most[$n]} |"
}
velmora_row "velmora-cli create (no options: the advice)"
velmora_row "velmora-cli create --no-advice (the option defaults)" --no-advice
velmora_row "velmora-cli create --recolor tint (the advice, tinted)" --recolor tint

convert "$main" -resize "${size}x${size}!" "$work/main.png"
mkdir -p "$work/table"
prep=$(seconds metapixel-prepare --width="$side" --height="$side" "$library" "$work/table")

metapixel_row() {  # name, metapixel options...
  local name=$1
  shift
  local n=$((++runs)) t report
  t=$(seconds metapixel --library "$work/table" --width="$side" --height="$side" "$@" \
    --out="$work/p$n.txt" --metapixel "$work/main.png" "$work/m$n.png")
  time[$n]=$(echo "$prep + $t" | bc -l | xargs printf '%.2f')
  report=$("$cli" quality --picture "$work/m$n.png" --main "$main" --cells "${cells}x${cells}")
  e76[$n]=$(figure e76 "$report") ssim[$n]=$(figure ssim "$report")
  # The protocol names one photo per cell: (x y 1 1 "file").
  used[$n]=$(grep -o '"[^"]*"' "$work/p$n.txt" | sort | uniq -c | wc -l)
  most[$n]=$(grep -o '"[^"]*"' "$work/p$n.txt" | sort | uniq -c | sort -rn | awk 'NR == 1 {print $1}')
  pictures+=("$work/m$n.png")
  echo "| $name | ${time[$n]} ($prep + $t) | ${e76[$n]} | $(figure e00 "$report") | ${ssim[$n]} | | ${used[$n]} | ${most[$n]} |"
}
metapixel_row "metapixel --cheat=30" --cheat=30
metapixel_row "metapixel (defaults)"
echo
echo "metapixel's time is its table preparation ($prep s, once) plus the mosaic."

# The default row (1) against metapixel's overlay (4).
check() {  # what, condition as bc, figures
  if [ "$(echo "$2" | bc -l)" = 1 ]; then echo "- met: $1 ($3)"; else echo "- NOT met: $1 ($3)"; fi
}
echo
echo "Targets, velmora-cli create with no options against metapixel --cheat=30:"
check "mean ΔE76 at 4 x 4 samples at most 0.75 of metapixel's" "${e76[1]} <= 0.75 * ${e76[4]}" \
  "${e76[1]} against ${e76[4]}, $(echo "${e76[1]} / ${e76[4]}" | bc -l | xargs printf '%.2f')"
check "SSIM at least metapixel's" "${ssim[1]} >= ${ssim[4]}" "${ssim[1]} against ${ssim[4]}"
check "at least 800 different photos" "${used[1]} >= 800" "${used[1]}"
check "none more than 4 times" "${most[1]} <= 4" "${most[1]}"
check "at least 85 % of each tile's own contrast kept" "${contrast[1]} >= 85" "${contrast[1]} %"
check "cold at least 20 times faster than metapixel's prepare + mosaic" "${time[4]} >= 20 * ${time[1]}" \
  "${time[1]} s against ${time[4]} s, $(echo "${time[4]} / ${time[1]}" | bc -l | xargs printf '%.1f') times"

if [ -n "$montage_dir" ]; then
  mkdir -p "$montage_dir"
  name=$(basename "${main%.*}")
  montage "${pictures[@]}" -resize 512x512 -tile "${#pictures[@]}x1" -geometry +6+6 -background white \
    -quality 90 "$montage_dir/$name-whole.jpg"
  closeups=()
  for p in "${pictures[@]}"; do
    convert "$p" -gravity center -crop 400x400+0+0 +repage "$p.closeup.png"
    closeups+=("$p.closeup.png")
  done
  montage "${closeups[@]}" -tile "${#closeups[@]}x1" -geometry +6+6 -background white \
    "$montage_dir/$name-closeup.png"
  echo
  echo "Montages: $montage_dir/$name-whole.jpg, $montage_dir/$name-closeup.png (rows' order, left to right)"
fi
