#!/bin/sh
# Generates the scheduler tests' clips into $1 (once); the colour-bar
# pictures beside the programs are made by the build.
set -e
out="$1"
mkdir -p "$out"
ff="ffmpeg -hide_banner -loglevel error -y"
# Each clip is made once.
# 7 s of red, 160x120, with a tone.
[ -f "$out/red7.avi" ] || $ff -f lavfi -i "color=c=red:size=160x120:rate=10:duration=7" \
    -f lavfi -i "sine=frequency=440:duration=7" -c:v mpeg4 -q:v 5 -c:a pcm_s16le -ac 2 "$out/red7.avi"
# 12 s of blue, silent.
[ -f "$out/blue12.avi" ] || $ff -f lavfi -i "color=c=blue:size=160x120:rate=10:duration=12" \
    -c:v mpeg4 -q:v 5 "$out/blue12.avi"
[ -f "$out/text.avi" ] || printf 'not a video\n' > "$out/text.avi"
