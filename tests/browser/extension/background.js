// The browser end of the native host's channel. The test runs the commands
// of `qx` below, so every message is posted and read by the real extension
// APIs: Chromium's test calls `qx` in this worker through the browser's
// debugging protocol; Firefox lets no automation reach an add-on, so there the
// commands come from the test's loopback server, named in channel.json.
const kHostName = 'com.quorvex.webclient';
// A request no operation answers: its entry record marks that everything
// the request before it produced has arrived, since requests run in order.
const kSentinel = {
  type: 'Request',
  code: 'qx-sentinel'
};

const isLog = (message, text) => message.type === 'Log' && message.text === text;

class NativeChannel {
  constructor() {
    this.received = [];
    this.read = 0;
    this.disconnectError = null;
    this.wakers = [];
    this.port = chrome.runtime.connectNative(kHostName);
    this.port.onMessage.addListener((message) => {
      this.received.push(message);
      this.wake();
    });
    // Chromium gives the reason in lastError, Firefox on the port.
    this.port.onDisconnect.addListener((port) => {
      this.disconnectError =
          chrome.runtime.lastError?.message ?? port.error?.message ?? 'disconnected';
      this.wake();
    });
  }

  wake() {
    for (const waker of this.wakers.splice(0))
      waker();
  }

  post(message) { this.port.postMessage(message); }

  // The unread messages up to and including the first that `done` accepts;
  // each message is offered to `done` once. Fails with what did arrive when
  // the channel closes or time runs out.
  async until(done, timeoutMs = 20000) {
    const deadline = Date.now() + timeoutMs;
    for (let next = this.read;;) {
      for (; next < this.received.length; ++next) {
        if (done(this.received[next])) {
          const taken = this.received.slice(this.read, next + 1);
          this.read = next + 1;
          return taken;
        }
      }
      const left = deadline - Date.now();
      if (this.disconnectError !== null || left <= 0) {
        const why = this.disconnectError !== null ? `channel closed (${this.disconnectError})` :
                                                    'timed out';
        throw new Error(
            `${why}; unread messages: ${JSON.stringify(this.received.slice(this.read))}`);
      }
      await new Promise((resolve) => {
        const timer = setTimeout(resolve, left);
        this.wakers.push(() => {
          clearTimeout(timer);
          resolve();
        });
      });
    }
  }

  // Sends `request` and returns everything it produced.
  async exchange(request) {
    this.post(request);
    this.post(kSentinel);
    let entries = 0;
    const messages = await this.until((m) => isLog(m, 'ExecuteRequest') && ++entries === 2);
    return messages.slice(0, -1);
  }

  disconnect() { this.port.disconnect(); }
}

let channel = null;
const commands = {
  id: () => chrome.runtime.id,
  open: () => {
    channel = new NativeChannel();
    return channel.until((m) => m.code === 'Initialize');
  },
  post: (message) => channel.post(message),
  exchange: (message) => channel.exchange(message),
  until: (code) => channel.until((m) => m.code === code),
  disconnect: () => channel.disconnect(),
};
globalThis.qx = async (op, arg) => commands[op](arg);

// Each call carries the outcome of the last command and is answered with the next.
async function serve(url) {
  for (let outcome = {};;) {
    const response = await fetch(url, {method: 'POST', body: JSON.stringify(outcome)});
    const {op, arg} = await response.json();
    outcome = await qx(op, arg).then((value) => ({value}), (error) => ({error: error.message}));
  }
}

fetch('channel.json').then((response) => response.json()).then(({url}) => serve(url), () => {});
