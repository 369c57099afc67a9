#!/usr/bin/env bash
# Usage: scripts/demo-road.sh [BUILD-DIR]
# The whole road of an upload and a download with real components: the browser
# (qxclient) asks the host to pick files, to confirm queued items, to start the
# upload, to choose a download folder and to start the download; a scripted
# user answers each native dialog with the keyboard (xdotool), and the
# reference Assistant, started by D-Bus activation, carries out the transfers.
# Without a display the dialogs open on a private virtual one (Xvfb); the
# session bus and home are private too, and all is ended afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

dir="${1:-build}"
host="$dir/host/quorvex-webclient-host"
client="$dir/tools/qxclient/qxclient"
assistant="$dir/tools/reference-assistant/quorvex-assistant"
[ -x "$host" ] && [ -x "$client" ] && [ -x "$assistant" ] || scripts/build.sh "$dir"

work="$(mktemp -d /tmp/qx-demo-road-XXXXXX)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The private desktop: its own display when there is none, its own bus and home.
if [ -z "${DISPLAY:-}" ]; then
  exec 3<> <(:)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null 3>"$work/display" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$work/display")"
fi
# The host decides at start whether it can show dialogs: make sure the display
# answers before the host is started.
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getdisplaygeometry >/dev/null 2>&1 || { echo "display $DISPLAY does not answer" >&2; exit 1; }
mkdir -p "$work/home/.config" "$work/home/.local/share" "$work/home/.cache" "$work/runtime"
chmod 700 "$work/runtime"
# No blinking cursor or animations: the scripted user waits for still pixels.
mkdir -p "$work/home/.config/gtk-3.0"
printf '[Settings]\ngtk-cursor-blink = false\ngtk-enable-animations = false\n' \
  >"$work/home/.config/gtk-3.0/settings.ini"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime"
export NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory GIO_USE_VFS=local GIO_USE_VOLUME_MONITOR=unix
unset WAYLAND_DISPLAY
# The bus starts the Assistant on the first request sent to its name.
mkdir -p "$work/services" "$work/Outbox"
printf '[D-BUS Service]\nName=com.quorvex.Assistant\nExec=%s --outbox %s\n' \
  "$(realpath "$assistant")" "$work/Outbox" >"$work/services/com.quorvex.Assistant.service"
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$work/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
bus="$(dbus-daemon --config-file="$work/bus.conf" --fork --print-address=1 --print-pid=1 2>/dev/null)"
export DBUS_SESSION_BUS_ADDRESS="$(sed -n 1p <<<"$bus")"
pids+=("$(sed -n 2p <<<"$bus")")

# What the user picks: three files and a folder of folders, and what the
# browser queues: a folder and a file.
pick="$work/Pick"
mkdir -p "$pick/Album/2025" "$work/Queued/inner" "$work/Downloads"
printf 'alpha' >"$pick/a.txt"
printf 'bravo' >"$pick/b.txt"
printf 'charlie' >"$pick/c.txt"
printf 'photo' >"$pick/Album/cover.jpg"
printf 'summer' >"$pick/Album/2025/summer.jpg"
printf 'one' >"$work/Queued/one.txt"
printf 'two' >"$work/Queued/inner/two.txt"
printf 'notes' >"$work/notes.txt"
downloads="$work/Downloads/New folder"

# The scripted user: waits for each dialog by its title and answers it.
window() {
  for _ in $(seq 200); do
    for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
      if xprop -id "$id" _NET_WM_NAME 2>/dev/null | grep -qF "= \"$1\""; then
        echo "$id"
        return
      fi
    done
    sleep 0.1
  done
  echo "no window titled $1" >&2
  return 1
}
snapshot() { import -silent -window "$1" rgb:- 2>/dev/null | md5sum; }
# Waits until the window's pixels changed from $2 (if given) and then held still.
settle() {
  local last="" now stable=0
  for _ in $(seq 100); do
    now="$(snapshot "$1")"
    if [ -n "${2:-}" ] && [ "$now" = "$2" ]; then sleep 0.1; continue; fi
    if [ "$now" = "$last" ]; then stable=$((stable + 1)); else stable=0; last="$now"; fi
    [ "$stable" -ge 3 ] && return
    sleep 0.15
  done
}
location() {
  xdotool key ctrl+l
  xdotool type --delay 20 "$2"
  settle "$1"
  xdotool key Delete Return
}
user() {
  local id before
  id="$(window "Choose files and folders…")"
  xdotool windowfocus --sync "$id"
  settle "$id"
  before="$(snapshot "$id")"
  location "$id" "$pick/"
  settle "$id" "$before"
  xdotool mousemove --window "$id" --sync 700 400 click 1 key ctrl+a
  xdotool key alt+c

  id="$(window "Quorvex Web Client")"
  xdotool windowfocus --sync "$id" key Return

  id="$(window "Choose a folder")"
  xdotool windowfocus --sync "$id"
  settle "$id"
  location "$id" "$downloads"
}
user &
pids+=($!)

echo "== The whole road of an upload and a download, dialogs answered on display $DISPLAY =="
"$client" --echo --timeout 60 <<SCRIPT
WAIT Initialize
# The user picks three files and the folder Album in the upload panel.
{"version":"8.2.0x431","type":"Request","code":"SelectFilesToUpload"}
WAITLOG Selected Files
# The browser queues a folder and a file; the user confirms them in the alert.
{"version":"8.2.0x431","type":"Request","code":"QueueFilesForUpload","files_ul":[{"file_path":"$work/Queued"},{"file_path":"$work/notes.txt"}]}
WAIT FilesAddedToUploadList
# The upload goes to the Assistant, which the bus starts; every file it
# reports sent leaves the upload list.
{"version":"8.2.0x431","type":"Request","code":"StartUpload","transfer_id":"demo-upload"}
WAIT TransferComplete
# The user types a folder that does not exist yet; the host creates it.
{"version":"8.2.0x431","type":"Request","code":"SelectDownloadLocation"}
# The download brings the outbox's files into the chosen folder.
{"version":"8.2.0x431","type":"Request","code":"StartDownload","transfer_id":"demo-download"}
WAIT TransferComplete
STOP
SCRIPT
echo "== The Assistant's outbox after the upload =="
(cd "$work/Outbox" && find . -type f | sort)
echo "== The download folder the user created, after the download =="
(cd "$downloads" && find . -type f | sort)
