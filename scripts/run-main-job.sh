#!/usr/bin/env bash
# Installs what is needed, builds Velmora and starts the desktop program, with
# the sample library placed beside it. On a machine without a display it says
# so and makes a photo mosaic from the sample main picture and the sample
# library with the command-line tool instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target velmora velmora-cli sample_images help_pdf

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting Velmora (build/bin/velmora)."
  exec build/bin/velmora
fi

echo "No display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open."
echo "Making the sample mosaic with velmora-cli instead."
mkdir -p out
# create fits every setting it is not given to the library and the picture
# (48 x 36 cells for the 4:3 picture, repeat radius 1 for 100 photos, a
# repeat cap kept by the solver, colour transfer) and prints them; the
# mosaic's mean colour error per cell comes at the end.
build/bin/velmora-cli create --main samples/main.jpg --library build/bin/images \
  --seed 1 --out out/mosaic.jpg --project out/mosaic.vm6
echo "The mosaic is out/mosaic.jpg (project: out/mosaic.vm6); open the project later with the program's Load button."
