// What the browser tests and the screenshot script share: waiting, the demo
// server on a free port, and Debian's chromium with the login.
'use strict';

const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');

const TOP = path.resolve(__dirname, '..', '..');
const CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Retries an assertion until it holds or the time is up; the last failure
// is the caller's.
async function eventually(check, timeoutMs = 10000, stepMs = 100) {
  const end = Date.now() + timeoutMs;
  for (;;) {
    try {
      return await check();
    } catch (e) {
      if (Date.now() > end) throw e;
      await sleep(stepMs);
    }
  }
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// Starts scripts/demo on a free port in a fresh dir and waits until it
// serves. Returns { process, base, output() }.
async function startDemo({ dir, mode, seed, user, password, timeoutMs }) {
  const port = await freePort();
  fs.rmSync(dir, { recursive: true, force: true });
  let output = '';
  const demo = spawn(path.join(TOP, 'scripts', 'demo'), [], {
    env: {
      ...process.env,
      PORT: String(port),
      DEMO_USER: user,
      DEMO_PASSWORD: password,
      DEMO_DIR: dir,
      DEMO_MODE: mode,
      DEMO_SEED: seed,
      ORVATH_BUILD: process.env.ORVATH_BUILD || path.join(TOP, 'build', 'normal'),
    },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  demo.stdout.on('data', (d) => { output += d; });
  demo.stderr.on('data', (d) => { output += d; });
  const exited = new Promise((resolve) => demo.once('exit', (code) => resolve(code)));
  const end = Date.now() + timeoutMs;
  while (!fs.existsSync(path.join(dir, 'ready'))) {
    const code = await Promise.race([exited, sleep(100).then(() => undefined)]);
    if (code !== undefined) throw new Error(`the demo ended (${code}) before serving:\n${output}`);
    if (Date.now() > end) throw new Error(`the demo did not start in time:\n${output}`);
  }
  return { process: demo, base: `http://127.0.0.1:${port}`, output: () => output };
}

// Stops the demo (TERM, then KILL after graceMs) and waits for it.
async function stopDemo(demo, graceMs) {
  if (!demo || demo.exitCode !== null) return;
  const exited = new Promise((resolve) => demo.once('exit', resolve));
  demo.kill('SIGTERM');
  const timer = setTimeout(() => demo.kill('SIGKILL'), graceMs);
  await exited;
  clearTimeout(timer);
}

// Debian's chromium, headless, in a fresh profile, logged in. Returns
// { context, page, close() }.
async function launchBrowser({ user, password, viewport }) {
  const { chromium } = require('playwright-core');
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'orvath-chromium-'));
  const context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: CHROMIUM_FLAGS,
    httpCredentials: { username: user, password },
    viewport,
  });
  const page = context.pages()[0] || await context.newPage();
  const close = async () => {
    await context.close().catch(() => {});
    fs.rmSync(userDataDir, { recursive: true, force: true });
  };
  return { context, page, close };
}

module.exports = { TOP, sleep, eventually, freePort, startDemo, stopDemo, launchBrowser };
