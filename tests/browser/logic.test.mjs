// Unit tests of the page's modules that need no DOM: the checks made before
// a save, the client list's order, the words of the screen and the CSV files
// of reservations. Run by
// tests/browser/run <build dir> logic, with node's own test runner.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';

import RULES from '../../web/js/ruletable.json' with { type: 'json' };

import { shownClients, isReserved } from '../../web/js/clientlist.js';
import { importReservations, judgeAgainst, parseCsv, reservationsCsv, spreadsheetReading } from '../../web/js/csv.js';
import { describeFiles, onlyInterface, restoreChanges } from '../../web/js/changes.js';
import { formatWhen } from '../../web/js/format.js';
import {
  checkBootFile, checkHostName, checkInterfaceName, checkIpxeAnswer, checkKeywordPrefix, checkLeaseMinutes, checkMac,
  checkNetmask, checkDomain, checkIpv4, checkServerIpv4, checkServerIpv6, checkIpv6HostPart, ipv6Problems, normalizeMac, parseApSubnet, parseNetworks, pxeProblems,
  settingsProblems, settingsWarnings,
} from '../../web/js/rules.js';
import { placeWords, plainReason, reasonWords, warningsText } from '../../web/js/words.js';
import { pxeLine, serviceLine } from '../../web/js/status.js';
import { NAMED_OPTIONS, checkOptionValue, optionProblems } from '../../web/js/optionrules.js';

const GLOBAL = { leasetime: '1440', domain: '', pdns: '192.168.1.1', sdns: '' };
const AP = parseApSubnet('192.168.100.1/255.255.255.0');
const row = (startip, endip, extra = {}) => ({
  activated: true, pxe: false, startip, endip, netmask: '255.255.255.0', gateway: '192.168.1.1', ...extra,
});
const problemsOf = (list) => list.map(({ where, why }) => `${where}: ${why}`);

// The case file the program's unit tests read too: both sides agree on
// every value and every reason.
test('every rule judges as the program does, from the shared case file', () => {
  const rules = {
    interfaceName: checkInterfaceName, ipv4: checkIpv4, serverIpv4: checkServerIpv4, netmask: checkNetmask,
    ipv6Server: checkServerIpv6, ipv6HostPart: checkIpv6HostPart,
    mac: checkMac, domain: checkDomain, keywordPrefix: checkKeywordPrefix, hostName: checkHostName,
    bootFile: checkBootFile, ipxe: checkIpxeAnswer,
  };
  const { cases } = JSON.parse(fs.readFileSync(new URL('../rule_cases.json', import.meta.url), 'utf8'));
  assert.ok(cases.length > 20);
  for (const c of cases) {
    const rule = c.rule.startsWith('option:') ? (v) => checkOptionValue(c.rule.slice(7), v) : rules[c.rule];
    assert.ok(rule, c.rule);
    for (const value of c.accept) assert.equal(rule(value), null, `${c.rule} ${JSON.stringify(value)}`);
    for (const [value, why] of Object.entries(c.refuse)) assert.equal(rule(value), why, `${c.rule} ${JSON.stringify(value)}`);
  }
});

test('the page\'s own fields: lease minutes and MAC addresses as typed', () => {
  const cases = [
    [checkLeaseMinutes, '35791394', null],
    [checkLeaseMinutes, '35791395', 'lease time too long'],
    [checkLeaseMinutes, '-5', 'not a whole number of minutes'],
    [checkLeaseMinutes, '1', 'shorter than 2 minutes'],
    [checkLeaseMinutes, '2', null],
    [checkLeaseMinutes, '', 'not a whole number of minutes'],
    [normalizeMac, '02-00-00-AA-bb-01', '02:00:00:AA:bb:01'],
    [normalizeMac, '02-00:00-AA-bb-01', '02-00:00-AA-bb-01'],
  ];
  for (const [check, input, want] of cases) {
    assert.equal(check(input), want, `${check.name}(${JSON.stringify(input)})`);
  }
});

