// The browser end of the native host's channel for the browser test: once
// loaded, it connects, sends one request when greeted, posts every message
// that came up to the answer's last record to the test's loopback server,
// named in channel.json, and closes the port once the server has answered.
const kLast = 'Invalid plug-in parameter: Timeout';

let port = null;

function exchange() {
  return new Promise((resolve, reject) => {
    const received = [];
    port = chrome.runtime.connectNative('com.quorvex.webclient');
    port.onMessage.addListener((message) => {
      received.push(message);
      if (message.type === 'Response' && message.code === 'Initialize')
        port.postMessage(
            {version: '8.2.0x431', type: 'Request', code: 'SetParameter', name: 'Timeout', value: 5});
      if (message.text === kLast)
        resolve(received);
    });
    // Chromium gives the reason in lastError, Firefox on the port.
    port.onDisconnect.addListener((p) => {
      const why = chrome.runtime.lastError?.message ?? p.error?.message ?? 'disconnected';
      reject(new Error(`${why}; received: ${JSON.stringify(received)}`));
    });
  });
}

fetch('channel.json').then((response) => response.json()).then(async ({url}) => {
  const outcome = await exchange().then((messages) => ({messages}), (e) => ({error: e.message}));
  await fetch(url, {method: 'POST', body: JSON.stringify(outcome)});
  port.disconnect();
});
