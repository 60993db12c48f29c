#!/bin/sh
# Generates the preview player's test clips into $1 (once per build folder).
set -e
out="$1"
mkdir -p "$out"
[ -f "$out/.done" ] && exit 0
ff="ffmpeg -hide_banner -loglevel error -y"
# 12 s of moving test pattern with a tone, 160x120.
$ff -f lavfi -i "testsrc=size=160x120:rate=10:duration=12" -f lavfi -i "sine=frequency=440:duration=12" \
    -c:v mpeg4 -q:v 5 -c:a pcm_s16le -ac 2 "$out/twelve.avi"
# Half a second.
$ff -f lavfi -i "testsrc=size=64x48:rate=10:duration=0.5" -c:v mpeg4 "$out/half.avi"
# 10000 s at one picture a second, no sound (a few hundred kilobytes).
$ff -f lavfi -i "color=c=blue:size=32x32:rate=1:duration=10000" -c:v mpeg4 -g 10 "$out/long.avi"
printf 'This is a plain text file, not a video.\n' > "$out/text.avi"
: > "$out/empty.avi"
head -c 4096 /dev/urandom > "$out/noise.avi"
touch "$out/.done"
