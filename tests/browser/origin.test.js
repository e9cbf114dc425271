// Another web site cannot drive the service through the administrator's
// browser: a form on a second local origin (a port served here) posts a
// change to the program with the administrator's login and is refused, while
// the page itself, under its security headers, still reads and saves. Run by
// tests/browser/run.
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { eventually, startDemo, stopDemo, launchBrowser } = require('./harness');

const WORK = process.env.BROWSER_WORK || path.join(os.tmpdir(), 'orvath-browser');
const DEMO_DIR = path.join(WORK, 'demo-origin');
const ROOT = path.join(DEMO_DIR, 'root');
const USER = 'tester';
const PASSWORD = `pw-${process.pid}-${Date.now()}`;

let demo = null;
let browser = null;
let page = null;
let other = null; // the second origin's server
let otherBase = '';

function dhcpdFiles() {
  const dir = path.join(ROOT, 'etc', 'dhcpd');
  const files = {};
  for (const name of fs.readdirSync(dir).sort()) files[name] = fs.readFileSync(path.join(dir, name), 'utf8');
  return files;
}

const escapeHtml = (text) => text.replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;');

// The other site's page: a form that posts, as soon as it loads, the
// attacker's DNS server and gateway to the program.
function attackPage(target) {
  const fields = {
    action: 'applydata',
    dataArray: JSON.stringify({ enable_check: true, leasetime: '60', domain: 'evil', pdns: '1.2.3.4', sdns: '', iftype: 'eth0' }),
    subnetData: JSON.stringify([{ activated: true, startip: '192.168.50.100', endip: '192.168.50.199', netmask: '255.255.255.0', gateway: '192.168.50.66' }]),
    staticData: '[]',
  };
  const inputs = Object.entries(fields)
    .map(([name, value]) => `<input type="hidden" name="${name}" value="${escapeHtml(value)}">`).join('\n');
  return `<!doctype html><html><body>
<form id="f" method="POST" action="${target}">
${inputs}
</form>
<script>document.getElementById('f').submit();</script>
</body></html>`;
}

before(async () => {
  demo = await startDemo({ dir: DEMO_DIR, mode: 'fixed', seed: '1', user: USER, password: PASSWORD, timeoutMs: 30000 });
  other = http.createServer((req, res) => {
    res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
    res.end(attackPage(`${demo.base}/cgi-bin/orvath`));
  });
  await new Promise((resolve) => other.listen(0, '127.0.0.1', resolve));
  otherBase = `http://127.0.0.1:${other.address().port}`;
  browser = await launchBrowser({ user: USER, password: PASSWORD, viewport: { width: 1280, height: 900 } });
  page = browser.page;
  page.setDefaultTimeout(15000);
});

after(async () => {
  if (browser) await browser.close();
  if (other) await new Promise((resolve) => other.close(resolve));
  if (demo) await stopDemo(demo.process, 15000);
});

test('a form posted from another origin is refused and changes nothing', async () => {
  const before = dhcpdFiles();
  assert.match(before['dhcpd-eth0-eth00.conf'], /dns-server,192\.168\.50\.1\n/);
  const answer = page.waitForResponse((r) => r.url() === `${demo.base}/cgi-bin/orvath`);
  await page.goto(otherBase);
  const response = await answer;
  assert.equal(response.status(), 200);
  const body = await response.json();
  assert.equal(body.success, false, JSON.stringify(body));
  assert.match(body.error, /^request: cross-origin request/);
  // The program saw the request with the login, and refused it.
  const log = fs.readFileSync(path.join(DEMO_DIR, 'orvath.log'), 'utf8');
  assert.match(log, /Request refused: cross-origin request \(Sec-Fetch-Site\) \[same-site\]/);
  assert.deepEqual(dhcpdFiles(), before);
});

test('the page itself loads under its security headers, reads and saves', async () => {
  const violations = [];
  page.on('console', (m) => { if (/Content Security Policy|Refused to/i.test(m.text())) violations.push(m.text()); });
  const response = await page.goto(`${demo.base}/`);
  const headers = response.headers();
  assert.equal(headers['x-frame-options'], 'DENY');
  assert.equal(headers['referrer-policy'], 'same-origin');
  assert.match(headers['content-security-policy'], /frame-ancestors 'none'/);
  assert.match(headers['content-security-policy'], /script-src 'self'/);
  await page.waitForSelector('body[data-ready="true"]');
  await page.waitForFunction(() => document.body.dataset.busy !== 'true');
  assert.equal(await page.inputValue('#leasetime'), '60');

  await page.fill('#leasetime', '90');
  const saved = page.waitForResponse((r) => r.url().endsWith('/cgi-bin/orvath')
    && (r.request().postData() || '').startsWith('action=applydata'));
  await page.click('#save');
  const answer = await (await saved).json();
  assert.equal(answer.success, true, JSON.stringify(answer));
  await eventually(() => assert.match(fs.readFileSync(path.join(ROOT, 'etc/dhcpd/dhcpd-eth0-eth00.conf'), 'utf8'),
    /,5400\n/));
  assert.deepEqual(violations, []);
});
