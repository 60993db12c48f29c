#!/bin/sh
# Five demo clips for the mixer, one per channel, made in $1 (once).
# Each picture: four bars on top (red, green, blue, white) and a bottom half in
# the channel's own colour (1 yellow, 2 cyan, 3 magenta, 4 orange, 5 grey), so
# a channel window shows which clip it plays; a 1 kHz tone; 30 seconds.
set -e
out="$1"
mkdir -p "$out"
# Made once; a folder an earlier run left short of a clip is made again.
complete=1
for n in 1 2 3 4 5; do [ -s "$out/channel$n.avi" ] || complete=; done
[ -f "$out/.done" ] && [ -n "$complete" ] && exit 0
rm -f "$out/.done"
ff="ffmpeg -hide_banner -loglevel error -y"
n=1
for bottom in yellow cyan magenta 0xff8000 0x808080; do
  $ff -filter_complex "color=red:s=80x120:r=25[a];color=0x00ff00:s=80x120:r=25[b];color=blue:s=80x120:r=25[c];color=white:s=80x120:r=25[d];[a][b][c][d]hstack=4[top];color=$bottom:s=320x120:r=25[bot];[top][bot]vstack[v]" \
      -f lavfi -i "sine=frequency=1000:sample_rate=44100:duration=30" \
      -map "[v]" -map 0:a -t 30 -c:v mpeg4 -q:v 3 -c:a pcm_s16le -ac 2 "$out/channel$n.avi"
  n=$((n + 1))
done
head -c 4000 "$out/channel1.avi" > "$out/damaged.avi"
printf 'not a video\n' > "$out/text.avi"
touch "$out/.done"
