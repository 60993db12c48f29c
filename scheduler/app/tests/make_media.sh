#!/bin/sh
# Generates the scheduler tests' clips into $1 (once); the colour-bar
# pictures beside the programs are made by the build.
set -e
out="$1"
mkdir -p "$out"
ff="ffmpeg -hide_banner -loglevel error -y"
[ -f "$out/.done" ] && exit 0
# 7 s of red, 160x120, with a tone.
$ff -f lavfi -i "color=c=red:size=160x120:rate=10:duration=7" -f lavfi -i "sine=frequency=440:duration=7" \
    -c:v mpeg4 -q:v 5 -c:a pcm_s16le -ac 2 "$out/red7.avi"
printf 'not a video\n' > "$out/text.avi"
touch "$out/.done"
