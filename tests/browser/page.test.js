// Browser tests of the administration page: Debian's chromium, driven by
// playwright-core, against the demo server (lighttpd + the built orvath
// program over a fresh sandbox root) on a free port. Run by tests/browser/run.
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { pathToFileURL } = require('node:url');
const { TOP, eventually, startDemo, stopDemo, launchBrowser } = require('./harness');

const WORK = process.env.BROWSER_WORK || path.join(os.tmpdir(), 'orvath-browser');
const DEMO_DIR = path.join(WORK, 'demo');
const ROOT = path.join(DEMO_DIR, 'root');
const SHOTS = path.join(WORK, 'screenshots');
const USER = 'tester';
const PASSWORD = `pw-${process.pid}-${Date.now()}`;

let demo = null;
let base = '';
let browser = null;
let page = null;
const unloadDialogs = [];

// --- helpers -------------------------------------------------------------------

const sandboxFile = (rel) => path.join(ROOT, rel);
const readSandbox = (rel) => {
  try { return fs.readFileSync(sandboxFile(rel), 'utf8'); } catch (e) { return null; }
};

// Every file under the sandbox's etc/dhcpd, for before/after comparisons.
function dhcpdFiles() {
  const dir = sandboxFile('etc/dhcpd');
  const files = {};
  for (const name of fs.readdirSync(dir).sort()) files[name] = fs.readFileSync(path.join(dir, name), 'utf8');
  return files;
}

async function shot(name) {
  fs.mkdirSync(SHOTS, { recursive: true });
  await page.screenshot({ path: path.join(SHOTS, `${name}.png`), fullPage: true });
}

// A fresh load of the page (a new hash alone would not load it again).
async function openPage(hash = '') {
  await page.goto('about:blank');
  await page.goto(`${base}/${hash}`);
  await page.waitForSelector('body[data-ready="true"]');
  await settled();
}

// Waits until the page has no answer outstanding.
async function settled() {
  await page.waitForFunction(() => document.body.dataset.busy !== 'true');
}

async function chooseInterface(id) {
  await page.selectOption('#iface', id);
  await eventually(async () => assert.equal(await page.evaluate(() => location.hash), `#if=${id}`));
  await settled();
}

const value = (selector) => page.inputValue(selector);
const text = async (selector) => ((await page.textContent(selector)) || '').trim();

// Fills the subnet row i (0-based, as the table shows it).
async function fillSubnet(i, row) {
  for (const key of ['startip', 'endip', 'netmask', 'gateway']) {
    await page.fill(`#subnet-${i}-${key}`, row[key]);
  }
}

async function saveAndWait() {
  const answer = page.waitForResponse((r) => r.url().endsWith('/cgi-bin/orvath')
    && (r.request().postData() || '').startsWith('action=applydata'));
  await page.click('#save');
  const body = await (await answer).json();
  await settled();
  return body;
}

// Posts one action straight to the program, as the page does.
async function action(name, params = {}) {
  const response = await fetch(`${base}/cgi-bin/orvath`, {
    method: 'POST',
    headers: {
      Authorization: `Basic ${Buffer.from(`${USER}:${PASSWORD}`).toString('base64')}`,
      'Content-Type': 'application/x-www-form-urlencoded',
    },
    body: new URLSearchParams({ action: name, ...params }),
  });
  assert.equal(response.status, 200);
  return response.json();
}

// --- the server and the browser -----------------------------------------------

before(async () => {
  demo = await startDemo({
    dir: DEMO_DIR,
    mode: process.env.BROWSER_DEMO_MODE || 'fixed',
    seed: '0',
    user: USER,
    password: PASSWORD,
    timeoutMs: 30000,
  });
  base = demo.base;
  browser = await launchBrowser({ user: USER, password: PASSWORD, viewport: { width: 1280, height: 900 } });
  page = browser.page;
  page.setDefaultTimeout(15000);
  // Leaving the page with edits not saved asks first: the tests leave.
  page.on('dialog', (d) => {
    if (d.type() !== 'beforeunload') return;
    unloadDialogs.push(d.message());
    d.accept();
  });
});

after(async () => {
  if (browser) await browser.close();
  if (demo) await stopDemo(demo.process, 15000);
});

// --- the tests -------------------------------------------------------------------

test('without credentials neither the page nor the program is served', async () => {
  const pageAnswer = await fetch(`${base}/`);
  assert.equal(pageAnswer.status, 401);
  const before = fs.readdirSync(sandboxFile('etc/dhcpd')).sort();
  const cgiAnswer = await fetch(`${base}/cgi-bin/orvath`, {
    method: 'POST',
    headers: { 'Content-Type': 'application/x-www-form-urlencoded' },
    body: 'action=applydata&dataArray=%7B%22iftype%22%3A%22eth0%22%7D&subnetData=%5B%5D&staticData=%5B%5D',
  });
  assert.equal(cgiAnswer.status, 401);
  const wrong = await fetch(`${base}/`, {
    headers: { Authorization: `Basic ${Buffer.from(`${USER}:wrong`).toString('base64')}` },
  });
  assert.equal(wrong.status, 401);
  assert.deepEqual(fs.readdirSync(sandboxFile('etc/dhcpd')).sort(), before);
});

test('logged in, the page lists the interfaces by their display names', async () => {
  const missing = [];
  const listener = (r) => { if (r.status() >= 400) missing.push(`${r.status()} ${r.url()}`); };
  page.on('response', listener);
  await openPage();
  page.off('response', listener);
  // Nothing the page asks for is refused (the icon included).
  assert.deepEqual(missing, []);
  assert.equal(await text('#global-title'), 'Settings of this interface');
  assert.equal(await text('#iface-addrs'), 'Address 192.168.50.1/24');
  // Nothing is served yet: no subnet, so the service is off.
  assert.equal(await page.isChecked('#enable'), false);
  assert.equal(await text('#service-status'), 'DHCP service: stopped: no interface is served');
  const options = await page.$$eval('#iface option', (os) => os.map((o) => [o.value, o.textContent]));
  assert.deepEqual(options.slice(0, 3), [['eth0', 'LAN 1 (eth0)'], ['eth1', 'LAN 2 (eth1)'], ['eth2', 'LAN 3 (eth2)']]);
  assert.ok(options.some(([v]) => v === 'bond0'));
  assert.equal(await text('#pxe-status'), 'PXE network boot: off');
  await shot('01-start');
});

