#!/usr/bin/env bash
# Configures and builds (warnings are errors): into build/ with the system's compiler,
# or with --sanitize into build-asan/ with clang, the address and undefined-behaviour
# sanitizers and the fuzz targets. Further arguments name the targets to build
# (`scripts/build.sh demo_programs`: only what the demo runs); without, everything.
# KAVO_UNITY=ON compiles build/ in batches as well (see below).
set -euo pipefail
cd "$(dirname "$0")/.."
tree=build
# Line tables only (-g1): enough for a debugger's and a sanitizer's stack, at less
# cost to compile and link than full debug information.
optimise=-O2
if [[ ${1:-} == --sanitize ]]; then
    shift
    tree=build-asan
    export CC=clang CXX=clang++
    # -O1 finds what -O2 finds under the sanitizers, and compiles faster.
    optimise=-O1
fi
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVO_WERROR=ON
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$optimise -g1 -DNDEBUG"
    # Packing builds what the packages hold, not everything.
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON)
# The sanitizer tree compiles the libraries in batches (unity build). The system
# compiler's tree does so where KAVO_UNITY=ON is set (the test command and the
# packages, so that what is tested is what is packed); else it compiles each file on
# its own, so that a file lacking an include a batch-mate brings in still fails there.
if [[ $tree == build-asan ]]; then
    options+=(-DKAVO_SANITIZE=ON -DKAVO_FUZZ=ON -DKAVO_UNITY=ON)
else
    options+=("-DKAVO_UNITY=${KAVO_UNITY:-OFF}")
fi
# lld, where installed, links the many test programs in a fraction of ld's time.
if command -v ld.lld >/dev/null; then
    options+=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)
fi
# ccache, where installed, keeps what another checkout of the same sources compiled;
# the sloppiness lets it cache the compiles that use a precompiled header.
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$PWD")}" CCACHE_NOHASHDIR=1
    export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}"
    options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Ninja, where installed, starts a library's compiles while the libraries it
# needs are still being archived, and checks what is up to date faster than make.
generator="Unix Makefiles"
command -v ninja >/dev/null && generator=Ninja
options+=(-G "$generator")
# A tree once configured with another compiler (the sanitizer tree with the system's)
# or another build tool is configured anew instead of failing on the change.
if [[ -f $tree/CMakeCache.txt ]] \
    && { [[ $tree == build-asan ]] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' "$tree/CMakeCache.txt" \
        || ! grep -qx "CMAKE_GENERATOR:INTERNAL=$generator" "$tree/CMakeCache.txt"; }; then
    options+=(--fresh)
fi
cmake -S . -B "$tree" "${options[@]}" >/dev/null
targets=()
for target in "$@"; do
    targets+=(--target "$target")
done
cmake --build "$tree" -j"$(nproc)" "${targets[@]}"
