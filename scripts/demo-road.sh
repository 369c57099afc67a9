#!/usr/bin/env bash
# Usage: scripts/demo-road.sh [BUILD-DIR]
# The whole road of an upload and a download with real components: the browser
# (qxclient) asks the host to pick files, to confirm queued items, to start the
# upload, to choose a download folder and to start the download; a scripted
# user answers each native dialog with the keyboard, and the reference
# Assistant, started by D-Bus activation, carries out the transfers. All of it
# runs on a private desktop (qx-desktop: a virtual display, session bus and
# home of its own, ended afterwards); QX_DEMO_WAYLAND=1 makes it a Wayland one.
set -euo pipefail
cd "$(dirname "$0")/.."

dir="${1:-build}"
host="$dir/host/quorvex-webclient-host"
client="$dir/tools/qxclient/qxclient"
assistant="$dir/tools/reference-assistant/quorvex-assistant"
desktop="$dir/tools/desktop/qx-desktop"
[ -x "$host" ] && [ -x "$client" ] && [ -x "$assistant" ] && [ -x "$desktop" ] ||
  scripts/build.sh "$dir"
client="$(realpath "$client")" assistant="$(realpath "$assistant")" desktop="$(realpath "$desktop")"

work="$(mktemp -d /tmp/qx-demo-road-XXXXXX)"
trap 'rm -rf "$work"' EXIT

# What the user picks: three files and a folder of folders, and what the
# browser queues: a folder and a file.
pick="$work/Pick"
mkdir -p "$pick/Album/2025" "$work/Queued/inner" "$work/Downloads" "$work/Outbox"
printf 'alpha' >"$pick/a.txt"
printf 'bravo' >"$pick/b.txt"
printf 'charlie' >"$pick/c.txt"
printf 'photo' >"$pick/Album/cover.jpg"
printf 'summer' >"$pick/Album/2025/summer.jpg"
printf 'one' >"$work/Queued/one.txt"
printf 'two' >"$work/Queued/inner/two.txt"
printf 'notes' >"$work/notes.txt"
downloads="$work/Downloads/New folder"

# The scripted user. The upload panel opens in the host's working folder,
# Pick, where the user selects everything.
cat >"$work/user" <<STEPS
choose-all "Choose files and folders…" alt+c
press "Quorvex Web Client" Return
choose-path "Choose a folder" "$downloads"
STEPS
kind=()
[ "${QX_DEMO_WAYLAND:-0}" = 0 ] || kind=(--wayland)

echo "== The whole road of an upload and a download, dialogs answered on a private desktop =="
cd "$pick"
"$desktop" "${kind[@]}" --user "$work/user" \
  --service "com.quorvex.Assistant=$assistant --outbox $work/Outbox" -- \
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