test('the page offers the options of the rule table the program is built from', () => {
  assert.deepEqual(NAMED_OPTIONS.map((o) => [o.name, o.code, o.type]),
    RULES.namedOptions.map((o) => [o.name, o.code, o.check]));
  const programSource = fs.readFileSync(new URL('../../cmake/rule_table.cmake', import.meta.url), 'utf8');
  assert.match(programSource, /web\/js\/ruletable\.json/);
});

test('a save is checked whole, at the places the program names', () => {
  const cases = [
    ['valid', GLOBAL, [row('192.168.1.100', '192.168.1.199')],
      [{ mac: '02:00:00:00:00:01', ip: '192.168.1.10', hostname: 'printer' }], []],
    ['the global settings, and the DNS server a subnet needs',
      { leasetime: '1.5', domain: '-lan', pdns: '', sdns: '1.2.3' }, [row('192.168.1.100', '192.168.1.199')], [],
      ['dataArray.leasetime: not a whole number of minutes', 'dataArray.domain: label begins with "-" or "_"',
        'dataArray.sdns: not an IPv4 address', 'dataArray.pdns: missing']],
    ['missing fields of a row, and nothing more of it', GLOBAL,
      [row('', '192.168.1.300', { gateway: '' })], [],
      ['subnetData[0].startip: missing', 'subnetData[0].endip: not an IPv4 address',
        'subnetData[0].gateway: missing']],
    ['no server at 0.0.0.0 or 255.255.255.255, no gateway outside its subnet',
      { ...GLOBAL, pdns: '0.0.0.0', sdns: '255.255.255.255' },
      [row('192.168.1.100', '192.168.1.199', { gateway: '10.0.0.1' }),
        row('192.168.2.100', '192.168.2.199', { gateway: '0.0.0.0' })], [],
      ['dataArray.pdns: not the address of a server', 'dataArray.sdns: not the address of a server',
        'subnetData[0].gateway: outside its subnet', 'subnetData[1].gateway: not the address of a server']],
    ['netmask before range', GLOBAL, [row('192.168.1.1', '192.168.2.1', { netmask: '255.0.255.0' })], [],
      ['subnetData[0].netmask: not a contiguous netmask']],
    ['ranges', GLOBAL, [row('192.168.1.100', '192.168.2.1'), row('192.168.1.200', '192.168.1.100')], [],
      ['subnetData[0].endip: start and end not in one subnet', 'subnetData[1].endip: start above end']],
    ['the access point\'s subnet, under the row\'s netmask or its own', GLOBAL,
      [row('192.168.100.10', '192.168.100.20'), row('192.168.1.10', '192.168.1.20', { gateway: '192.168.100.1' }),
        row('192.168.0.10', '192.168.0.20', { netmask: '255.255.0.0' }),
        row('192.168.100.200', '192.168.100.210', { netmask: '255.255.255.128', gateway: '192.168.100.129' })], [],
      ['subnetData[0].startip: in the access point\'s subnet 192.168.100.0/24',
        'subnetData[1].gateway: in the access point\'s subnet 192.168.100.0/24',
        'subnetData[2].startip: in the access point\'s subnet 192.168.100.0/24',
        'subnetData[3].startip: in the access point\'s subnet 192.168.100.0/24']],
    ['overlaps between active rows only; the PXE row is not checked but overlaps', GLOBAL,
      [row('192.168.1.100', '192.168.1.150'), row('192.168.1.150', '192.168.1.160'),
        row('192.168.1.100', '192.168.1.199', { activated: false }),
        row('192.168.1.120', '192.168.1.130', { pxe: true, gateway: 'x' })], [],
      ['subnetData[1].startip: overlaps subnetData[0]', 'subnetData[3].startip: overlaps subnetData[0]']],
    ['reservations', GLOBAL, [], [
      { mac: '02-00-00-00-00-01', ip: '192.168.1.10', hostname: '' },
      { mac: '02:00:00:00:00:02', ip: '192.168.1.10', hostname: 'id:x' },
      { mac: '02:00:00:00:00:03', ip: '192.168.1.10', hostname: '' },
      { mac: '02:00:00:00:00:04', ip: 'x', hostname: '' }],
    ['staticData[0].mac: not a MAC address', 'staticData[1].hostname: read by dnsmasq as a client id or tag',
      'staticData[1].ip: same address as staticData[0]', 'staticData[2].ip: same address as staticData[0]',
      'staticData[3].ip: not an IPv4 address']],
  ];
  for (const [name, global, subnets, reservations, want] of cases) {
    assert.deepEqual(problemsOf(settingsProblems(global, subnets, reservations, AP)), want, name);
  }
});

