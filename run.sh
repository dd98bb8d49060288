#!/usr/bin/env bash
# Installs what is missing, builds the window program (and nothing else), and starts veldran on
# the demo environment of examples/.
set -euo pipefail
cd "$(dirname "$0")"
. ./deps.sh
veldran_need_packages "${VELDRAN_BUILD_PACKAGES[@]}"

# The build folder of ./test.sh, so neither builds twice what the other built.
build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel --target veldran veldran-cli

# The program works on a copy, so the samples stay as committed.
demo=.run/demo
rm -rf "$demo"
mkdir -p "$demo"
cp -r examples/schemes "$demo/schemes"
mkdir -p "$demo/log" "$demo/data"
root=$(cd "$demo" && pwd)
sed "s|@DEMO@|$root|g" examples/env_table.txt >"$demo/env_table.txt"
export TB_ENV_TABLE="$root/env_table.txt"

if [ ! -x "$build/app/veldran" ]; then
    echo "The window program was not built: Qt 6 is missing (see README)."
    exit 1
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: run it as 'xvfb-run ./run.sh', or use veldran-cli (see README)."
    exit 0
fi
exec "$build/app/veldran"
