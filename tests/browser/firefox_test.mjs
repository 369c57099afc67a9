// The browser test (cases.mjs) in Firefox (QX_FIREFOX, default firefox-esr),
// headless over WebDriver BiDi, the extension a temporary add-on. No
// automation reaches an add-on's scripts, so the add-on fetches its commands
// from a loopback server of this test and posts their outcomes back.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

import {defineBrowserTests, extensionDir, kShowMs, poll} from './cases.mjs';

// As extension/manifest.json names it.
const kAddonId = 'webclient@quorvex.example';
let browser = null;
let server = null;
// The add-on's pending call, answered with the next command.
let waiting = null;
// Takes the outcome of the command in flight.
let settle = () => {};

function serveAddon(request, response) {
  let body = '';
  request.setEncoding('utf8');
  request.on('data', (chunk) => (body += chunk));
  request.on('end', () => {
    // The add-on's origin is not the server's.
    response.setHeader('Access-Control-Allow-Origin', '*');
    waiting = response;
    settle(JSON.parse(body));
  });
}

defineBrowserTests({
  installName: 'firefox',
  idOption: '--firefox-extension-id',
  extensionId: kAddonId,
  caller: kAddonId,
  async launch({env, work}) {
    server = http.createServer(serveAddon);
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    const addon = path.join(work, 'addon');
    fs.cpSync(extensionDir, addon, {recursive: true});
    fs.writeFileSync(
        path.join(addon, 'channel.json'),
        JSON.stringify({url: `http://127.0.0.1:${server.address().port}/`}));
    browser = await puppeteer.launch({
      browser: 'firefox',
      executablePath: process.env.QX_FIREFOX ?? '/usr/bin/firefox-esr',
      headless: true,
      env,
      userDataDir: path.join(work, 'firefox-profile'),
    });
    browser.on('disconnected', () => settle({error: 'Firefox went away'}));
    assert.equal(await browser.installExtension(addon), kAddonId);
  },
  async send(op, arg) {
    await poll('the add-on to call the test server', kShowMs, () => waiting);
    const outcome = new Promise((resolve) => (settle = resolve));
    waiting.end(JSON.stringify({op, arg}));
    waiting = null;
    const {value, error} = await outcome;
    if (error !== undefined)
      throw new Error(error);
    return value;
  },
  async close() {
    server?.close();
    server?.closeAllConnections();
    await browser?.close();
  },
});