test('what is allowed but cannot work is warned about', () => {
  const networks = parseNetworks(['192.168.1.1/24', '10.0.0.1/8', 'junk', '10.1.1.1/33']);
  assert.deepEqual(networks.map((n) => n.text), ['192.168.1.1/24', '10.0.0.1/8']);
  const cases = [
    ['inside a network of the interface', [row('10.2.0.1', '10.2.0.9')], [], networks, []],
    ['outside every network', [row('172.16.0.1', '172.16.0.9')], [], networks,
      ['subnetData[0].startip: outside every network of this interface (192.168.1.1/24, 10.0.0.1/8): '
        + 'no client will be served']],
    ['no networks known: no warning', [row('172.16.0.1', '172.16.0.9')], [], [], []],
    ['reservations on the network, broadcast and gateway addresses', [row('192.168.1.100', '192.168.1.199')],
      [{ ip: '192.168.1.0' }, { ip: '192.168.1.255' }, { ip: '192.168.1.1' }, { ip: '192.168.1.2' },
        { ip: '192.168.2.0' }], networks,
      ['staticData[0].ip: the network address of its subnet: no client can use it',
        'staticData[1].ip: the broadcast address of its subnet: no client can use it',
        'staticData[2].ip: the gateway of its subnet: no client can use it']],
    ['a /32 subnet has no network address', [row('192.168.1.5', '192.168.1.5', { netmask: '255.255.255.255' })],
      [{ ip: '192.168.1.5' }], [], []],
  ];
  for (const [name, subnets, reservations, nets, want] of cases) {
    assert.deepEqual(problemsOf(settingsWarnings(subnets, reservations, nets)), want, name);
  }
});

test('the PXE form is checked whole', () => {
  const good = {
    pxe_start_ip: '192.168.5.10', pxe_end_ip: '192.168.5.20', pxe_netmask: '255.255.255.0',
    pxe_gateway: '192.168.5.1', pxe_dns: '192.168.5.1', pxe_bootloader: 'pxelinux.0',
  };
  const cases = [
    ['valid', {}, []],
    ['missing and bad addresses, and the boot file', { pxe_start_ip: '', pxe_dns: '1.2.3', pxe_bootloader: 'a=b' },
      ['pxe_start_ip: missing', 'pxe_dns: not an IPv4 address', 'pxe_bootloader: contains one of , " \' # =']],
    ['netmask', { pxe_netmask: '255.255.0.255' }, ['pxe_netmask: not a contiguous netmask']],
    ['range', { pxe_end_ip: '192.168.6.20' }, ['pxe_end_ip: start and end not in one subnet']],
    ['DNS server at no host', { pxe_dns: '255.255.255.255' }, ['pxe_dns: not the address of a server']],
    ['gateway outside the range\'s subnet', { pxe_gateway: '10.0.0.1' }, ['pxe_gateway: outside its subnet']],
    ['the access point\'s subnet', { pxe_gateway: '192.168.100.1' },
      ['pxe_gateway: in the access point\'s subnet 192.168.100.0/24']],
  ];
  for (const [name, change, want] of cases) {
    assert.deepEqual(problemsOf(pxeProblems({ ...good, ...change }, AP)), want, name);
  }
});

