#!/usr/bin/env bash
# Draws Tidewell's banner and application icon with ImageMagick. The PNG files
# it writes are committed; the build embeds them, so the program reads no art
# at run time. Run it again only to change the art.
set -euo pipefail
cd "$(dirname "$0")"

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

# Icon: a rounded tile of deep sea with two white tide waves under the moon. Waves are
# polylines (this ImageMagick fills stroked Bezier paths).
wave() {  # wave Y: one sine period from x=46 to x=210 around line Y
    awk -v y="$1" 'BEGIN { for (i = 0; i <= 48; i++)
        printf "%.1f,%.1f ", 46 + i * 164 / 48, y - 30 * sin(i / 48 * 6.283185) }'
}
convert -size 256x256 gradient:'#1a8aa3'-'#0b2545' \
    \( -size 256x256 xc:none -fill white -draw "roundrectangle 8,8 247,247 44,44" \) \
    -alpha set -compose DstIn -composite -compose Over \
    -draw "fill none stroke white stroke-width 26 stroke-linecap round stroke-linejoin round polyline $(wave 126)" \
    -draw "fill none stroke rgba(255,255,255,0.7) stroke-width 22 stroke-linecap round stroke-linejoin round polyline $(wave 186)" \
    -draw "fill white circle 184,62 184,38" \
    -strip PNG32:icon-256.png
for size in 48 32 16; do
    convert icon-256.png -filter Lanczos -resize ${size}x${size} -strip PNG32:icon-${size}.png
done
rm icon-256.png
