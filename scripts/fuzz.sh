#!/usr/bin/env bash
# Builds the libFuzzer targets in the sanitizer build (build-sanitize/, shared
# with scripts/test.sh --sanitize) and runs each on a copy of its seed corpus
# (fuzz/corpus/ stays as it is) with its dictionary. Fails on any crash,
# leak, timeout or sanitizer report; the log and the input that failed are
# kept in build-sanitize/runs/<target>/.
#
#   scripts/fuzz.sh [--seconds N] [--runs N] [target...]
#
# --seconds N  stop each target after N seconds (30 unless --runs is given)
# --runs N     stop each target after N inputs
# target       frame_reader messages ae_gvariant (all of them when none is
#              named)
set -euo pipefail
cd "$(dirname "$0")/.."

all=(frame_reader messages ae_gvariant)
seconds=""
runs=""
targets=()
while (($#)); do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    -h | --help) sed -n '2,14p' "$0"; exit 0 ;;
    *)
      [[ " ${all[*]} " == *" $1 "* ]] || { echo "fuzz.sh: no target $1 (${all[*]})" >&2; exit 2; }
      targets+=("$1"); shift ;;
  esac
done
((${#targets[@]})) || targets=("${all[@]}")
[ -n "$seconds$runs" ] || seconds=30
limits=()
[ -z "$seconds" ] || limits+=("-max_total_time=$seconds")
[ -z "$runs" ] || limits+=("-runs=$runs")

scripts/setup.sh
dir="$PWD/build-sanitize"
scripts/build.sh --sanitize "$dir" -- "${targets[@]/%/_fuzzer}"

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=()
for target in "${targets[@]}"; do
  work="$dir/runs/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/found"
  cp fuzz/corpus/"$target"/. "$work/corpus/" -r
  echo "== $target (${limits[*]})"
  if "$dir/fuzz/${target}_fuzzer" "${limits[@]}" -dict="$PWD/fuzz/dict/$target.dict" \
    -rss_limit_mb=2048 -timeout=25 -print_final_stats=1 -artifact_prefix="$work/found/" \
    "$work/corpus" >"$work/log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)' "$work/log" || true
  else
    tail -n 60 "$work/log"
    echo "== $target FAILED: log and input in $work" >&2
    failed+=("$target")
  fi
done
if ((${#failed[@]})); then
  echo "fuzz.sh: failed: ${failed[*]}" >&2
  exit 1
fi
