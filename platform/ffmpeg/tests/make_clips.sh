#!/bin/sh
# Generates the test clips of the FFmpeg filters into $1 (once per build).
set -e
out="$1"
mkdir -p "$out"
# The stamp names the set: a set with more clips gets a new stamp.
stamp="$out/.done-2"
[ -f "$stamp" ] && exit 0
ff="ffmpeg -hide_banner -loglevel error -y"
# Picture: four bars on top (red, green, blue, white), yellow bottom half.
bars="color=red:s=80x120:r=25[a];color=0x00ff00:s=80x120:r=25[b];color=blue:s=80x120:r=25[c];color=white:s=80x120:r=25[d];[a][b][c][d]hstack=4[top];color=yellow:s=320x120:r=25[bot];[top][bot]vstack[v]"
tone="sine=frequency=1000:sample_rate=44100:duration=2"
$ff -filter_complex "$bars" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 2 -c:v mpeg4 -q:v 2 -c:a pcm_s16le -ac 2 "$out/bars.avi"
$ff -filter_complex "$bars" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 2 -c:v mpeg1video -q:v 2 -c:a mp2 -f mpeg "$out/bars1.mpg"
$ff -filter_complex "$bars" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 2 -c:v mpeg2video -q:v 2 -c:a mp2 -f vob "$out/bars2.mpg"
cp "$out/bars2.mpg" "$out/bars.vob"
cp "$out/bars1.mpg" "$out/bars.dat"
$ff -filter_complex "$bars" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 2 -c:v wmv2 -q:v 2 -c:a wmav2 -b:a 128k "$out/bars.wmv"
cp "$out/bars.wmv" "$out/bars.asf"
$ff -filter_complex "$bars" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 2 -c:v libx264 -pix_fmt yuv420p -crf 18 -c:a aac "$out/bars.mov"
$ff -f lavfi -i "$tone" -c:a libmp3lame -b:a 128k "$out/tone.mp3"
$ff -f lavfi -i "$tone" -c:a pcm_s16le -ac 2 "$out/tone.wav"
$ff -f lavfi -i "$tone" -c:a wmav2 -b:a 128k -f asf "$out/tone.wma"
for e in jpg bmp tga; do
  $ff -filter_complex "$bars" -map "[v]" -frames:v 1 -update 1 "$out/bars.$e"
done
$ff -filter_complex "$bars" -map "[v]" -frames:v 1 -pix_fmt rgb8 "$out/bars.gif"
# 322 pixels wide: a 24-bit row (966 bytes) needs 2 bytes of padding.
narrow="$bars;[v]scale=322:242[n]"
$ff -filter_complex "$narrow" -map "[n]" -t 2 -c:v mpeg4 -q:v 2 "$out/narrow.avi"
$ff -filter_complex "$narrow" -map "[n]" -frames:v 1 -update 1 "$out/narrow.bmp"
: > "$out/zero.avi"
head -c 3000 "$out/bars.avi" > "$out/trunc.avi"
printf 'This is a plain text file, not a video.\n' > "$out/text.avi"
touch "$stamp"
