#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's packages.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libjson-c-dev libglib2.0-dev libgtk-3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  dbus dbus-daemon xvfb xdotool x11-utils xauth imagemagick
  sway wtype grim gsettings-desktop-schemas
  dpkg-dev file lintian
  chromium firefox-esr nodejs
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

# The browser test's npm packages, installed again only when the lockfile
# changed. Debian's npm comes separately from its nodejs.
if ! command -v npm >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q npm
fi
browser_tests="$(dirname "$0")/../tests/browser"
lock_stamp="$browser_tests/node_modules/.package-lock.sha256"
if [ "$(cat "$lock_stamp" 2>/dev/null)" != "$(sha256sum <"$browser_tests/package-lock.json")" ]; then
  # Without the npm registry the browser tests are skipped, not the rest.
  if (cd "$browser_tests" && timeout 600 npm ci --ignore-scripts --no-audit --no-fund); then
    sha256sum <"$browser_tests/package-lock.json" >"$lock_stamp"
  else
    echo "warning: npm ci failed; the browser tests will report themselves skipped" >&2
  fi
fi
