// The native host as a browser runs it: the browser starts the host for a
// test extension's connectNative, and the checks run inside the extension, so
// every frame passes through the browser's own native messaging. Dialogs open
// on a private virtual display and are answered like a user would, with the
// keyboard. Each browser's test file gives defineBrowserTests how to start
// the browser and how to reach the extension.
//
// Environment:
//   QX_BROWSER_HOST      absolute path of the host (required)
//   QX_BROWSER_MANIFEST  user (default): registered for this run's user only;
//                        system: registered system-wide for this run (root);
//                        preinstalled: already registered system-wide, e.g. by
//                        the package, left alone
//   QX_BROWSER_INSTALL   the install command to register with (default: the
//                        repository's packaging/quorvex-webclient-install)
import assert from 'node:assert/strict';
import {spawn, spawnSync} from 'node:child_process';
import {once} from 'node:events';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const extensionDir = path.join(here, 'extension');
const kHostName = 'com.quorvex.webclient';
const kAlertTitle = 'Quorvex Web Client';
const kVersion = '8.2.0x431';
// Bounds on waiting for a process to end, and for a window or an extension to
// come up, far above what a loaded machine needs (a sanitizer build of the
// host on a loaded machine has taken over 10 s to show its first dialog).
const kEndMs = 10000;
export const kShowMs = 60000;
// Browsers kill a host still running some seconds after its port closed
// (Chromium after 2, Firefox after 3): a host must be gone before that.
const kGoneMs = 2000;

const host = process.env.QX_BROWSER_HOST ?? '';
const manifestMode = process.env.QX_BROWSER_MANIFEST ?? 'user';
const installer =
    process.env.QX_BROWSER_INSTALL ?? path.join(here, '../../packaging/quorvex-webclient-install');

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'qx-browser-'));
const home = path.join(work, 'home');
const sanitizerLogs = path.join(work, 'sanitizer');
// The host's system-log lines, caught by the test shim (QX_SYSLOG_SHIM) when given.
const syslogFile = path.join(work, 'syslog');
const syslogShim = process.env.QX_SYSLOG_SHIM ?? '';
fs.mkdirSync(sanitizerLogs);
const children = [];
// Takes a system-wide registration of this run away again.
let unregister = () => {};
// Every host seen running, followed by PID: a host may exec another program.
const seenHosts = new Set();

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export async function poll(what, timeoutMs, probe) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = probe();
    if (value)
      return value;
    if (Date.now() > deadline)
      throw new Error(`timed out waiting for ${what}`);
    await sleep(100);
  }
}

// Starts a helper that prints one line once it is ready and returns that line.
async function startDaemon(command, args, options, readyFd) {
  const stdio = ['ignore', 'pipe', 'inherit'];
  if (readyFd === 3)
    stdio[1] = 'ignore';
  stdio[readyFd] = 'pipe';
  const child = spawn(command, args, {...options, stdio});
  children.push(child);
  let text = '';
  const stream = child.stdio[readyFd];
  stream.setEncoding('utf8');
  const firstLine = new Promise((resolve, reject) => {
    stream.on('data', (chunk) => {
      text += chunk;
      if (text.includes('\n'))
        resolve(text.split('\n')[0].trim());
    });
    child.on(
        'exit', (code) => reject(new Error(`${command} exited (${code}) before it was ready`)));
    child.on('error', reject);
  });
  return firstLine;
}

function desktopEnvironment(display, busAddress) {
  const sanitizerLog = (name) => {
    const options = process.env[name];
    return `${options ? `${options}:` : ''}log_path=${path.join(sanitizerLogs, 'host')}`;
  };
  return {
    ...process.env,
    DISPLAY: display,
    DBUS_SESSION_BUS_ADDRESS: busAddress,
    HOME: home,
    XDG_CONFIG_HOME: path.join(home, '.config'),
    XDG_DATA_HOME: path.join(home, '.local', 'share'),
    XDG_CACHE_HOME: path.join(home, '.cache'),
    XDG_RUNTIME_DIR: path.join(work, 'runtime'),
    NO_AT_BRIDGE: '1',
    GSETTINGS_BACKEND: 'memory',
    GIO_USE_VFS: 'local',
    GIO_USE_VOLUME_MONITOR: 'unix',
    // The host inherits the browser's environment: a sanitizer report of the
    // host lands in a file the test looks at, not on a stream nobody reads.
    // The preloaded shim comes before the sanitizer runtime.
    ASAN_OPTIONS: `${sanitizerLog('ASAN_OPTIONS')}:verify_asan_link_order=0`,
    UBSAN_OPTIONS: sanitizerLog('UBSAN_OPTIONS'),
    ...(syslogShim && {
      LD_PRELOAD: [syslogShim, process.env.LD_PRELOAD].filter(Boolean).join(':'),
      QX_SYSLOG_CAPTURE_FILE: syslogFile,
    }),
  };
}

