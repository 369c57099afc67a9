#!/bin/sh
# Usage: tests/browser/run.sh HOST [user | system | preinstalled] [chromium | firefox]
# Runs the browser test against HOST (an absolute path), registered for the
# run's own user (default), system-wide for the run, or as a package already
# registered it, in Chromium (default) or Firefox. Exits with 77, which ctest
# counts as skipped, when the browser, node or the test's npm packages are
# missing (scripts/setup.sh installs them).
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
usage="usage: $0 HOST [user | system | preinstalled] [chromium | firefox]"
[ $# -ge 1 ] || { echo "$usage" >&2; exit 2; }
case "${3:-chromium}" in
  chromium) browser="${QX_CHROMIUM:-/usr/bin/chromium}" driver=playwright-core ;;
  firefox) browser="${QX_FIREFOX:-/usr/bin/firefox-esr}" driver=puppeteer-core ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
for need in "$browser" node; do
  command -v "$need" >/dev/null || { echo "skipped: $need is not installed" >&2; exit 77; }
done
[ -d "$here/node_modules/$driver" ] ||
  { echo "skipped: no $driver in $here/node_modules (run scripts/setup.sh)" >&2; exit 77; }
if [ "${2:-user}" = system ] && [ "$(id -u)" -ne 0 ]; then
  echo "skipped: a system-wide registration needs root" >&2
  exit 77
fi
QX_BROWSER_HOST="$1" QX_BROWSER_MANIFEST="${2:-user}" exec node --test "$here/${3:-chromium}_test.mjs"
