#!/bin/sh
# Clips for the MPEG-2 decoder's tests, made once per build folder in $1:
# a program stream (.vob) of MPEG-2 video and MPEG audio showing red over
# its left half and blue over its right, and the same picture as MPEG-4.
set -e
out="$1"
mkdir -p "$out"
[ -f "$out/.done" ] && exit 0
ff="ffmpeg -hide_banner -loglevel error -y"
pic="color=red:s=160x240:r=25[a];color=blue:s=160x240:r=25[b];[a][b]hstack[v]"
tone="sine=frequency=1000:sample_rate=48000:duration=2"
$ff -filter_complex "$pic" -f lavfi -i "$tone" -map "[v]" -map 0:a -t 2 -c:v mpeg2video -q:v 2 -c:a mp2 -f vob "$out/halves.vob"
$ff -filter_complex "$pic" -map "[v]" -t 2 -c:v mpeg4 -q:v 2 "$out/halves.avi"
touch "$out/.done"
