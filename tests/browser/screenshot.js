// Takes the README's picture of the page from a running demo:
//   NODE_PATH=build/normal/browser/node_modules \
//     node tests/browser/screenshot.js http://127.0.0.1:8080/#if=eth0 admin PASSWORD docs/screenshot.png
'use strict';

const { launchBrowser } = require('./harness');

async function main() {
  const [url, user, password, out] = process.argv.slice(2);
  if (!out) {
    console.error('usage: screenshot.js URL USER PASSWORD OUT.png');
    process.exit(2);
  }
  const browser = await launchBrowser({ user, password, viewport: { width: 1280, height: 800 } });
  try {
    const { page } = browser;
    await page.goto(url);
    await page.waitForSelector('body[data-ready="true"]');
    await page.waitForLoadState('networkidle');
    await page.screenshot({ path: out, fullPage: true });
  } finally {
    await browser.close();
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
