#!/bin/bash
# What tiles that keep the photo buy, run by hand (never by the tests):
#
#   [SHAPES="4:3 3:4"] bench/photo-shapes.sh MAIN LIBRARY [CLI]
#
# CLI defaults to build/bin/velmora-cli. Builds a temporary library of mixed
# shapes from the photos of LIBRARY (taken in name order, at most 300): each
# cropped around its centre to 16:9, 9:16, 3:4 or 1:1 in turn, or to the
# shapes SHAPES names (a phone's library: "4:3 3:4"), with ImageMagick's
# convert. Makes a 48 x 48 mosaic of MAIN from it with --keep-aspect and one
# without (--no-keep-aspect, which only measures), one seed, create's other
# defaults, and prints for each the photo area shown (the mean share of a
# placed photo's area left after the crop to its tile), the tile count and
# the mean colour error at 4 x 4 samples per cell ('quality --picture' on the
# 48 x 48 grid), and the time of each create (the second run, caches warm).
set -euo pipefail

main=$(realpath "${1:?usage: $0 MAIN LIBRARY [CLI]}")
library=$(realpath "${2:?usage: $0 MAIN LIBRARY [CLI]}")
cli=$(realpath "${3:-build/bin/velmora-cli}")
work=$(mktemp -d /tmp/velmora-keep-aspect-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"
mkdir "$work/lib"

# w:h of the crop for the n-th photo.
read -r -a shapes <<<"${SHAPES:-16:9 9:16 3:4 1:1}"

n=0
while IFS= read -r photo; do
  size=$(identify -format '%w %h' "$photo[0]" 2>/dev/null) || continue
  read -r w h <<<"$size"
  IFS=: read -r aw ah <<<"${shapes[$((n % ${#shapes[@]}))]}"
  # The largest aw:ah rectangle inside w x h.
  if [ $((w * ah)) -gt $((h * aw)) ]; then cw=$((h * aw / ah)); ch=$h; else cw=$w; ch=$((w * ah / aw)); fi
  convert "$photo[0]" -gravity center -crop "${cw}x${ch}+0+0" +repage "$work/lib/$(printf '%04d' "$n").jpg"
  n=$((n + 1))
  [ "$n" -lt 300 ] || break
done < <(find "$library" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' \) | sort)
echo "library: $n photos cropped in turn to ${shapes[*]}"

run() {  # label, out, then options
  local label=$1 out=$2
  shift 2
  local args=(create --seed 7 --main "$main" --library "$work/lib" --cells 48x48 --cell-size 24x24 --out "$out" "$@")
  "$cli" "${args[@]}" >/dev/null 2>&1
  local start end log
  start=$(date +%s.%N)
  log=$("$cli" "${args[@]}" 2>&1)
  end=$(date +%s.%N)
  local area tiles err
  area=$(sed -n 's/^photo area shown: \([0-9.]*\) %.*/\1/p' <<<"$log")
  tiles=$(sed -n 's/^\([0-9]*\) tiles on.*/\1/p' <<<"$log")
  err=$("$cli" quality --picture "$out" --main "$main" --cells 48x48 |
    sed -n 's/.*4 x 4 samples per cell: *mean \([0-9.]*\).*/\1/p')
  printf '%-16s photo area shown %5s %%  tiles %5s  mean error (4 x 4) %6s  create %.2f s\n' \
    "$label" "$area" "${tiles:-2304}" "$err" "$(echo "$end - $start" | bc -l)"
}
run "centre crop" "$work/plain.bmp" --no-keep-aspect
run "--keep-aspect" "$work/kept.bmp" --keep-aspect
