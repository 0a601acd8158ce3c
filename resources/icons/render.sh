#!/bin/sh
# Renders the SVG sources into the PNGs the build uses (1x and 2x, and the program icon's sizes).
# Needs rsvg-convert (librsvg2-bin) and the IPAPGothic font for the Japanese lettering; the build
# itself uses only the committed PNGs.
set -eu
cd "$(dirname "$0")"
render() { rsvg-convert -w "$2" -h "$3" -o "$4" "$1"; }
for name in connect send; do
    render "$name.svg" 32 32 "$name.png"
    render "$name.svg" 64 64 "$name@2x.png"
done
render browse.svg 45 18 browse.png
render browse.svg 90 36 browse@2x.png
for size in 16 32 48 64 128 256; do
    render tavik.svg "$size" "$size" "tavik-$size.png"
done
