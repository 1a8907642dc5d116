#!/usr/bin/env bash
# The measurements behind the settings advice, run by hand:
#
#   bash bench/advice-table.sh PHOTOS_FOLDER [sweep|advice|all] > table.md
#
# PHOTOS_FOLDER holds library/ (photos lib0001.jpg ...) and main/ (main
# pictures). Four libraries are made from it with symbolic links in a
# temporary folder: every 8th photo (50 of 400), every 4th (100), all of
# them (400), and all of them linked five times (2,000 entries that look like
# 400). Every mosaic is made with velmora-cli create (32 x 32 pixel cells,
# seed 1, built-in options unless named) and judged by the mean colour error
# per cell, one sample per cell, that create prints (CIE76 delta E).
#
#   sweep   the repeat radius 1..6 (use-all off), "Ensure Use All Photos" on
#           and off at radius 1 for 32, 48 and 64 cells across, and repeat
#           caps of 1.2, 2 and 4 times the even share, for every main picture
#           and library: the table the advice's rules were read from;
#   advice  the built-in settings against create --advice (what it chose and
#           the error it gave) for every main picture and library.
set -euo pipefail
photos=${1:?usage: bench/advice-table.sh PHOTOS_FOLDER [sweep|advice|all]}
what=${2:-all}
here=$(cd "$(dirname "$0")/.." && pwd)
cli=${VELMORA_CLI:-$here/build/bin/velmora-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mapfile -t all < <(ls "$photos"/library/*.jpg | sort)
mkdir -p "$work/lib50" "$work/lib100" "$work/lib400" "$work/lib2000"
for i in "${!all[@]}"; do
  f=${all[$i]}
  name=$(basename "$f")
  ((i % 8 == 0)) && ln -s "$f" "$work/lib50/$name"
  ((i % 4 == 0)) && ln -s "$f" "$work/lib100/$name"
  ln -s "$f" "$work/lib400/$name"
  for copy in a b c d e; do ln -s "$f" "$work/lib2000/$copy-$name"; done
done
libraries="50 100 400 2000"
mains=$(ls "$photos"/main/*.jpg | sort)

# The error of one mosaic: create's "Mean colour error per cell: N ..." line
# (with --advice, after what the advice chose).
error_of() {
  "$cli" create --quiet --seed 1 --cell-size 32x32 --out "$work/m.bmp" "$@" 2>&1 |
    sed -n -e 's/^Mean colour error per cell: \([0-9.]*\) .*/\1/p' -e 's/^Advice applied: \(.*\)/\1 |/p' | tr -d '\n'
}

# Cells down that keep the main picture's shape for `across` square cells.
down_for() {
  local size w h
  size=$("$cli" info "$1" | sed -n 's/^size //p')
  w=${size% *}
  h=${size#* }
  echo $(((across * h * 2 + w) / (2 * w)))
}

if [[ $what == sweep || $what == all ]]; then
  echo "## Repeat radius (use-all off, 48 cells across, cells down keep the picture's shape)"
  echo
  echo "| main | library | cells | R=1 | R=2 | R=3 | R=4 | R=5 | R=6 |"
  echo "|---|---|---|---|---|---|---|---|---|"
  for main in $mains; do
    across=48
    down=$(down_for "$main")
    for lib in $libraries; do
      row="| $(basename "$main") | $lib | ${across}x$down |"
      for r in 1 2 3 4 5 6; do
        row+=" $(error_of --main "$main" --library "$work/lib$lib" --cells ${across}x$down --radius $r --no-use-all) |"
      done
      echo "$row"
    done
  done
  echo
  echo "## \"Ensure Use All Photos\" (radius 1): off / on"
  echo
  echo "| main | library | 32 across: cells, off, on | 48 across | 64 across |"
  echo "|---|---|---|---|---|"
  for main in $mains; do
    for lib in $libraries; do
      row="| $(basename "$main") | $lib |"
      for across in 32 48 64; do
        down=$(down_for "$main")
        off=$(error_of --main "$main" --library "$work/lib$lib" --cells ${across}x$down --radius 1 --no-use-all)
        on=$(error_of --main "$main" --library "$work/lib$lib" --cells ${across}x$down --radius 1 --use-all)
        row+=" $((across * down)): $off / $on |"
      done
      echo "$row"
    done
  done
  echo
  echo "## Repeat cap (radius 1, use-all off, 48 across): none, then k times cells / photos"
  echo
  echo "| main | library | no cap | k=1.2 | k=2 | k=4 |"
  echo "|---|---|---|---|---|---|"
  for main in $mains; do
    across=48
    down=$(down_for "$main")
    cells=$((across * down))
    for lib in $libraries; do
      row="| $(basename "$main") | $lib |"
      row+=" $(error_of --main "$main" --library "$work/lib$lib" --cells ${across}x$down --radius 1 --no-use-all) |"
      for k10 in 12 20 40; do
        cap=$(((cells * k10 + lib * 10 - 1) / (lib * 10)))
        row+=" $(error_of --main "$main" --library "$work/lib$lib" --cells ${across}x$down --radius 1 --no-use-all --max-repeat $cap) (cap $cap) |"
      done
      echo "$row"
    done
  done
  echo
fi

if [[ $what == advice || $what == all ]]; then
  echo "## Built-in settings against the advice (48 x 48 cells asked)"
  echo
  echo "| main | library | built-in: error | advice: what it chose | advice: error |"
  echo "|---|---|---|---|---|"
  for main in $mains; do
    for lib in $libraries; do
      base=$(error_of --main "$main" --library "$work/lib$lib" --cells 48x48)
      advised=$(error_of --main "$main" --library "$work/lib$lib" --cells 48x48 --advice)
      echo "| $(basename "$main") | $lib | $base | $advised |"
    done
  done
fi
