#!/bin/sh
# The unattended run's three clips (12 s of red, green and blue, 320x240,
# 25 pictures a second, with a tone) into $1, once per build folder.
set -e
out="$1"
mkdir -p "$out"
[ -f "$out/.done" ] && exit 0
ff="ffmpeg -hide_banner -loglevel error -y"
for c in red:440 green:660 blue:880; do
    name=${c%%:*}
    tone=${c##*:}
    $ff -f lavfi -i "color=c=$name:size=320x240:rate=25:duration=12" -f lavfi -i "sine=frequency=$tone:duration=12" \
        -c:v mpeg4 -q:v 3 -c:a pcm_s16le -ar 44100 -ac 2 "$out/$name.avi"
done
touch "$out/.done"
