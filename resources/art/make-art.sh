#!/usr/bin/env bash
# Draws Tidewell's banner with ImageMagick and renders its icon from icon.svg. The PNG files
# it writes are committed; the build embeds them, so the program reads no art
# at run time. Run it again only to change the art.
set -euo pipefail
cd "$(dirname "$0")"
source ../../scripts/packages.sh
tidewell_ensure_packages "${TIDEWELL_ART_PACKAGES[@]}"

# Banner: deep sea on the left, where the white bold title sits, lighter tide
# waves on the right, a thin foam line along the bottom edge.
convert -size 114x960 gradient:'#0c2a4d'-'#0f5e6e' -rotate -90 \
    \( -size 960x114 xc:none \
       -fill 'rgba(95,201,217,0.16)' -draw "path 'M 420,114 C 540,62 640,92 760,58 C 850,34 910,44 960,30 L 960,114 Z'" \
       -fill 'rgba(95,201,217,0.22)' -draw "path 'M 560,114 C 660,78 740,98 840,70 C 900,54 935,58 960,52 L 960,114 Z'" \
       -fill 'rgba(170,236,244,0.30)' -draw "path 'M 700,114 C 770,90 830,102 900,86 C 930,80 948,80 960,78 L 960,114 Z'" \
    \) -composite \
    -fill 'rgba(255,255,255,0.10)' -draw "circle 880,22 880,10" \
    -fill 'rgba(255,255,255,0.06)' -draw "circle 820,14 820,8" \
    -fill '#5fc9d9' -draw "rectangle 0,110 959,113" \
    -strip PNG24:banner.png

# Icon: icon.svg (a rounded tile of deep sea with two white tide waves under the
# moon) rendered at the sizes the program embeds and the icon theme installs.
for size in 16 32 48 64 128 256; do
    rsvg-convert -w $size -h $size icon.svg | convert - -strip PNG32:icon-$size.png
done

# The Windows programs' icon resource: the same renderings in one .ico.
convert icon-16.png icon-32.png icon-48.png icon-256.png tidewell.ico
