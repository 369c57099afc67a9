#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given), warnings as errors.
# Pass --sanitize for an AddressSanitizer and UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build
flags=()
for arg in "$@"; do
  case "$arg" in
    # Figures from a sanitizer build mean nothing, so it builds no benchmarks.
    --sanitize) flags+=(-DQX_SANITIZE=ON -DQX_BENCH=OFF) ;;
    *) dir="$arg" ;;
  esac
done
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}" >/dev/null
cmake --build "$dir"
