#!/usr/bin/env bash
# Makes res/screenshot.png, the README's picture of the window: veldran's main dialog on a copy of
# the demo environment under Xvfb, with the demo scheme files added and two of them replaced;
# then res/preview.png (Preview Replace over every file) and res/undo.png (the window after Undo
# Last Replace).
# Usage: tests/ui/screenshot.sh [output.png [preview.png undo.png]]
#        (build directory: $VELDRAN_BUILD_DIR, or build)
set -euo pipefail
cd "$(dirname "$0")/../.."
. ./deps.sh
VELDRAN_SCREENSHOT_PACKAGES=(xvfb xauth)
veldran_need_packages "${VELDRAN_BUILD_PACKAGES[@]}" "${VELDRAN_SCREENSHOT_PACKAGES[@]}"

build=${VELDRAN_BUILD_DIR:-build}
out=${1:-res/screenshot.png}
preview=${2:-res/preview.png}
undo=${3:-res/undo.png}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel 2 --target veldran_screenshot

# A fixed place, so the paths in the picture read well; the samples stay as committed.
demo=/tmp/veldran-demo
rm -rf "$demo"
mkdir -p "$demo/log" "$demo/data"
cp -r examples/schemes "$demo/schemes"
sed "s|@DEMO@|$demo|g" examples/env_table.txt >"$demo/env_table.txt"
export TB_ENV_TABLE="$demo/env_table.txt"

xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" \
    "$build/tests/ui/veldran_screenshot" "$demo/schemes" "$out" "$preview" "$undo"
rm -rf "$demo"
echo "Wrote $out, $preview and $undo"
