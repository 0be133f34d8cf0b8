#!/usr/bin/env bash
# Renders the application icon from its SVG drawing into a multi-image .ico.
#
#   render_icon.sh <icon.svg> <out.ico>
#
# Each size is rendered separately by rsvg-convert (so small sizes are drawn
# for their grid, not scaled down from a large bitmap) and ImageMagick packs the
# 32-bit RGBA images into one icon file. The 256 pixel image is stored as PNG
# inside the .ico, as Windows expects; the others as BMP.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <icon.svg> <out.ico>" >&2
  exit 2
fi

svg=$1
out=$2
sizes=(16 20 24 30 32 36 40 48 60 64 72 80 96 256)

for tool in rsvg-convert convert; do
  command -v "$tool" >/dev/null || { echo "$0: $tool not found" >&2; exit 1; }
done
[ -r "$svg" ] || { echo "$0: cannot read $svg" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/bu-icon.XXXXXX")
trap 'rm -rf "$work"' EXIT

pngs=()
for s in "${sizes[@]}"; do
  png="$work/icon-$s.png"
  rsvg-convert --width "$s" --height "$s" --format png --output "$png" "$svg"
  pngs+=("$png")
done

# PNG32: keeps every image RGBA even where a size happens to be fully opaque
# or greyscale, so the icon's entries are all 32 bits per pixel.
convert "${pngs[@]/#/PNG32:}" "$work/out.ico"

# Replace the target only when the icon is complete.
mv -f "$work/out.ico" "$out"