test('two subnets and a reservation are saved, written as fragments and shown after a reload', async () => {
  await openPage();
  await chooseInterface('eth1');
  await page.check('#enable');
  await page.fill('#leasetime', '120');
  await page.fill('#domain', 'test.lan');
  await page.fill('#pdns', '192.168.60.1');
  await page.fill('#sdns', '');
  await page.click('#add-subnet');
  await fillSubnet(0, { startip: '192.168.60.100', endip: '192.168.60.150', netmask: '255.255.255.0', gateway: '192.168.60.1' });
  await page.click('#add-subnet');
  await fillSubnet(1, { startip: '192.168.61.100', endip: '192.168.61.150', netmask: '255.255.255.0', gateway: '192.168.61.1' });
  await page.click('#add-reservation');
  // Typed with "-", taken with ":".
  await page.fill('#reservation-0-mac', '02-00-00-00-60-09');
  await page.fill('#reservation-0-ip', '192.168.60.20');
  await page.fill('#reservation-0-hostname', 'backup');
  await shot('02-edited');

  const answer = await saveAndWait();
  assert.equal(answer.success, true, JSON.stringify(answer));
  assert.equal(answer.isSameApSubnet, false);
  assert.equal(answer.serviceRestarted, true);
  // The warning below is counted in the outcome, dated in words.
  assert.match(await text('#save-message'),
    /^Saved as revision 2 with 1 warning; service restarted \((Mon|Tue|Wed|Thu|Fri|Sat|Sun)\w*,? (\d+ \w+|\w+ \d+)/);
  assert.equal(await value('#reservation-0-mac'), '02:00:00:00:60:09');
  // A range outside the interface's network is saved, with a warning.
  assert.match(await text('#subnet-1-startip-error'), /^Warning: outside every network of this interface \(192\.168\.60\.1\/24\)/);
  assert.equal(await page.getAttribute('#subnet-1-startip', 'aria-invalid'), null);

  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-eth10.conf'),
    'interface=eth1\n'
    + 'dhcp-range=set:eth10,192.168.60.100,192.168.60.150,255.255.255.0,7200\n'
    + 'dhcp-option=tag:eth10,option:router,192.168.60.1\n'
    + 'dhcp-option=tag:eth10,option:domain-search,test.lan\n'
    + 'dhcp-option=tag:eth10,option:domain-name,test.lan\n'
    + 'dhcp-option=tag:eth10,option:dns-server,192.168.60.1\n');
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-eth11.conf'),
    'interface=eth1\n'
    + 'dhcp-range=set:eth11,192.168.61.100,192.168.61.150,255.255.255.0,7200\n'
    + 'dhcp-option=tag:eth11,option:router,192.168.61.1\n'
    + 'dhcp-option=tag:eth11,option:domain-search,test.lan\n'
    + 'dhcp-option=tag:eth11,option:domain-name,test.lan\n'
    + 'dhcp-option=tag:eth11,option:dns-server,192.168.60.1\n');
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-eth10.info'), 'enable="yes"\n');
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-eth11.info'), 'enable="yes"\n');
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-eth12.conf'), null);
  assert.match(readSandbox('etc/dhcpd/dhcpdStatic.ori'), /02:00:00:00:60:09/);
  assert.match(readSandbox('etc/dhcpd/dhcpd-static-static.conf'), /02:00:00:00:60:09.*192\.168\.60\.20/);
  // The service was restarted through the start-up script, which took the
  // fragments.
  assert.match(readSandbox('var/log/rc.network.log') || '', /nat-restart-dhcp: \d+ fragments/);

  await page.reload();
  await page.waitForSelector('body[data-ready="true"]');
  await settled();
  assert.equal(await page.inputValue('#iface'), 'eth1');
  assert.equal(await value('#leasetime'), '120');
  assert.equal(await value('#domain'), 'test.lan');
  assert.equal(await value('#pdns'), '192.168.60.1');
  assert.equal(await page.isChecked('#enable'), true);
  assert.equal(await value('#subnet-0-startip'), '192.168.60.100');
  assert.equal(await value('#subnet-0-endip'), '192.168.60.150');
  assert.equal(await value('#subnet-1-startip'), '192.168.61.100');
  assert.equal(await value('#subnet-1-gateway'), '192.168.61.1');
  assert.equal(await page.isChecked('#subnet-1-activated'), true);
  assert.equal(await value('#reservation-0-mac'), '02:00:00:00:60:09');
  assert.equal(await value('#reservation-0-ip'), '192.168.60.20');
  assert.equal(await value('#reservation-0-hostname'), 'backup');
  await shot('03-saved');
});

test('rows are reordered and switched off by keyboard, and the files follow', async () => {
  await openPage('#if=eth1');
  // Tab from the second row's gateway to its "up" button, then Enter.
  await page.focus('#subnet-1-gateway');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.getAttribute('aria-label')), 'Move subnet 2 up');
  await page.keyboard.press('Enter');
  assert.equal(await value('#subnet-0-startip'), '192.168.61.100');
  // The keyboard stays on the moved row.
  assert.equal(await page.evaluate(() => document.activeElement.closest('tr').dataset.index), '0');
  await page.focus('#subnet-1-activated');
  await page.keyboard.press('Space');
  assert.equal(await page.isChecked('#subnet-1-activated'), false);

  const answer = await saveAndWait();
  assert.equal(answer.success, true, JSON.stringify(answer));
  assert.match(readSandbox('etc/dhcpd/dhcpd-eth1-eth10.conf'), /set:eth10,192\.168\.61\.100,/);
  assert.match(readSandbox('etc/dhcpd/dhcpd-eth1-eth11.conf'), /set:eth11,192\.168\.60\.100,/);
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-eth10.info'), 'enable="yes"\n');
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-eth11.info'), 'enable="no"\n');

  await page.reload();
  await page.waitForSelector('body[data-ready="true"]');
  await settled();
  assert.equal(await value('#subnet-0-startip'), '192.168.61.100');
  assert.equal(await page.isChecked('#subnet-1-activated'), false);
});

test('every invalid value is shown at once at its field, in the words of the screen, and nothing is sent', async () => {
  await openPage('#if=eth1');
  const before = dhcpdFiles();
  const sent = [];
  const listener = (r) => { if ((r.postData() || '').startsWith('action=applydata')) sent.push(r); };
  page.on('request', listener);
  await page.fill('#leasetime', 'abc');
  await page.fill('#subnet-1-startip', '192.168.60.300');
  await page.fill('#reservation-0-hostname', 'backup,infinite');
  await page.click('#add-subnet');
  await fillSubnet(2, { startip: '192.168.61.140', endip: '192.168.61.160', netmask: '255.255.255.0', gateway: '192.168.61.1' });
  await page.click('#save');
  await settled();
  page.off('request', listener);
  assert.equal(sent.length, 0, 'a request was sent with invalid values');
  const marked = await page.$$eval('[aria-invalid="true"]', (els) => els.map((el) => el.id));
  assert.deepEqual(marked, ['leasetime', 'subnet-1-startip', 'subnet-2-startip', 'reservation-0-hostname']);
  assert.equal(await text('#leasetime-error'), 'not a whole number of minutes');
  assert.equal(await text('#subnet-1-startip-error'), 'not an IPv4 address');
  assert.equal(await text('#subnet-2-startip-error'), 'overlaps subnet 1');
  assert.equal(await text('#message'), 'Not saved: 4 problems:\n'
    + 'Lease time: not a whole number of minutes\n'
    + 'Subnet 2, start address: not an IPv4 address\n'
    + 'Subnet 3, start address: overlaps subnet 1\n'
    + 'Reservation 1, host name: not a host name');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'leasetime');
  // The edits stay on the page for correcting, and nothing changed on disk.
  assert.equal(await value('#subnet-1-startip'), '192.168.60.300');
  assert.deepEqual(dhcpdFiles(), before);
  await shot('04-invalid');

  // Correcting a field takes its error away.
  await page.fill('#subnet-1-startip', '192.168.60.100');
  assert.equal(await text('#subnet-1-startip-error'), '');
  assert.equal(await page.getAttribute('#subnet-1-startip', 'aria-invalid'), null);

  // A reservation at a subnet's gateway is allowed, with a warning.
  await page.fill('#reservation-0-ip', '192.168.60.1');
  assert.match(await text('#reservation-0-ip-error'), /^Warning: the gateway of its subnet/);
  await page.fill('#reservation-0-ip', '192.168.60.20');
  assert.equal(await text('#reservation-0-ip-error'), '');

  // A PXE boot file with a blank.
  await page.fill('#pxe_start_ip', '192.168.60.200');
  await page.fill('#pxe_end_ip', '192.168.60.220');
  await page.fill('#pxe_netmask', '255.255.255.0');
  await page.fill('#pxe_gateway', '192.168.60.1');
  await page.fill('#pxe_dns', '192.168.60.2');
  await page.fill('#pxe_bootloader', 'boot file');
  await page.click('#pxe-enable');
  await settled();
  assert.equal(await text('#pxe_bootloader-error'), 'contains a blank or an unprintable character');
  assert.equal(await text('#pxe-message'), 'Not applied: Boot file: contains a blank or an unprintable character');
  assert.equal(await text('#pxe-status'), 'PXE network boot: off');
  assert.deepEqual(dhcpdFiles(), before);
});

