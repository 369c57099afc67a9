#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit and end to end).
# With --sanitize the same suites run in an AddressSanitizer and
# UndefinedBehaviorSanitizer build (build-sanitize/).
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build
build_flags=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-sanitize
  build_flags=(--sanitize)
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:fast_unwind_on_malloc=0"
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi

scripts/setup.sh
scripts/build.sh "${build_flags[@]}" "$dir"
ctest --test-dir "$dir" --output-on-failure --no-tests=error -j2
