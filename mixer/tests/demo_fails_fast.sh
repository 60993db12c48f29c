#!/bin/sh
# The scripted show given clips it cannot open ends at once and names the file:
#   demo_fails_fast.sh WINRUN CLIPS WORK
# (CLIPS: the five demo clips; WORK: a scratch folder.)  Two runs, each bounded:
# a folder without the clips (given as a relative path), and a folder whose
# third clip is a text file.
set -u
winrun=$1 clips=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
case "$winrun" in /*) ;; *) winrun=$PWD/$winrun ;; esac
rm -rf "$work"
mkdir -p "$work/empty" "$work/text" "$work/out"
cp "$clips"/channel*.avi "$work/text/"
printf 'not a video\n' > "$work/text/channel3.avi"
dos=Z:$(printf '%s' "$work" | tr / '\\')
failed=0
expect() { # name folder text
  start=$(date +%s)
  if out=$(timeout 120 sh "$here/run_demo.sh" "$winrun" "$2" "$work/out" 2>&1); then
    echo "$1: the show succeeded" >&2; return 1
  fi
  took=$(( $(date +%s) - start ))
  printf '%s\n' "$out" | grep '^demo:'
  printf '%s\n' "$out" | grep -qF -- "$3" || { printf '%s: no "%s" in the output\n' "$1" "$3" >&2; return 1; }
  [ "$took" -lt 60 ] || { echo "$1: took $took s" >&2; return 1; }
}
(cd "$work" && expect "missing clip" empty "clip not found: $dos\\empty\\channel1.avi") || failed=1
expect "text clip" "$work/text" \
  "channel 3 did not open $dos\\text\\channel3.avi: Multi-codec package is recommended to install." || failed=1
exit $failed
