#!/usr/bin/env bash
# Runs the native suite and the sanitizer stage several times in a row while busy loops keep
# every core busy: a test that waits on time instead of on an event fails here first. Not part
# of ./test.sh (it takes a while); run it after changing tests or anything with threads.
#
#   tests/under_load.sh           5 rounds, one busy loop per core
#   UNDER_LOAD_ROUNDS=N tests/under_load.sh
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${UNDER_LOAD_ROUNDS:-5}
cores=$(nproc)

# Both builds first, without the load, so the rounds time only the tests.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$cores" >/dev/null
tests/sanitizers.sh -R '^$' >/dev/null

busy=()
stop_load() {
    for pid in "${busy[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
}
trap stop_load EXIT
for ((i = 0; i < cores; ++i)); do
    sh -c 'while :; do :; done' &
    busy+=($!)
done

failed=0
for ((round = 1; round <= rounds; ++round)); do
    for stage in native sanitizers; do
        log=$(mktemp)
        if [ "$stage" = native ]; then
            ctest --test-dir build --output-on-failure --parallel "$cores" >"$log" 2>&1 && rc=0 || rc=$?
        else
            tests/sanitizers.sh >"$log" 2>&1 && rc=0 || rc=$?
        fi
        summary=$(grep -E 'tests passed|tests failed' "$log" | tail -1)
        echo "round $round, $stage, under $cores busy loops: ${summary:-no summary} (exit $rc)"
        if [ "$rc" -ne 0 ]; then
            failed=$((failed + 1))
            grep -E '\(Failed\)|\(Timeout\)|\(Subprocess aborted\)|\*\*\*' "$log" || true
        fi
        rm -f "$log"
    done
done
echo "$failed of $((2 * rounds)) stage runs failed"
[ "$failed" -eq 0 ]
