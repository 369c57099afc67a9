#!/usr/bin/env bash
# Usage: scripts/demo.sh [BUILD-DIR]
# Sets up, builds, and runs the host the way a browser does, through qxclient,
# with the transcript printed: lines starting with ">" are what the browser
# sends, the JSON lines what the host answers. First a short faceless session,
# then the whole road of an upload and a download with the native dialogs and
# the reference Assistant (scripts/demo-road.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

dir="${1:-build}"
scripts/setup.sh
scripts/build.sh "$dir"

echo
echo "== A session with the native host (faceless: no display, no desktop bus) =="
env -u DISPLAY -u WAYLAND_DISPLAY NO_AT_BRIDGE=1 \
  DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent-qx-bus \
  "$dir/tools/qxclient/qxclient" --echo --timeout 30 <<'SCRIPT'
# The host greets the browser: the "Initialize" log record, then the response.
WAIT Initialize
# At most 500 files in the upload list.
{"version":"8.2.0x431","type":"Request","code":"SetParameter","name":"FileTransferLimit","value":500}
WAITLOG SetParameter
# Not a request: the host says so in its log and goes on.
{"version":"8.2.0x431","type":"Notification","code":"Reset"}
WAITLOG Invalid request
{"version":"8.2.0x431","type":"Request","code":"Reset"}
WAITLOG Reset
# The stop word ends the host.
STOP
SCRIPT
echo "== The host ended cleanly =="
echo
scripts/demo-road.sh "$dir"
