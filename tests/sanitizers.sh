#!/usr/bin/env bash
# Builds every test suite with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan and
# runs them through ctest. A finding aborts the test that made it (-fno-sanitize-recover), so any
# memory error, leak or undefined behaviour fails this stage.
#
#   tests/sanitizers.sh                 configure, build and run everything
#   VELDRAN_ASAN_CC=clang tests/sanitizers.sh   the same with clang, in build-asan-clang
#   tests/sanitizers.sh -R Hostile      extra arguments go to ctest
set -euo pipefail
cd "$(dirname "$0")/.."
. ./deps.sh
veldran_need_packages "${VELDRAN_BUILD_PACKAGES[@]}"

build=build-asan
cc=${VELDRAN_ASAN_CC:-gcc}
case "$cc" in
clang*)
    cxx=${cc/clang/clang++}
    build=build-asan-clang
    veldran_need_packages "${VELDRAN_FUZZ_PACKAGES[@]}"
    ;;
*) cc=gcc cxx=g++ ;;
esac

# _GLIBCXX_ASSERTIONS adds bounds checks to the standard containers, which the sanitizers cannot
# see inside (an operator[] past size() but within capacity).
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
flags+=" -D_GLIBCXX_ASSERTIONS"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" --parallel 2

# Qt and the system libraries are not instrumented; findings that lie wholly inside them are
# suppressed in sanitizers.supp (each entry says why). Nothing of ours is ever suppressed there.
supp="$PWD/tests/sanitizers.supp"
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0"
ctest --test-dir "$build" --output-on-failure --parallel 2 "$@"