// Whether process `pid` wrote `text` to the system log.
function logged(pid, text) {
  const lines = fs.existsSync(syslogFile) ? fs.readFileSync(syslogFile, 'utf8').split('\n') : [];
  return lines.some((line) => line.startsWith(`Quorvex Web Client[${pid}]: ${text}`));
}

// Runs a helper to its end; one that hangs (xdotool's --sync waits as long as
// the window takes) is killed and fails, so the run cannot hang on it.
function run(command, args, env) {
  const result = spawnSync(command, args, {env, encoding: 'utf8', timeout: kEndMs});
  if (result.status !== 0)
    throw new Error(
        `${command} ${args.join(' ')} failed (${result.error ?? result.status}): ${result.stderr}`);
  return result.stdout;
}

// Makes the host known to the browser under its name, for our extension
// only, with the install command users run.
function register(browser, env) {
  if (manifestMode === 'preinstalled')
    return;
  if (manifestMode !== 'user' && manifestMode !== 'system')
    throw new Error(
        `QX_BROWSER_MANIFEST must be user, system or preinstalled, not ${manifestMode}`);
  const scope = manifestMode === 'user' ? ['--user'] : ['--system', '--root', '/'];
  const manifestDir = manifestMode === 'user' ? path.join(home, browser.userManifestDir) :
                                                browser.systemManifestDir;
  const manifestPath = path.join(manifestDir, `${kHostName}.json`);
  if (manifestMode === 'system')
    assert.ok(!fs.existsSync(manifestPath), `${manifestPath} exists already; use preinstalled`);
  const registration = [...scope, '--browser', browser.installName];
  run(installer, [...registration, browser.idOption, browser.extensionId, '--host', host], env);
  if (manifestMode === 'system')
    unregister = () => run(installer, ['--uninstall', ...registration], env);
  const written = JSON.parse(fs.readFileSync(manifestPath, 'utf8'));
  assert.equal(written.path, host);
  assert.deepEqual(written[browser.allowedKey], [browser.caller]);
}

function state(pid) {
  return fs.readFileSync(`/proc/${pid}/stat`, 'utf8').replace(/^.*\) /, '').split(' ');
}

// The hosts this run's browser started for our extension: the browser names
// the extension among the host's arguments (a script host runs under its
// interpreter), and the host has the run's HOME, unlike those of other runs.
function hostProcesses(caller) {
  const found = [];
  for (const pid of fs.readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    let argv;
    let environment;
    let status;
    try {
      argv = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0');
      environment = fs.readFileSync(`/proc/${pid}/environ`, 'utf8').split('\0');
      [status] = state(pid);
    } catch {
      continue;  // gone meanwhile, or not ours to read
    }
    const at = argv.indexOf(host);
    if ((at === 0 || at === 1) && argv.slice(at + 1).includes(caller) &&
        environment.includes(`HOME=${home}`) && status !== 'Z')
      found.push(Number(pid));
  }
  for (const pid of found)
    seenHosts.add(pid);
  return found;
}

function isRunning(pid) {
  try {
    return state(pid)[0] !== 'Z';
  } catch {
    return false;
  }
}

const request = (code, members = {}) => ({version: kVersion, type: 'Request', code, ...members});
const logTexts = (messages) => messages.filter((m) => m.type === 'Log').map((m) => m.text);
const nonLog = (messages) => messages.filter((m) => m.type !== 'Log');

// Answers the alert like a user: waits for it, then presses Return on it.
async function confirmAlert(env) {
  const window = await poll(`a window titled "${kAlertTitle}"`, kShowMs, () => {
    const result = spawnSync('xdotool', ['search', '--onlyvisible', '--name', `^${kAlertTitle}$`], {
      env,
      encoding: 'utf8',
      timeout: kEndMs,
    });
    return result.status === 0 ? result.stdout.split('\n')[0] : null;
  });
  run('xdotool', ['windowfocus', '--sync', window], env);
  run('xdotool', ['key', '--clearmodifiers', '--window', window, 'Return'], env);
}

