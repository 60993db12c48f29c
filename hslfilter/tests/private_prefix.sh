#!/usr/bin/env bash
# Runs a test program in a Wine prefix of its own, with Tintwell registered,
# for tests that unregister it: the shared prefix's tests keep finding it.
#
#   private_prefix.sh <bin folder> <prefix folder> <program.exe> [args...]
set -eu
BIN=$1
export WINEPREFIX=$2
shift 2
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEDLLPATH="$BIN" CORV_PRIVATE_PREFIX=1
unset DISPLAY
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.corv-ready" ]; then
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11,null /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.corv-ready"
fi
( cd "$BIN" && wine regsvr32 /s Tintwell.ax >/dev/null 2>&1 )
prog=$1
shift
rc=0
wine "$BIN/$prog.so" "$@" || rc=$?
wineserver -w
exit $rc
