#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh PREFIX PROGRAM [ARGS...].
# An exported WINEPREFIX wins over PREFIX. Wine's console writes CR LF line ends; they are
# turned back into LF on standard output, so CTest and GoogleTest's test discovery read the
# program's output as they would a native one's.
prefix=$1
shift
export WINEPREFIX="${WINEPREFIX:-$prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No .NET or HTML engine: the prefix is created faster, and nothing asks to download them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
status_file=$(mktemp)
{
    wine "$@"
    echo $? >"$status_file"
} | sed 's/\r$//'
status=$(cat "$status_file")
rm -f "$status_file"
exit "${status:-1}"
