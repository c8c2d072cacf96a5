#!/usr/bin/env bash
# Configures and builds (warnings are errors): into build/ with the system's compiler,
# or with --sanitize into build-asan/ with clang, the address and undefined-behaviour
# sanitizers and the fuzz targets. Further arguments name the targets to build
# (`scripts/build.sh demo_programs`: only what the demo runs); without, everything.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVO_WERROR=ON)
if [[ ${1:-} == --sanitize ]]; then
    shift
    tree=build-asan
    export CC=clang CXX=clang++
    options+=(-DKAVO_SANITIZE=ON -DKAVO_FUZZ=ON)
fi
# ccache, where installed, keeps what another checkout of the same sources compiled;
# the sloppiness lets it cache the compiles that use a precompiled header.
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$PWD")}" CCACHE_NOHASHDIR=1
    export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}"
    options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# The sanitizer tree was once built with the system's compiler: such a tree is
# configured anew for clang instead of failing on the changed compiler.
if [[ $tree == build-asan && -f $tree/CMakeCache.txt ]] \
    && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' "$tree/CMakeCache.txt"; then
    options+=(--fresh)
fi
cmake -S . -B "$tree" "${options[@]}" >/dev/null
targets=()
for target in "$@"; do
    targets+=(--target "$target")
done
cmake --build "$tree" -j"$(nproc)" "${targets[@]}"
