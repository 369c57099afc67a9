#!/usr/bin/env bash
# Usage: deb_check.sh BUILD_DIR SYSLOG_SHIM. Builds the Debian package once
# and, while lintian checks it, installs it with the browser test's extension
# IDs configured, checks its registration, lets the browser test drive the
# installed host through it, then purges it and checks that nothing is left.
# Exit 77: skipped (needs root, dpkg and lintian, and the package not installed).
set -euo pipefail
build=$1 syslog_shim=$2 here=$(cd "$(dirname "$0")" && pwd)
readonly package=quorvex-webclient host=/usr/bin/quorvex-webclient-host
readonly chrome_id=cemngmpelcnaiojankphellfnppbndap firefox_id=webclient@quorvex.example
skip() { echo "SKIPPED: $*" && exit 77; }
fail() { echo "FAILED: $*" >&2 && exit 1; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in dpkg cpack lintian; do command -v $tool >/dev/null || skip "$tool is missing"; done
dpkg-query -W -f='${Status}' $package 2>/dev/null | grep -q "ok installed" &&
  skip "$package is installed on this machine already"
[ -e /etc/quorvex-webclient ] && skip "/etc/quorvex-webclient exists: it is not this check's"

scratch=$(mktemp -d) lint=""
trap 'set +e; [ -z "$lint" ] || kill $lint; dpkg --purge $package &>/dev/null
  rm -rf "$scratch" /etc/quorvex-webclient' EXIT
# The manifests the package writes, the folders it may create and which of
# them are here already.
manifests=(/etc/{opt/chrome,chromium,opt/brave,opt/edge,opt/vivaldi}/native-messaging-hosts
  /usr/lib/mozilla/native-messaging-hosts)
manifests=("${manifests[@]/%//com.quorvex.webclient.json}")
folders=(/etc/opt/chrome /etc/chromium /etc/opt/brave /etc/opt/edge /etc/opt/vivaldi
  /usr/lib/mozilla /etc/opt /var/lib/quorvex-webclient /usr/share/quorvex-webclient)
existing=$(ls -d "${folders[@]}" 2>/dev/null || true)

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B . >cpack.log) ||
  fail "cpack: $(cat "$scratch/cpack.log")"
deb=$(ls "$scratch"/${package}_*.deb)
lintian --fail-on error,warning "$deb" >"$scratch/lintian" 2>&1 &
lint=$!
! dpkg-deb -c "$deb" | grep -E '_tests?$|_bench|qxclient|syslog_capture' || fail "tests packaged"
dpkg-deb -f "$deb" Depends | grep -q libgtk-3 || fail "the libraries it needs are no dependencies"

mkdir /etc/quorvex-webclient
printf 'chrome-extension-id = %s\nfirefox-extension-id = %s\n' $chrome_id $firefox_id \
  >/etc/quorvex-webclient/extensions.conf
dpkg -i "$deb"
dpkg -L $package >"$scratch/owned"
# Which IDs a manifest allows is the install command's own test; here every
# browser must have the installed host.
unregistered=$(grep -LF "\"path\": \"$host\"" "${manifests[@]}" 2>&1 || true)
[ -z "$unregistered" ] || fail "not the installed host: $unregistered"
grep -qxF Exec=/usr/bin/quorvex-assistant /usr/share/dbus-1/services/com.quorvex.Assistant.service \
  || fail "the Assistant's service file does not start the installed Assistant"
status=0
QX_SYSLOG_SHIM=$syslog_shim "$here/../browser/run.sh" $host preinstalled || status=$?
[ $status -eq 0 ] || [ $status -eq 77 ] || fail "the browser test against the installed host"
wait $lint || fail "lintian: $(cat "$scratch/lintian")"
lint=""

dpkg --purge $package
left=$(
  while read -r path; do [ ! -f "$path" ] || echo "$path"; done <"$scratch/owned"
  for folder in "${folders[@]}"; do
    [ ! -e $folder ] || grep -qxF $folder <<<"$existing" || echo $folder
  done
  ls "${manifests[@]}" 2>/dev/null || true
)
[ -z "$left" ] || fail "left after the purge: $left"
echo "ok: the package builds, passes lintian, installs, serves the browsers and purges clean"
