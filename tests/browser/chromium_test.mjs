// The browser test (cases.mjs) in Chromium, driven through its debugging
// protocol; the commands run in the extension's service worker.
//
// Environment: as cases.mjs, and QX_CHROMIUM, the browser (default /usr/bin/chromium).
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import {test} from 'node:test';
import {chromium} from 'playwright-core';

import {defineBrowserTests, extensionDir, kShowMs} from './cases.mjs';

// Follows from the "key" in extension/manifest.json; checked against the
// running extension, so a key and constant that drift apart fail loudly.
const kExtensionId = 'cemngmpelcnaiojankphellfnppbndap';
const kOrigin = `chrome-extension://${kExtensionId}/`;
let context = null;
let worker = null;

test('the extension ID follows from the key in its manifest', () => {
  const {key} = JSON.parse(fs.readFileSync(path.join(extensionDir, 'manifest.json'), 'utf8'));
  const digest = crypto.createHash('sha256').update(Buffer.from(key, 'base64')).digest('hex');
  const idOfKey = [...digest.slice(0, 32)].map((c) => String.fromCharCode(97 + parseInt(c, 16)));
  assert.equal(idOfKey.join(''), kExtensionId, 'the key in manifest.json gives another ID');
  assert.equal(worker.url(), `${kOrigin}background.js`);
});

defineBrowserTests({
  installName: 'chromium',
  idOption: '--chrome-extension-id',
  extensionId: kExtensionId,
  userManifestDir: '.config/chromium/NativeMessagingHosts',
  systemManifestDir: '/etc/chromium/native-messaging-hosts',
  allowedKey: 'allowed_origins',
  caller: kOrigin,
  async launch({env, home}) {
    context = await chromium.launchPersistentContext(path.join(home, '.config', 'chromium'), {
      executablePath: process.env.QX_CHROMIUM ?? '/usr/bin/chromium',
      headless: true,
      env,
      ignoreDefaultArgs: ['--disable-extensions'],
      args: [
        `--disable-extensions-except=${extensionDir}`,
        `--load-extension=${extensionDir}`,
        '--no-sandbox',
        '--disable-gpu',
        '--disable-quic',
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
  close: () => context?.close().catch((error) => {
    if (!/has been closed/.test(error.message))
      throw error;
  }),
});
