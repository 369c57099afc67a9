// The host as a real browser (QX_BROWSER) runs it for a test extension, from
// the manifest the install command wrote (QX_BROWSER_MANIFEST=user, the
// default) or the package's (preinstalled). The extension speaks on the
// channel through the browser's native messaging and posts what came back to
// this test's loopback server; the host must then end by itself.
// QX_BROWSER_HOST is the host's path; QX_SYSLOG_SHIM captures its system log.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {test} from 'node:test';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const host = process.env.QX_BROWSER_HOST ?? '';
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'qx-browser-'));
const home = path.join(work, 'home');
const addon = path.join(work, 'addon');
const syslogFile = path.join(work, 'syslog');
// A bound far above what a loaded machine needs, a sanitizer build included.
const kShowMs = 60000;
// Browsers kill a host still running some seconds after its port closed
// (Chromium after 2, Firefox after 3): a host must be gone before that.
const kGoneMs = 2000;
// The host inherits the browser's environment: no display and no session bus,
// so it runs faceless; its system log and any sanitizer report land in files.
const env = {...process.env, HOME: home};
for (const variable of ['DISPLAY', 'WAYLAND_DISPLAY', 'XDG_CONFIG_HOME', 'XDG_DATA_HOME'])
  delete env[variable];
const logPath = `log_path=${path.join(work, 'sanitizer')}`;
Object.assign(env, {
  DBUS_SESSION_BUS_ADDRESS: 'unix:path=/nonexistent-qx-bus',
  ASAN_OPTIONS: [env.ASAN_OPTIONS, logPath, 'verify_asan_link_order=0'].filter(Boolean).join(':'),
  UBSAN_OPTIONS: [env.UBSAN_OPTIONS, logPath].filter(Boolean).join(':'),
  LD_PRELOAD: [process.env.QX_SYSLOG_SHIM, env.LD_PRELOAD].filter(Boolean).join(':'),
  QX_SYSLOG_CAPTURE_FILE: syslogFile,
});

// The install command's options for our extension, and a launch with it
// loaded that returns how to close the browser again.
const browsers = {
  chromium: {
    // Follows from the "key" in extension/manifest.json.
    ids: ['--chrome-extension-id', 'cemngmpelcnaiojankphellfnppbndap'],
    async launch() {
      const {chromium} = await import('playwright-core');
      const context = await chromium.launchPersistentContext(path.join(home, '.config/chromium'), {
        executablePath: process.env.QX_CHROMIUM ?? '/usr/bin/chromium',
        headless: true,
        env,
        ignoreDefaultArgs: ['--disable-extensions'],
        args: [`--disable-extensions-except=${addon}`, `--load-extension=${addon}`],
      });
      return () => context.close();
    },
  },
  firefox: {
    ids: ['--firefox-extension-id', 'webclient@quorvex.example'],
    async launch() {
      const {default: puppeteer} = await import('puppeteer-core');
      const browser = await puppeteer.launch({
        browser: 'firefox',
        executablePath: process.env.QX_FIREFOX ?? '/usr/bin/firefox-esr',
        headless: true,
        env,
      });
      await browser.installExtension(addon);
      return () => browser.close();
    },
  },
};
const name = process.env.QX_BROWSER ?? 'chromium';

async function poll(what, timeoutMs, probe) {
  for (const deadline = Date.now() + timeoutMs;; await new Promise((r) => setTimeout(r, 50))) {
    const value = probe();
    if (value)
      return value;
    if (Date.now() > deadline)
      throw new Error(`timed out waiting for ${what}`);
  }
}

const read = (file) => {
  try {
    return fs.readFileSync(file, 'utf8');
  } catch {
    return '';  // not there (yet), or gone
  }
};

test(`${name} starts the host, which greets, answers and ends by itself`, async () => {
  assert.ok(path.isAbsolute(host) && fs.existsSync(host), `QX_BROWSER_HOST is no host: ${host}`);
  fs.mkdirSync(home);
  if (process.env.QX_BROWSER_MANIFEST !== 'preinstalled') {
    const installer = path.join(here, '../../packaging/quorvex-webclient-install');
    const args = ['--user', '--browser', name, ...browsers[name].ids, '--host', host];
    const run = spawnSync(installer, args, {env, encoding: 'utf8'});
    assert.equal(run.status, 0, run.stderr);
  }
  // What the extension reported, and the answer that has it close the port.
  let report = null, answer = null;
  const server = http.createServer(async (request, response) => {
    let body = '';
    for await (const chunk of request)
      body += chunk;
    // The extension's origin is not the server's.
    answer = () => response.setHeader('Access-Control-Allow-Origin', '*').end();
    report = JSON.parse(body);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  fs.cpSync(path.join(here, 'extension'), addon, {recursive: true});
  const url = `http://127.0.0.1:${server.address().port}/`;
  fs.writeFileSync(path.join(addon, 'channel.json'), JSON.stringify({url}));
  const close = await browsers[name].launch();
  let reports = [];
  try {
    const {messages, error} = await poll('the extension to report', kShowMs, () => report);
    assert.deepEqual(messages?.map((m) => [m.type, m.code, m.text]), [
      ['Log', 'DEBUG', 'Initialize'], ['Response', 'Initialize', undefined],
      ['Log', 'DEBUG', 'ExecuteRequest'], ['Log', 'DEBUG', 'SetParameter'],
      ['Log', 'ERROR', 'Invalid plug-in parameter: Timeout']], error);
    // The host that answered is the one under test, not one found elsewhere.
    const pid = /Quorvex Web Client\[(\d+)\]: Initialize/.exec(read(syslogFile))?.[1];
    assert.equal(fs.realpathSync(`/proc/${pid}/exe`), fs.realpathSync(host));
    answer();
    // Only a host that saw the end of its input and shut down in order writes
    // the last line, under its own PID.
    // A zombie has ended too.
    const ended = () => !/^\d+ \(.*\) [^Z]/.test(read(`/proc/${pid}/stat`));
    await poll(`host ${pid} to end`, kGoneMs, () => pid && ended());
    assert.ok(read(syslogFile).includes(`Quorvex Web Client[${pid}]: Removed instance of plugin`),
              `host ${pid} was ended, it did not end by itself`);
  } finally {
    await close();
    server.close();
    server.closeAllConnections();
    reports = fs.readdirSync(work).filter((file) => file.startsWith('sanitizer.')).map(
        (file) => read(path.join(work, file)));
    fs.rmSync(work, {recursive: true, force: true});
  }
  assert.deepEqual(reports, [], 'the host wrote sanitizer reports');
});
