#!/bin/bash
# Run by hand (never by the tests): a phone's photo library made into a
# mosaic, 48 x 48 cells of 32 px. Makes (or reuses) a camera library of N
# photos with bench/camera-library.sh, runs 'velmora-cli bench
# --camera-library' on it (cold and warm, with the photos' previews and
# without) and then the JPEG photos alone against Debian's metapixel
# (metapixel-prepare with 32 x 32 tiles, then metapixel --metapixel), and
# prints one table of the figures beside their targets for 2,000 photos.
#
# Usage: bench/camera-bench.sh [N] [WORK_DIR] [BUILD_DIR]
# N defaults to 2000 (1,500 JPEG and 500 HEIC); WORK_DIR (default
# /tmp/velmora-camera) keeps the made photos for the next run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-2000}
work=${2:-/tmp/velmora-camera}
build=${3:-$root/build}
cli=$(cd "$build" && pwd)/bin/velmora-cli
main=$root/samples/main.jpg

if ! command -v metapixel-prepare >/dev/null; then
  apt-get update >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends metapixel >/dev/null
fi
"$root/bench/camera-library.sh" "$n" "$work" >&2
work=$(cd "$work" && pwd)

# The first N photos of the made library, linked: the whole library, and
# its JPEG photos alone in one folder for the comparison.
lib=$work/library-$n
jpegs=$work/jpeg-$n
rm -rf "$lib" "$jpegs"
mkdir -p "$jpegs"
for ((i = 1; i <= n; ++i)); do
  sub=DCIM/$((100 + (i - 1) / 250))CAMERA
  mkdir -p "$lib/$sub"
  for ext in JPG HEIC; do
    photo=$(printf '%s/%s/IMG_%04d.%s' "$work" "$sub" "$i" "$ext")
    [ -f "$photo" ] || continue
    ln -f "$photo" "$lib/$sub/" 2>/dev/null || ln -sf "$photo" "$lib/$sub/"
    [ "$ext" = JPG ] && { ln -f "$photo" "$jpegs/" 2>/dev/null || ln -sf "$photo" "$jpegs/"; }
  done
done
count_jpeg=$(find "$jpegs" -name '*.JPG' | wc -l)

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
report=$(mktemp)
scratch=$(mktemp -d)
trap 'rm -rf "$report" "$scratch"' EXIT
"$cli" bench --camera-library "$lib" --main "$main" | tee "$report"
figures=$(grep '^figures:' "$report" | cut -d' ' -f2-)
fig() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$figures"; }

# The JPEG part: velmora-cli create, cold (a cache folder of its own), with
# the previews, and without them when the command has the switch.
velmora_jpeg() {
  rm -rf "$scratch/cache"
  local t0
  t0=$(now)
  XDG_CACHE_HOME=$scratch/cache "$cli" create --quiet --seed 1 --main "$main" --library "$jpegs" \
    --out "$scratch/velmora.jpg" "$@" 2>/dev/null
  since "$t0"
}
velmora_jpeg_time=$(velmora_jpeg)
velmora_jpeg_full="-"
if "$cli" create --help 2>&1 | grep -q -- '--no-previews'; then velmora_jpeg_full=$(velmora_jpeg --no-previews); fi

# metapixel on the same photos: its tables at 32 x 32, then the mosaic of the
# main picture brought to the same 1536 x 1536 pixels.
/usr/bin/convert "$main" -resize '1536x1536!' "$scratch/main.png"
mkdir -p "$scratch/tables"
t0=$(now)
metapixel-prepare --width=32 --height=32 "$jpegs" "$scratch/tables" >/dev/null 2>&1
mp_prepare=$(since "$t0")
t0=$(now)
metapixel --metapixel -l "$scratch/tables" "$scratch/main.png" "$scratch/metapixel.png" >/dev/null 2>&1
mp_mosaic=$(since "$t0")
mp_total=$(awk -v a="$mp_prepare" -v b="$mp_mosaic" 'BEGIN { printf "%.3f", a + b }')
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

row() { printf '  %-46s %-26s %s\n' "$@"; }
echo
echo "Camera library of $n photos ($count_jpeg JPEG), 48 x 48 cells of 32 px, main picture samples/main.jpg, $(nproc) cores"
row "figure" "measured" "target (2,000 photos)"
row "whole job, cold, with previews" "$(fig cold) s" "<= 10 s"
row "whole job, warm, with previews" "$(fig warm) s" "<= 1 s"
row "whole job, cold, without previews" "$(fig cold_full) s" ""
row "whole job, warm, without previews" "$(fig warm_full) s" ""
row "photos served by previews (cold)" "$(fig served) %" ""
row "the previews alone (the limit)" "$(fig limit) s" ""
row "the limit as a share of the cold time" "$(fig limit_share) %" ">= 90 %"
de_diff=$(awk -v a="$(fig de)" -v b="$(fig de_full)" 'BEGIN { d = a - b; printf "%+.2f", d }')
row "mean colour error, with / without previews" "$(fig de) / $(fig de_full) delta E ($de_diff)" "within 0.3"
row "peak memory (VmHWM), with / without" "$(fig peak_mib) / $(fig peak_full_mib) MiB" "< 1024 MiB"
row "JPEG part: velmora-cli create, cold" "$velmora_jpeg_time s (without previews: $velmora_jpeg_full s)" ""
row "JPEG part: metapixel prepare + mosaic" "$mp_total s ($mp_prepare + $mp_mosaic)" ""
row "speed-up over metapixel" "$(awk -v a="$mp_total" -v b="$velmora_jpeg_time" 'BEGIN { printf "%.1f x", a / b }')" ">= 50 x"
echo "  load average before: $load_before; after: $load_after"
