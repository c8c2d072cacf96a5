#!/usr/bin/env bash
# The long soak: the real console and both real stations on loopback through many
# periods of every kind (default 10000). The test command runs a short one.
set -euo pipefail
cd "$(dirname "$0")/.."
periods=${1:-10000}
scripts/build.sh >/dev/null
cd build/tests
time QT_QPA_PLATFORM=offscreen QTEST_FUNCTION_TIMEOUT=7200000 KAVO_SOAK_PERIODS="$periods" ./tst_soak 2>&1 | grep -v "does not support raise"
