#!/usr/bin/env bash
# Draws installer/welcome.bmp, the picture of the installer's first and last pages
# (164x314, 24-bit BMP as NSIS wants it), in the colours of the splash lettering.
# Needs ImageMagick; the result is kept in the repository.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
convert -size 164x314 gradient:'rgb(21,30,59)'-'rgb(66,84,150)' \
    -fill 'rgb(250,240,210)' -draw 'circle 112,70 112,48' \
    -fill 'rgb(30,41,77)' -draw 'circle 124,62 124,43' \
    -fill 'rgba(255,255,255,0.8)' \
    -draw 'point 30,40' -draw 'point 60,95' -draw 'point 140,130' -draw 'point 20,120' \
    -draw 'point 80,30' -draw 'point 150,20' -draw 'point 45,240' -draw 'point 130,270' \
    -draw 'point 95,210' \
    -gravity north \
    -font DejaVu-Serif-Bold -pointsize 27 -fill 'rgb(245,245,250)' -annotate +0+150 'Somnivex' \
    -font DejaVu-Sans-Oblique -pointsize 10 -fill 'rgb(200,208,235)' \
    -annotate +0+190 'sleep well, switch off' \
    -type TrueColor BMP3:welcome.bmp
