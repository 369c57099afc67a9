#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given), warnings as errors.
#   scripts/build.sh [--sanitize] [dir] [-- target...]
# --sanitize: a clang build with AddressSanitizer and UndefinedBehaviorSanitizer
# that also holds the libFuzzer targets, so the sanitized suites and the fuzz
# run share one build.
# Each library and test compiles as one unity source: most of a build's time
# is the GLib, GTK and GoogleTest headers, read once per unity source instead
# of once per file.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build
flags=(-DCMAKE_UNITY_BUILD=ON)
targets=()
while (($#)); do
  case "$1" in
    # Figures from a sanitizer build mean nothing, so it builds no benchmarks.
    --sanitize)
      flags+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQX_SANITIZE=ON -DQX_FUZZ=ON
        -DQX_BENCH=OFF) ;;
    --) shift; targets=("$@"); break ;;
    *) dir="$1" ;;
  esac
  shift
done
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}" >/dev/null
cmake --build "$dir" ${targets[@]+--target "${targets[@]}"}
