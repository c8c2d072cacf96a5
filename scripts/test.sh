#!/usr/bin/env bash
# Sets up the machine and runs every test headless, each stage timed:
#   build     with the system's compiler into build/ (warnings are errors), in
#             batches, what the realtime tests and the packages need
#   sanitize  everything but the benchmarks with clang, the address and
#             undefined-behaviour sanitizers and the fuzz targets into build-asan/
#   unit, integration   those tests under the sanitizers, with the format and include
#             checks and every fuzz seed replayed
#   realtime, packages  the tests that run real programs for real time or bound
#             time and memory (which the sanitizers stretch), and the packages, from build/
# Timed fuzzing is scripts/fuzz.sh [seconds].
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

stage() { # <name> <command...>
    local name=$1 start=$SECONDS
    shift
    echo "== $name"
    "$@"
    echo "== $name: $((SECONDS - start)) s"
}

stage setup scripts/setup.sh
stage build env KAVO_UNITY=ON scripts/build.sh realtime_tests
stage sanitize scripts/build.sh --sanitize sanitized_tests
# Leaks are not looked for: the libraries the programs load keep theirs to the end.
stage unit+integration env ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j"$(nproc)" -L '^(unit|integration)$'
stage realtime+packages ctest --test-dir build --output-on-failure -j"$(nproc)" \
    -L '^(realtime|packages)$'
