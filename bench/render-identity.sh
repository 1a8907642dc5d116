#!/bin/bash
# Renders the same mosaics with two builds of velmora-cli and compares the
# pictures byte for byte, run by hand after a change to the renderer or the
# resampler (never by the tests):
#
#   bench/render-identity.sh OLD_CLI [NEW_CLI] [LIBRARY] [MAIN]
#
# NEW_CLI defaults to build/bin/velmora-cli, LIBRARY to build/bin/images and
# MAIN to samples/main.jpg. Every case is a 'create' with a fixed seed into a
# 32-bit BMP, over every filter, the three layouts, mirroring, tint, overlay
# strengths, cell sizes from 8 px to large and odd, non-square ones, borders,
# the self mosaic, a project reopened with 'render', and one 100 x 100 mosaic
# of 64 px cells. Each build keeps its own cache folder, so the second create
# of a case reads renditions the first one kept. Prints one line per case and
# exits non-zero when any picture differs.
set -uo pipefail

old=$(realpath "${1:?usage: $0 OLD_CLI [NEW_CLI] [LIBRARY] [MAIN]}")
new=$(realpath "${2:-build/bin/velmora-cli}")
library=$(realpath "${3:-build/bin/images}")
main=$(realpath "${4:-samples/main.jpg}")

work=$(mktemp -d /tmp/velmora-render-identity-XXXXXX)
trap 'rm -rf "$work"' EXIT

failed=0
cases=0
# A build whose create applies the settings advice by default is given
# --no-advice, so both builds draw with the options given.
# The help is read whole first: grep -q leaving the pipe early would kill the
# writer with SIGPIPE, and pipefail would then count the line as missing.
flags_of() {
  local help
  help=$("$1" create --help 2>&1 || true)
  if grep -q -- '--\[no-\]advice' <<<"$help"; then echo --no-advice; fi
}
old_flags=$(flags_of "$old")
new_flags=$(flags_of "$new")
run() {  # name, then create options
  local name=$1
  shift
  local ok=1
  for which in old new; do
    local cli=$old extra=$old_flags
    [ $which = new ] && cli=$new extra=$new_flags
    for pass in 1 2; do  # the second pass reads the renditions the first kept
      if ! XDG_CACHE_HOME="$work/cache-$which" "$cli" create --quiet --seed 7 --main "$main" \
        --library "$library" --out "$work/$which-$pass.bmp" $extra "$@" >/dev/null 2>"$work/$which.err"; then
        echo "FAIL $name: $which build failed: $(head -c 300 "$work/$which.err")"
        ok=0
      fi
    done
  done
  for pass in 1 2; do
    cmp -s "$work/old-$pass.bmp" "$work/new-$pass.bmp" || ok=0
  done
  cmp -s "$work/new-1.bmp" "$work/new-2.bmp" || ok=0
  cases=$((cases + 1))
  if [ $ok = 1 ]; then echo "same  $name"; else echo "DIFF  $name"; failed=$((failed + 1)); fi
}

for filter in nearest draft linear cosine spline lanczos mitchell; do
  for stitch in loom peyote brick; do
    run "$filter $stitch 32x32" --filter $filter --stitch $stitch --cells 24x18 --cell-size 32x32
  done
  run "$filter 13x9 vflip tint 100 alpha 255" --filter $filter --cells 20x30 --cell-size 13x9 --vflip \
    --enhance 100 --alpha-main 255
  run "$filter 8x8 no overlay no tint" --filter $filter --cells 40x30 --cell-size 8x8 --alpha-main 0 --enhance 0
  run "$filter 150x100 peyote border" --filter $filter --stitch peyote --cells 9x8 --cell-size 150x100 \
    --border 3 --border-color 3366cc
  run "$filter 27x41 brick no crop mono" --filter $filter --stitch brick --cells 15x12 --cell-size 27x41 \
    --no-crop-cell --mono-cell --alpha-main 128
  run "$filter self 20x20" --filter $filter --mode self --cells 16x16 --cell-size 20x20
done
# Detail matching and every photo placed by the assignment solver.
run "detail, every photo placed well" --detail --use-all --fair-use-all --radius 1
run "spline 100x100 of 64 px" --cells 100x100 --cell-size 64x64
run "lanczos 100x100 of 64 px brick" --filter lanczos --stitch brick --cells 100x100 --cell-size 64x64

# A project reopened by 'render' (the band render) gives the same picture.
for which in old new; do
  cli=$old extra=$old_flags
  [ $which = new ] && cli=$new extra=$new_flags
  XDG_CACHE_HOME="$work/cache-$which" "$cli" create --quiet --seed 9 --main "$main" --library "$library" $extra \
    --stitch peyote --cells 30x20 --cell-size 40x24 --out "$work/p-$which.bmp" --project "$work/p.vm6" >/dev/null 2>&1
  XDG_CACHE_HOME="$work/cache-$which" "$cli" render "$work/p.vm6" --out "$work/r-$which.bmp" --quiet >/dev/null 2>&1
done
cases=$((cases + 1))
if cmp -s "$work/r-old.bmp" "$work/r-new.bmp" && cmp -s "$work/p-new.bmp" "$work/r-new.bmp"; then
  echo "same  project reopened by render"
else
  echo "DIFF  project reopened by render"
  failed=$((failed + 1))
fi

echo "$cases cases, $failed differ"
[ $failed = 0 ]
