#!/usr/bin/env bash
# Fails, naming them, when C++ files of the tree differ from what .clang-format makes
# of them. Reads the files git tracks; changes nothing.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${files[@]}"