test('each place an "error" names is shown at its field', async () => {
  await openPage('#if=eth1');
  // The program's answers are replaced here, so that every kind of place
  // can be tried whatever the program refuses.
  let answer = null;
  // A refusal as the program gives it: its place in "errorAt".
  const refusal = (error) => ({ success: false, error, errorAt: error.slice(0, error.indexOf(': ')), errorKind: 'invalid' });
  await page.route('**/cgi-bin/orvath', (route) => {
    const body = route.request().postData() || '';
    if (answer && /^action=(applydata|applypxesubnet)&/.test(body)) {
      return route.fulfill({ status: 200, contentType: 'text/plain', body: JSON.stringify(answer) });
    }
    return route.continue();
  });
  try {
    // The answer's place, its field, and the message in the words of the
    // screen (rows counted from one, as the table shows them).
    const cases = [
      ['dataArray.pdns: not an IPv4 address', '#pdns', 'Primary DNS server: not an IPv4 address'],
      ['dataArray.leasetime: out of range', '#leasetime', 'Lease time: out of range'],
      ['subnetData[0].gateway: not an IPv4 address', '#subnet-0-gateway', 'Subnet 1, gateway: not an IPv4 address'],
      ['subnetData[1].startip: overlaps subnetData[0]', '#subnet-1-startip', 'Subnet 2, start address: overlaps subnet 1'],
      ['staticData[0].ip: same address as staticData[1]', '#reservation-0-ip',
        'Reservation 1, IP address: same address as reservation 2'],
      ['iftype: not an interface name', '#iface', 'Interface: not an interface name'],
    ];
    // A refusal as the program answers it: the place in "errorAt".
    const refusal = (error) => ({
      success: false, error, errorAt: error.slice(0, error.indexOf(': ')), errorKind: 'invalid',
    });
    for (const [error, field, words] of cases) {
      answer = refusal(error);
      await page.click('#save');
      await settled();
      const why = words.slice(words.lastIndexOf(': ') + 2);
      assert.equal(await text('#message'), `Not saved: ${words}`, error);
      assert.equal(await page.getAttribute(field, 'aria-invalid'), 'true', error);
      assert.equal(await text(`${field}-error`), why, error);
      assert.equal(await page.evaluate(() => `#${document.activeElement.id}`), field, error);
      assert.equal(await page.locator('[aria-invalid="true"]').count(), 1, error);
    }
    // A place without a field of its own is shown in the message alone.
    answer = refusal('dataArray: not a JSON object');
    await page.click('#save');
    await settled();
    assert.equal(await page.locator('[aria-invalid="true"]').count(), 0);
    assert.equal(await text('#message'), 'Not saved: dataArray: not a JSON object');

    answer = refusal('pxe_bootloader: contains a blank');
    for (const [id, v] of [['pxe_start_ip', '192.168.60.200'], ['pxe_end_ip', '192.168.60.220'],
      ['pxe_netmask', '255.255.255.0'], ['pxe_gateway', '192.168.60.1'], ['pxe_dns', '192.168.60.2'],
      ['pxe_bootloader', 'pxelinux.0']]) await page.fill(`#${id}`, v);
    await page.click('#pxe-enable');
    await settled();
    assert.equal(await text('#pxe_bootloader-error'), 'contains a blank');
    assert.equal(await text('#pxe-message'), 'Not applied: Boot file: contains a blank');

    // A save whose restart failed says so in the screen's words, the
    // start-up script's own under "Details".
    answer = { success: true, isSameApSubnet: false, serviceRestarted: false,
      serviceError: 'exit status 1: dnsmasq: bad dhcp-range at line 2' };
    await page.click('#save');
    await settled();
    assert.equal(await page.$eval('#save-message', (el) => el.firstChild.textContent),
      'Saved (nothing changed) with 1 warning, but the DHCP service did not restart: bad dhcp-range at line 2');
    assert.equal(await text('#save-message details'), 'Detailsexit status 1: dnsmasq: bad dhcp-range at line 2');
    assert.equal(await page.getAttribute('#message', 'class'), 'message error');
  } finally {
    await page.unroute('**/cgi-bin/orvath');
  }
});

test('a subnet inside the access point\'s subnet is marked and named before anything is sent', async () => {
  await openPage('#if=eth2');
  const before = dhcpdFiles();
  assert.equal((await action('getServiceStatus')).apSubnet, '192.168.100.1/255.255.255.0');
  await page.fill('#pdns', '192.168.100.1');
  await page.click('#add-subnet');
  await fillSubnet(0, { startip: '192.168.100.150', endip: '192.168.100.160', netmask: '255.255.255.0', gateway: '192.168.100.1' });
  await page.click('#add-subnet');
  await fillSubnet(1, { startip: '192.168.70.100', endip: '192.168.70.160', netmask: '255.255.255.0', gateway: '192.168.70.1' });
  await page.click('#save');
  await settled();
  assert.equal(await text('#subnet-0-startip-error'), 'in the access point\'s subnet 192.168.100.0/24');
  assert.equal(await page.getAttribute('#subnet-1-startip', 'aria-invalid'), null);
  assert.equal(await text('#message'), 'Not saved: Subnet 1, start address: in the access point\'s subnet 192.168.100.0/24');
  // Nothing at all was written: no half save.
  assert.deepEqual(dhcpdFiles(), before);
  // The edits stay for correcting.
  assert.equal(await value('#subnet-0-startip'), '192.168.100.150');
});

test('PXE is set up, moved to another interface, saved again with its boot file and disabled', async () => {
  await openPage('#if=eth1');
  // Disabling is offered only where PXE is on.
  assert.equal(await page.isVisible('#pxe-disable'), false);
  await page.fill('#pxe_start_ip', '192.168.60.200');
  await page.fill('#pxe_end_ip', '192.168.60.220');
  await page.fill('#pxe_netmask', '255.255.255.0');
  await page.fill('#pxe_gateway', '192.168.60.1');
  await page.fill('#pxe_dns', '192.168.60.2');
  await page.fill('#pxe_bootloader', 'pxelinux.0');
  await page.fill('#pxe_bootloader_efi64', 'ipxe.efi');
  // A range enabled anew is kept for machines that boot from the network.
  assert.equal(await page.isChecked('#pxe_range_only'), true);
  await page.click('#pxe-enable');
  await settled();
  // No service runs in this demo: PXE is set up, and the line says it is not served.
  await eventually(async () => assert.equal(await text('#pxe-status'),
    'PXE network boot: set up on LAN 2 (eth1), not served: the DHCP service is stopped'));
  assert.equal(await page.getAttribute('#pxe-status', 'class'), 'pxe-status off');
  assert.match(await text('#pxe-message'), /enabled/);
  // The subnet table shows the PXE row as such, after the ordinary rows.
  await eventually(async () => assert.equal(await page.locator('#subnet-rows tr.pxe-row').count(), 1));
  assert.equal(await text('#subnet-rows tr.pxe-row .badge'), 'PXE');
  assert.equal(await text('#subnet-2-startip'), '192.168.60.200');
  // One switch for PXE: the row shows its state, the PXE section switches it.
  assert.equal(await page.$eval('#subnet-2-activated', (el) => `${el.tagName} ${el.textContent}`), 'SPAN on');
  assert.equal(await page.isVisible('#pxe-disable'), true);
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-pxe.info'), 'enable="yes"\n');
  const fragment = readSandbox('etc/dhcpd/dhcpd-eth1-pxe.conf');
  assert.match(fragment, /dhcp-range=tag:pxe-client-eth1,set:pxe,192\.168\.60\.200,192\.168\.60\.220,255\.255\.255\.0,/);
  assert.match(fragment, /\ndhcp-boot=tag:pxe-boot-bios-eth1,pxelinux\.0\n/);
  assert.match(fragment, /\ndhcp-boot=tag:pxe-boot-efi64-eth1,ipxe\.efi\n/);
  // The PXE DNS server became the primary DNS server of the ordinary subnets.
  assert.match(readSandbox('etc/dhcpd/dhcpd-eth1-eth10.conf'), /option:dns-server,192\.168\.60\.2\n/);
  await shot('05-pxe');

  // Saving the whole table keeps the PXE row: it is sent as the program
  // listed it.
  const saved = await saveAndWait();
  assert.equal(saved.success, true, JSON.stringify(saved));
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-pxe.info'), 'enable="yes"\n');

  // Moving it to eth0: eth1's PXE subnet is switched off.
  await chooseInterface('eth0');
  assert.match(await text('#pxe-here'), /served on LAN 2 \(eth1\)/);
  assert.equal(await text('#pxe-enable'), 'Move PXE to this interface');
  await page.fill('#pxe_start_ip', '192.168.50.200');
  await page.fill('#pxe_end_ip', '192.168.50.220');
  await page.fill('#pxe_netmask', '255.255.255.0');
  await page.fill('#pxe_gateway', '192.168.50.1');
  await page.fill('#pxe_dns', '192.168.50.1');
  await page.fill('#pxe_bootloader', 'pxelinux.0');
  await page.uncheck('#pxe_range_only');
  await page.click('#pxe-enable');
  await settled();
  await eventually(async () => assert.equal(await text('#pxe-status'),
    'PXE network boot: set up on LAN 1 (eth0), not served: the DHCP service is stopped'));
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth0-pxe.info'), 'enable="yes"\n');
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-pxe.info'), 'enable="no"\n');

  // The stored PXE subnet is read back into the form.
  await openPage('#if=eth0');
  assert.equal(await value('#pxe_start_ip'), '192.168.50.200');
  assert.equal(await value('#pxe_gateway'), '192.168.50.1');
  assert.equal(await value('#pxe_bootloader'), 'pxelinux.0');
  assert.equal(await value('#pxe_bootloader_efi64'), '');
  assert.equal(await page.isChecked('#pxe_range_only'), false);
  // Saved again with another end address, it keeps its boot file.
  await page.fill('#pxe_end_ip', '192.168.50.210');
  await page.click('#pxe-enable');
  await settled();
  await eventually(async () => assert.match(await text('#pxe-message'), /^PXE network boot enabled on this interface; service restarted\.$/));
  assert.match(readSandbox('etc/dhcpd/dhcpd-eth0-pxe.conf'), /192\.168\.50\.210,[\s\S]*dhcp-boot=tag:pxe,pxelinux\.0\n/);

  await page.click('#pxe-disable');
  await settled();
  await eventually(async () => assert.equal(await text('#pxe-status'), 'PXE network boot: off'));
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth0-pxe.info'), 'enable="no"\n');
  assert.equal(await page.isVisible('#pxe-disable'), false);
  const status = await action('getEnablePXEConfig');
  assert.equal(status.pxe_enabled, false);
});

