#!/usr/bin/env bash
# Mutation testing: plants each fault of scripts/mutants.txt, one at a time,
# in a scratch copy of this tree and runs the whole suite against it. A fault
# the suite does not notice (SURVIVED) marks a rule no test really checks.
#
# Usage: scripts/mutants.sh [--list | --check] [--only id,id,...] [--out FILE]
#   --list   print the mutants and exit
#   --check  only say which mutants no longer apply to this tree
#   --only   run only the mutants named, in that order
#   --out    also write the result lines and the total to FILE
# The scratch copy lives in $QX_MUTANTS_DIR (default /tmp/qx-mutants): a
# fixed place, so that ccache (when installed) finds the objects of earlier
# runs.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
list=$source/scripts/mutants.txt
scratch=${QX_MUTANTS_DIR:-/tmp/qx-mutants}

only="" out="" listing=0 checking=0
while [ $# -gt 0 ]; do
  case "$1" in
    --list) listing=1 ;;
    --check) checking=1 ;;
    --only) only=",$2,"; shift ;;
    --out) out=$2; shift ;;
    *) echo "usage: $0 [--list | --check] [--only id,id,...] [--out FILE]" >&2; exit 2 ;;
  esac
  shift
done

# The list: blocks of "key: value" lines (id, layer, file, from, to, why)
# parted by blank lines; "#" starts a comment line. `from` is an exact text
# that must occur once in `file`; `to` replaces it.
ids=() layers=() files=() froms=() tos=() whys=()
flush() {
  [ -n "$id" ] || return 0
  if [ -z "$layer" ] || [ -z "$file" ] || [ -z "$from" ] || [ -z "$why" ] || [ "$from" = "$to" ]; then
    echo "mutants.txt: mutant '$id' lacks a field or changes nothing" >&2
    exit 2
  fi
  ids+=("$id") layers+=("$layer") files+=("$file") froms+=("$from") tos+=("$to") whys+=("$why")
  id="" layer="" file="" from="" to="" why=""
}
id="" layer="" file="" from="" to="" why=""
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in
    '#'*) ;;
    '') flush ;;
    id:*) flush; id=${line#id: } ;;
    layer:*) layer=${line#layer: } ;;
    file:*) file=${line#file: } ;;
    from:*) from=${line#from: } ;;
    to:*) to=${line#to:}; to=${to# } ;;
    why:*) why=${line#why: } ;;
    *) echo "mutants.txt: cannot read: $line" >&2; exit 2 ;;
  esac
done <"$list"
flush

selected() {  # index: whether --only (if given) names this mutant
  [ -z "$only" ] || [[ $only == *",${ids[$1]},"* ]]
}

