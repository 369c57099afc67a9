#!/usr/bin/env bash
# Lists the project's code that no shipped binary uses: links the host and
# the reference Assistant with every function in its own section and lets
# the linker drop the unused ones (--gc-sections), printing each it drops
# (--print-gc-sections) and, in its map, each archive member it takes.
# A function of ours is unused when a link drops it and neither binary keeps
# it (nm); nothing is inlined, so a function whose every call would have been
# inlined is not taken for unused. An object of our libraries that no link
# takes is unused whole.
# Fails when anything is unused that docs/file-operations.md does not list as
# the file-system library's API (kept for its callers, with a test each).
#   scripts/gc-check.sh [build-dir]   (default build-gc)
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${1:-build-gc}
launcher=()
! command -v ccache >/dev/null || launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  "-DCMAKE_CXX_FLAGS=-ffunction-sections -fdata-sections -fno-inline" \
  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,--gc-sections -Wl,--print-gc-sections -Wl,-Map=$PWD/$dir/link.map" \
  >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
binaries=(host/quorvex-webclient-host tools/reference-assistant/quorvex-assistant)
for binary in "${binaries[@]}"; do
  name=$(basename "$binary")
  # Only a link prints what it drops, so the binary is linked again.
  rm -f "$dir/$binary"
  if ! cmake --build "$dir" -j2 --target "$name" >"$work/$name.log" 2>&1; then
    cat "$work/$name.log" >&2
    exit 2
  fi
  # Archive members of our libraries that this link took.
  sed -n '/^Archive member included/,/^Discarded input sections/p' "$dir/link.map" |
    grep -o '^[^ ]*libqx_[^ ]*\.a([^)]*)' | sed 's/^.*\/\([^/]*\.a(\)/\1/' |
    sort -u >"$work/$name.objects"
  # The functions dropped from our objects (named relative to the build
  # folder, unlike the system's; the cold halves, .text.unlikely, go with
  # their function), and the symbols the binary keeps.
  sed -n "s/.*removing unused section '\.text\.\([^'[]*\)[^']*' in file '[^/'][^']*'.*/\1/p" \
    "$work/$name.log" | grep -v '^unlikely\.' | sort -u >"$work/$name.dropped"
  nm --defined-only "$dir/$binary" | awk '{print $3}' | sort -u >"$work/$name.kept"
done

# A function is unused when no binary keeps it. An inline function has a
# copy in every object that calls it, and the linker drops all but one; a
# compiler's clone (.isra, .constprop) stands for a function kept under its
# own name. Names are compared demangled, so a constructor or destructor
# kept in one of its variants (complete, base, deleting) counts as kept.
cat "$work"/*.kept >"$work/all.kept"
sort -u "$work"/*.dropped | grep -v '\.' | c++filt | sort -u |
  comm -23 - <(c++filt <"$work/all.kept" | sort -u) |
  # Templates of the standard library that our objects instantiate are not
  # ours: "std::" before the parameters, in the name or a return type.
  sed 's/(anonymous namespace)/{anonymous}/g' | grep -Ev '^[^(]*(std|__gnu_cxx)::|^__|\(&std::' |
  sed 's/{anonymous}/(anonymous namespace)/g' | sort -u >"$work/unused" || true

# Members of our libraries that no binary takes at all.
for archive in $(find "$dir" -name 'libqx_*.a' ! -name 'libqx_test*'); do
  base=$(basename "$archive")
  for member in $(ar t "$archive"); do
    if ! grep -qxF "$base($member)" "$work"/*.objects; then
      echo "whole object: $base($member)"
    fi
  done
done | sort >"$work/objects"

documented=$(grep -o '`MacFileOperations::[A-Za-z_:~]*' docs/file-operations.md | tr -d '`' |
  sort -u || true)
status=0
while IFS= read -r function; do
  [ -n "$function" ] || continue
  # The qualified name: without the parameters and a return type.
  name=$(printf '%s\n' "$function" | sed 's/(anonymous namespace)/{anonymous}/g; s/(.*//; s/.* //')
  if [ -n "$documented" ] && printf '%s\n' "$documented" | grep -qxF "$name"; then
    echo "library API: $function"
  else
    echo "unused:      $function"
    status=1
  fi
done <"$work/unused"
if [ -s "$work/objects" ]; then
  cat "$work/objects"
  status=1
fi
exit "$status"
