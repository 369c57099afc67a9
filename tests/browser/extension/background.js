// The browser end of the native host's channel: the test runs the commands of
// `qx` below, so every message is posted and read by the real extension APIs.
// Chromium's test calls `qx` in this worker through the debugging protocol;
// Firefox lets no automation reach an add-on, so there the commands come from
// the test's loopback server, named in channel.json.
// The port that the last "open" connected, what came on it and why it closed.
let port, received, closed;

function connect() {
  port = chrome.runtime.connectNative('com.quorvex.webclient');
  received = [];
  closed = null;
  port.onMessage.addListener((message) => received.push(message));
  // Chromium gives the reason in lastError, Firefox on the port.
  port.onDisconnect.addListener((p) => {
    closed = chrome.runtime.lastError?.message ?? p.error?.message ?? 'disconnected';
  });
}

// The messages not taken yet, up to and including the first that `done`
// accepts. Fails with what did arrive when the port closes or time runs out.
async function until(done) {
  for (const deadline = Date.now() + 20000;;) {
    const at = received.findIndex(done);
    if (at >= 0)
      return received.splice(0, at + 1);
    if (closed !== null || Date.now() > deadline)
      throw new Error(`${closed ?? 'timed out'}; unread messages: ${JSON.stringify(received)}`);
    await new Promise((resolve) => setTimeout(resolve, 10));
  }
}

const commands = {
  open: () => {
    connect();
    return until((m) => m.code === 'Initialize');
  },
  // Sends the request and returns what came back, up to the record `last`.
  exchange: ({request, last}) => {
    port.postMessage(request);
    return until((m) => m.type === 'Log' && m.text === last);
  },
  disconnect: () => port.disconnect(),
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
