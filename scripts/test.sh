#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# A short run of every fuzz target (the long runs: scripts/fuzz.sh [seconds]).
scripts/fuzz.sh 5
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