test('further options are chosen by what they are for, checked at the field, saved and read back', async () => {
  await openPage('#if=eth1');
  await page.click('#add-option');
  await page.selectOption('#option-0-name', 'ntp-server');
  await page.fill('#option-0-value', '192.168.60.5, ntp.lan');
  await page.click('#options-save');
  await settled();
  assert.equal(await text('#options-message'), 'Not saved: Option 1, value: not a list of IPv4 addresses');
  assert.equal(await page.getAttribute('#option-0-value', 'aria-invalid'), 'true');
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-options.conf'), null);

  await page.fill('#option-0-value', '192.168.60.5, 192.168.60.6');
  await page.click('#add-option');
  await page.selectOption('#option-1-name', '');
  await page.fill('#option-1-code', '224');
  await page.selectOption('#option-1-type', 'uint16');
  await page.fill('#option-1-value', '258');
  await page.click('#add-host-option');
  await page.fill('#host-option-0-mac', '02:00:00:00:60:09');
  await page.fill('#host-option-0-gateway', '192.168.60.254');
  await page.click('#options-save');
  await settled();
  await eventually(async () => assert.match(await text('#options-message'), /^Options saved/));
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-options.conf'),
    'dhcp-option=tag:eth1,42,192.168.60.5,192.168.60.6\n'
    + 'dhcp-option=tag:eth1,224,258s\n'
    + 'dhcp-mac=set:host-020000006009,02:00:00:00:60:09\n'
    + 'dhcp-option=tag:host-020000006009,tag:eth1,option:router,192.168.60.254\n');

  await openPage('#if=eth1');
  assert.equal(await value('#option-0-name'), 'ntp-server');
  assert.equal(await value('#option-0-value'), '192.168.60.5,192.168.60.6');
  assert.equal(await value('#option-1-code'), '224');
  assert.equal(await value('#host-option-0-gateway'), '192.168.60.254');
  await shot('09-options');
  // All removed: no file of them is left.
  for (let i = 0; i < 2; i += 1) await page.click('#option-rows tr:first-child button');
  await page.click('#host-option-rows tr:first-child button');
  await page.click('#options-save');
  await settled();
  await eventually(async () => assert.match(await text('#options-message'), /^Options saved/));
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-options.conf'), null);
});

test('the client list shows remaining lease times readably and refreshes on its own', async () => {
  const now = Math.floor(Date.now() / 1000);
  const log = 'var/packages/Orvath/target/etc/dhcpd-leases.log';
  // The start-up script points the client list at the package's lease log.
  assert.match(readSandbox('etc/dhcpd/dhcpd.info') || '', /enable="no"/);
  fs.writeFileSync(sandboxFile(log),
    `${now + 90061 + 30} 02:00:00:00:60:31 192.168.60.131 laptop eth1\n`
    + `${now + 7200 + 30} 02:00:00:00:60:32 192.168.60.132  eth1\n`
    + `${now - 60} 02:00:00:00:60:33 192.168.60.133 old eth1\n`
    + `${now + 500} 02:00:00:00:60:09 192.168.60.20 backup eth1\n`
    + `${now + 500} 02:00:00:00:50:31 192.168.50.131 other eth0\n`);
  await openPage('#if=eth1');
  // MAC address, IP address, host name, remaining lease (without its end).
  const rows = async () => page.$$eval('#client-rows tr', (trs) => trs.map((tr) => [...tr.cells].slice(0, 4)
    .map((c, i) => (i === 3 ? c.firstChild.textContent : c.textContent))));
  await eventually(async () => assert.equal((await rows()).length, 4));
  // In the order of the addresses; the reserved client is marked.
  assert.deepEqual(await rows(), [
    ['02:00:00:00:60:09', '192.168.60.20 reserved', 'backup', 'unlimited'],
    ['02:00:00:00:60:31', '192.168.60.131', 'laptop', '1 d 1 h 1 min'],
    ['02:00:00:00:60:32', '192.168.60.132', '—', '2 h 0 min'],
    ['02:00:00:00:60:33', '192.168.60.133', 'old', 'expired'],
  ]);
  // The end of the lease beside the time left.
  assert.match(await text('#client-rows tr:nth-child(2) .until'), /^\(until .+\)$/);
  await shot('06-clients');

  // A new client appears without any action on the page, in its place.
  fs.appendFileSync(sandboxFile(log), `${now + 3 * 86400 + 30} 02:00:00:00:60:34 192.168.60.134 phone eth1\n`);
  await eventually(async () => assert.equal((await rows()).length, 5), 12000);
  assert.deepEqual((await rows())[4], ['02:00:00:00:60:34', '192.168.60.134', 'phone', '3 d 0 h 0 min']);

  // The keyboard stays on its button across a refresh.
  await page.focus('#client-rows tr:nth-child(2) button:has-text("Reserve")');
  await page.waitForResponse((r) => (r.request().postData() || '').startsWith('action=loadClientList'), { timeout: 12000 });
  await settled();
  assert.equal(await page.evaluate(() => document.activeElement.getAttribute('aria-label')),
    'Reserve 192.168.60.131 for 02:00:00:00:60:31');

  // Sorted by any column, both ways; filtered by any text.
  await page.click('#clients th[data-sort="expire"] button');
  assert.deepEqual((await rows()).map((r) => r[2]), ['old', '—', 'laptop', 'phone', 'backup']);
  await page.click('#clients th[data-sort="expire"] button');
  assert.deepEqual((await rows()).map((r) => r[2]), ['backup', 'phone', 'laptop', '—', 'old']);
  assert.equal(await page.getAttribute('#clients th[data-sort="expire"]', 'aria-sort'), 'descending');
  await page.fill('#client-filter', 'LAP');
  assert.deepEqual((await rows()).map((r) => r[0]), ['02:00:00:00:60:31']);

  // "Reserve" adds a filled reservation row, to be saved.
  await page.click('#client-rows tr button:has-text("Reserve")');
  assert.equal(await value('#reservation-1-mac'), '02:00:00:00:60:31');
  assert.equal(await value('#reservation-1-ip'), '192.168.60.131');
  assert.equal(await value('#reservation-1-hostname'), 'laptop');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'reservation-1-hostname');
  assert.match(await text('#save-message'), /save to keep it/);
  // A reserved client offers no "Reserve".
  assert.equal(await page.locator('#client-rows tr button:has-text("Reserve")').count(), 0);

  // No "Release" where it cannot help: the service is stopped here, and a
  // reserved client would get its address straight back.
  await page.fill('#client-filter', '');
  assert.equal(await page.locator('#client-rows button:has-text("Release")').count(), 0);
  await page.click('#revert');
  await settled();
});

