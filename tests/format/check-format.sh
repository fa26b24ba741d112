#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format makes of it with the repository's .clang-format.
set -euo pipefail
cd "$1"
files=$(git ls-files '*.cpp' '*.h')
[ -n "$files" ] || { echo "no C++ files found"; exit 1; }
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
echo "clang-format: $(echo "$files" | wc -l) files formatted"
