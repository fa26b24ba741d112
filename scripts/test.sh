#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs the
# whole test suite. Exits non-zero when a test fails or when no test ran.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset ci
cmake --build --preset ci
ctest --preset ci "$@"
