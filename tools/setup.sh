#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Quiet and quick when everything is already there.
set -eu
PKGS="wine wine64 wine64-tools libwine-dev cmake make g++ pkg-config
      libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
      ffmpeg libjpeg-dev libpixman-1-dev catch2 xvfb xauth x11-apps fonts-dejavu-core
      zlib1g-dev python3 libosmesa6 libgl-dev"
# libosmesa6: Wine's OpenGL draws into memory bitmaps (DIB sections) through
# it, with no display; the effects editor's mesh previews are drawn so.
# libgl-dev: the OpenGL header those previews are compiled against.
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
echo "setup: installing$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