test('an unreachable program is said in the client list, and a slow one is not asked again before it answers', async () => {
  await openPage('#if=eth1');
  const rows = await page.locator('#client-rows tr').count();
  await page.route('**/cgi-bin/orvath', (r) => r.abort('connectionrefused'));
  try {
    await eventually(async () => assert.match(await text('#clients-updated'),
      /^Not updated since .+: The server cannot be reached\.$/), 15000, 250);
    // The last list stays, marked as old: no empty network is shown.
    assert.equal(await page.locator('#client-rows tr').count(), rows);
    assert.equal(await page.isVisible('#clients-empty'), rows === 0);
    assert.match(await text('#service-status'), /^DHCP service: status unknown \(The server cannot be reached\.\)$/);
  } finally {
    await page.unroute('**/cgi-bin/orvath');
  }
  await eventually(async () => assert.match(await text('#clients-updated'), /^Last update /), 15000, 250);
  // Answers held back: two refresh periods pass with one list asked for.
  let release;
  const held = new Promise((r) => { release = r; });
  let asked = 0;
  await page.route('**/cgi-bin/orvath', async (r) => {
    if ((r.request().postData() || '').startsWith('action=loadClientList')) {
      asked += 1;
      await held;
    }
    await r.continue().catch(() => {});
  });
  try {
    await eventually(async () => assert.equal(asked, 1), 15000, 250);
    await new Promise((r) => { setTimeout(r, 11000); });
    assert.equal(asked, 1);
  } finally {
    release();
    await page.unroute('**/cgi-bin/orvath');
    await settled();
  }
});

test('the service switch works on its own in both directions and asks before switching off', async () => {
  await openPage('#if=eth1');
  const switches = () => page.$$eval('#subnet-rows tr:not(.pxe-row)',
    (trs) => trs.map((tr) => [tr.querySelector('input[type="checkbox"]').checked, tr.classList.contains('inactive')]));
  // One subnet on, one off (switched off by keyboard above); the one off is greyed.
  assert.deepEqual(await switches(), [[true, false], [false, true]]);
  assert.equal(await page.isChecked('#enable'), true);

  await page.uncheck('#enable');
  const dialogs = [];
  page.once('dialog', (d) => { dialogs.push(d.message()); d.accept(); });
  const off = await saveAndWait();
  assert.equal(off.success, true, JSON.stringify(off));
  assert.match(dialogs[0], /^Switch the DHCP service off on LAN 2 \(eth1\)\?/);
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-eth10.info'), 'enable="no"\n');
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-eth11.info'), 'enable="no"\n');

  // Reloaded, the service is off and every subnet keeps its own switch.
  await openPage('#if=eth1');
  assert.equal(await page.isChecked('#enable'), false);
  assert.deepEqual(await switches(), [[true, false], [false, true]]);
  assert.equal(await text('#subnets-off'), 'The DHCP service is off on this interface: none of these subnets is served.');
  assert.equal(await page.isVisible('#subnets-off'), true);

  // Switched on alone, the service serves exactly the subnets that are on.
  await page.check('#enable');
  const on = await saveAndWait();
  assert.equal(on.success, true, JSON.stringify(on));
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-eth10.info'), 'enable="yes"\n');
  assert.equal(readSandbox('etc/dhcpd/dhcpd-eth1-eth11.info'), 'enable="no"\n');
  await openPage('#if=eth1');
  assert.equal(await page.isChecked('#enable'), true);
  assert.deepEqual(await switches(), [[true, false], [false, true]]);
  assert.equal(await page.isVisible('#subnets-off'), false);

  // Removing the last subnet asks first, and says what goes with it.
  await page.click('#subnet-rows tr:nth-child(2) button:has-text("Remove")');
  page.once('dialog', (d) => { dialogs.push(d.message()); d.dismiss(); });
  await page.click('#subnet-rows tr:nth-child(1) button:has-text("Remove")');
  assert.equal(dialogs[1], 'Remove the last subnet of LAN 2 (eth1)? When saved, the interface\'s lease time, domain and '
    + 'DNS servers go with it, and no client of it is given an address.');
  assert.equal(await page.locator('#subnet-rows tr:not(.pxe-row)').count(), 1);
  await page.click('#revert');
  await settled();
});

