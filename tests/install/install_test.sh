#!/usr/bin/env bash
# Usage: install_test.sh INSTALL_COMMAND. Runs the install command for real
# against a scratch home and system root: each case starts from an empty
# scratch folder with the stand-ins below, and each of its steps, a script
# run there, must end with the status given and say the text given. A
# refusal (status 2) must write nothing.
set -uo pipefail
readonly QX=$1
scratch=$(mktemp -d) && cd "$scratch" || exit 1
trap 'rm -rf "$scratch"' EXIT
export HOME=$PWD/home XDG_CONFIG_HOME=$PWD/home/.config XDG_DATA_HOME=$PWD/home/.local/share
export PATH=$PWD/bin:$PATH
# `qx` runs the install command with the scratch host and root; `put FILE
# TEXT` writes an executable file; `has FILE TEXT` fails unless FILE, with
# the scratch folder read as ".", holds TEXT; `gone PATH...` fails when one is
# there. TEXT takes printf's escapes.
qx() { "$QX" --host "$PWD/bin/host" --root "$PWD/root" "$@"; }
put() { mkdir -p "$(dirname "$1")" && printf "$2" >"$1" && chmod +x "$1"; }
has() { [[ $(sed "s|$PWD|.|g" "$1") == *"$(printf -- "$2")"* ]] || { echo "no $2 in $1"; false; }; }
gone() { ! ls -d "$@" 2>/dev/null; }
a=abcdefghijklmnopabcdefghijklmnop b=ponmlkjihgfedcbaponmlkjihgfedcba m=com.quorvex.webclient.json
ids="--chrome-extension-id $a --firefox-extension-id a@b.example"
only_a="[\n    \"chrome-extension://$a/\"\n  ]"
chromium=home/.config/chromium/NativeMessagingHosts/$m
chrome=home/.config/google-chrome/NativeMessagingHosts/$m
firefox=home/.mozilla/native-messaging-hosts/$m
app=home/.var/app/org.chromium.Chromium/config/chromium/NativeMessagingHosts
invalid=$'\xff' newline=$'\n' tab=$'\t'
failed=0

# Stand-ins: Flatpak has Chromium, and flatpak-spawn shows what it would start.
case_() {
  echo "$1"
  find . -mindepth 1 -delete
  put bin/host '#!/bin/sh\n' && put "bin/h$invalid" '#!/bin/sh\n'
  put bin/flatpak '#!/bin/sh\ncase $1 in list) echo org.chromium.Chromium ;;
  override) echo "$*" >>$0.log ;; esac\n'
  put bin/flatpak-spawn '#!/bin/sh\nprintf "%%s\\n" "$@"\n'
}
# step STATUS TEXT [SCRIPT]: the script comes from stdin when not given.
step() {
  local script=${3:-$(cat)} before output status
  before=$(find . | sort)
  output=$(eval "$script" 2>&1)
  status=$?
  [ $status -eq "$1" ] && [[ $output == *"$2"* ]] &&
    { [ "$1" -ne 2 ] || [ "$(find . | sort)" = "$before" ]; } && return
  printf 'FAILED: %s\n  status %d, not %d, or no "%s", or a refusal wrote; it said:\n%s\n' \
    "$script" $status "$1" "$2" "$output"
  failed=1
}

case_ "user manifests for exactly the browsers named"
step 0 '' <<'SH'
qx --user --browser chromium --browser firefox $ids && has $chromium "$only_a" &&
  has $chromium '"path": "./bin/host"' && gone $chrome home/.var &&
  has $firefox '"allowed_extensions": [\n    "a@b.example"\n  ]'
SH
case_ "uninstalling by browser takes whole names, and never a changed or others' file"
step 0 '' <<'SH'
put ${chromium%/*}/other.json {} &&
  qx --user --browser chrome --browser chromium --browser chrome-flatpak $ids &&
  qx --uninstall --user --browser chrome && gone $chrome && has $chromium "$only_a" &&
  has home/.var/app/com.google.Chrome/config/google-chrome/NativeMessagingHosts/$m . &&
  qx --uninstall --user --browser chromium && gone $chromium home/.config/google-chrome &&
  qx --uninstall --user --browser chrome-flatpak && gone home/.var
SH
step 1 "native-messaging-hosts/com.quorvex.webclient.json: it was changed" \
  'qx --user --browser firefox $ids && echo >>$firefox && qx --uninstall --user'
step 0 '' 'has $firefox a@b.example && has ${chromium%/*}/other.json {} &&
  gone home/.local/share/quorvex-webclient'
case_ "a file it did not write is replaced only with --force"
step 1 "refused to replace" 'put $chromium {} && qx --user --browser chromium $ids'
step 0 '' 'qx --user --browser chromium --force $ids && has $chromium "$only_a"'
case_ "system manifests under the root, IDs from its configuration, each once"
step 0 "skipped firefox" <<'SH'
put root/etc/quorvex-webclient/extensions.conf "# IDs\n\nchrome-extension-id = $a # x
  chrome-extension-id=$b\n  chrome-extension-id = $a" &&
  put home/.config/quorvex-webclient/extensions.conf "firefox-extension-id = a@b.c" &&
  qx --system --browser chrome --browser firefox
SH
step 0 '' <<'SH'
gone root/usr/lib/mozilla && has root/var/lib/quorvex-webclient/installed chrome &&
  has root/etc/opt/chrome/native-messaging-hosts/$m \
    "[\n    \"chrome-extension://$a/\",\n    \"chrome-extension://$b/\"\n  ]"
SH
case_ "a Flatpak browser found gets a wrapper that starts the host outside, and the permission"
step 0 '' <<'SH'
qx --user --flatpak-override $ids && has $app/$m "\"path\": \"./$app/${m%json}sh\"" &&
  $app/${m%json}sh origin | has /dev/stdin "--host\n--watch-bus\n./bin/host\norigin" &&
  qx --uninstall --user && gone home/.var && talk=org.freedesktop.Flatpak &&
  has bin/flatpak.log "--talk-name=$talk org.chromium.Chromium\noverride --user --no-talk"
SH
case_ "refused before anything is written"
step 2 "unknown browser 'chrome chromium'" "qx --user --browser 'chrome chromium' \$ids"
step 2 "unknown browser 'chrom'" 'qx --user --browser chrom $ids'
step 2 "is not a Chromium" 'qx --user --browser chromium --chrome-extension-id ${a}q'
step 2 "is not a Chromium" 'qx --user --browser chromium --chrome-extension-id ${a%p}q'
step 2 "is not valid UTF-8" 'qx --user --browser chromium --host "$PWD/bin/h$invalid" $ids'
# The record of what was written keeps a path a line.
step 2 "HOME has a control character" 'HOME=$PWD/a${newline}b qx --user $ids'
step 2 "XDG_CONFIG_HOME has a control" 'XDG_CONFIG_HOME=$PWD/c$tab qx --user $ids'
step 2 "XDG_DATA_HOME has a control" 'XDG_DATA_HOME=$PWD/$newline/x qx --user $ids'
step 2 "--root has a control character" 'qx --system --root "$PWD/root$newline/x" $ids'
exit $failed
