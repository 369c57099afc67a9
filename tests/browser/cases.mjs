// The host as a browser runs it from the manifest the install command wrote
// (QX_BROWSER_MANIFEST=user, the default) or the package's (preinstalled)
// for a test extension's connectNative, every frame passing through the
// browser's native messaging; one browser launch serves every case.
// QX_BROWSER_HOST is the host's path; QX_SYSLOG_SHIM captures its system log.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const extensionDir = path.join(here, 'extension');
const kVersion = '8.2.0x431';
// Bounds far above what a loaded machine needs, a sanitizer build included.
const kEndMs = 10000;
export const kShowMs = 60000;
// Browsers kill a host still running some seconds after its port closed
// (Chromium after 2, Firefox after 3): a host must be gone before that.
const kGoneMs = 2000;

const host = process.env.QX_BROWSER_HOST ?? '';
const preinstalled = process.env.QX_BROWSER_MANIFEST === 'preinstalled';
const installer = path.join(here, '../../packaging/quorvex-webclient-install');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'qx-browser-'));
const home = path.join(work, 'home');
const syslogFile = path.join(work, 'syslog');
// Every host seen running, so none outlives the run.
const seenHosts = new Set();

export async function poll(what, timeoutMs, probe) {
  for (const deadline = Date.now() + timeoutMs;; await new Promise((r) => setTimeout(r, 50))) {
    const value = probe();
    if (value)
      return value;
    if (Date.now() > deadline)
      throw new Error(`timed out waiting for ${what}`);
  }
}

// The host inherits the browser's environment: no display and no session bus,
// so it runs faceless; its system log and any sanitizer report land in files.
function hostEnvironment() {
  const env = {...process.env, HOME: home};
  for (const name of ['DISPLAY', 'WAYLAND_DISPLAY', 'XDG_CONFIG_HOME', 'XDG_DATA_HOME'])
    delete env[name];
  const logPath = `log_path=${path.join(work, 'sanitizer')}`;
  return {
    ...env,
    DBUS_SESSION_BUS_ADDRESS: 'unix:path=/nonexistent-qx-bus',
    ASAN_OPTIONS: [env.ASAN_OPTIONS, logPath, 'verify_asan_link_order=0'].filter(Boolean).join(':'),
    UBSAN_OPTIONS: [env.UBSAN_OPTIONS, logPath].filter(Boolean).join(':'),
    LD_PRELOAD: [process.env.QX_SYSLOG_SHIM, env.LD_PRELOAD].filter(Boolean).join(':'),
    QX_SYSLOG_CAPTURE_FILE: syslogFile,
  };
}

// Registers `program` for our extension with the install command users run.
function register(browser, program, env) {
  const args = ['--user', '--browser', browser.installName, browser.idOption, browser.extensionId];
  const run = spawnSync(installer, [...args, '--host', program], {env, encoding: 'utf8'});
  assert.equal(run.status, 0, run.stderr);
}

// The fields after the name: the state, then the parent's PID.
const state = (pid) =>
    fs.readFileSync(`/proc/${pid}/stat`, 'utf8').replace(/^.*\) /, '').split(' ');

function isRunning(pid) {
  try {
    return state(pid)[0] !== 'Z';
  } catch {
    return false;
  }
}

// The one host the browser runs for our extension: `program` (under its
// interpreter when a script), with this run's HOME, unlike other runs' hosts.
function theHost(program, caller) {
  const found = fs.readdirSync('/proc').filter((pid) => {
    try {
      const argv = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0');
      const environ = fs.readFileSync(`/proc/${pid}/environ`, 'utf8').split('\0');
      return argv.slice(0, 2).includes(program) && argv.includes(caller) &&
          environ.includes(`HOME=${home}`) && isRunning(pid);
    } catch {
      return false;  // gone meanwhile, or not ours to read
    }
  });
  assert.equal(found.length, 1, `hosts of ${program}: ${found}`);
  seenHosts.add(Number(found[0]));
  return Number(found[0]);
}

// Only a host that saw the end of its input and shut down in order writes
// this line, under its own PID.
async function endsByItself(pid, timeoutMs) {
  await poll(`host ${pid} to end`, timeoutMs, () => !isRunning(pid));
  const log = fs.existsSync(syslogFile) ? fs.readFileSync(syslogFile, 'utf8') : '';
  assert.ok(log.includes(`Quorvex Web Client[${pid}]: Removed instance of plugin`),
            `host ${pid} was ended, it did not end by itself`);
}

// The cases, in one browser given as: installName, idOption, extensionId (the
// install command's --browser, its option for an extension, our extension's
// ID); caller (how the browser names our extension to the host); launch({env,
// work}), send(op, arg) (runs a command of extension/background.js) and
// close() (ends the browser, or what is left of it once killed).
export function defineBrowserTests(browser) {
  const env = hostEnvironment();
  const realHost = () => theHost(host, browser.caller);

  before(async () => {
    assert.ok(path.isAbsolute(host) && fs.existsSync(host), `QX_BROWSER_HOST is no host: ${host}`);
    fs.mkdirSync(home);
    if (!preinstalled)
      register(browser, host, env);
    await browser.launch({env, work});
  });

  after(async () => {
    for (const pid of [...seenHosts].filter(isRunning))
      process.kill(pid, 'SIGKILL');
    await browser.close();
    const reports = fs.readdirSync(work).filter((name) => name.startsWith('sanitizer.')).map(
        (name) => fs.readFileSync(path.join(work, name), 'utf8'));
    fs.rmSync(work, {recursive: true, force: true});
    assert.deepEqual(reports, [], 'the host wrote sanitizer reports');
  });

  test('connecting starts the host, which greets and answers requests in order', async () => {
    const [record, response, ...more] = await browser.send('open');
    assert.match(record.timestamp, /^\d{4}\.\d\d\.\d\d \d\d\.\d\d\.\d\d\.000$/);
    assert.deepEqual(
        Object.entries({...record, timestamp: 0}),
        [['timestamp', 0], ['text', 'Initialize'], ['version', kVersion], ['type', 'Log'],
         ['code', 'DEBUG']]);
    assert.deepEqual(
        Object.entries(response),
        [['version', kVersion], ['type', 'Response'], ['code', 'Initialize'],
         ['support_dragdrop', false]]);
    assert.deepEqual(more, []);
    realHost();
    // A request reaches the host and its answers come back in order.
    const last = 'Invalid plug-in parameter: Timeout';
    const request =
        {version: kVersion, type: 'Request', code: 'SetParameter', name: 'Timeout', value: 5};
    const messages = await browser.send('exchange', {request, last});
    assert.deepEqual(
        messages.map((m) => [m.type, m.code, m.text]),
        [['Log', 'DEBUG', 'ExecuteRequest'], ['Log', 'DEBUG', 'SetParameter'],
         ['Log', 'ERROR', last]]);
  });

  test('closing the port ends the host by itself before the browser would kill it', async () => {
    const pid = realHost();
    await browser.send('disconnect');
    await endsByItself(pid, kGoneMs);
  });

  test('killing the browser ends a host whose port is open', async () => {
    await browser.send('open');
    const pid = realHost();
    // The browser process that started the host holds the other ends of its
    // pipes; killed, it cannot end the host, so the host must see its input end.
    process.kill(Number(state(pid)[1]), 'SIGKILL');
    await endsByItself(pid, kEndMs);
  });
}
