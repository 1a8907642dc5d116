#!/bin/bash
# Run by hand (never by the tests): makes a photo library as a phone or camera
# leaves it, for bench/camera-bench.sh and 'velmora-cli bench --camera-library'.
#
# Usage: bench/camera-library.sh N OUTDIR
#
# OUTDIR/DCIM/100CAMERA/IMG_0001.JPG ... (250 photos a folder, 101CAMERA and on
# after that): N photos of 4000 x 3000. Three in four are JPEG of quality 92
# with a 160 x 120 EXIF thumbnail of the same picture, as cameras write them,
# a few of them with an EXIF orientation (6, 8 or 3) as a camera held
# sideways or upside down writes; every fourth is HEIC with a 320 x 240
# thumbnail item. The pictures are Debian's desktop wallpapers
# (mate-backgrounds, ukui-wallpapers), each photo a different crop of one of
# them turned to other colours (hue, saturation, brightness by its number),
# so the library has all sorts of colours. HEIC encoding is slow: eight
# different HEIC photos are encoded and the others are copies of them under
# other names.
#
# Made photos are kept: a second run with the same OUTDIR makes only the
# ones missing (a larger N adds photos; a smaller one leaves the others).
set -euo pipefail
n=${1:?usage: camera-library.sh N OUTDIR}
out=${2:?usage: camera-library.sh N OUTDIR}
case $n in '' | *[!0-9]*) echo "camera-library.sh: N must be a number" >&2; exit 2 ;; esac

missing=""
command -v exiftool >/dev/null || missing="$missing libimage-exiftool-perl"
command -v heif-enc >/dev/null || missing="$missing libheif-examples"
[ -x /usr/bin/convert ] || missing="$missing imagemagick"
[ -d /usr/share/backgrounds/mate/nature ] || missing="$missing mate-backgrounds"
[ -f /usr/share/backgrounds/the-mouse.jpg ] || missing="$missing ukui-wallpapers"
if [ -n "$missing" ]; then
  # shellcheck disable=SC2086  # one word per package
  apt-get update >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing >/dev/null
fi
# The real ImageMagick, not a wrapper earlier on the PATH.
convert=/usr/bin/convert

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$out/.work
mkdir -p "$work/bases" "$work/heic"

# The wallpapers, each cut once to a 4400 x 3300 base the photos are cropped from.
mapfile -t sources < <(find /usr/share/backgrounds/mate /usr/share/backgrounds -maxdepth 2 -type f \
  \( -name '*.jpg' -o -name '*.png' \) ! -name '*Transparent*' | sort -u)
bases=()
for src in "${sources[@]}"; do
  base=$work/bases/$(basename "${src%.*}").jpg
  if [ ! -s "$base" ]; then
    $convert "$src" -strip -background grey50 -alpha remove -alpha off -resize '4400x3300^' \
      -gravity center -extent 4400x3300 -quality 95 "$base.tmp.jpg" 2>/dev/null
    mv "$base.tmp.jpg" "$base"
  fi
  bases+=("$base")
done
echo "${#bases[@]} wallpapers as bases" >&2