test('the client list filters, sorts and keeps ties in address order', () => {
  const clients = [
    { mac: '02:00:00:00:00:0b', ip: '192.168.1.20', hostname: 'Camera', expire: '0,1,0', firstSeen: 1000000 - 86399 },
    { mac: '02:00:00:00:00:0A', ip: '192.168.1.9', hostname: 'laptop', expire: 'expired', firstSeen: 1000000 - 86400 },
    { mac: '3c:2a:f4:00:00:0c', ip: '192.168.1.100', hostname: '', expire: 'unlimited', vendor: 'Brother Industries, LTD.', firstSeen: 999999 },
    { mac: '02:00:00:00:00:0d', ip: '192.168.1.3', hostname: 'camera', expire: '1,0,0', firstSeen: 0 },
  ];
  const ips = (sort, filter = '', onlyNew = false) => shownClients([...clients], sort, filter, onlyNew, 1000000)
    .map((c) => c.ip.split('.')[3]);
  const cases = [
    [{ key: 'ip', dir: 1 }, '', ['3', '9', '20', '100']],
    [{ key: 'ip', dir: -1 }, '', ['100', '20', '9', '3']],
    [{ key: 'mac', dir: 1 }, '', ['9', '20', '3', '100']],
    [{ key: 'hostname', dir: 1 }, '', ['100', '3', '20', '9']],
    [{ key: 'expire', dir: 1 }, '', ['9', '20', '3', '100']],
    [{ key: 'expire', dir: -1 }, '', ['100', '3', '20', '9']],
    [{ key: 'ip', dir: 1 }, ' CAMERA ', ['3', '20']],
    [{ key: 'ip', dir: 1 }, '0a', ['9']],
    [{ key: 'ip', dir: 1 }, '.1.1', ['100']],
    [{ key: 'ip', dir: 1 }, 'brother', ['100']],
    // New: first seen less than a day ago; never seen is not new.
    [{ key: 'ip', dir: 1 }, '', ['20', '100'], true],
    [{ key: 'ip', dir: 1 }, 'camera', ['20'], true],
  ];
  for (const [sort, filter, want, onlyNew] of cases) {
    assert.deepEqual(ips(sort, filter, onlyNew), want, `${sort.key} ${sort.dir} "${filter}" ${onlyNew}`);
  }
  const reservations = [{ mac: '02:00:00:00:00:0B', ip: '192.168.1.20', hostname: '' }];
  assert.deepEqual(clients.map((c) => isReserved(c, reservations)), [true, false, true, false]);
});

test('the program\'s places and reasons read as the table shows them', () => {
  const subnets = [{ pxe: false }, { pxe: true }, { pxe: false }];
  const cases = [
    ['dataArray.pdns', 'Primary DNS server'],
    ['pxe_bootloader', 'Boot file'],
    ['subnetData[0].startip', 'Subnet 1, start address'],
    ['subnetData[1].gateway', 'PXE subnet, gateway'],
    ['subnetData[2]', 'Subnet 2'],
    ['staticData[0].hostname', 'Reservation 1, host name'],
    ['subnetData[0].other', 'Subnet 1, other'],
    ['request', 'request'],
  ];
  for (const [where, want] of cases) assert.equal(placeWords(where, subnets), want, where);
  assert.equal(reasonWords('overlaps subnetData[2]', subnets), 'overlaps subnet 2');
  assert.equal(reasonWords('overlaps subnetData[1]', subnets), 'overlaps PXE subnet');
  assert.equal(reasonWords('same address as staticData[0]', subnets), 'same address as reservation 1');
});

test('reasons from the system read in the screen\'s words, the rest kept for the details', () => {
  const cases = [
    ['exit status 1: rc.network: the DHCP service is not running',
      { text: 'the DHCP service is not running', details: 'exit status 1: rc.network: the DHCP service is not running' }],
    ['exit status 3: dnsmasq: bad option at line 2 of /tmp/orvath-demo/root/etc/dhcpd/dhcpd-eth0-eth00.conf',
      { text: 'bad option at line 2 of dhcpd-eth0-eth00.conf',
        details: 'exit status 3: dnsmasq: bad option at line 2 of /tmp/orvath-demo/root/etc/dhcpd/dhcpd-eth0-eth00.conf' }],
    ['Address in use', { text: 'Address in use', details: '' }],
    ['', { text: 'no reason given', details: '' }],
  ];
  for (const [reason, want] of cases) assert.deepEqual(plainReason(reason), want, reason);
  assert.deepEqual([0, 1, 2].map(warningsText), ['', ' with 1 warning', ' with 2 warnings']);
});

