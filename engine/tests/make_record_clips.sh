#!/bin/sh
# Clips for the recording tests, made once per build folder in $1: five
# channels of one solid colour each with a 1 kHz tone (AVI, PCM 44100 Hz),
# the same tone at 48000 Hz, a WMV with sound, MP3 music and a clip
# without sound.
set -e
out="$1"
mkdir -p "$out"
[ -f "$out/.done" ] && exit 0
ff="ffmpeg -hide_banner -loglevel error -y"
tone() { echo "sine=frequency=1000:sample_rate=$1:duration=20"; }
i=0
for c in 0xff0000 0x00ff00 0x0000ff 0xffff00 0xff00ff; do
  $ff -f lavfi -i "color=$c:s=320x240:r=25:d=20" -f lavfi -i "$(tone 44100)" -t 20 \
      -c:v mpeg4 -q:v 2 -c:a pcm_s16le -ac 2 "$out/ch$i.avi"
  i=$((i+1))
done
$ff -f lavfi -i "color=0x00ffff:s=320x240:r=25:d=20" -f lavfi -i "$(tone 48000)" -t 20 \
    -c:v mpeg4 -q:v 2 -c:a pcm_s16le -ac 2 "$out/tone48.avi"
$ff -f lavfi -i "color=0x00ffff:s=320x240:r=25:d=20" -f lavfi -i "$(tone 44100)" -t 20 \
    -c:v wmv2 -q:v 4 -c:a wmav2 -b:a 128k "$out/tone.wmv"
$ff -f lavfi -i "$(tone 44100)" -t 20 -c:a libmp3lame -b:a 128k "$out/music.mp3"
$ff -f lavfi -i "color=0x808080:s=320x240:r=25:d=20" -t 20 -c:v mpeg4 -q:v 2 "$out/silent.avi"
touch "$out/.done"