# make_photo INDEX FILE: photo INDEX as a plain JPEG of quality 92, its
# colours turned by a matrix of its own (hue turned by up to a whole circle,
# saturation 0.6 .. 1.5, brightness 0.8 .. 1.15), cropped at its own place.
make_photo() {
  local i=$1 file=$2
  local base=${bases[$(((i * 7 + i / 36) % ${#bases[@]}))]}
  local x=$(((i * 37) % 400)) y=$(((i * 53) % 300))
  local matrix
  matrix=$(awk -v i="$i" 'BEGIN {
    pi = 3.14159265358979; t = ((i * 47) % 360) * pi / 180
    sat = 0.6 + ((i * 29) % 10) / 10; b = 0.8 + ((i * 13) % 8) / 20
    c = cos(t); s = sin(t); k = (1 - c) / 3; r = sqrt(1 / 3) * s
    h[1,1] = c + k; h[1,2] = k - r; h[1,3] = k + r
    h[2,1] = k + r; h[2,2] = c + k; h[2,3] = k - r
    h[3,1] = k - r; h[3,2] = k + r; h[3,3] = c + k
    l[1] = 0.299; l[2] = 0.587; l[3] = 0.114
    for (row = 1; row <= 3; ++row) for (col = 1; col <= 3; ++col) {
      v = 0
      for (m = 1; m <= 3; ++m) v += (sat * (row == m) + (1 - sat) * l[m]) * h[m, col]
      printf "%.4f ", b * v
    }
  }')
  local flip=""
  if (((i / 3) % 2 == 1)); then flip=-flop; fi
  $convert "$base" -crop "4000x3000+$x+$y" +repage $flip -color-matrix "$matrix" \
    -sampling-factor 2x2 -quality 92 "$file"
}

# The JPEG photo INDEX, with its thumbnail and orientation, staged in .work.
stage_jpeg() {
  local i=$1
  local photo=$work/$i.jpg thumb=$work/$i-thumb.jpg
  [ -s "$photo.done" ] && return 0
  make_photo "$i" "$photo"
  $convert "$photo" -define jpeg:size=320x240 -thumbnail '160x120!' -strip -quality 80 "$thumb"
  echo ok >"$photo.done"
}

# The EXIF orientation photo INDEX is given, or nothing: about one in twenty.
orientation_of() {
  local i=$1
  if ((i % 25 == 7)); then echo 6; elif ((i % 25 == 19)); then echo 8; elif ((i % 50 == 13)); then echo 3; fi
}

name_of() {
  local i=$1 ext=$2
  printf '%s/DCIM/%dCAMERA/IMG_%04d.%s' "$out" $((100 + (i - 1) / 250)) "$i" "$ext"
}

export -f make_photo stage_jpeg
export work convert
export BASES_LIST
BASES_LIST=$(printf '%s\n' "${bases[@]}")

# The JPEG photos not made yet, two at a time.
todo=()
for ((i = 1; i <= n; ++i)); do
  ((i % 4 == 0)) && continue
  [ -s "$(name_of "$i" JPG)" ] || todo+=("$i")
done
if [ ${#todo[@]} -gt 0 ]; then
  echo "making ${#todo[@]} JPEG photos" >&2
  printf '%s\n' "${todo[@]}" | xargs -P 2 -n 1 bash -c '
    mapfile -t bases <<<"$BASES_LIST"
    stage_jpeg "$1"' _
  # One exiftool for all of them: the thumbnail, and an orientation on a few.
  args=$work/exif.args
  : >"$args"
  for i in "${todo[@]}"; do
    {
      echo -overwrite_original
      echo "-ThumbnailImage<=$work/$i-thumb.jpg"
      o=$(orientation_of "$i")
      [ -n "$o" ] && echo "-Orientation#=$o"
      echo "$work/$i.jpg"
      echo -execute
    } >>"$args"
  done
  exiftool -q -q -@ "$args" >/dev/null
  for i in "${todo[@]}"; do
    target=$(name_of "$i" JPG)
    mkdir -p "$(dirname "$target")"
    mv "$work/$i.jpg" "$target"
    rm -f "$work/$i-thumb.jpg" "$work/$i.jpg.done"
  done
fi

# The HEIC photos: eight encoded (with a thumbnail of at most 320 pixels a
# side), the others copies of them.
heic_made=0
for ((i = 4; i <= n; i += 4)); do
  target=$(name_of "$i" HEIC)
  [ -s "$target" ] && continue
  m=$(((i / 4 - 1) % 8))
  master=$work/heic/master-$m.heic
  if [ ! -s "$master" ]; then
    mapfile -t bases <<<"$BASES_LIST"
    make_photo $((5000 + m * 11)) "$work/heic/master-$m.jpg"
    heif-enc -q 60 -p preset=ultrafast -t 320 -o "$master.tmp.heic" "$work/heic/master-$m.jpg" >/dev/null
    mv "$master.tmp.heic" "$master"
    rm -f "$work/heic/master-$m.jpg"
  fi
  mkdir -p "$(dirname "$target")"
  cp "$master" "$target.tmp"
  mv "$target.tmp" "$target"
  heic_made=$((heic_made + 1))
done
[ $heic_made -eq 0 ] || echo "made $heic_made HEIC photos" >&2

jpegs=$(find "$out/DCIM" -name '*.JPG' | wc -l)
heics=$(find "$out/DCIM" -name '*.HEIC' | wc -l)
echo "$out/DCIM: $jpegs JPEG and $heics HEIC photos"
