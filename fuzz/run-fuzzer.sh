#!/usr/bin/env bash
# Builds the fuzz targets with the `fuzz` preset (in build/fuzz) and runs one on a working copy of its
# committed corpus.
#   fuzz/run-fuzzer.sh <target> [seconds] [libFuzzer options...]
# New inputs gather in build/fuzz/fuzz-work/<target>; crashes are written beside them as crash-*.
# Add an input worth keeping to fuzz/corpus/<target>/ (after fixing what it found).
set -euo pipefail
target=$1 seconds=${2:-600}
shift $(( $# < 2 ? $# : 2 ))
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$root/build/fuzz
(cd "$root" && cmake --preset fuzz >/dev/null && cmake --build --preset fuzz)
work="$build/fuzz-work/$target"
mkdir -p "$work/corpus"
# The targets use the shared sanitizer runtime (the libraries are shared); it must be loaded first.
runtime=$(clang -print-file-name=libclang_rt.asan-x86_64.so)
cd "$work"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1:suppressions=$here/ubsan-fuzz.supp}"
exec env LD_PRELOAD="$runtime" "$build/bin/$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
  -artifact_prefix="$work/" -print_final_stats=1 "$@" "$work/corpus" "$here/corpus/$target"
