#!/usr/bin/env bash
# Installs what is missing, builds the Windows files, their setup programs and everything for Linux with
# warnings as errors, and runs the whole test suite (the Windows files and setup programs under Wine included);
# then builds and runs the suite again under AddressSanitizer with UndefinedBehaviorSanitizer (leaks included),
# and the threaded tests under ThreadSanitizer. Exits non-zero when a test fails, a sanitizer reports, or no test ran.
# Arguments are passed to the first (plain) ctest run only.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
# The Windows files first (the toolchain cache is built once per machine): the plain pass runs the tests that
# use them under Wine (label wine).
windows=$(bash scripts/windows/build.sh)
windows_bin=$(sed -n 's/^bin=//p' <<<"$windows")
windows_ffmpeg=$(sed -n 's/^ffmpeg=//p' <<<"$windows")
# The setup programs from those files (the real one and the demo with the simulated camera).
setups=$(bash scripts/windows/installer.sh --bin "$windows_bin")
cmake --preset ci -DVISTREL_WINDOWS_BIN_DIR="$windows_bin" -DVISTREL_FFMPEG_EXE="$windows_ffmpeg" \
  -DVISTREL_SETUP_EXE="$(sed -n 's/^setup=//p' <<<"$setups")" \
  -DVISTREL_DEMO_SETUP_EXE="$(sed -n 's/^demo=//p' <<<"$setups")"
cmake --build --preset ci
ctest --preset ci "$@"

# Any report fails the test that produced it; suppressions cover third-party code only. Allocations
# that cannot be satisfied return null (as without the sanitizer), so that the product's handling of
# absurd sizes in damaged input is what gets tested.
supp="$PWD/cmake/sanitizers"
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0:exitcode=1:allocator_may_return_null=1:detect_stack_use_after_return=0:strict_string_checks=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0:exitcode=23"
export UBSAN_OPTIONS="suppressions=$supp/ubsan.supp:halt_on_error=1:print_stacktrace=1:exitcode=1"
# Qt is not built with the thread sanitizer: accesses made inside its libraries (its thread pool, its
# containers' out-of-line code) are not judged, while its locks and our own code still are.
export TSAN_OPTIONS="suppressions=$supp/tsan.supp:allocator_may_return_null=1:halt_on_error=1:exitcode=66:second_deadlock_stack=1:report_signal_unsafe=0:ignore_noninstrumented_modules=1"

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

cmake --preset tsan
cmake --build --preset tsan
ctest --preset tsan