test('an interface without subnets saves without a false alarm, and Enter in a field saves nothing', async () => {
  await openPage('#if=eth2');
  assert.equal(await page.locator('#subnet-rows tr').count(), 0);
  const sent = [];
  const listener = (r) => { if (/^action=applydata&/.test(r.postData() || '')) sent.push(r.postData()); };
  page.on('request', listener);
  try {
    await page.fill('#domain', 'lan3.lan');
    await page.press('#domain', 'Enter');
    await settled();
    assert.deepEqual(sent, []);
    assert.equal(await text('#save-message'), 'Unsaved changes.');
    await page.click('#revert');
    await settled();
    // Saved with nothing changed: there is no service to switch off here.
    const answer = await saveAndWait();
    assert.equal(answer.success, true, JSON.stringify(answer));
    assert.equal(JSON.parse(new URLSearchParams(sent[0]).get('dataArray')).enable_check, true);
    assert.equal(await page.isVisible('#message'), false);
    assert.match(await text('#save-message'), /^Saved \(nothing changed\); service restarted \(/);
    unloadDialogs.length = 0;
    await openPage('#if=eth2');
    assert.deepEqual(unloadDialogs, []);
  } finally {
    page.off('request', listener);
  }
});

test('a failed restart is shown after the save and in the status line', async () => {
  const script = sandboxFile('etc/rc.network');
  const good = fs.readFileSync(script, 'utf8');
  fs.writeFileSync(script, '#!/bin/sh\necho "dnsmasq: failed to create listening socket for port 67: Address in use" >&2\nexit 1\n');
  try {
    await openPage('#if=eth1');
    await page.fill('#domain', 'test.lan');
    const answer = await saveAndWait();
    assert.equal(answer.success, true);
    const why = 'exit status 1: dnsmasq: failed to create listening socket for port 67: Address in use';
    assert.equal(answer.serviceError, why);
    // In the screen's words; the exit status and the script's name under "Details".
    const headline = (selector) => page.$eval(selector, (el) => el.firstChild.textContent);
    assert.match(await headline('#save-message'),
      /^Saved(?: as revision \d+| \(nothing changed\)) with 1 warning, but the DHCP service did not restart: failed to create listening socket for port 67: Address in use$/);
    assert.equal(await text('#save-message details code'), why);
    assert.equal(await page.isVisible('#save-message details code'), false);
    assert.match(await headline('#service-status'),
      /^DHCP service: stopped: the restart of \D+ \d+.* failed \(failed to create listening socket for port 67: Address in use\)$/);
    assert.equal(await page.getAttribute('#service-status', 'class'), 'service-status failed');
  } finally {
    fs.writeFileSync(script, good);
  }
});

test('answers for an interface no longer chosen are dropped', async () => {
  await openPage('#if=eth1');
  const shown = () => Promise.all(['#pdns', '#leasetime', '#subnet-0-startip', '#pxe_start_ip'].map((id) => value(id)));
  const eth1 = await shown();
  // eth0's answers are held back until eth1's have arrived.
  let release = null;
  const held = new Promise((resolve) => { release = resolve; });
  await page.route('**/cgi-bin/orvath', async (route) => {
    if (/(iftype|if_name)=eth0/.test(route.request().postData() || '')) await held;
    return route.continue();
  });
  try {
    await page.selectOption('#iface', 'eth0');
    await page.selectOption('#iface', 'eth1');
    await eventually(async () => assert.deepEqual(await shown(), eth1));
    release();
    await settled();
    assert.deepEqual(await shown(), eth1);
    assert.equal(await page.inputValue('#iface'), 'eth1');
  } finally {
    release();
    await page.unroute('**/cgi-bin/orvath');
  }
});

test('a save still on its way when the interface is switched is told with its interface', async () => {
  await openPage('#if=eth1');
  let release = null;
  const held = new Promise((resolve) => { release = resolve; });
  await page.route('**/cgi-bin/orvath', async (route) => {
    if (/^action=applydata&/.test(route.request().postData() || '')) await held;
    return route.continue();
  });
  const dialogs = [];
  const onDialog = (d) => { dialogs.push(d.message()); d.accept(); };
  page.on('dialog', onDialog);
  try {
    await page.fill('#domain', 'test.lan');
    await page.click('#save');
    await page.selectOption('#iface', 'eth0');
    release();
    await settled();
    assert.deepEqual(dialogs, []);
    assert.equal(await page.inputValue('#iface'), 'eth0');
    assert.match(await text('#message'), /^LAN 2 \(eth1\): Saved(?: as revision \d+| \(nothing changed\)) with 1 warning; service restarted \(/);
  } finally {
    release();
    page.off('dialog', onDialog);
    await page.unroute('**/cgi-bin/orvath');
  }
});

test('every control has a name and is reached by the keyboard', async () => {
  await openPage('#if=eth1');
  const unnamed = await page.$$eval('input, select, button', (els) => els
    .filter((el) => !(el.labels && el.labels.length) && !el.getAttribute('aria-label') && !el.textContent.trim())
    .map((el) => el.outerHTML));
  assert.deepEqual(unnamed, []);
  const skipped = await page.$$eval('input, select, button', (els) => els
    .filter((el) => !el.disabled && el.tabIndex < 0).map((el) => el.outerHTML));
  assert.deepEqual(skipped, []);
  // A button's accessible name holds the words it shows.
  const misnamed = await page.$$eval('button', (els) => els
    .filter((b) => /[a-z]/i.test(b.textContent) && b.getAttribute('aria-label')
      && !b.getAttribute('aria-label').toLowerCase().includes(b.textContent.trim().toLowerCase()))
    .map((b) => b.outerHTML));
  assert.deepEqual(misnamed, []);
  // Tab walks from the interface choice into the global settings.
  await page.focus('#iface');
  await page.keyboard.press('Tab');
  // (past "Start the service" where the service should run and does not)
  if (await page.evaluate(() => document.activeElement.id) === 'service-start') await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'enable');
});

test('switching the interface with unsaved edits asks first', async () => {
  await openPage('#if=eth1');
  await page.fill('#domain', 'changed.lan');
  assert.equal(await text('#save-message'), 'Unsaved changes.');
  const dialogs = [];
  page.once('dialog', (d) => { dialogs.push(d.message()); d.dismiss(); });
  await page.selectOption('#iface', 'eth0');
  await settled();
  assert.deepEqual(dialogs, ['Discard the changes not saved yet?']);
  assert.equal(await page.inputValue('#iface'), 'eth1');
  assert.equal(await value('#domain'), 'changed.lan');

  page.once('dialog', (d) => { dialogs.push(d.message()); d.accept(); });
  await chooseInterface('eth0');
  assert.equal(dialogs.length, 2);
  assert.equal(await value('#pdns'), '192.168.50.1');
  // Nothing was saved on the way.
  assert.match(readSandbox('etc/dhcpd/dhcpd-eth1-eth10.conf'), /domain-search,test\.lan\n/);

  // Leaving the page with edits not saved asks first.
  await page.fill('#domain', 'changed.lan');
  unloadDialogs.length = 0;
  await page.reload();
  await page.waitForSelector('body[data-ready="true"]');
  assert.equal(unloadDialogs.length, 1);

  // Options not saved yet are kept alike; adding a row alone is an edit.
  await openPage('#if=eth1');
  await page.click('#add-option');
  page.once('dialog', (d) => { dialogs.push(d.message()); d.dismiss(); });
  await page.selectOption('#iface', 'eth0');
  await settled();
  assert.equal(dialogs[2], 'Discard the changes not saved yet?');
  assert.equal(await page.inputValue('#iface'), 'eth1');
  assert.equal(await page.locator('#option-rows tr').count(), 1);
  unloadDialogs.length = 0;
  await page.reload();
  await page.waitForSelector('body[data-ready="true"]');
  assert.equal(unloadDialogs.length, 1);
});

test('a phone\'s width shows the page without sideways scrolling, every control large enough for a finger', async () => {
  // A wide window first: no address is cut, with or without a PXE row.
  for (const width of [1280, 1024]) {
    await page.setViewportSize({ width, height: 900 });
    await openPage('#if=eth1');
    await page.fill('#subnet-0-netmask', '255.255.255.255');
    const cut = await page.$$eval('#subnet-rows input:not([type=checkbox]), #reservation-rows input',
      (els) => els.filter((e) => e.scrollWidth > e.clientWidth).map((e) => e.id));
    assert.deepEqual(cut, [], `at ${width} px`);
    assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth), `at ${width} px`);
    await page.click('#revert');
    await settled();
  }
  await page.setViewportSize({ width: 390, height: 844 });
  try {
    await openPage('#if=eth1');
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    assert.ok(overflow <= 0, `the page is ${overflow} px wider than the window`);
    // Cells carry their column's name where the table header is hidden.
    assert.equal(await page.getAttribute('#subnet-rows tr td:nth-child(2)', 'data-label'), 'Start address');
    // Every control shown is at least 44 x 44 px; a check box counts with
    // its label, which every check box has.
    const small = await page.$$eval('input, select, button, summary', (els) => els
      .filter((el) => el.getClientRects().length > 0 || el.type === 'checkbox')
      .map((el) => [el, el.type === 'checkbox' ? el.closest('label') : el])
      .filter(([el, target]) => !target || (el.type === 'checkbox' ? target.getClientRects().length > 0 : true))
      .filter(([, target]) => !target || target.getBoundingClientRect().width < 44
        || target.getBoundingClientRect().height < 44)
      .map(([el]) => el.outerHTML.slice(0, 120)));
    assert.deepEqual(small, []);
    assert.ok(await page.locator('#subnet-rows input[type="checkbox"]').count() > 0);
    // The client list sorts here too.
    await page.click('#clients th[data-sort="hostname"] button');
    assert.equal(await page.getAttribute('#clients th[data-sort="hostname"]', 'aria-sort'), 'ascending');
    // Save is in reach at the top of the page, and an error stays in sight.
    const inView = async (selector) => page.$eval(selector, (el) => {
      const r = el.getBoundingClientRect();
      return r.top >= 0 && r.bottom <= window.innerHeight;
    });
    assert.equal(await inView('#save'), true);
    await page.fill('#leasetime', 'x');
    await page.click('#save');
    assert.equal(await inView('#message'), true);
    // The first error further down is brought into view and focused.
    await page.click('#revert');
    await settled();
    await page.fill('#subnet-0-gateway', '10.0.0.1');
    await page.click('#save');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'subnet-0-gateway');
    assert.equal(await inView('#subnet-0-gateway'), true);
    assert.equal(await text('#subnet-0-gateway-error'), 'outside its subnet');
    await page.click('#revert');
    await settled();

    // Options: each reason at its field, the first in view and focused.
    await page.click('#add-option');
    await page.fill('#option-0-value', 'ntp.lan');
    await page.click('#add-host-option');
    await page.fill('#host-option-0-mac', 'zz');
    await page.fill('#host-option-0-gateway', '192.168.60.254');
    await page.click('#options-save');
    await settled();
    assert.equal(await text('#option-0-value-error'), 'not a list of IPv4 addresses');
    assert.equal(await text('#host-option-0-mac-error'), 'not a MAC address');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'option-0-value');
    assert.equal(await inView('#option-0-value-error'), true);
    // The program's own refusal too, at the place it names.
    await page.fill('#option-0-value', '192.168.60.5');
    await page.fill('#host-option-0-mac', '02:00:00:00:60:09');
    await page.route('**/cgi-bin/orvath', (r) => ((r.request().postData() || '').startsWith('action=applyOptions')
      ? r.fulfill({ status: 200, contentType: 'text/plain', body: JSON.stringify({ success: false,
        error: 'hostOptions[0].gateway: not in a subnet of eth1', errorAt: 'hostOptions[0].gateway', errorKind: 'invalid' }) })
      : r.continue()));
    try {
      await page.evaluate(() => window.scrollTo(0, 0));
      await page.click('#options-save');
      await settled();
    } finally {
      await page.unroute('**/cgi-bin/orvath');
    }
    assert.equal(await text('#host-option-0-gateway-error'), 'not in a subnet of eth1');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'host-option-0-gateway');
    assert.equal(await inView('#host-option-0-gateway'), true);
    // No field is outlined without its reason.
    const mute = await page.$$eval('[aria-invalid="true"]', (els) => els.filter((el) => {
      const h = document.getElementById(el.getAttribute('aria-describedby') || '');
      return !h || !h.textContent.trim();
    }).map((el) => el.id));
    assert.deepEqual(mute, []);
    // The Options, History and Import cards name each value.
    const csv = path.join(WORK, 'phone.csv');
    fs.writeFileSync(csv, 'mac,ip,host\r\n02:00:00:00:60:44,192.168.60.44,desk\r\n');
    await page.setInputFiles('#import-file', csv);
    await page.waitForSelector('#import-preview:not([hidden])');
    for (const sel of ['#option-rows', '#host-option-rows', '#history-rows', '#import-rows']) {
      const unlabelled = await page.$$eval(`${sel} td:not(.tools)`, (tds) => tds
        .filter((td) => td.getClientRects().length > 0 && !td.dataset.label).length);
      assert.equal(unlabelled, 0, sel);
      assert.ok(await page.locator(`${sel} td`).count() > 0, sel);
    }
    const overflowNow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    assert.ok(overflowNow <= 0, `the page is ${overflowNow} px wider than the window`);
    await page.locator('#options').screenshot({ path: path.join(SHOTS, '08-narrow-options.png') });
    await page.locator('#history').screenshot({ path: path.join(SHOTS, '08-narrow-history.png') });
    await page.locator('#import-preview').screenshot({ path: path.join(SHOTS, '08-narrow-import.png') });
    await page.click('#import-cancel');
    console.log(`# the page is ${await page.evaluate(() => document.documentElement.scrollHeight)} px tall at 360 px`);
    await shot('07-narrow');
  } finally {
    await page.setViewportSize({ width: 1280, height: 900 });
  }
});

