#!/bin/sh
# The scripted show and a check of what it leaves in the output folder:
#   run_demo.sh WINRUN CLIPS OUT
# corvane_demo.exe writes OUT/corvane_demo.bmp (the window during the
# picture-in-picture with the title on air) and OUT/corvane_demo.wmv (the
# programme as recorded); the recording must be Windows Media with one video
# and one audio stream, at least 8 seconds long.
set -eu
winrun=$1 clips=$2 out=$3
# The show runs with whole paths, whatever folder this was started from.
case "$clips" in /*) ;; *) clips=$PWD/$clips ;; esac
case "$out" in /*) ;; *) out=$PWD/$out ;; esac
mkdir -p "$out"
rm -f "$out/corvane_demo.bmp" "$out/corvane_demo.wmv"
# The show never waits on a box: a clip it cannot open ends it with the
# file's name, and a show that hangs anyway is ended after three minutes.
timeout -k 10 180 "$winrun" --display corvane_demo.exe --out "$out" "$clips" ||
  { rc=$?; echo "demo: the show failed (exit $rc)" >&2; exit 1; }
[ -s "$out/corvane_demo.bmp" ] || { echo "demo: no screenshot" >&2; exit 1; }
probe() { ffprobe -v error "$@" -of default=nw=1:nk=1 "$out/corvane_demo.wmv"; }
format=$(probe -show_entries format=format_name)
duration=$(probe -show_entries format=duration)
video=$(probe -select_streams v -show_entries stream=index | wc -l)
audio=$(probe -select_streams a -show_entries stream=index | wc -l)
size=$(probe -select_streams v -show_entries stream=width,height | paste -sd x -)
sound=$(probe -select_streams a -show_entries stream=sample_rate,channels | paste -sd / -)
echo "demo: recording $format, $duration s, $video video and $audio audio stream(s), $size, $sound"
# A first recording, the options never opened: the dialog's chosen profile
# ("Video for local area network (2 Mbps)": 720 x 576, stereo 44.1 kHz).
[ "$size" = 720x576 ] && [ "$sound" = 44100/2 ] || { echo "demo: not the chosen profile" >&2; exit 1; }
[ "$format" = asf ] && [ "$video" -eq 1 ] && [ "$audio" -eq 1 ] &&
  awk -v d="$duration" 'BEGIN { exit !(d + 0 >= 8) }' || { echo "demo: the recording is not the show" >&2; exit 1; }
echo "demo: $out/corvane_demo.bmp and $out/corvane_demo.wmv"
