#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Quick when everything is present already: apt is only called for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 fonts-dejavu-core
  ghostscript libwmf-dev
  libwebp-dev libheif-dev libjxl-dev libraw-dev
  dpkg-dev lintian desktop-file-utils appstream
  libcairo2-dev libvips-dev chromium poppler-utils metapixel
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
