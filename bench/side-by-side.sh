#!/bin/bash
# Velmora and metapixel side by side on the same photos, run by hand (never by
# the tests): the whole job, library preparation and mosaic, from empty caches.
#
#   bench/side-by-side.sh [VELMORA_CLI] [PHOTOS]
#
# VELMORA_CLI defaults to build/bin/velmora-cli; PHOTOS is a folder holding
# library/*.jpg and main/*.jpg (at least two main pictures). Two cases:
#   1. 48 x 48 cells of 32 px from 2,000 entries: the library's photos linked
#      five times into a temporary folder;
#   2. 100 x 100 cells of 64 px from the library's photos.
# For each: Velmora cold (empty summary and rendition caches), warm (the same
# job again), a second mosaic on another main picture (warm), and metapixel's
# prepare + mosaic, with the ratio and the load average beside every figure.
# metapixel is given the main picture already resized to the mosaic's size
# (outside the timing), as it keeps the input's size at --scale 1.
set -euo pipefail

cli=$(realpath "${1:-build/bin/velmora-cli}")
photos=$(realpath "${2:-/work/shared/photos}")
mains=("$photos"/main/*.jpg)
[ ${#mains[@]} -ge 2 ] || { echo "need two main pictures in $photos/main" >&2; exit 1; }
for tool in metapixel metapixel-prepare convert; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install metapixel imagemagick)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/velmora-side-by-side-XXXXXX)
trap 'rm -rf "$work"' EXIT

load() { cut -d' ' -f1-3 /proc/loadavg; }
# Wall-clock seconds of a command, its output thrown away.
seconds() {
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l | xargs printf '%.3f'
}

run_case() {  # name, library folder, cells per side, cell side
  local name=$1 lib=$2 cells=$3 side=$4
  local size=$((cells * side))
  local cache="$work/cache-$name"
  echo "== $name: ${cells} x ${cells} cells of ${side} px, $(ls "$lib" | wc -l) library photos, mosaic ${size} x ${size}"

  local args=(--library "$lib" --cells "${cells}x${cells}" --cell-size "${side}x${side}" --quiet)
  local cold warm second
  cold=$(XDG_CACHE_HOME="$cache" seconds "$cli" create --main "${mains[0]}" "${args[@]}" --out "$work/v1.jpg")
  echo "  velmora cold (empty caches)           ${cold} s   load $(load)"
  warm=$(XDG_CACHE_HOME="$cache" seconds "$cli" create --main "${mains[0]}" "${args[@]}" --out "$work/v2.jpg")
  echo "  velmora warm (same job again)         ${warm} s   load $(load)"
  second=$(XDG_CACHE_HOME="$cache" seconds "$cli" create --main "${mains[1]}" "${args[@]}" --out "$work/v3.jpg")
  echo "  velmora second main picture (warm)    ${second} s   ($(echo "100 * $second / $cold" | bc -l | xargs printf '%.1f') % of cold)   load $(load)"

  convert "${mains[0]}" -resize "${size}x${size}!" "$work/main-$name.png"
  local prep mosaic
  rm -rf "$work/mp-$name"
  mkdir -p "$work/mp-$name"
  prep=$(seconds metapixel-prepare --width="$side" --height="$side" "$lib" "$work/mp-$name")
  echo "  metapixel-prepare                     ${prep} s   load $(load)"
  mosaic=$(seconds metapixel --library "$work/mp-$name" --width="$side" --height="$side" \
    --metapixel "$work/main-$name.png" "$work/m-$name.png")
  echo "  metapixel --metapixel                 ${mosaic} s   load $(load)"
  local total
  total=$(echo "$prep + $mosaic" | bc -l | xargs printf '%.3f')
  echo "  metapixel prepare + mosaic            ${total} s"
  echo "  velmora cold is $(echo "$total / $cold" | bc -l | xargs printf '%.1f') times faster than metapixel"
}

lib2000="$work/library-2000"
mkdir -p "$lib2000"
for round in 1 2 3 4 5; do
  for f in "$photos"/library/*.jpg; do ln -s "$f" "$lib2000/r${round}_$(basename "$f")"; done
done

echo "velmora-cli: $cli; photos: $photos; $(nproc) cores"
run_case 48x48 "$lib2000" 48 32
run_case 100x100 "$photos/library" 100 64
