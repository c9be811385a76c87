#!/usr/bin/env bash
# Makes the program's PNG icons from data/icons/brindlepax.svg, one per size the desktop asks
# for, and the 150 x 60 logo of the quick report pages (BXLogo.png) from data/icons/bxlogo.svg.
# The PNGs are checked in (the build needs no SVG renderer); run this after changing an SVG.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "brindlepax-$size.png" brindlepax.svg
done
rsvg-convert --width 150 --height 60 --output BXLogo.png bxlogo.svg
