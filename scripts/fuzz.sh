#!/usr/bin/env bash
# Builds the libFuzzer targets in build-asan/ (scripts/build.sh --sanitize) and runs
# each for a bounded time (default 60 seconds; `scripts/fuzz.sh 5` is a short run).
# The seeds in fuzz/corpus/<target>/ are read; what the run adds goes to
# build-asan/corpus/<target>/ and every failing input to build-asan/artifacts/. Exits
# non-zero when a target failed. The tests replay the seeds without fuzzing.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [seconds per target]" >&2
    exit 2
fi
if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ not found, skipping the fuzz targets"
    exit 0
fi

build=build-asan
scripts/build.sh --sanitize fuzz_targets >/dev/null || {
    echo "fuzz: building the targets failed" >&2
    exit 1
}

failed=0
printf '%-18s %12s %8s\n' target executions crashes
for seeds in fuzz/corpus/*/; do
    name=$(basename "$seeds")
    corpus=$build/corpus/$name
    artifacts=$build/artifacts/$name
    mkdir -p "$corpus" "$artifacts"
    log=$build/fuzz_$name.log
    before=$(find "$artifacts" -type f | wc -l)
    "$build/fuzz/fuzz_$name" "$corpus" "$seeds" -max_total_time="$seconds" -timeout=10 \
        -artifact_prefix="$artifacts/" -print_final_stats=1 >"$log" 2>&1
    status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    crashes=$(($(find "$artifacts" -type f | wc -l) - before))
    ((status == 0)) || crashes=$((crashes > 0 ? crashes : 1))
    printf '%-18s %12s %8s\n' "$name" "${executions:-?}" "$crashes"
    if ((crashes > 0)); then
        failed=1
        grep -m1 -E 'check failed|ERROR: ' "$log" | sed 's/^/    /'
        echo "    log: $log"
    fi
done
exit "$failed"
