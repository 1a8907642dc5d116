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
  libcairo2-dev libpango1.0-dev libvips-dev chromium poppler-utils metapixel
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  imagemagick bc
  libopencv-objdetect-dev opencv-data
)
# npm fetches the web viewer below; a node.js installed otherwise brings its own.
if ! command -v npm >/dev/null 2>&1; then packages+=(npm); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The deep-zoom viewer shipped beside exported web mosaics, from the npm
# registry: fetched only when vendor/openseadragon lacks it, and checked
# against the pinned tarball's SHA-256. Without the network the build still
# works; only the web export then reports the viewer missing.
viewer="$(cd "$(dirname "$0")/.." && pwd)/vendor/openseadragon"
read -r _ viewer_version _ viewer_sha < "$viewer/VERSION"
if [ ! -f "$viewer/openseadragon.min.js" ] || [ ! -f "$viewer/LICENSE.txt" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  if (cd "$work" && npm pack --silent "openseadragon@$viewer_version" >/dev/null 2>&1) &&
     echo "$viewer_sha  $work/openseadragon-$viewer_version.tgz" | sha256sum -c --quiet -; then
    tar -xzf "$work/openseadragon-$viewer_version.tgz" -C "$work"
    mkdir -p "$viewer"
    cp -r "$work/package/build/openseadragon/openseadragon.min.js" "$work/package/build/openseadragon/images" "$viewer/"
    cp "$work/package/LICENSE.txt" "$viewer/"
  else
    echo "install-deps: could not fetch openseadragon $viewer_version with npm;" \
         "the web export will not work until it is fetched" >&2
  fi
fi
