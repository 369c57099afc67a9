#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's packages.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libjson-c-dev libglib2.0-dev libgtk-3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  dbus dbus-daemon xvfb xdotool x11-utils xauth imagemagick
  dpkg-dev file
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
