#!/usr/bin/env bash
# Builds the console package and the station package into dist/:
#   dist/kavo-console_<version>_<arch>.deb   for the operator's PC
#   dist/kavo-station_<version>_<arch>.deb   for the customer PCs
set -euo pipefail
cd "$(dirname "$0")/.."
# Built in batches, as the test command builds what it packs.
KAVO_UNITY=ON scripts/build.sh
(cd build && cpack -B packages >/dev/null)
mkdir -p dist
rm -f dist/kavo-console_*.deb dist/kavo-station_*.deb
cp build/packages/kavo-console_*.deb build/packages/kavo-station_*.deb dist/
ls -1 dist/*.deb