test('the remaining time reads as days, hours and minutes', async () => {
  const format = pathToFileURL(path.join(TOP, 'web', 'js', 'format.js'));
  const { formatRemaining } = await import(format);
  assert.equal(formatRemaining('1,2,3'), '1 d 2 h 3 min');
  assert.equal(formatRemaining('0,2,3'), '2 h 3 min');
  assert.equal(formatRemaining('0,0,7'), '7 min');
  assert.equal(formatRemaining('2,0,0'), '2 d 0 h 0 min');
  assert.equal(formatRemaining('0,0,0'), 'less than 1 min');
  assert.equal(formatRemaining('expired'), 'expired');
  assert.equal(formatRemaining('unlimited'), 'unlimited');
  // The end of the lease, from a given moment: the time alone on the same day.
  const { formatExpiry } = await import(format);
  const now = new Date(2026, 0, 5, 10, 0);
  const clock = (h, m) => new Date(2026, 0, 5, h, m).toLocaleTimeString([], { hour: '2-digit', minute: '2-digit' });
  assert.equal(formatExpiry('0,2,3', now), `until ${clock(12, 3)}`);
  assert.match(formatExpiry('1,0,0', now), new RegExp(`^until \\S.* ${clock(10, 0)}$`));
  assert.notEqual(formatExpiry('1,0,0', now), `until ${clock(10, 0)}`);
  assert.equal(formatExpiry('unlimited', now), '');
});

test('the History lists each save, shows its diff, restores a version and stops a lost update', async () => {
  await openPage('#if=eth1');
  const firstRow = () => page.$$eval('#history-rows tr:first-child td', (tds) => tds.slice(0, 6).map((td) => td.textContent));
  const before = dhcpdFiles();
  const lease = await value('#leasetime');
  const [baseId] = await firstRow();

  await page.fill('#leasetime', '45');
  const saved = await saveAndWait();
  assert.equal(saved.revision, Number(baseId) + 1, JSON.stringify(saved));
  assert.match(await text('#save-message'), new RegExp(`^Saved as revision ${saved.revision} with 1 warning; service restarted \\(`));
  const row = await firstRow();
  assert.deepEqual([row[0], row[2], row[3], row[4]], [String(saved.revision), USER, '127.0.0.1', 'Settings saved on LAN 2 (eth1)']);

  await page.click(`#history-rows tr[data-revision="${saved.revision}"] button`);
  await settled();
  // The changes are shown where the eye is.
  assert.equal(await page.evaluate(() => document.activeElement.id), 'history-detail-title');
  assert.ok(await page.$eval('#history-detail-title', (el) => el.getBoundingClientRect().top) < 900);
  assert.match(await text('#history-files .change-words'), /^LAN 2 \(eth1\): subnet 1 changed/);
  assert.match(await text('#history-files'),
    /etc\/dhcpd\/dhcpd-eth1-eth10\.conf \(changed\).*-dhcp-range=set:eth10,[^\n]*,\d+\s*\+dhcp-range=set:eth10,[^\n]*,2700\s/s);
  // Each file changed one line: the lease time of its range.
  const marks = await page.$$eval('#history-files pre', (pres) => pres.map((pre) => [pre.querySelectorAll('.add').length, pre.querySelectorAll('.del').length]));
  assert.ok(marks.length >= 2);
  assert.deepEqual(marks, marks.map(() => [1, 1]));
  await shot('20-history');

  // Restoring the version before it asks, puts every file back and reloads the form.
  await page.click(`#history-rows tr[data-revision="${baseId}"] button`);
  await settled();
  const dialogs = [];
  page.once('dialog', (d) => { dialogs.push(d.message()); d.accept(); });
  await page.click('#history-restore');
  await eventually(async () => assert.match(await text('#history-message'),
    new RegExp(`^Restored revision ${baseId} as revision ${saved.revision + 1}; service restarted\\.$`)));
  await settled();
  // It says first, per interface, what it changes.
  assert.match(dialogs[0], new RegExp(`^Restore all DHCP settings of revision ${baseId}\\? This changes:\nLAN 2 \\(eth1\\): subnet 1 changed`));
  assert.deepEqual(dhcpdFiles(), before);
  assert.equal(await value('#leasetime'), lease);
  const restored = await firstRow();
  assert.equal(restored[4], `Revision ${baseId} restored`);
  assert.match(restored[5], /^\d+ subnets?, \d+ reservations?, PXE o(n|ff)$/);

  // Another administrator saves meanwhile: this page's save is refused, then saved on demand.
  const other = await action('revertTo', { id: String(saved.revision) });
  assert.equal(typeof other.revision, 'number', JSON.stringify(other));
  const theirs = dhcpdFiles();
  await page.fill('#leasetime', '50');
  const refused = await saveAndWait();
  assert.equal(refused.conflict, true, JSON.stringify(refused));
  assert.equal(await page.isVisible('#conflict'), true);
  assert.match(await text('#conflict-text'), /^Not saved: the settings were changed by tester from 127\.0\.0\.1 at .+ since this page was loaded\.\n/);
  assert.doesNotMatch(await text('#conflict-text'), /UTC/);
  assert.match(await text('#conflict-text'), /Their change: LAN 2 \(eth1\): subnet 1 changed[^.]*\./);
  assert.match(await text('#conflict-text'), /over their change to LAN 2 \(eth1\): subnet 1 changed[^;]*; the rest of their change stays\.$/);
  assert.deepEqual(dhcpdFiles(), theirs);
  await page.click('#conflict-force');
  await eventually(async () => assert.match(await text('#save-message'), /^Saved as revision \d+ with 1 warning;/));
  assert.match(readSandbox('etc/dhcpd/dhcpd-eth1-eth10.conf'), /,3000\n/);
});

