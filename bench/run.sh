#!/usr/bin/env bash
# Builds the benchmarks in Release mode and runs them, printing their tables.
#   bench/run.sh [BUILD_DIR]   (default: build-bench beside this repository's root)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target bench_frames

echo
echo "Frame conversion against JPEG decoding (medians of CPU time per frame)"
QT_QPA_PLATFORM=offscreen "$build/bin/bench_frames"