# Reads file $1 into $text; true when $2 occurs in it exactly once.
text=""
anchored() {
  text=""
  [ ! -f "$1" ] || IFS= read -r -d '' text <"$1" || true
  [[ $text == *"$2"* ]] && [[ ${text#*"$2"} != *"$2"* ]]
}

if [ "$listing" = 1 ] || [ "$checking" = 1 ]; then
  bad=0
  for i in "${!ids[@]}"; do
    selected "$i" || continue
    if [ "$listing" = 1 ]; then
      printf '%-28s %-10s %s\n    %s\n' "${ids[$i]}" "${layers[$i]}" "${files[$i]}" "${whys[$i]}"
    elif ! anchored "$source/${files[$i]}" "${froms[$i]}"; then
      echo "${ids[$i]}: NOT-APPLIED, the text is not in ${files[$i]} exactly once"
      bad=1
    fi
  done
  exit $bad
fi

# A fresh copy of the working tree (uncommitted edits included, build
# folders left out), configured and built once.
src=$scratch/src build=$scratch/build
rm -rf "$src" "$build"
mkdir -p "$src"
git ls-files -z --cached --others --exclude-standard | grep -zv -e '^build' -e node_modules |
  tar -C "$source" --null -T - -cf - | tar -C "$src" -xf -
modules=${QX_NODE_MODULES:-$source/tests/browser/node_modules}
[ ! -d "$modules" ] || ln -s "$(cd "$modules" && pwd -P)" "$src/tests/browser/node_modules"
launcher=()
! command -v ccache >/dev/null ||
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  >"$scratch/configure.log"

# The unit suites go first and the end-to-end ones under tests/ last: most
# faults fail a quick unit test, and the run stops at the first failure.
own_tests() {  # $1: CTest files; the folders of those that register tests
  grep -lE '^(add_test|include)\(' $1 | xargs -n1 dirname | sort
}
run_suite() {  # $1: log file; fails when a test fails
  local dir
  : >"$1"
  # Every folder that registers tests of its own, however deep it sits; the
  # end-to-end folders last (tests/install is not a subfolder of tests/ to
  # CTest, so each is named). The folders come as absolute paths.
  local units e2e
  units=$(own_tests "$(find "$build" -mindepth 2 -name CTestTestfile.cmake ! -path "$build/tests/*")")
  e2e=$(own_tests "$(find "$build/tests" -mindepth 2 -name CTestTestfile.cmake)")
  for dir in $units $e2e; do
    ctest --test-dir "$dir" --no-tests=ignore --stop-on-failure -j2 --timeout 180 \
      --output-on-failure >>"$1" 2>&1 || return 1
  done
}
first_failure() {  # the first test ctest marked failed, timed out or crashed (not skipped)
  sed -n '/\*\*\*Skipped/d; s/.*Test *#[0-9]*: \([^ ]*\) .*\*\*\*.*/\1/p' "$1" | head -n 1
}
report() {
  echo "$1"
  [ -z "$out" ] || echo "$1" >>"$out"
}

start=$SECONDS
cmake --build "$build" >"$scratch/build.log" 2>&1 ||
  { echo "the unmutated tree does not build: $scratch/build.log" >&2; exit 1; }
run_suite "$scratch/unmutated.log" ||
  { echo "the unmutated suite fails ($(first_failure "$scratch/unmutated.log")): $scratch/unmutated.log" >&2; exit 1; }
[ -z "$out" ] || : >"$out"
report "unmutated build and suite: $((SECONDS - start)) s"

# In the order --only names them, else in the list's.
order=("${!ids[@]}")
if [ -n "$only" ]; then
  order=()
  for wanted in ${only//,/ }; do
    for i in "${!ids[@]}"; do
      [ "${ids[$i]}" != "$wanted" ] || order+=("$i")
    done
  done
fi
killed=0 total=0
for i in "${order[@]}"; do
  id=${ids[$i]} target=$src/${files[$i]}
  total=$((total + 1))
  start=$SECONDS
  if ! anchored "$target" "${froms[$i]}"; then
    report "$(printf '%-28s %-10s NOT-APPLIED  the text is not in %s exactly once' "$id" "${layers[$i]}" "${files[$i]}")"
    continue
  fi
  cp "$target" "$scratch/original"
  printf '%s' "${text/"${froms[$i]}"/"${tos[$i]}"}" >"$target"
  log=$scratch/$id.log detail=""
  if ! cmake --build "$build" >"$log" 2>&1; then
    result=BUILD-ERROR
  elif run_suite "$log"; then
    result=SURVIVED
  else
    detail=$(first_failure "$log")
    # On a loaded machine an end-to-end test may fail by itself: a kill
    # counts only when the failing test fails again. A parameterised test's
    # name goes on with a note of its parameter.
    if [ -n "$detail" ] && ctest --test-dir "$build" -R "^${detail//./\\.}( |\$)" \
      --no-tests=error --timeout 180 --output-on-failure >>"$log" 2>&1; then
      result=FLAKY
    else
      result=KILLED
      killed=$((killed + 1))
    fi
  fi
  # Copied back, not moved: the new time stamp makes ninja rebuild the original.
  cp "$scratch/original" "$target"
  report "$(printf '%-28s %-10s %-12s %s (%d s)' "$id" "${layers[$i]}" "$result" "$detail" $((SECONDS - start)))"
done
report "killed $killed of $total"
