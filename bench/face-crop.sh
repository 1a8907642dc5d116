#!/bin/bash
# What the crop by faces buys, run by hand (never by the tests):
#
#   bench/face-crop.sh MAIN BACKGROUNDS [CLI]
#
# CLI defaults to build/bin/velmora-cli. Builds a temporary library of 48
# photos with a face off their middle: the public-domain portrait of the
# astronaut Eileen Collins that Debian's python3-skimage package ships
# (fetched with apt-get download unless $FACE_PORTRAIT names a copy), laid
# with ffmpeg at a varying size onto the photos of BACKGROUNDS (name order),
# near the left or right edge of a wide photo (16:9, 2:1) or the top or
# bottom of a tall one (9:16), mirrored every other time; the next 150
# photos of BACKGROUNDS join the library as they are. Makes a 40 x 30
# mosaic of MAIN with square cells from it with --crop-by centre and with
# --crop-by faces (one seed) and prints side by side what 'faces-kept' says
# of each: the tiles whose photo has faces, and the share of them showing
# every face whole. Then the time of a cold and a warm create (the second
# run, summary cache filled) for each crop.
set -euo pipefail

main=$(realpath "${1:?usage: $0 MAIN BACKGROUNDS [CLI]}")
backgrounds=$(realpath "${2:?usage: $0 MAIN BACKGROUNDS [CLI]}")
cli=$(realpath "${3:-build/bin/velmora-cli}")
work=$(mktemp -d /tmp/velmora-face-crop-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/lib"

portrait=${FACE_PORTRAIT:-}
if [ -z "$portrait" ]; then
  (cd "$work" && apt-get download python3-skimage >/dev/null 2>&1)
  dpkg-deb -x "$work"/python3-skimage_*.deb "$work/skimage"
  portrait="$work/skimage/usr/lib/python3/dist-packages/skimage/data/astronaut.png"
fi

# Photo sizes in turn, and where the portrait goes on them.
sizes=(640x360 720x360 360x640)
mapfile -t all < <(find "$backgrounds" -maxdepth 1 -type f -iname '*.jpg' | sort | head -n 198)
photos=("${all[@]:0:48}")
for photo in "${all[@]:48}"; do cp "$photo" "$work/lib/"; done
n=0
for photo in "${photos[@]}"; do
  IFS=x read -r w h <<<"${sizes[$((n % 3))]}"
  short=$((w < h ? w : h))
  fh=$((short * (45 + (n * 7) % 30) / 100))  # the portrait: 45..74 % of the short side
  fw=$((fh * 4 / 5))
  margin=$(((n * 13) % 20))
  if [ "$w" -gt "$h" ]; then
    y=$(((h - fh) * ((n * 5) % 11) / 10))
    if [ $((n % 2)) -eq 0 ]; then x=$margin; else x=$((w - fw - margin)); fi
  else
    x=$(((w - fw) * ((n * 3) % 11) / 10))
    if [ $((n % 2)) -eq 0 ]; then y=$margin; else y=$((h - fh - margin)); fi
  fi
  flip=$([ $((n % 4)) -ge 2 ] && echo ",hflip" || echo "")
  ffmpeg -loglevel error -y -i "$photo" -i "$portrait" -filter_complex \
    "[0]scale=${w}:${h}:force_original_aspect_ratio=increase,crop=${w}:${h}[b];[1]crop=256:320:96:0,scale=${fw}:${fh}${flip}[f];[b][f]overlay=${x}:${y}" \
    -q:v 3 "$work/lib/$(printf 'face%02d' "$n").jpg"
  n=$((n + 1))
done
echo "library: $n photos with the portrait near an edge (16:9, 2:1 and 9:16), $((${#all[@]} - 48)) without"

create() {  # crop, then more options
  local crop=$1
  shift
  "$cli" create --quiet --seed 7 --main "$main" --library "$work/lib" --cells 40x30 --cell-size 32x32 \
    --no-advice --out "$work/$crop.jpg" --project "$work/$crop.vm6" --crop-by "$crop" "$@" >/dev/null 2>&1
}
seconds() {  # runs the command, prints its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@"
  end=$(date +%s.%N)
  printf '%.2f' "$(echo "$end - $start" | bc -l)"
}

declare -A cold warm line
for crop in centre faces; do
  export XDG_CACHE_HOME="$work/cache-$crop"
  cold[$crop]=$(seconds create "$crop")
  warm[$crop]=$(seconds create "$crop")
  line[$crop]=$("$cli" faces-kept "$work/$crop.vm6")
done
echo
for crop in centre faces; do echo "${line[$crop]}"; done
echo
printf '%-8s %-14s %-14s\n' "crop" "create, cold" "create, warm"
for crop in centre faces; do printf '%-8s %-14s %-14s\n' "$crop" "${cold[$crop]} s" "${warm[$crop]} s"; done
