#!/bin/sh
# Program streams for the MPEG-2 source's tests, made once per build folder
# in $1: six seconds of MPEG-2 video whose colour changes each second (red,
# green, blue, white, yellow, magenta) with an MPEG audio tone, and a file
# named .vob that is no program stream.
set -e
out="$1"
mkdir -p "$out"
[ -f "$out/.done" ] && exit 0
ff="ffmpeg -hide_banner -loglevel error -y"
seg() { echo "color=$1:s=320x240:r=25:d=1"; }
v="$(seg red)[a];$(seg 0x00ff00)[b];$(seg blue)[c];$(seg white)[d];$(seg yellow)[e];$(seg magenta)[f];[a][b][c][d][e][f]concat=n=6[v]"
$ff -filter_complex "$v" -f lavfi -i "sine=frequency=1000:sample_rate=48000:duration=6" -map "[v]" -map 0:a \
    -t 6 -c:v mpeg2video -q:v 2 -g 5 -c:a mp2 -f vob "$out/seconds.vob"
printf 'This is a plain text file, not a program stream.\n' > "$out/text.vob"
touch "$out/.done"
