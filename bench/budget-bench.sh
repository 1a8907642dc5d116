#!/bin/sh
# Run by hand (never by the tests): how much memory a mosaic takes whose
# library is one 8000 x 8000 photo, linked eight times, in each photo format
# the program reads through an outside library, with the default memory budget
# and with --memory 256. Prints the peak resident size of each run and what
# came of it (made, or the message it was refused with).
#
# Usage: bench/budget-bench.sh [BUILD_DIR] [WORK_DIR]
# WORK_DIR keeps the made photos for the next run (making them takes some
# minutes, most of it HEIC); without it they go to a temporary folder.
#
# The encoders come from Debian: heif-enc (libheif-examples), cjxl
# (libjxl-tools), cwebp (webp), convert (imagemagick); the DNG is written by
# scripts/make-tiny-dng.py at full size, with no embedded preview.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cli=$(cd "$build" && pwd)/bin/velmora-cli
side=8000

missing=""
command -v heif-enc >/dev/null || missing="$missing libheif-examples"
command -v cjxl >/dev/null || missing="$missing libjxl-tools"
command -v cwebp >/dev/null || missing="$missing webp"
command -v convert >/dev/null || missing="$missing imagemagick"
[ -x /usr/bin/time ] || missing="$missing time"
if [ -n "$missing" ]; then
  # shellcheck disable=SC2086  # one word per package
  apt-get update >/dev/null && apt-get install -y $missing >/dev/null
fi

if [ $# -ge 2 ]; then
  work=$2
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
cd "$work"

# The photo: the sample main picture stretched to 8000 x 8000 with a little
# noise, so that no encoder gets it for free.
if [ ! -s photo.png ]; then
  convert "$root/samples/main.jpg" -resize "${side}x${side}!" -attenuate 0.3 +noise Gaussian photo.png
fi
[ -s photo.avif ] || heif-enc -A -q 50 -p speed=9 -o photo.avif photo.png >/dev/null
[ -s photo.heic ] || heif-enc -q 50 -p preset=ultrafast -o photo.heic photo.png >/dev/null
# As phones write them: with a thumbnail, which a library photo is read from.
[ -s thumb.avif ] || heif-enc -A -q 50 -p speed=9 -t 320 -o thumb.avif photo.png >/dev/null
[ -s thumb.heic ] || heif-enc -q 50 -p preset=ultrafast -t 320 -o thumb.heic photo.png >/dev/null
[ -s photo.jxl ] || cjxl -e 3 -d 1.5 photo.png photo.jxl >/dev/null 2>&1
[ -s photo.webp ] || cwebp -quiet -q 75 photo.png -o photo.webp
[ -s photo.dng ] || python3 "$root/scripts/make-tiny-dng.py" photo.dng "$side"
# The main picture is small, so that the peak is the library's.
[ -s main.jpg ] || convert photo.png -resize 1024x1024 main.jpg

echo "velmora-cli create --cells 16x16 --threads 8 --no-cache, library: 8 links to one ${side} x ${side} photo"
echo "load before: $(cat /proc/loadavg)"
printf '%-10s %8s %8s  %s\n' photo budget "peak MiB" outcome
for photo in photo.png photo.webp photo.avif thumb.avif photo.heic thumb.heic photo.jxl photo.dng; do
  format=${photo##*.}
  rm -rf lib
  mkdir lib
  for n in 1 2 3 4 5 6 7 8; do ln "$photo" "lib/$n.$format"; done
  for budget in default 256; do
    memory=""
    [ "$budget" = default ] || memory="--memory $budget"
    # shellcheck disable=SC2086  # the flag and its value, or nothing
    if /usr/bin/time -f %M -o rss.txt "$cli" create --quiet --no-cache --main main.jpg --library lib \
      --cells 16x16 --threads 8 $memory --seed 1 --out out.jpg 2>err.txt; then
      outcome=made
    else
      outcome="refused: $(tail -n 1 err.txt)"
    fi
    # A failed run's file starts with a line saying so; the figure is last.
    peak=$(tail -n 1 rss.txt | awk '{ printf "%.0f", $1 / 1024 }')
    printf '%-10s %8s %8s  %s\n' "$photo" "$budget" "$peak" "$outcome"
  done
done
rm -rf lib
echo "load after: $(cat /proc/loadavg)"
