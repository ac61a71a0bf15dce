#!/usr/bin/env bash
# Runs the real-program tests (ctest -L e2e) N times in the release build and
# N times in the sanitizer build while every core is kept busy, and prints how
# many runs passed in each. For developers before a risky landing; CI runs the
# tests once.
# Usage: tests/app/soak.sh N [build-dir [sanitizer-build-dir]]
#        (defaults: build and build-asan in the source tree; both built already)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:?usage: $0 N [build-dir [sanitizer-build-dir]]}
builds=("${2:-$root/build}" "${3:-$root/build-asan}")
for build in "${builds[@]}"; do
    [ -f "$build/CTestTestfile.cmake" ] || { echo "$build is no configured build folder" >&2; exit 2; }
done

pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT

# A private display when none is set. Without -noreset: the tests must not
# depend on the server keeping its atoms between clients.
if [ -z "${DISPLAY:-}" ]; then
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 1 100); do [ -s "$fdfile" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
fi

for _ in $(seq 1 "$(nproc)"); do
    yes >/dev/null &
    pids+=($!)
done

failed=0
for build in "${builds[@]}"; do
    log="$build/Testing/soak-failures.log"
    mkdir -p "$build/Testing"
    : >"$log"
    passed=0
    for run in $(seq 1 "$runs"); do
        if output=$(ctest --test-dir "$build" -L e2e --no-tests=error --output-on-failure 2>&1); then
            passed=$((passed + 1))
        else
            printf '=== run %d\n%s\n' "$run" "$output" >>"$log"
        fi
    done
    echo "$build: $passed of $runs runs passed"
    if [ "$passed" -ne "$runs" ]; then
        echo "  failures: $log"
        failed=1
    fi
done
exit "$failed"