test('the status lines follow the service and the interface\'s own rows', () => {
  const at = { time: 1765000000, restarted: true };
  const failed = { time: 1765000000, restarted: false, serviceError: 'exit status 2: dnsmasq: bad dhcp-range' };
  const cases = [
    [{ running: true, enabledSubnets: { eth0: 2 }, lastRestart: at }, 'on', /^running · serving 2 subnets on eth0 · last restart \D+ \d+/],
    [{ running: true, enabledSubnets: { eth0: 0, eth1: 1 } }, 'idle', /^running, but off on eth0: no subnet served$/],
    [{ running: false, enabledSubnets: { eth0: 0 }, lastRestart: at }, 'off', /^stopped: no interface is served$/],
    [{ running: false, enabledSubnets: { eth0: 1, eth1: 1 }, lastRestart: at }, 'failed',
      /^stopped, though 2 subnets are switched on: the service has ended$/],
    [{ running: true, enabledSubnets: { eth0: 1 }, lastRestart: failed }, 'failed',
      /^running with the previous settings: the restart of .+ failed \(bad dhcp-range\)$/],
    [{ running: false, lastRestart: failed }, 'failed', /^stopped: the restart of .+ failed \(bad dhcp-range\)$/],
  ];
  for (const [status, kind, text] of cases) {
    const line = serviceLine(status, 'eth0');
    assert.equal(line.kind, kind, JSON.stringify(status));
    assert.match(line.text, text);
    // Started again from the page wherever it should run and does not.
    assert.equal(!!line.start, kind === 'failed', JSON.stringify(status));
  }
  assert.match(serviceLine({ running: true, enabledSubnets: { eth0: 1 } }, 'eth0', (x) => `LAN 1 (${x})`).text,
    /serving 1 subnet on LAN 1 \(eth0\)$/);
  // One form of a moment, with the year when it is not this one.
  const now = new Date(2026, 11, 8, 12, 0);
  assert.doesNotMatch(formatWhen(new Date(2026, 0, 5, 9, 30), now), /2026/);
  assert.match(formatWhen(new Date(2025, 11, 31, 9, 30), now), /2025/);
  const pxe = { success: true, pxe_enabled: true, pxe_interface_id: 'eth0' };
  const name = (id) => `LAN 1 (${id})`;
  const pxeCases = [
    [pxe, { running: true, lastRestart: at }, { kind: 'on', text: 'served on LAN 1 (eth0)' }],
    [pxe, { running: false }, { kind: 'off', text: 'set up on LAN 1 (eth0), not served: the DHCP service is stopped' }],
    [pxe, { running: true, lastRestart: failed },
      { kind: 'failed', text: 'set up on LAN 1 (eth0); the last restart failed, the previous settings are served' }],
    [{ success: true, pxe_enabled: false }, { running: true }, { kind: '', text: 'off' }],
    [{ success: false }, null, { kind: '', text: 'unknown' }],
  ];
  for (const [p, status, want] of pxeCases) assert.deepEqual(pxeLine(p, status, name), want, JSON.stringify([p, status]));
});

test('further options are checked whole, at the places the program names', () => {
  assert.deepEqual(problemsOf(optionProblems(
    [{ name: 'mtu', value: '1400' }, { name: '', code: '3', type: 'ipv4', value: '1.2.3.4' },
      { name: '', code: '42', type: 'ipv4', value: '1.2.3.4' }, { name: 'mtu', value: '1500' }],
    [{ mac: '02-00-00-00-00-0B', gateway: '', dns: '' }, { mac: '02:00:00:00:00:0b', gateway: '10.0.0.1', dns: '' }],
  )), [
    "options[1].code: set from the subnet's gateway",
    'options[2].code: use the named option ntp-server',
    'options[3].code: given twice',
    'hostOptions[0]: neither a gateway nor a DNS server',
    'hostOptions[1].mac: given twice',
  ]);
});

