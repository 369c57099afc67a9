// The browser test (cases.mjs) in Chromium (QX_CHROMIUM, default chromium),
// driven through its debugging protocol; the commands run in the extension's
// service worker.
import assert from 'node:assert/strict';
import path from 'node:path';
import {chromium} from 'playwright-core';

import {defineBrowserTests, extensionDir, kShowMs} from './cases.mjs';

// Follows from the "key" in extension/manifest.json.
const kExtensionId = 'cemngmpelcnaiojankphellfnppbndap';
let context = null;
let worker = null;

defineBrowserTests({
  installName: 'chromium',
  idOption: '--chrome-extension-id',
  extensionId: kExtensionId,
  caller: `chrome-extension://${kExtensionId}/`,
  async launch({env}) {
    context = await chromium.launchPersistentContext(path.join(env.HOME, '.config', 'chromium'), {
      executablePath: process.env.QX_CHROMIUM ?? '/usr/bin/chromium',
      headless: true,
      env,
      ignoreDefaultArgs: ['--disable-extensions'],
      args: [
        `--disable-extensions-except=${extensionDir}`,
        `--load-extension=${extensionDir}`,
        '--no-sandbox',
        '--disable-gpu',
        '--no-first-run',
        '--disable-background-networking',
        '--disable-component-update',
        '--disable-sync',
      ],
    });
    worker = context.serviceWorkers()[0] ??
        (await context.waitForEvent('serviceworker', {timeout: kShowMs}));
  },
  send: (op, arg) => worker.evaluate(([o, a]) => qx(o, a), [op, arg]),
  // The last case kills the browser; a close that finds it gone is no fault.
  close: () => context?.close().catch((error) => assert.match(error.message, /has been closed/)),
});
