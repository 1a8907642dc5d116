#!/usr/bin/env bash
# Builds the Debian package velmora_VERSION_amd64.deb in the repository's top
# folder (CPack, from the Release build in build/) and checks it and its
# desktop files with Debian's validators: lintian, desktop-file-validate and
# appstreamcli. Install it with: sudo apt-get install ./velmora_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build build -j"$jobs" --target velmora velmora-cli help_pdf packed_docs
rm -f velmora_*.deb
(cd build && cpack -G DEB -C Release >/dev/null)
mv build/velmora_*.deb .
deb=$(ls velmora_*.deb)
echo "== $deb"

echo "== desktop-file-validate"
desktop-file-validate data/velmora.desktop && echo "no findings"
echo "== appstreamcli validate"
appstreamcli validate --no-net --pedantic data/org.velmora.Velmora.metainfo.xml
echo "== lintian"
# Errors fail the script; warnings are listed.
lintian --fail-on error "$deb"
echo "== $deb is ready"