test('reservations are written as CSV under a header line, quoted where needed, formulas guarded', () => {
  const list = [
    { mac: '02:00:00:00:00:0a', ip: '192.168.1.10', hostname: 'cam' },
    { mac: '02:00:00:00:00:0b', ip: '192.168.1.11', hostname: 'a,b "c"' },
    { mac: '02:00:00:00:00:0c', ip: '192.168.1.12', hostname: '' },
    { mac: '02:00:00:00:00:0d', ip: '192.168.1.13', hostname: '=1+1' },
    { mac: '02:00:00:00:00:0e', ip: '192.168.1.14', hostname: '-x' },
  ];
  const text = reservationsCsv(list);
  assert.equal(text, 'mac,ip,host\r\n02:00:00:00:00:0a,192.168.1.10,cam\r\n'
    + '02:00:00:00:00:0b,192.168.1.11,"a,b ""c"""\r\n02:00:00:00:00:0c,192.168.1.12,\r\n'
    + "02:00:00:00:00:0d,192.168.1.13,'=1+1\r\n02:00:00:00:00:0e,192.168.1.14,'-x\r\n");
  // The guard comes off again on import.
  assert.deepEqual(importReservations(text).map(({ hostname }) => hostname), list.map(({ hostname }) => hostname));
});

test('CSV records are read as RFC 4180 says, with the line each begins on', () => {
  const cases = [
    ['a,b\r\nc,d', ['1:a|b', '2:c|d']],
    ['\uFEFFa;"b;c"\n\n"x\ny";z\nlast', ['1:a|b;c', '3:x\ny|z', '5:last']],
    ['"say ""hi""",2\n,\n', ['1:say "hi"|2', '2:|']],
    ['a,"open\n', ['1:a|open\n']],
  ];
  for (const [text, want] of cases) {
    assert.deepEqual(parseCsv(text).map((r) => `${r.line}:${r.fields.join('|')}`), want, JSON.stringify(text));
  }
});

test('each imported line gets its verdict in the screen\'s words', () => {
  const text = 'MAC;IP;Host\n'
    + '02-00-00-00-00-0A;192.168.1.10;cam\n'
    + '02:00:00:00:00:0b;192.168.1.300;\n'
    + 'nonsense;192.168.1.11;tv\n'
    + '02:00:00:00:00:0d;192.168.1.10\n'
    + '02:00:00:00:00:0e;192.168.1.12;a;::e;b\n'
    + '02:00:00:00:00:0f;192.168.1.13;tag:x\n'
    + '02:00:00:00:00:10;192.168.1.14;pc;::10\n'
    + '02:00:00:00:00:11;192.168.1.15;pc2;fe80::11\n';
  assert.deepEqual(importReservations(text).map((l) => `${l.line} ${l.mac} ${l.why || 'accepted'}`), [
    '2 02:00:00:00:00:0A accepted',
    '3 02:00:00:00:00:0b IP address: not an IPv4 address',
    '4 nonsense MAC address: not a MAC address',
    '5 02:00:00:00:00:0d IP address: same address as line 2',
    '6 02:00:00:00:00:0e 5 fields; a line holds MAC address, IP address, host name and IPv6 address',
    '7 02:00:00:00:00:0f host name: read by dnsmasq as a client id or tag',
    '8 02:00:00:00:00:10 accepted',
    '9 02:00:00:00:00:11 IPv6 address: a link-local address',
  ]);
});

test('an imported line is judged against the list it joins', () => {
  const list = [{ mac: '02:00:00:00:50:03', ip: '192.168.50.10', hostname: 'printer' }];
  const nets = [{ addr: (192 << 24 >>> 0) + (168 << 16) + (50 << 8) + 1, mask: 0xffffff00 }];
  const cases = [
    [{ mac: '02:00:00:00:50:03', ip: '192.168.50.46', hostname: 'p' }, { replaces: 0, same: false, notes: [] }],
    [{ mac: '02:00:00:00:50:03', ip: '192.168.60.46', hostname: 'p' }, { replaces: null, same: false, notes: [] }],
    [{ mac: '02:00:00:00:50:99', ip: '192.168.50.10', hostname: '' }, { why: 'IP address: reserved already for printer' }],
    [{ mac: '02:00:00:00:50:98', ip: '192.168.50.12', hostname: '3-4' },
      { replaces: null, same: false, notes: ['a spreadsheet reads the host name 3-4 as a date: check it was kept'] }],
  ];
  for (const [line, want] of cases) assert.deepEqual(judgeAgainst(line, list, nets), want, JSON.stringify(line));
  for (const [name, reading] of [['3-4', 'a date'], ['12-mar', 'a date'], ['1e5', 'a number'], ['pc-12', null], ['cam', null]]) {
    assert.equal(spreadsheetReading(name), reading, name);
  }
});

