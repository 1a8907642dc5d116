#!/usr/bin/env bash
# Installs what is needed, builds Velmora and makes a photo mosaic from the
# sample main picture and the sample library placed beside the programs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target velmora-cli
mkdir -p out
build/bin/velmora-cli create --main samples/main.jpg --library build/bin/images \
  --cells 48x48 --cell-size 32x32 --seed 1 --out out/mosaic.jpg --project out/mosaic.vm6
echo "The mosaic is out/mosaic.jpg (project: out/mosaic.vm6)."
