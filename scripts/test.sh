#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test headless; then runs the unit
# tests once more, built with the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# A short run of every fuzz target (the long runs: scripts/fuzz.sh [seconds]).
scripts/fuzz.sh 5
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)")

# Not under the sanitizers: the packages (nothing of ours runs there that the tests
# above did not run), the long soak and crash runs, which would take most of an hour
# there, and the station and period tests, which bound real time and the memory the
# process holds, both of which the sanitizers stretch.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVO_WERROR=ON -DKAVO_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
cd build-asan
# Leaks are not looked for: the libraries the programs load keep theirs to the end.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
    ctest --output-on-failure -j"$(nproc)" -E '^(packages|tst_soak|tst_crashsafety|tst_period|tst_station)$'
