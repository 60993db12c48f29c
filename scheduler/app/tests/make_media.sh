#!/bin/sh
# Generates the scheduler tests' clips into $1 and the colour-bar clip the
# media preview shows for devices and addresses into $2/ColorBar (once).
set -e
out="$1"
bin="$2"
mkdir -p "$out" "$bin/ColorBar"
ff="ffmpeg -hide_banner -loglevel error -y"
if [ ! -f "$bin/ColorBar/colorbar.wmv" ]; then
    $ff -f lavfi -i "smptebars=size=160x120:rate=10:duration=5" -c:v wmv2 -b:v 200k \
        "$bin/ColorBar/colorbar.wmv"
fi
[ -f "$out/.done" ] && exit 0
# 7 s of red, 160x120, with a tone.
$ff -f lavfi -i "color=c=red:size=160x120:rate=10:duration=7" -f lavfi -i "sine=frequency=440:duration=7" \
    -c:v mpeg4 -q:v 5 -c:a pcm_s16le -ac 2 "$out/red7.avi"
printf 'not a video\n' > "$out/text.avi"
touch "$out/.done"
