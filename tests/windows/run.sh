#!/usr/bin/env bash
# The Windows stage: the core, veldran-cli and their test suites cross-built for 64-bit Windows
# with mingw-w64 in build-win, and run by CTest under Wine.
#
#   tests/windows/run.sh              configure, build and run everything
#   tests/windows/run.sh -R Windows   extra arguments go to ctest
set -euo pipefail
cd "$(dirname "$0")/../.."
. ./deps.sh
if ! veldran_need_packages "${VELDRAN_WINDOWS_PACKAGES[@]}"; then
    echo "SKIPPED: the Windows suites need the packages above (mingw-w64, Wine, googletest)."
    exit 0
fi

build=build-win
export WINEPREFIX="$PWD/$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
# One Wine server for the whole stage, its services started here with no pipe of ours open:
# otherwise they would inherit a test's output and CTest would wait for them to end.
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine wineboot --init </dev/null >/dev/null 2>&1

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DVELDRAN_GTEST_SOURCE_DIR=/usr/src/googletest \
    -DVELDRAN_BUILD_WINDOW=OFF -DVELDRAN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel 2

# The Windows file layer is not seen by the native lint stage: checked here, with the cross
# build's compile commands and the mingw-w64 C++ headers.
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
tidy_args=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++)
for dir in include/c++ include/c++/x86_64-w64-mingw32 include/c++/backward; do
    tidy_args+=("--extra-arg=-isystem$gcc_dir/$dir")
done
out=$(clang-tidy -p "$build" --quiet "${tidy_args[@]}" core/SafeFileWin32.cpp 2>&1 |
    grep -E '^/.*: (warning|error):' || true)
if [ -n "$out" ]; then
    echo "$out"
    echo "clang-tidy found problems in core/SafeFileWin32.cpp"
    exit 1
fi
cppcheck --enable=warning,style,performance,portability --std=c++20 --quiet --error-exitcode=1 \
    --inline-suppr -D_WIN32 core/SafeFileWin32.cpp

ctest --test-dir "$build" --output-on-failure --parallel 2 "$@"
echo "Windows suites passed under Wine; veldran-cli.exe is $build/cli/veldran-cli.exe"
