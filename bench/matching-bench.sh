#!/bin/sh
# Run by hand (never by the tests): how much the matching choices improve the
# likeness of a mosaic, and how long the whole mosaic with both of them takes
# beside metapixel on the same photos, one after the other in one run.
#
# Usage: bench/matching-bench.sh PHOTO_FOLDER MAIN_PICTURE [BUILD_DIR]
# The photo folder is linked five times into a temporary library (400 photos
# give 2,000 entries); the mosaic is 48 x 48 cells of 32 x 32 pixels.
set -eu
photos=$1
main=$2
build=${3:-build}
cli=$(cd "$build" && pwd)/bin/velmora-cli
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

mkdir "$tmp/lib"
for copy in 1 2 3 4 5; do
  for f in "$photos"/*; do ln -s "$f" "$tmp/lib/$copy-$(basename "$f")"; done
done
echo "library entries: $(ls "$tmp/lib" | wc -l)"
echo "load before: $(cat /proc/loadavg)"

echo
echo "== likeness (velmora-cli match-bench, seed 1) =="
"$cli" match-bench --quiet --main "$main" --library "$tmp/lib" --cells 48x48 --cell-size 32x32 --seed 1

now() { date +%s.%N; }
echo
echo "== whole mosaic, side by side (no summary cache, decoding every photo) =="
t0=$(now)
"$cli" create --quiet --no-cache --use-all --detail --fair-use-all --main "$main" --library "$tmp/lib" \
  --cells 48x48 --cell-size 32x32 --seed 1 --out "$tmp/velmora.jpg"
t1=$(now)
# metapixel: prepare the same 2,000 entries at 32 x 32, then a mosaic 48 cells
# across (its cells keep the main picture's aspect, so it has no more cells
# than velmora's 48 x 48).
mkdir "$tmp/mp"
metapixel-prepare --width=32 --height=32 "$tmp/lib" "$tmp/mp" >/dev/null 2>&1
t2=$(now)
width=$(python3 -c "import sys,struct
d=open(sys.argv[1],'rb').read();i=2
while i<len(d):
  m=d[i+1];L=struct.unpack('>H',d[i+2:i+4])[0]
  if m in (0xC0,0xC1,0xC2): print(struct.unpack('>HH',d[i+5:i+9])[1]);break
  i+=2+L" "$main")
scale=$(python3 -c "print(1536/$width)")
metapixel --metapixel "$main" "$tmp/metapixel.png" -l "$tmp/mp" -w 32 -h 32 --scale="$scale" >/dev/null 2>&1
t3=$(now)
python3 - "$t0" "$t1" "$t2" "$t3" <<'PY'
import sys
t0, t1, t2, t3 = map(float, sys.argv[1:])
v, prep, mosaic = t1 - t0, t2 - t1, t3 - t2
print(f"velmora create --detail --fair-use-all: {v:8.2f} s")
print(f"metapixel-prepare:                      {prep:8.2f} s")
print(f"metapixel --metapixel:                  {mosaic:8.2f} s")
print(f"metapixel total / velmora:              {(prep + mosaic) / v:8.1f} x")
PY
echo "load after: $(cat /proc/loadavg)"
