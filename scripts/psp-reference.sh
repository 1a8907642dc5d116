#!/bin/sh
# Writes the reference rendering of each Paint Shop Pro picture given, its
# visible layers merged by GIMP (Debian package gimp), next to it as an RGBA
# PNG: NAME.psp -> NAME.psp.png. Only needed when a picture is added to
# tests/data/psp; the tests read the PNGs and do not need GIMP.
set -eu
for in in "$@"; do
  out="$in.png"
  gimp -i -b "(let* ((img (car (file-psp-load RUN-NONINTERACTIVE \"$in\" \"$in\")))
                     (drw (car (gimp-image-merge-visible-layers img CLIP-TO-IMAGE))))
                (gimp-layer-resize-to-image-size drw)
                (file-png-save RUN-NONINTERACTIVE img drw \"$out\" \"$out\" 0 9 0 0 0 0 0))" \
       -b '(gimp-quit 0)'
done
