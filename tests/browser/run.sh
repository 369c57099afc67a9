#!/bin/sh
# Usage: tests/browser/run.sh HOST [user | preinstalled] [chromium | firefox]
# The browser test (browser_test.mjs) against HOST, an absolute path. Exits
# with 77, which ctest counts as skipped, when the browser, node or the test's
# npm packages are missing (scripts/setup.sh installs them).
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
case "${3:-chromium}" in
  chromium) browser="${QX_CHROMIUM:-/usr/bin/chromium}" driver=playwright-core ;;
  firefox) browser="${QX_FIREFOX:-/usr/bin/firefox-esr}" driver=puppeteer-core ;;
  *) echo "usage: $0 HOST [user | preinstalled] [chromium | firefox]" >&2 && exit 2 ;;
esac
for need in "$browser" node "$here/node_modules/$driver"; do
  [ -e "$need" ] || command -v "$need" >/dev/null ||
    { echo "skipped: no $need (scripts/setup.sh installs it)" >&2 && exit 77; }
done
export QX_BROWSER_HOST="$1" QX_BROWSER_MANIFEST="${2:-user}" QX_BROWSER="${3:-chromium}"
exec node --test "$here/browser_test.mjs"
