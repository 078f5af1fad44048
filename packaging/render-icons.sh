#!/usr/bin/env bash
# Renders orvalen.svg to the PNG sizes that the desktop and the window icon use (needs
# ImageMagick's convert, or rsvg-convert).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
for size in 16 32 48 64 128 256; do
  if command -v rsvg-convert >/dev/null; then
    rsvg-convert -w "$size" -h "$size" orvalen.svg -o "orvalen-$size.png"
  else
    convert -background none -density 300 orvalen.svg -resize "${size}x${size}" "PNG32:orvalen-$size.png"
  fi
done
