#!/usr/bin/env bash
# Smoke test of the installed package (after apt-get install ./velmora_*.deb):
# the programs run from /usr/bin as an unprivileged user, read the sample
# library from /usr/share/velmora, keep the default image list in the user's
# config folder and open a project the way the file manager hands it over.
set -euo pipefail
test -x /usr/bin/velmora -a -x /usr/bin/velmora-cli
test -f /usr/share/velmora/help.pdf -a -d /usr/share/velmora/images
test -f /usr/share/velmora/openseadragon/openseadragon.min.js
test -f /usr/share/mime/packages/velmora.xml
test -f /usr/share/bash-completion/completions/velmora-cli
test -f /usr/share/velmora/palettes/hama.csv -a -f /usr/share/velmora/palettes/SOURCE.md

user=nobody
home=$(mktemp -d)
chown "$user" "$home"
trap 'rm -rf "$home"' EXIT
as_user() { runuser -u "$user" -- env HOME="$home" XDG_CONFIG_HOME= XDG_CACHE_HOME= QT_QPA_PLATFORM=offscreen "$@"; }

main=$(ls /usr/share/velmora/images/*.jpg | head -1)
# No --library: the default list, made from the shipped images on first use.
as_user velmora-cli create --main "$main" --cells 8x8 --cell-size 16x16 --seed 1 --quiet \
  --out "$home/mosaic.png" --project "$home/mosaic.vm6"
test -s "$home/mosaic.png" -a -s "$home/mosaic.vm6"
test -s "$home/.config/velmora/DefaultImgList.IL2"
test ! -e /usr/bin/DefaultImgList.IL2
as_user velmora-cli render "$home/mosaic.vm6" --out "$home/again.tif" --quiet
test -s "$home/again.tif"
# The readers whose libraries are opened on first use, each as a main picture
# (the fixtures of the source tree this runs from).
here=$(cd "$(dirname "$0")/.." && pwd)
for picture in photo/blocks.heic photo/blocks.jxl photo/tiny.dng wmf/shapes.wmf; do
  cp "$here/tests/data/$picture" "$home/"
  as_user velmora-cli create --main "$home/$(basename "$picture")" --cells 8x8 --cell-size 8x8 --seed 1 --quiet \
    --out "$home/from-$(basename "$picture").bmp"
  test -s "$home/from-$(basename "$picture").bmp"
done
# The web mosaic: libvips cuts the tiles, the viewer comes from the data folder.
as_user velmora-cli web "$home/mosaic.vm6" --out "$home/web" --quiet
test -s "$home/web/index.html" -a -s "$home/web/mosaic.dzi" -a -s "$home/web/mosaic-cells.js"
test -s "$home/web/openseadragon/openseadragon.min.js" -a -s "$home/web/openseadragon/LICENSE.txt"
# A bead chart, drawn with cairo, with a palette from the data folder.
as_user velmora-cli beads "$home/mosaic.vm6" --palette hama --colors 8 --quiet \
  --out "$home/chart.pdf" --words "$home/words.txt" --png "$home/beads.png"
test -s "$home/chart.pdf" -a -s "$home/words.txt" -a -s "$home/beads.png"
# Poster panels go through cairo, a library the package must bring along.
as_user velmora-cli panels "$home/mosaic.vm6" --paper A4 --dpi 10 --overlap 5 --out "$home/panels.pdf" --quiet
test -s "$home/panels.pdf"

# The desktop program opens the project it is given and keeps running; the
# timeout ending it (status 124) is success.
status=0
as_user timeout 5 velmora "$home/mosaic.vm6" 2>"$home/gui.log" || status=$?
if [ "$status" -ne 124 ]; then
  cat "$home/gui.log"
  echo "velmora ended with status $status" >&2
  exit 1
fi
echo "installed package: smoke test passed"
