#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh PREFIX PROGRAM [ARGS...].
# An exported WINEPREFIX wins over PREFIX. The program writes into files, not into the pipes of
# the caller: a Wine process that it starts on the side (the desktop process, which the first
# window brings up) inherits its output and lives on, and CTest would wait for that to close.
# Wine's console writes CR LF line ends; they are turned back into LF, so CTest and GoogleTest's
# test discovery read the program's output as they would a native one's.
prefix=$1
shift
export WINEPREFIX="${WINEPREFIX:-$prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No .NET or HTML engine: the prefix is created faster, and nothing asks to download them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
out=$(mktemp)
err=$(mktemp)
wine "$@" >"$out" 2>"$err" </dev/null
status=$?
sed 's/\r$//' "$out"
sed 's/\r$//' "$err" >&2
rm -f "$out" "$err"
exit "$status"