test('what a revision changed, and what a restore would change, per interface', () => {
  const later = [
    [{ path: 'etc/dhcpd/dhcpd-eth0-eth00.conf', change: 'changed' }, { path: 'etc/dhcpd/dhcpd-eth0-eth01.conf', change: 'added' }],
    [{ path: 'etc/dhcpd/dhcpd-eth1-options.conf', change: 'removed' }, { path: 'etc/dhcpd/dhcpdStatic.ori', change: 'changed' }],
    [{ path: 'etc/dhcpd/dhcpd-eth0-eth01.conf', change: 'changed' }, { path: 'etc/dhcpd/dhcpd-eth0-pxe.conf', change: 'added' },
      { path: 'etc/dhcpd/dhcpd-eth0-pxe.conf', change: 'removed' }],
  ];
  const name = (x) => `LAN (${x})`;
  assert.deepEqual(describeFiles(restoreChanges(later), name), [
    'LAN (eth0): subnet 1 changed, subnet 2 removed',
    'LAN (eth1): further options added',
    'All interfaces: reservations changed',
  ]);
  assert.equal(onlyInterface(later[0]), 'eth0');
  assert.equal(onlyInterface(later[1]), 'eth1');
  assert.equal(onlyInterface([...later[0], ...later[1]]), null);
});

test('an exported list imports as the same list, 4,096 rows within a second', () => {
  const list = Array.from({ length: 4096 }, (_, i) => ({
    mac: `02:00:00:00:${(i >> 8).toString(16).padStart(2, '0')}:${(i & 255).toString(16).padStart(2, '0')}`,
    ip: `10.1.${i >> 8}.${i & 255}`,
    hostname: i % 2 ? `host-${i}` : '',
  }));
  // The best of three runs: a busy machine slows one run, not all three.
  const text = reservationsCsv(list);
  let best = Infinity;
  let lines = [];
  for (let k = 0; k < 3; k += 1) {
    const started = Date.now();
    lines = importReservations(text);
    best = Math.min(best, Date.now() - started);
  }
  assert.ok(best < 1000, `${best} ms`);
  assert.deepEqual(lines.filter((l) => l.why), []);
  assert.deepEqual(lines.map(({ mac, ip, hostname }) => ({ mac, ip, hostname })), list);
  // With IPv6 addresses, a fourth column carries them.
  const v6 = [{ mac: '02:00:00:00:00:01', ip: '10.1.0.1', hostname: 'a', ipv6: '::10' },
    { mac: '02:00:00:00:00:02', ip: '10.1.0.2', hostname: 'b', ipv6: '' }];
  assert.deepEqual(importReservations(reservationsCsv(v6)).map(({ mac, ip, hostname, ipv6 }) => ({ mac, ip, hostname, ipv6 })), v6);
});

// The IPv6 form's problems, at the places and with the reasons the program
// answers.
test('the IPv6 settings are judged as applyIPv6 judges them', () => {
  const cases = [
    [{ mode: 'off', dns: [] }, []],
    [{ mode: 'stateless', leasetime: '720', dns: ['fd50::53'] }, []],
    [{ mode: 'slaac', leasetime: '720', dns: [] }, ['ipv6.mode: not one of off, ra-only, stateless, stateful']],
    [{ mode: 'ra-only', leasetime: '1', dns: ['ff02::1'] },
      ['ipv6.leasetime: less than 2 minutes', 'ipv6.dns[0]: a multicast address']],
    [{ mode: 'stateful', leasetime: '60', start: '::200', end: '::1ff', dns: [] }, ['ipv6.end: before the start']],
    [{ mode: 'stateful', leasetime: '60', start: 'fd50::100', end: '', dns: [] },
      ['ipv6.start: not a host part (such as ::100)', 'ipv6.end: missing']],
  ];
  for (const [v6, expected] of cases) assert.deepEqual(problemsOf(ipv6Problems(v6)), expected, JSON.stringify(v6));
});
