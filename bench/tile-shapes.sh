#!/bin/bash
# What shaped tiles cost, run by hand (never by the tests):
#
#   bench/tile-shapes.sh MAIN LIBRARY [CLI]
#
# CLI defaults to build/bin/velmora-cli. Prints
#  (a) the mean colour error at 4 x 4 samples per cell (as 'create' measures
#      it against the main picture) of a 64 x 48 mosaic with --shape circle
#      --gap-fill main against the same mosaic with rectangular tiles, and
#      the shaped one's over the rectangular one's;
#  (b) the render time of both: each saved as a project, then reopened with
#      'render' three times, the best time taken (the first create fills the
#      summary and rendition caches, so the renders read renditions), and
#      shaped over rectangular as a speed ratio (1 = as fast).
# The same seed and create's defaults (the settings advice included) for both.
set -euo pipefail

main=$(realpath "${1:?usage: $0 MAIN LIBRARY [CLI]}")
library=$(realpath "${2:?usage: $0 MAIN LIBRARY [CLI]}")
cli=$(realpath "${3:-build/bin/velmora-cli}")
work=$(mktemp -d /tmp/velmora-tile-shapes-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"

create() {  # name, then options; prints the mean error at 4 x 4 samples
  local name=$1
  shift
  "$cli" create --quiet --seed 11 --main "$main" --library "$library" --cells 64x48 --cell-size 30x30 \
    --out "$work/$name.bmp" --project "$work/$name.vm6" "$@" 2>&1 |
    sed -n 's/.*; \([0-9.]*\) with 4 x 4 samples.*/\1/p'
}
best_render() {  # name: the best of three renders, in seconds
  local best=""
  for _ in 1 2 3; do
    local start end t
    start=$(date +%s.%N)
    "$cli" render "$work/$1.vm6" --out "$work/$1-again.bmp" --quiet 2>/dev/null
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  printf '%.2f' "$best"
}

rect=$(create rect)
circle=$(create circle --shape circle --gap-fill main)
ratio=$(echo "$circle / $rect" | bc -l | xargs printf '%.2f')
echo "$(basename "$main"): (a) 64x48, mean error at 4 x 4 samples: rectangles $rect, circle with the blurred" \
  "main picture in the gaps $circle (circle / rectangles $ratio)"

t_rect=$(best_render rect)
t_circle=$(best_render circle)
speed=$(echo "$t_rect / $t_circle" | bc -l | xargs printf '%.2f')
echo "$(basename "$main"): (b) render of 1920 x 1440: rectangles $t_rect s, circle $t_circle s, speed ratio $speed"
cmp -s "$work/circle.bmp" "$work/circle-again.bmp" && echo "$(basename "$main"): the reopened circle mosaic is" \
  "the created one, byte for byte" || echo "$(basename "$main"): the reopened circle mosaic DIFFERS"
