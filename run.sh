#!/usr/bin/env bash
# Installs what is missing, builds, and starts veldran on the demo environment of examples/.
set -euo pipefail
cd "$(dirname "$0")"
. ./deps.sh
veldran_need_packages "${VELDRAN_BUILD_PACKAGES[@]}"

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel

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
    echo "Built the core and veldran-cli; the window program is not built yet."
    exit 0
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: run it as 'xvfb-run ./run.sh', or use $build/cli/veldran-cli (see README)."
    exit 0
fi
exec "$build/app/veldran"
