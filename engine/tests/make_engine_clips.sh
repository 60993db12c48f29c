#!/bin/sh
# Clips for the engine's graph tests, made once per build folder in $1.
# Picture: four bars on top (red, green, blue, white), a yellow bottom half;
# sound: a 1 kHz tone.
set -e
out="$1"
mkdir -p "$out"
[ -f "$out/.done" ] && [ -f "$out/nocodec.avi" ] && exit 0
ff="ffmpeg -hide_banner -loglevel error -y"
bars() { echo "color=red:s=$(($1/4))x$(($2/2)):r=25[a];color=0x00ff00:s=$(($1/4))x$(($2/2)):r=25[b];color=blue:s=$(($1/4))x$(($2/2)):r=25[c];color=white:s=$(($1/4))x$(($2/2)):r=25[d];[a][b][c][d]hstack=4[top];color=yellow:s=$1x$(($2/2)):r=25[bot];[top][bot]vstack[v]"; }
tone="sine=frequency=1000:sample_rate=44100:duration=12"
B=$(bars 320 240)
$ff -filter_complex "$B" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 3 -c:v mpeg4 -q:v 2 -c:a pcm_s16le -ac 2 "$out/bars.avi"
# H.264 in AVI: Annex B packets without extra data, B-frames timed by the
# container's decode order only.
$ff -filter_complex "$B" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 3 -c:v libx264 -pix_fmt yuv420p -c:a pcm_s16le -ac 2 "$out/bars264.avi"
$ff -filter_complex "$B" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 12 -c:v mpeg4 -q:v 4 -c:a pcm_s16le -ac 2 "$out/long.avi"
$ff -filter_complex "$B" -f lavfi -i "sine=frequency=1000:sample_rate=48000:duration=4" -map "[v]" -map 0:a -t 4 -c:v mpeg4 -q:v 4 -c:a pcm_u8 -ac 1 "$out/mono8.avi"
$ff -filter_complex "$B" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 3 -c:v mpeg1video -q:v 2 -c:a mp2 -f mpeg "$out/bars1.mpg"
$ff -filter_complex "$B" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 3 -c:v mpeg2video -q:v 2 -c:a mp2 -f vob "$out/bars2.mpg"
$ff -filter_complex "$B" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 3 -c:v wmv2 -q:v 2 -c:a wmav2 -b:a 128k "$out/bars.wmv"
$ff -filter_complex "$B" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 12 -c:v wmv2 -q:v 6 -c:a wmav2 -b:a 64k "$out/long.wmv"
cp "$out/bars.wmv" "$out/bars.asf"
$ff -filter_complex "$B" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 3 -c:v mpeg4 -q:v 2 -c:a aac "$out/bars.mov"
$ff -f lavfi -i "$tone" -t 3 -c:a wmav2 -b:a 128k -f asf "$out/tone.wma"
$ff -filter_complex "$(bars 640 360)" -map "[v]" -t 3 -c:v mpeg4 -q:v 2 "$out/wide.avi"
$ff -f lavfi -i "$tone" -t 3 -c:a libmp3lame -b:a 128k "$out/tone.mp3"
$ff -f lavfi -i "$tone" -t 3 -c:a pcm_s16le -ac 2 "$out/tone.wav"
for e in jpg bmp tga; do $ff -filter_complex "$B" -map "[v]" -frames:v 1 -update 1 "$out/bars.$e"; done
$ff -filter_complex "$B" -map "[v]" -frames:v 1 -pix_fmt rgb8 "$out/bars.gif"
: > "$out/zero.avi"
head -c 3000 "$out/bars.avi" > "$out/trunc.avi"
# A video codec no decoder knows: the clip's four-character code replaced.
LC_ALL=C sed 's/FMP4/QQQQ/g' "$out/bars.avi" > "$out/nocodec.avi"
printf 'This is a plain text file, not a video.\n' > "$out/text.avi"
touch "$out/.done"
