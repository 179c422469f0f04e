#!/bin/sh
# Renders the application icon from resources/velloran.svg into the PNG sizes
# the program compiles in (velloran.qrc) and the multi-image velloran.ico used
# by the Windows resource file.  Needs rsvg-convert (librsvg2-bin) and
# ImageMagick's convert.  Run from anywhere; the outputs are committed.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
svg="$here/velloran.svg"
mkdir -p "$here/icons"
pngs=""
for size in 32 48 128 256; do
    out="$here/icons/velloran-$size.png"
    rsvg-convert --width "$size" --height "$size" --format png "$svg" > "$out.tmp"
    # Strip the time stamps so a rerun gives byte-identical files.
    convert "$out.tmp" -strip -define png:exclude-chunks=date,time "PNG32:$out"
    rm -f "$out.tmp"
    pngs="$pngs $out"
done
# shellcheck disable=SC2086  # the list of PNGs is meant to split
convert $pngs "$here/velloran.ico"
echo "wrote:$pngs $here/velloran.ico"
