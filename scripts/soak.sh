#!/usr/bin/env bash
# The long soak: the real console and its real stations on loopback through many
# periods of every kind. `scripts/soak.sh [periods] [stations]`: 10000 periods and
# two stations unless given; `scripts/soak.sh 2000 8` runs eight station windows
# against a console serving eight. With KAVO_SOAK_KEY set to a key (hex text, as
# `openssl rand -hex 16` gives) every station's link is TLS under it:
# `KAVO_SOAK_KEY=$(openssl rand -hex 16) scripts/soak.sh 2000 8`. The test command
# runs a short one.
set -euo pipefail
cd "$(dirname "$0")/.."
periods=${1:-10000}
stations=${2:-2}
if ! [[ $stations =~ ^[0-9]+$ ]] || ((stations < 1 || stations > 32)); then
    echo "soak.sh: stations must be 1 to 32, not '$stations'" >&2
    exit 2
fi
scripts/build.sh >/dev/null
cd build/tests
time QT_QPA_PLATFORM=offscreen QTEST_FUNCTION_TIMEOUT=7200000 KAVO_SOAK_PERIODS="$periods" \
    KAVO_SOAK_STATIONS="$stations" ./tst_soak 2>&1 | grep -v "does not support raise"
