#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz and runs each for a bounded time, starting from the
# committed seeds. Any crash, sanitizer finding, model mismatch, timeout or memory blow-up fails
# the stage; the input that caused it is left in build-fuzz/artifacts/.
#
#   tests/fuzz/run.sh                    the short run of CI (VELDRAN_FUZZ_SECONDS, default 45 s)
#   tests/fuzz/run.sh pieces             only the named targets
#
# A longer run for developers, for example an hour a target on both cores:
#
#   VELDRAN_FUZZ_SECONDS=3600 VELDRAN_FUZZ_JOBS=2 tests/fuzz/run.sh
#
# What the fuzzer learns stays in build-fuzz/corpus/<target>/ and is reused by later runs. To
# keep an input that found something new, minimise it (fuzz_<target> -minimize_crash=1 ... or
# -merge=1 into a fresh folder) and add it to tests/fuzz/corpus/<target>/ by hand;
# tests/fuzz/make_seeds.py writes the hand-made seeds.
set -euo pipefail
cd "$(dirname "$0")/../.."
. ./deps.sh
veldran_need_packages "${VELDRAN_FUZZ_PACKAGES[@]}"

build="$PWD/build-fuzz"
cmake -S tests/fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" --parallel 2

seconds=${VELDRAN_FUZZ_SECONDS:-45}
jobs=${VELDRAN_FUZZ_JOBS:-1}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(environment_table line_rewrite pieces search)

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
seeds="$PWD/tests/fuzz/corpus"
mkdir -p "$build/artifacts"
failed=()
for target in "${targets[@]}"; do
    # Pieces and line ends need inputs of several pieces; a table or a line needs less.
    case "$target" in
    pieces) max_len=4096 ;;
    *) max_len=2048 ;;
    esac
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "== fuzz_$target for ${seconds}s"
    args=(-max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-")
    [ "$jobs" -le 1 ] || args+=(-jobs="$jobs" -workers="$jobs")
    # From inside the build folder, where parallel jobs leave their fuzz-<n>.log files.
    if ! (cd "$build" && "./fuzz_$target" "${args[@]}" "$corpus" "$seeds/$target" \
        >"fuzz_$target.log" 2>&1); then
        tail -n 40 "$build/fuzz_$target.log"
        failed+=("$target")
        continue
    fi
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/fuzz_$target.log" || true
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzzing found a fault in: ${failed[*]} (inputs in build-fuzz/artifacts/)"
    exit 1
fi