test('a restore and a Reload refresh the Options too, a restore may keep to one interface, and the History follows', async () => {
  await openPage('#if=eth1');
  const dialogs = [];
  const onDialog = (d) => { dialogs.push(d.message()); d.accept(); };
  page.on('dialog', onDialog);
  try {
    const baseId = await page.$eval('#history-rows tr:first-child', (tr) => tr.dataset.revision);
    await page.click('#add-option');
    await page.selectOption('#option-0-name', 'mtu');
    await page.fill('#option-0-value', '1400');
    await page.click('#options-save');
    await settled();
    assert.match(await text('#options-message'), /^Options saved/);
    // The list follows an options save.
    await eventually(async () => assert.equal(await text('#history-rows tr:first-child td:nth-child(5)'),
      'Further options saved on LAN 2 (eth1)'));
    await page.click(`#history-rows tr[data-revision="${baseId}"] button`);
    await settled();
    await page.click('#history-restore');
    await eventually(async () => assert.match(await text('#history-message'), /^Restored revision/));
    await settled();
    assert.match(dialogs.at(-1), /This changes:\nLAN 2 \(eth1\): further options removed\n/);
    assert.equal(await page.locator('#option-rows tr').count(), 0);
    // The next options save keeps what the restore put back.
    await page.click('#add-host-option');
    await page.fill('#host-option-0-mac', '02:00:00:00:60:09');
    await page.fill('#host-option-0-dns', '192.168.60.53');
    await page.click('#options-save');
    await settled();
    assert.match(await text('#options-message'), /^Options saved/);
    assert.doesNotMatch(readSandbox('etc/dhcpd/dhcpd-eth1-options.conf'), /,26,1400/);
    const mine = Number(await page.$eval('#history-rows tr:first-child', (tr) => tr.dataset.revision));

    // Another administrator's change shows in the list at the next refresh.
    const other = await action('applyOptions', { iftype: 'eth1', options: JSON.stringify([{ name: 'mtu', value: '1300' }]),
      hostOptions: JSON.stringify([{ mac: '02:00:00:00:60:09', gateway: '', dns: '192.168.60.53' }]) });
    assert.equal(other.success, true, JSON.stringify(other));
    await eventually(async () => assert.equal(await page.$eval('#history-rows tr:first-child', (tr) => tr.dataset.revision),
      String(other.revision)), 15000, 250);
    // An options save meets it: the conflict names it and reloads the Options alone.
    await page.fill('#domain', 'mine.lan');
    await page.fill('#host-option-0-dns', '192.168.60.54');
    await page.click('#options-save');
    await settled();
    assert.equal(await page.isVisible('#options-conflict'), true);
    assert.match(await text('#options-conflict-text'), /Their change: LAN 2 \(eth1\): further options changed\./);
    await page.click('#options-reload');
    await settled();
    assert.equal(await value('#option-0-value'), '1300');
    assert.equal(await value('#domain'), 'mine.lan');
    // A settings conflict's Reload shows every section as stored.
    await page.click('#revert');
    await settled();

    // The revision of this page's options save touched eth1 alone: it may be restored there only.
    await page.click(`#history-rows tr[data-revision="${mine}"] button`);
    await settled();
    assert.equal(await text('#history-restore-iface'), 'Restore only LAN 2 (eth1)');
    await page.click('#history-restore-iface');
    await eventually(async () => assert.match(await text('#history-message'), /^Restored revision \d+ on LAN 2 \(eth1\)/));
    await settled();
    assert.match(dialogs.at(-1), /^Restore the settings of LAN 2 \(eth1\) .*the reservations stay as they are\) of revision \d+\? This changes:\nLAN 2 \(eth1\): further options changed\n/s);
    assert.equal(await page.locator('#option-rows tr').count(), 0);
    assert.equal(await page.locator('#host-option-rows tr').count(), 1);
    const list = await action('listHistory');
    assert.deepEqual([list.revisions[0].action, list.revisions[0].iftype, list.revisions[0].revertOf], ['revertTo', 'eth1', mine]);
  } finally {
    page.off('dialog', onDialog);
    await action('applyOptions', { iftype: 'eth1', options: '[]', hostOptions: '[]' });
  }
});

test('reservations go out and come back as CSV; the preview names a bad line, usage and conflicts are shown', async () => {
  const stored = await action('applydata', {
    dataArray: JSON.stringify({ enable_check: true, leasetime: '60', domain: '', pdns: '192.168.50.1', sdns: '', iftype: 'eth0' }),
    subnetData: JSON.stringify([{ activated: true, pxe: false, startip: '192.168.50.100', endip: '192.168.50.199',
      netmask: '255.255.255.0', gateway: '192.168.50.1' }]),
    staticData: JSON.stringify([{ mac: '02:00:00:00:50:03', ip: '192.168.50.10', hostname: 'printer' },
      { mac: '02:00:00:00:50:05', ip: '192.168.50.11', hostname: '' }]),
  });
  assert.equal(stored.success, true, JSON.stringify(stored));
  const now = Math.floor(Date.now() / 1000);
  fs.writeFileSync(sandboxFile('var/packages/Orvath/target/etc/dhcpd-leases.log'),
    `${now + 3600} 02:00:00:00:50:77 192.168.50.150 intruder eth0\n`
    + `${now + 3600} 02:00:00:00:50:78 192.168.50.151 guest eth0\n`);
  // Usage counts what dnsmasq has handed out.
  fs.writeFileSync(sandboxFile('var/packages/Orvath/target/etc/dhcpd.conf.leases'),
    `${now + 3600} 02:00:00:00:50:77 192.168.50.150 intruder *\n`
    + `${now + 3600} 02:00:00:00:50:78 192.168.50.151 guest *\n`);
  await openPage('#if=eth0');
  await eventually(async () => assert.equal(await text('#subnet-rows .usage-text'), '2 / 100 (2 %)'));
  // The heading sums the rows (a PXE row that an earlier test left included).
  const figures = (t) => t.match(/^(\d+) \/ (\d+)/).slice(1).map(Number);
  const rows = (await page.$$eval('#subnet-rows .usage-text', (els) => els.map((e) => e.textContent))).map(figures);
  assert.deepEqual(figures(await text('#subnets-usage')), [2, rows.reduce((n, r) => n + r[1], 0)]);
  const shown = ['02:00:00:00:50:03,192.168.50.10,printer', '02:00:00:00:50:05,192.168.50.11,'];

  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#export-csv')]);
  const exported = fs.readFileSync(await download.path(), 'utf8');
  assert.equal(exported, `mac,ip,host\r\n${shown.map((l) => `${l}\r\n`).join('')}`);

  // Edited as a spreadsheet would: one line added, one spoilt.
  const file = path.join(WORK, 'reservations.csv');
  fs.writeFileSync(file, `${exported}02-00-00-00-50-44,192.168.50.150,desk\r\n02:00:00:00:50:45,192.168.50.300,bad\r\n`);
  await page.setInputFiles('#import-file', file);
  await page.waitForSelector('#import-preview:not([hidden])');
  const lines = shown.length + 2;
  assert.equal(await text('#import-summary'), `${lines - 1} of ${lines} lines accepted; 1 left out.`);
  const verdicts = await page.$$eval('#import-rows tr', (trs) => trs.map((tr) => tr.cells[4].textContent));
  assert.equal(verdicts[lines - 1], 'IP address: not an IPv4 address');
  assert.equal(await page.$eval('#import-rows tr:last-child', (tr) => tr.cells[0].textContent), `Line ${lines + 1}`);
  assert.equal(readSandbox('etc/dhcpd/dhcpdStatic.ori').includes('50:44'), false);
  await shot('20-import-preview');
  await page.click('#import-replace');

  const answer = await saveAndWait();
  assert.equal(answer.success, true, JSON.stringify(answer));
  const last = shown.length;
  assert.equal(await value(`#reservation-${last}-mac`), '02:00:00:00:50:44');
  assert.equal(await page.$$eval('#reservation-rows tr', (trs) => trs.length), last + 1);
  assert.match(readSandbox('etc/dhcpd/dhcpdStatic.ori'), /dhcp-host=02:00:00:00:50:44,desk,192\.168\.50\.150,infinite/);
  // The stored reservation is marked: another client holds its address.
  await eventually(async () => assert.equal(await text(`#reservation-${last}-warning`),
    'Warning: inside the address range of eth0, Subnet 1: still served, but the range has one address fewer to lend; '
    + 'leased right now to another client (02:00:00:00:50:77)'));
  await eventually(async () => assert.equal(await text('#subnet-rows .usage-text'), '1 / 100 (1 %)'));
  await shot('21-warned');
  // "with N warnings" counts the rows that carry one, after the program's own.
  const warned = await page.$$eval('#reservation-rows tr, #subnet-rows tr', (trs) => trs
    .filter((tr) => tr.classList.contains('warned') || [...tr.querySelectorAll('.field-error.warn')].some((e) => e.textContent)).length);
  const count = /with (\d+) warnings?/.exec(await text('#save-message'));
  assert.equal(count ? Number(count[1]) : 0, warned);

  // A MAC address reserved already in the subnet: the line replaces that
  // reservation unless the administrator keeps it; a host name a
  // spreadsheet turns into a date is named.
  fs.writeFileSync(file, '02:00:00:00:50:03,192.168.50.46,printer\r\n02:00:00:00:50:66,192.168.50.66,3-4\r\n');
  await page.setInputFiles('#import-file', file);
  await page.waitForSelector('#import-preview:not([hidden])');
  const judged = await page.$$eval('#import-rows tr', (trs) => trs.map((tr) => tr.cells[4].textContent));
  assert.match(judged[0], /^accepted; replaces printer 192\.168\.50\.10 /);
  assert.equal(judged[1], 'accepted; a spreadsheet reads the host name 3-4 as a date: check it was kept');
  assert.equal(await text('#import-summary'), '2 of 2 lines accepted; 1 replaces a reservation of the same MAC address; 1 with a note.');
  await page.click('#import-add');
  const macs = await page.$$eval('#reservation-rows tr', (trs) => trs.map((tr) => `${tr.cells[0].querySelector('input').value} ${tr.cells[1].querySelector('input').value}`));
  assert.deepEqual(macs.filter((m) => m.startsWith('02:00:00:00:50:03')), ['02:00:00:00:50:03 192.168.50.46']);
  await page.click('#revert');
  await settled();
});
