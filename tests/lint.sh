#!/usr/bin/env bash
# clang-tidy and cppcheck over the core; any finding fails. Uses the compile commands of ./build.
set -euo pipefail
cd "$(dirname "$0")/.."
. ./deps.sh
veldran_need_packages clang-tidy cppcheck

# The Windows file is checked by the Windows build, which has its headers.
sources=$(ls core/*.cpp | grep -v Win32)
out=$(clang-tidy -p build --quiet $sources 2>&1 | grep -E '^/.*: (warning|error):' || true)
if [ -n "$out" ]; then
    echo "$out"
    echo "clang-tidy found problems in core/"
    exit 1
fi
cppcheck --enable=warning,style,performance,portability --std=c++20 --quiet --error-exitcode=1 \
    --inline-suppr -i core/SafeFileWin32.cpp core/
echo "core/ is clean under clang-tidy and cppcheck."