// The cases, run in one browser given as:
//   installName, idOption, extensionId  the install command's --browser name,
//                        its option for an extension and our extension's ID
//   userManifestDir      where it reads a user's manifests, under HOME
//   systemManifestDir    where it reads the machine's manifests
//   allowedKey, caller   the manifest's member listing the allowed
//                        extensions, and how it names ours there and to the host
//   launch({env, home, work})  starts it with our extension
//   send(op, arg)        runs a command of extension/background.js there
//   close()              ends it, or what is left of it once killed
export function defineBrowserTests(browser) {
  let env = null;
  const queued = path.join(work, 'Queued');
  const hosts = () => hostProcesses(browser.caller);
  const exchange = (message) => browser.send('exchange', message);

  before(async () => {
    assert.ok(
        path.isAbsolute(host) && fs.existsSync(host), `QX_BROWSER_HOST is no host: "${host}"`);
    for (const folder of ['.config', '.local/share', '.cache'])
      fs.mkdirSync(path.join(home, folder), {recursive: true});
    fs.mkdirSync(path.join(work, 'runtime'), {mode: 0o700});
    fs.mkdirSync(path.join(queued, 'later'), {recursive: true});
    fs.writeFileSync(path.join(queued, 'a.txt'), 'alpha');
    fs.writeFileSync(path.join(queued, 'B.txt'), 'bravo!');
    fs.writeFileSync(path.join(queued, 'later', 'c.txt'), 'charlie');

    const displayNumber = await startDaemon(
        'Xvfb',
        ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
        {},
        3,
    );
    const display = `:${displayNumber}`;
    const busAddress = await startDaemon(
        'dbus-daemon',
        ['--session', '--nofork', '--print-address=1'],
        {env: {...process.env, HOME: home, XDG_RUNTIME_DIR: path.join(work, 'runtime')}},
        1,
    );
    env = desktopEnvironment(display, busAddress);
    // The host decides at start whether it can show dialogs.
    await poll(
        'the display', 10000,
        () => spawnSync('xdotool', ['getdisplaygeometry'], {env, timeout: kEndMs}).status === 0);
    register(browser, env);
    await browser.launch({env, home, work});
  });

  after(async () => {
    // A host still running here has outlived its port and would hold up the
    // browser's shutdown: it is a failure, and it is ended so the run does not hang.
    const outlived = [...hosts(), ...seenHosts].filter(
        (pid, i, all) => all.indexOf(pid) === i && isRunning(pid));
    for (const pid of outlived)
      process.kill(pid, 'SIGKILL');
    try {
      await browser.close();
    } finally {
      // Even a failed close ends the display and bus, so the run ends.
      for (const child of children)
        if (child.exitCode === null)
          child.kill();
      await Promise.all(
          children.map((child) => (child.exitCode === null ? once(child, 'exit') : null)));
      unregister();
    }
    const reports = fs.readdirSync(sanitizerLogs);
    const texts = reports.map((name) => fs.readFileSync(path.join(sanitizerLogs, name), 'utf8'));
    fs.rmSync(work, {recursive: true, force: true});
    assert.deepEqual(texts, [], 'the host wrote sanitizer reports');
    assert.deepEqual(outlived, [], 'hosts outlived their ports');
  });

  test('the extension is the one the host is registered for', async () => {
    assert.equal(await browser.send('id'), browser.extensionId);
  });

  test(
      'connecting starts the host, which greets with its log record and the Initialize response',
      async () => {
        const messages = await browser.send('open');
        assert.equal(messages.length, 2, JSON.stringify(messages));
        const [record, response] = messages;
        assert.deepEqual(Object.keys(record), ['timestamp', 'text', 'version', 'type', 'code']);
        assert.match(record.timestamp, /^\d{4}\.\d\d\.\d\d \d\d\.\d\d\.\d\d\.000$/);
        assert.deepEqual(
            {...record, timestamp: null},
            {timestamp: null, text: 'Initialize', version: kVersion, type: 'Log', code: 'DEBUG'});
        assert.deepEqual(Object.entries(response), [
          ['version', kVersion],
          ['type', 'Response'],
          ['code', 'Initialize'],
          ['support_dragdrop', false],
        ]);
        assert.equal(hosts().length, 1, 'one host for the one port');
      });

  test('a parameter is set, refused when invalid, and unknown names are reported', async () => {
    const set = (name, value) => exchange(request('SetParameter', {name, value}));
    assert.deepEqual(logTexts(await set('FileTransferLimit', 0)), [
      'ExecuteRequest',
      'SetParameter',
      'Invalid upload limit specified: 0',
    ]);
    assert.deepEqual(
        logTexts(await set('Timeout', 5)),
        ['ExecuteRequest', 'SetParameter', 'Invalid plug-in parameter: Timeout']);
    const accepted = await set('filetransferlimit', 2);
    assert.deepEqual(logTexts(accepted), ['ExecuteRequest', 'SetParameter']);
    assert.deepEqual(nonLog(accepted), []);
  });

  const entry = (name, size) =>
      ({file_path: path.join(queued, name), relative_path: 'Queued', size});

  test(
      'a confirmed queue is admitted up to the limit, then the limit error, then a delete',
      async () => {
        await browser.send(
            'post', request('QueueFilesForUpload', {files_ul: [{file_path: queued}]}));
        await confirmAlert(env);
        const messages = await browser.send('until', 'Error');
        // The limit of 2 set before admits the first two files in the list's order.
        assert.deepEqual(
            logTexts(messages),
            ['ExecuteRequest', 'QueueFilesForUpload', 'AddFiles', 'HandleNotification']);
        assert.deepEqual(nonLog(messages), [
          {
            version: kVersion,
            type: 'Notification',
            code: 'FilesAddedToUploadList',
            files_ul: [entry('a.txt', 5), entry('B.txt', 6)],
          },
          {
            version: kVersion,
            type: 'Notification',
            code: 'Error',
            text: 'Not allowed to queue more than 2 files for sending'
          },
        ]);

        const removed = {file_path: path.join(queued, 'A.TXT'), relative_path: 'queued', size: 2.5};
        const deleted = await exchange(request('DeleteFilesFromUploadList', {files_ul: [removed]}));
        assert.deepEqual(nonLog(deleted), [
          {
            version: kVersion,
            type: 'Notification',
            code: 'FilesDeletedFromUploadList',
            files_ul: [removed]
          },
        ]);
      });

  test(
      'a 500 KB request arrives whole: its last entry, the one in the upload list, goes',
      async () => {
        const absent = (i) =>
            ({file_path: `/absent/${'0'.repeat(100)}${i}`, relative_path: 'x', size: 1});
        const files = Array.from({length: 3300}, (_, i) => absent(i));
        const messages = await exchange(
            request('DeleteFilesFromUploadList', {files_ul: [...files, entry('B.txt', 0.5)]}));
        assert.deepEqual(
            logTexts(messages), ['ExecuteRequest', 'DeleteFilesFromUploadList', 'DeleteFiles']);
        assert.deepEqual(nonLog(messages), [
          {
            version: kVersion,
            type: 'Notification',
            code: 'FilesDeletedFromUploadList',
            files_ul: [entry('B.txt', 0.5)]
          },
        ]);
      });

  test('a message that is no request is refused with a debug record and nothing else', async () => {
    const messages = await exchange({type: 'Notification', code: 'Reset'});
    assert.deepEqual(
        messages.map((m) => [m.type, m.code, m.text]),
        [
          ['Log', 'DEBUG', 'ExecuteRequest'],
          ['Log', 'DEBUG', 'Invalid request'],
        ],
    );
  });

  test('closing the port ends the host by itself within 2 s', async () => {
    assert.ok(syslogShim, 'QX_SYSLOG_SHIM names no system-log shim');
    const [pid] = hosts();
    assert.ok(pid, 'no host running for the port');
    await browser.send('disconnect');
    await poll(`host ${pid} to end`, kGoneMs, () => !isRunning(pid));
    // Only a host that saw the end of its input and shut down in order writes this line.
    assert.ok(logged(pid, 'Removed instance of plugin'), `host ${pid} did not end by itself`);
  });

  test('killing the browser ends a host whose port is open', async () => {
    await browser.send('open');
    const [pid] = hosts();
    assert.ok(pid, 'no host running for the new port');
    // The browser process that started the host holds the other ends of its
    // pipes; killed, it cannot end the host, so the host must see its input end.
    process.kill(Number(state(pid)[1]), 'SIGKILL');
    await poll(`host ${pid} to end with the browser`, kEndMs, () => !isRunning(pid));
    assert.ok(logged(pid, 'Removed instance of plugin'), `host ${pid} did not end by itself`);
  });
}
