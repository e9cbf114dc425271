// Takes the README's picture of the page from a running demo:
//   NODE_PATH=build/normal/browser/node_modules \
//     node tests/browser/screenshot.js http://127.0.0.1:8080/#if=eth0 admin PASSWORD docs/screenshot.png
'use strict';

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

async function main() {
  const [url, user, password, out] = process.argv.slice(2);
  if (!out) {
    console.error('usage: screenshot.js URL USER PASSWORD OUT.png');
    process.exit(2);
  }
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'orvath-chromium-'));
  const context = await chromium.launchPersistentContext(dir, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    httpCredentials: { username: user, password },
    viewport: { width: 1100, height: 800 },
  });
  try {
    const page = context.pages()[0] || await context.newPage();
    await page.goto(url);
    await page.waitForSelector('body[data-ready="true"]');
    await page.waitForLoadState('networkidle');
    await page.screenshot({ path: out, fullPage: true });
  } finally {
    await context.close();
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
