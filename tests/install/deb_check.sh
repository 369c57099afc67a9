#!/usr/bin/env bash
# Builds the Debian package from a build folder, checks that lintian finds no
# error or warning in it, installs it on this machine, checks the browsers'
# manifests, the host and the Assistant's service file, lets the browser test
# drive the installed host through the package's own registration, then
# purges it and checks that nothing of it is left.
# Usage: deb_check.sh BUILD_DIR QXCLIENT SYSLOG_SHIM. Exit 77: skipped (needs root,
# dpkg and lintian, and a machine where the package is not installed yet).
set -euo pipefail

build=$1 qxclient=$2 syslog_shim=$3
readonly package=quorvex-webclient
# The browser test's extension, so that Chromium lets it reach the installed host.
readonly chrome_id=cemngmpelcnaiojankphellfnppbndap
readonly firefox_id=webclient@quorvex.example
readonly config=/etc/quorvex-webclient/extensions.conf

skip() {
  echo "SKIPPED: $*"
  exit 77
}
check() { # message command...
  local message=$1
  shift
  if ! "$@"; then
    echo "FAILED: $message" >&2
    exit 1
  fi
  echo "ok: $message"
}

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in dpkg dpkg-deb cpack dpkg-shlibdeps lintian; do
  command -v "$tool" >/dev/null || skip "$tool is missing"
done
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" &&
  skip "$package is installed on this machine already"
[ -e "$config" ] && skip "$config exists: it is not this check's to change"

scratch=$(mktemp -d)
created_config_folder=0
cleanup() {
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "installed"; then
    dpkg --purge "$package" >/dev/null 2>&1 || true
  fi
  rm -f "$config"
  ((created_config_folder)) && rmdir /etc/quorvex-webclient 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# The folders the package's installer creates, and which of them were here.
folders=(/etc/opt/chrome /etc/chromium /etc/opt/brave /etc/opt/edge /etc/opt/vivaldi
  /usr/lib/mozilla /etc/opt /var/lib/quorvex-webclient)
existing=()
for folder in "${folders[@]}"; do
  [ -e "$folder" ] && existing+=("$folder")
done

echo "== Building the package"
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >cpack.log) ||
  { cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/"$package"_*.deb)
dpkg-deb -I "$deb"
dpkg-deb -c "$deb" | awk '{print $6}' | tee "$scratch/contents"
for wanted in ./usr/bin/quorvex-webclient-host ./usr/bin/quorvex-webclient-install \
  ./usr/bin/quorvex-assistant ./usr/share/dbus-1/services/com.quorvex.Assistant.service \
  ./usr/share/quorvex-webclient/manifests/com.quorvex.webclient.chromium.json.in \
  ./usr/share/quorvex-webclient/manifests/com.quorvex.webclient.firefox.json.in; do
  check "the package holds $wanted" grep -qxF "$wanted" "$scratch/contents"
done
check "no test program or benchmark is packaged" \
  bash -c "! grep -E '(_test|_tests|_bench|qxclient|syslog_capture)' '$scratch/contents'"
check "the libraries it needs are dependencies" \
  bash -c "dpkg-deb -f '$deb' Depends | grep -q libgtk-3"
check "lintian finds no error or warning" lintian --fail-on error,warning --info "$deb"

echo "== Installing it, with extension IDs configured"
[ -d /etc/quorvex-webclient ] || created_config_folder=1
mkdir -p /etc/quorvex-webclient
printf '# the check'\''s IDs\nchrome-extension-id = %s\nfirefox-extension-id = %s\n' \
  "$chrome_id" "$firefox_id" >"$config"
dpkg -i "$deb"
dpkg -L "$package" >"$scratch/owned"

for folder in /etc/opt/chrome /etc/chromium /etc/opt/brave /etc/opt/edge /etc/opt/vivaldi; do
  manifest=$(find "$folder" -name com.quorvex.webclient.json)
  check "$folder has the manifest, with the configured ID" \
    grep -qF "\"chrome-extension://$chrome_id/\"" "$manifest"
  check "$folder's manifest names the installed host" \
    grep -qF '"path": "/usr/bin/quorvex-webclient-host"' "$manifest"
done
check "Firefox's manifest allows the configured add-on" grep -qF "\"$firefox_id\"" \
  /usr/lib/mozilla/native-messaging-hosts/com.quorvex.webclient.json
check "the Assistant's service file starts the installed Assistant" grep -qxF \
  Exec=/usr/bin/quorvex-assistant /usr/share/dbus-1/services/com.quorvex.Assistant.service

echo "== The installed host answers Initialize"
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY \
  DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent-qx-bus NO_AT_BRIDGE=1 \
  "$qxclient" --timeout 20 --no-log 'WAIT Initialize' STOP -- \
  /usr/bin/quorvex-webclient-host "chrome-extension://$chrome_id/")
echo "$answer"
check "the host sent Initialize" grep -qE '"code": ?"Initialize"' <<<"$answer"

echo "== Chromium reaches the installed host through the package's registration"
here=$(cd "$(dirname "$0")" && pwd)
status=0
QX_SYSLOG_SHIM=$syslog_shim "$here/../browser/run.sh" /usr/bin/quorvex-webclient-host preinstalled ||
  status=$?
[ "$status" -eq 77 ] && echo "SKIPPED: the browser part (Chromium or the test's npm packages missing)"
check "the browser test passed against the installed host" test "$status" -eq 0 -o "$status" -eq 77

echo "== Purging it"
dpkg --purge "$package"
left=()
while IFS= read -r path; do
  [ -f "$path" ] && left+=("$path")
done <"$scratch/owned"
for folder in /usr/share/quorvex-webclient "${folders[@]}"; do
  case " ${existing[*]} " in *" $folder "*) continue ;; esac
  [ -e "$folder" ] && left+=("$folder")
done
for folder in /etc/opt/chrome /etc/chromium /etc/opt/brave /etc/opt/edge /etc/opt/vivaldi \
  /usr/lib/mozilla; do
  [ -e "$folder" ] && [ -n "$(find "$folder" -name com.quorvex.webclient.json)" ] && left+=("$folder")
done
check "nothing of the package is left (${left[*]:-})" test ${#left[@]} -eq 0
