#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")"
. ./deps.sh
veldran_need_packages "${VELDRAN_BUILD_PACKAGES[@]}"

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel
ctest --test-dir "$build" --output-on-failure --parallel 2

# Further stages, each a script of its own.
for stage in tests/lint.sh tests/packaging/run.sh tests/sanitizers.sh tests/fuzz/run.sh tests/windows/run.sh; do
    if [ -x "$stage" ]; then
        echo "== $stage"
        "./$stage"
    fi
done
echo "All tests passed."
