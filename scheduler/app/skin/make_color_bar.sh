#!/bin/sh
# The scheduler's colour-bar pictures beside the programs, in $1/ColorBar:
# ColorBar.bmp, the still the mixer shows while a source schedule stands by,
# and colorbar.wmv, the clip the media preview shows for devices and
# addresses.  Drawn with the ffmpeg tool (colour bars, 320 x 240).
set -e
out="$1/ColorBar"
mkdir -p "$out"
ff="ffmpeg -hide_banner -loglevel error -y"
$ff -f lavfi -i "smptebars=size=320x240:rate=1" -frames:v 1 -pix_fmt bgr24 -c:v bmp -f image2 "$out/ColorBar.bmp.part"
mv "$out/ColorBar.bmp.part" "$out/ColorBar.bmp"
$ff -f lavfi -i "smptebars=size=160x120:rate=10:duration=5" -c:v wmv2 -b:v 200k -f asf "$out/colorbar.wmv.part"
mv "$out/colorbar.wmv.part" "$out/colorbar.wmv"
