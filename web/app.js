// The DHCP administration page: talks to /cgi-bin/orvath with form posts and
// shows its JSON answers. No framework, no build step.
'use strict';

const CGI = '/cgi-bin/orvath';
const CLIENT_REFRESH_MS = 5000;

const state = {
  iface: '',            // the chosen interface, as "iftype" takes it
  ifaces: [],           // [{if_value, if_display}]
  subnets: [],          // rows of "subnetData", in table order
  reservations: [],     // rows of "staticData"
  pxe: null,            // answer of getEnablePXEConfig
  clientTimer: null,
  pending: 0,           // answers outstanding
  dirty: false,         // the settings form holds edits not saved yet
  storedEnable: false,  // the service of the interface is on, as stored
  status: null,         // answer of getServiceStatus
  ap: null,             // the access point's subnet {addr, mask, text}, or null
  clients: [],          // the last client list
  clientSort: { key: 'ip', dir: 1 },
};

const $ = (id) => document.getElementById(id);

// --- talking to the program ------------------------------------------------

// Posts one action with its parameters as application/x-www-form-urlencoded
// and gives the parsed answer; a transport failure gives {success: false}
// with a reason in "error" that names no field.
async function call(action, params = {}) {
  // The page is busy while any answer is outstanding (data-busy on the
  // body), so that scripted users can wait for it to settle.
  state.pending += 1;
  document.body.dataset.busy = 'true';
  try {
    return await request(action, params);
  } finally {
    state.pending -= 1;
    if (state.pending === 0) delete document.body.dataset.busy;
  }
}

async function request(action, params) {
  const body = new URLSearchParams({ action, ...params });
  let response;
  try {
    response = await fetch(CGI, {
      method: 'POST',
      headers: { 'Content-Type': 'application/x-www-form-urlencoded' },
      body,
      credentials: 'same-origin',
      cache: 'no-store',
    });
  } catch (e) {
    return { success: false, transportError: 'The server cannot be reached.' };
  }
  if (!response.ok) {
    return { success: false, transportError: `The server answered ${response.status} ${response.statusText}.` };
  }
  try {
    return await response.json();
  } catch (e) {
    return { success: false, transportError: 'The server gave no readable answer.' };
  }
}

// --- remaining lease time ---------------------------------------------------

// "1,2,3" (days, hours, minutes) reads "1 d 2 h 3 min"; leading zero parts
// are left out; "unlimited" and "expired" stay as they are.
function formatRemaining(text) {
  const m = /^(\d+),(\d+),(\d+)$/.exec(text || '');
  if (!m) return text || '';
  const [d, h, min] = [Number(m[1]), Number(m[2]), Number(m[3])];
  if (d === 0 && h === 0 && min === 0) return 'less than 1 min';
  const parts = [];
  if (d > 0) parts.push(`${d} d`);
  if (d > 0 || h > 0) parts.push(`${h} h`);
  parts.push(`${min} min`);
  return parts.join(' ');
}

// "until 14:05" (today) or "until Tue 14:05": when a lease with this
// remaining time ("days,hours,minutes") ends, seen from now; "" for other
// texts.
function formatExpiry(text, now = new Date()) {
  const m = /^(\d+),(\d+),(\d+)$/.exec(text || '');
  if (!m) return '';
  const minutes = Number(m[1]) * 1440 + Number(m[2]) * 60 + Number(m[3]);
  const end = new Date(now.getTime() + minutes * 60000);
  const time = end.toLocaleTimeString([], { hour: '2-digit', minute: '2-digit' });
  if (end.toDateString() === now.toDateString()) return `until ${time}`;
  return `until ${end.toLocaleDateString([], { weekday: 'short', day: 'numeric', month: 'short' })} ${time}`;
}

// --- the program's rules, checked before sending ------------------------------
//
// The same rules and reasons as the program's request checks, so that every
// problem is shown at once; the program stays the judge.

// The address as a number, or null when the text is no dotted-quad IPv4
// address (no leading zeros, as the program reads it).
function parseIpv4(text) {
  const m = /^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3})$/.exec(text || '');
  if (!m) return null;
  const parts = m.slice(1);
  if (parts.some((p) => Number(p) > 255 || (p.length > 1 && p[0] === '0'))) return null;
  return parts.reduce((acc, p) => acc * 256 + Number(p), 0);
}

const checkIpv4 = (text) => (parseIpv4(text) === null ? 'not an IPv4 address' : null);

function checkNetmask(text) {
  const mask = parseIpv4(text);
  if (mask === null) return 'not an IPv4 address';
  const host = 0xffffffff - mask;
  return (host & (host + 1)) !== 0 ? 'not a contiguous netmask' : null;
}

const networkOf = (addr, mask) => (addr & mask) >>> 0;

function checkRange(start, end, netmask) {
  const first = parseIpv4(start);
  const last = parseIpv4(end);
  if (first === null || last === null) return 'not an IPv4 address';
  const why = checkNetmask(netmask);
  if (why) return why;
  const mask = parseIpv4(netmask);
  if (networkOf(first, mask) !== networkOf(last, mask)) return 'start and end not in one subnet';
  if (first > last) return 'start above end';
  return null;
}

// A MAC address typed with "-" between the pairs is taken with ":".
const normalizeMac = (text) => (/^([0-9A-Fa-f]{2}-){5}[0-9A-Fa-f]{2}$/.test(text) ? text.replace(/-/g, ':') : text);
const checkMac = (text) => (/^([0-9A-Fa-f]{2}:){5}[0-9A-Fa-f]{2}$/.test(text || '') ? null : 'not a MAC address');

function checkLabels(text, badChar) {
  if (!text) return null;
  if (text.length > 253) return 'longer than 253 characters';
  for (const label of text.split('.')) {
    if (label.length === 0) return 'empty label';
    if (label.length > 63) return 'label longer than 63 characters';
    if (!/^[A-Za-z0-9_-]+$/.test(label)) return badChar;
    if (label[0] === '-' || label[0] === '_') return 'label begins with "-" or "_"';
    if (label.endsWith('-')) return 'label ends with "-"';
  }
  return null;
}

const checkDomain = (text) => checkLabels(text, 'not a domain name');

function checkHostName(text) {
  if (!text) return null;
  if (/^(id|set|tag):/i.test(text)) return 'read by dnsmasq as a client id or tag';
  if (text.includes('*')) return 'read by dnsmasq as a wildcard';
  if (/^(infinite|ignore)$/i.test(text)) return 'read by dnsmasq as a keyword';
  if (/^\d+[smhdw]?$/i.test(text)) return 'read by dnsmasq as a lease time';
  if (/^[0-9.]+$/.test(text)) return 'read by dnsmasq as an address';
  return checkLabels(text, 'not a host name');
}

function checkBootFile(text) {
  if (!text) return null;
  if (text.length > 255) return 'longer than 255 characters';
  if (/[^\x21-\x7e]/.test(text)) return 'contains a blank or an unprintable character';
  if (/[,"'#=]/.test(text)) return 'contains one of , " \' # =';
  if (text.split(/[/\\]/).includes('..')) return 'contains a ".." path element';
  return null;
}

// Lease time: whole minutes only, as many as fit the program's seconds.
function checkLeaseMinutes(text) {
  if (!/^\d+$/.test(text || '')) return 'not a whole number of minutes';
  return Number(text) > Math.floor(2147483647 / 60) ? 'lease time too long' : null;
}

// "a.b.c.d/n" texts as {addr, mask}; others are left out.
function parseNetworks(list) {
  const out = [];
  for (const text of list || []) {
    const [ip, bits] = String(text).split('/');
    const addr = parseIpv4(ip);
    const n = Number(bits);
    if (addr === null || !/^\d+$/.test(bits || '') || n > 32) continue;
    out.push({ addr, mask: n === 0 ? 0 : (0xffffffff << (32 - n)) >>> 0, text });
  }
  return out;
}

// "<gateway>/<netmask>" of the access point's subnet.
function parseApSubnet(text) {
  const [gw, mask] = String(text || '').split('/');
  const addr = parseIpv4(gw);
  const m = parseIpv4(mask);
  if (addr === null || m === null) return null;
  let bits = 0;
  while (bits < 32 && (m >>> (31 - bits)) & 1) bits += 1;
  const net = networkOf(addr, m);
  return { addr, mask: m, text: `${[24, 16, 8, 0].map((k) => (net >>> k) & 255).join('.')}/${bits}` };
}

// True when the address lies in the access point's subnet under the row's
// netmask or under the access point's own, as the program decides.
function inApSubnet(ip, rowMask, ap) {
  const addr = parseIpv4(ip);
  if (!ap || addr === null) return false;
  const mask = parseIpv4(rowMask);
  return (mask !== null && networkOf(addr, mask) === networkOf(ap.addr, mask))
    || networkOf(addr, ap.mask) === networkOf(ap.addr, ap.mask);
}

// Every problem of a save: [{where, why}] with the program's places.
function settingsProblems(global, subnets, reservations, ap) {
  const problems = [];
  const add = (where, why) => problems.push({ where, why });
  const optionalIp = (text) => (text ? checkIpv4(text) : null);
  for (const [key, check] of [['leasetime', checkLeaseMinutes], ['domain', checkDomain],
    ['pdns', optionalIp], ['sdns', optionalIp]]) {
    const why = check(global[key]);
    if (why) add(`dataArray.${key}`, why);
  }
  if (subnets.length > 0 && !global.pdns) add('dataArray.pdns', 'missing');
  subnets.forEach((row, i) => {
    if (row.pxe) return;
    const at = `subnetData[${i}]`;
    let complete = true;
    for (const key of ['startip', 'endip', 'netmask', 'gateway']) {
      const why = row[key] ? checkIpv4(row[key]) : 'missing';
      if (why) { add(`${at}.${key}`, why); complete = false; }
    }
    if (!complete) return;
    const maskWhy = checkNetmask(row.netmask);
    if (maskWhy) { add(`${at}.netmask`, maskWhy); return; }
    const rangeWhy = checkRange(row.startip, row.endip, row.netmask);
    if (rangeWhy) { add(`${at}.endip`, rangeWhy); return; }
    const touching = ['startip', 'endip', 'gateway'].find((k) => inApSubnet(row[k], row.netmask, ap));
    if (touching) add(`${at}.${touching}`, `in the access point's subnet ${ap.text}`);
  });
  const ranges = subnets.map((row) => (row.activated && parseIpv4(row.startip) !== null
    && parseIpv4(row.endip) !== null && parseIpv4(row.startip) <= parseIpv4(row.endip)
    ? [parseIpv4(row.startip), parseIpv4(row.endip)] : null));
  ranges.forEach((r, i) => {
    if (!r) return;
    const j = ranges.findIndex((o, k) => k < i && o && r[0] <= o[1] && o[0] <= r[1]);
    if (j >= 0) add(`subnetData[${i}].startip`, `overlaps subnetData[${j}]`);
  });
  const seen = new Map();
  reservations.forEach((row, i) => {
    const at = `staticData[${i}]`;
    const macWhy = checkMac(row.mac);
    const ipWhy = checkIpv4(row.ip);
    const hostWhy = checkHostName(row.hostname);
    if (macWhy) add(`${at}.mac`, macWhy);
    if (ipWhy) add(`${at}.ip`, ipWhy);
    if (hostWhy) add(`${at}.hostname`, hostWhy);
    if (ipWhy) return;
    const addr = parseIpv4(row.ip);
    if (seen.has(addr)) add(`${at}.ip`, `same address as staticData[${seen.get(addr)}]`);
    else seen.set(addr, i);
  });
  return problems;
}

// What is allowed but cannot work as meant: [{where, why}].
function settingsWarnings(subnets, reservations, ifaceNetworks) {
  const warnings = [];
  subnets.forEach((row, i) => {
    if (row.pxe || checkRange(row.startip, row.endip, row.netmask)) return;
    const first = parseIpv4(row.startip);
    const last = parseIpv4(row.endip);
    const inside = ifaceNetworks.some((n) => networkOf(first, n.mask) === networkOf(n.addr, n.mask)
      && networkOf(last, n.mask) === networkOf(n.addr, n.mask));
    if (ifaceNetworks.length > 0 && !inside) {
      warnings.push({ where: `subnetData[${i}].startip`,
        why: `outside every network of this interface (${ifaceNetworks.map((n) => n.text).join(', ')}): no client will be served` });
    }
  });
  reservations.forEach((row, i) => {
    const addr = parseIpv4(row.ip);
    if (addr === null) return;
    for (const s of subnets) {
      const mask = parseIpv4(s.netmask);
      const start = parseIpv4(s.startip);
      if (mask === null || start === null || checkNetmask(s.netmask) || mask === 0xffffffff) continue;
      if (networkOf(addr, mask) !== networkOf(start, mask)) continue;
      const network = networkOf(start, mask);
      const broadcast = (network | (0xffffffff - mask)) >>> 0;
      let why = null;
      if (addr === network) why = 'the network address of its subnet';
      else if (addr === broadcast) why = 'the broadcast address of its subnet';
      else if (addr === parseIpv4(s.gateway)) why = 'the gateway of its subnet';
      if (why) { warnings.push({ where: `staticData[${i}].ip`, why: `${why}: no client can use it` }); break; }
    }
  });
  return warnings;
}

// --- messages and field errors -----------------------------------------------

function showMessage(text, kind = 'info') {
  const el = $('message');
  el.textContent = text;
  el.className = `message ${kind}`;
  el.hidden = !text;
}

function setInline(id, text, kind) {
  const el = $(id);
  el.textContent = text || '';
  el.className = `inline-message ${kind || ''}`;
}

function clearFieldErrors(scope = document) {
  for (const el of scope.querySelectorAll('[aria-invalid="true"]')) el.removeAttribute('aria-invalid');
  for (const el of scope.querySelectorAll('.field-error')) el.textContent = '';
}

// The field that an "error" text names ("subnetData[1].startip: ..."): its
// place is matched against the data-where of the page's fields, also
// without the "dataArray." of the global settings; a place naming a whole
// row ("staticData[0]") falls on the row's first field.
function fieldFor(where) {
  const fields = [...document.querySelectorAll('[data-where]')];
  const plain = (w) => w.replace(/^dataArray\./, '');
  return fields.find((el) => el.dataset.where === where)
    || fields.find((el) => plain(el.dataset.where) === plain(where))
    || (where.endsWith(']') && fields.find((el) => el.dataset.where.startsWith(`${where}.`)))
    || null;
}

// The words of the screen for the program's places and reasons:
// "subnetData[1].startip" is "Subnet 2, start address", counted as the
// table shows them.
const PLACE_WORDS = {
  enable_check: 'DHCP service', leasetime: 'Lease time', domain: 'Domain', pdns: 'Primary DNS server',
  sdns: 'Secondary DNS server', iftype: 'Interface', mac: 'MAC address', ip: 'IP address',
  pxe_interface: 'PXE interface', pxe_start_ip: 'PXE start address', pxe_end_ip: 'PXE end address',
  pxe_netmask: 'PXE netmask', pxe_gateway: 'PXE gateway', pxe_dns: 'PXE DNS server',
  pxe_bootloader: 'Boot file', orig_interface: 'PXE interface',
};
const ROW_WORDS = {
  activated: 'active', startip: 'start address', endip: 'end address', netmask: 'netmask',
  gateway: 'gateway', mac: 'MAC address', ip: 'IP address', hostname: 'host name',
};

function subnetName(i) {
  const row = state.subnets[i];
  return row && row.pxe ? 'PXE subnet' : `Subnet ${subnetNumber(i)}`;
}

function placeWords(where) {
  let m = /^(?:dataArray\.)?(\w+)$/.exec(where);
  if (m && PLACE_WORDS[m[1]]) return PLACE_WORDS[m[1]];
  m = /^(subnetData|staticData)\[(\d+)\](?:\.(\w+))?$/.exec(where);
  if (!m) return where;
  const name = m[1] === 'subnetData' ? subnetName(Number(m[2])) : `Reservation ${Number(m[2]) + 1}`;
  return m[3] ? `${name}, ${ROW_WORDS[m[3]] || m[3]}` : name;
}

function reasonWords(why) {
  return why
    .replace(/subnetData\[(\d+)\]/g, (_, j) => subnetName(Number(j)).replace(/^Subnet/, 'subnet'))
    .replace(/staticData\[(\d+)\]/g, (_, j) => `reservation ${Number(j) + 1}`);
}

// "<where>: <why>" of an answer as {where, why}.
function splitError(error) {
  const colon = error.indexOf(': ');
  return colon > 0 ? { where: error.slice(0, colon), why: error.slice(colon + 2) } : { where: error, why: '' };
}

// Marks a field with a text in its holder; kind "warn" shows a warning.
function markField(field, text, kind) {
  const holder = $(field.getAttribute('aria-describedby'));
  if (kind !== 'warn') field.setAttribute('aria-invalid', 'true');
  if (holder) {
    holder.textContent = text;
    holder.classList.toggle('warn', kind === 'warn');
  }
}

// Shows every problem at its field, in the words of the screen, and all of
// them in the message; the first marked field takes the focus. Returns the
// text shown.
function showProblems(problems, verb) {
  let first = null;
  const lines = problems.map(({ where, why }) => {
    const words = reasonWords(why);
    const field = fieldFor(where);
    if (field) {
      markField(field, words);
      if (!first) first = field;
    }
    return words ? `${placeWords(where)}: ${words}` : placeWords(where);
  });
  if (first) first.focus();
  return problems.length === 1 ? `${verb}: ${lines[0]}`
    : `${verb}: ${problems.length} problems:\n${lines.join('\n')}`;
}

// Shows the warnings of the settings at their fields, where no error is.
function showWarnings() {
  for (const el of document.querySelectorAll('#settings .field-error.warn')) {
    el.textContent = '';
    el.classList.remove('warn');
  }
  const item = state.ifaces.find((i) => i.if_value === state.iface);
  const networks = parseNetworks(item && item.if_addrs);
  for (const { where, why } of settingsWarnings(state.subnets, state.reservations, networks)) {
    const field = fieldFor(where);
    if (field && field.getAttribute('aria-invalid') !== 'true') markField(field, `Warning: ${why}`, 'warn');
  }
}

// Text for a failed answer.
function failureText(answer, fallback) {
  if (answer.transportError) return answer.transportError;
  if (answer.error) return answer.error;
  return fallback;
}

// --- interfaces and PXE status ----------------------------------------------

async function loadInterfaces() {
  const answer = await call('enumIF');
  const select = $('iface');
  select.textContent = '';
  state.ifaces = answer.success && Array.isArray(answer.items) ? answer.items : [];
  for (const item of state.ifaces) {
    const option = document.createElement('option');
    option.value = item.if_value;
    option.textContent = item.if_display && item.if_display !== item.if_value
      ? `${item.if_display} (${item.if_value})` : item.if_value;
    select.append(option);
  }
  if (!answer.success) {
    showMessage(failureText(answer, 'The interfaces cannot be listed.'), 'error');
    return;
  }
  if (state.ifaces.length === 0) {
    showMessage('This system has no interface that can serve DHCP.', 'error');
    return;
  }
  const wanted = new URLSearchParams(location.hash.slice(1)).get('if');
  const found = state.ifaces.find((i) => i.if_value === wanted);
  state.iface = found ? found.if_value : state.ifaces[0].if_value;
  select.value = state.iface;
}

function displayName(id) {
  const item = state.ifaces.find((i) => i.if_value === id);
  return item && item.if_display && item.if_display !== id ? `${item.if_display} (${id})` : id;
}

async function loadPxeStatus() {
  const answer = await call('getEnablePXEConfig');
  state.pxe = answer;
  const el = $('pxe-status');
  if (answer.pxe_interface_id && answer.pxe_enabled) {
    const shown = answer.pxe_interface && answer.pxe_interface !== answer.pxe_interface_id
      ? `${answer.pxe_interface} (${answer.pxe_interface_id})` : answer.pxe_interface_id;
    el.textContent = `PXE network boot: served on ${shown}`;
    el.className = 'pxe-status on';
  } else if (answer.success) {
    el.textContent = 'PXE network boot: off';
    el.className = 'pxe-status';
  } else {
    el.textContent = 'PXE network boot: unknown';
    el.className = 'pxe-status';
  }
  renderPxeHere();
}

// --- global settings ------------------------------------------------------------

async function loadGlobal() {
  const iface = state.iface;
  const answer = await call('loadGlobal', { iftype: iface });
  // An answer for an interface no longer chosen is dropped.
  if (iface !== state.iface) return;
  const stored = !!answer.success;
  $('global-note').hidden = stored;
  // Without any subnet the service is off; adding the first subnet ticks it.
  state.storedEnable = stored && !!answer.enable;
  $('enable').checked = state.storedEnable;
  $('leasetime').value = stored ? String(answer.leasetime) : '1440';
  $('domain').value = stored ? answer.domain || '' : '';
  $('pdns').value = stored ? answer.pdns || '' : '';
  $('sdns').value = stored ? answer.sdns || '' : '';
}

function globalData() {
  return {
    enable_check: $('enable').checked,
    leasetime: $('leasetime').value.trim(),
    domain: $('domain').value.trim(),
    pdns: $('pdns').value.trim(),
    sdns: $('sdns').value.trim(),
    iftype: state.iface,
  };
}

// --- subnet table -----------------------------------------------------------------

const SUBNET_FIELDS = [
  ['startip', 'start address', '192.168.1.100'],
  ['endip', 'end address', '192.168.1.200'],
  ['netmask', 'netmask', '255.255.255.0'],
  ['gateway', 'gateway', '192.168.1.1'],
];

async function loadSubnets() {
  const iface = state.iface;
  const answer = await call('getIfData', { iftype: iface });
  if (iface !== state.iface) return;
  if (!answer.success) {
    state.subnets = [];
    showMessage(failureText(answer, 'The subnets of this interface cannot be read.'), 'error');
  } else {
    // A row's own switch ("rowActive") stays while the service is off.
    state.subnets = (answer.subnetList || []).map((row) => ({
      activated: row.rowActive === undefined ? !!row.activated : !!row.rowActive,
      pxe: !!row.pxe,
      startip: row.startip || '',
      endip: row.endip || '',
      netmask: row.netmask || '',
      gateway: row.gateway || '',
    }));
  }
  renderSubnets();
}

// The holder of a field's error text, which the field names as its
// description.
function errorHolder(field) {
  const holder = document.createElement('span');
  holder.className = 'field-error';
  holder.id = `${field.id}-error`;
  field.setAttribute('aria-describedby', holder.id);
  return holder;
}

// A cell of a row table, headed by label where the table is shown as a list
// on narrow screens.
function rowCell(label) {
  const cell = document.createElement('td');
  cell.dataset.label = label.charAt(0).toUpperCase() + label.slice(1);
  return cell;
}

// The cell of a row's text field that edits row[key]: the input's id and
// data-where (the place an "error" names) extend the row's, its accessible
// name is the row's name and the field's label; its error holder follows it.
function rowField(idBase, whereBase, rowName, row, [key, label, placeholder]) {
  const cell = rowCell(label);
  const input = document.createElement('input');
  input.id = `${idBase}-${key}`;
  input.value = row[key];
  input.autocomplete = 'off';
  input.spellcheck = false;
  if (placeholder) input.placeholder = placeholder;
  input.dataset.where = `${whereBase}.${key}`;
  input.setAttribute('aria-label', `${rowName} ${label}`);
  input.addEventListener('input', () => { row[key] = input.value.trim(); });
  cell.append(input, errorHolder(input));
  return cell;
}

function button(text, label, onClick, disabled = false) {
  const b = document.createElement('button');
  b.type = 'button';
  b.textContent = text;
  b.setAttribute('aria-label', label);
  b.title = label;
  b.disabled = disabled;
  b.addEventListener('click', onClick);
  return b;
}

// Ordinary rows are numbered as the program numbers them: the PXE row takes
// no number.
function subnetNumber(index) {
  return state.subnets.slice(0, index + 1).filter((r) => !r.pxe).length;
}

function renderSubnets(focus) {
  const body = $('subnet-rows');
  body.textContent = '';
  state.subnets.forEach((row, i) => {
    const tr = document.createElement('tr');
    const name = row.pxe ? 'PXE subnet' : `Subnet ${subnetNumber(i)}`;
    tr.className = [row.pxe ? 'pxe-row' : '', row.activated ? '' : 'inactive'].join(' ').trim();
    tr.dataset.index = String(i);

    const active = rowCell('active');
    const tag = document.createElement('span');
    tag.className = row.pxe ? 'badge pxe' : 'badge';
    tag.textContent = row.pxe ? 'PXE' : `#${subnetNumber(i)}`;
    if (row.pxe) {
      // PXE is switched in its own section below; here its state is shown.
      const on = document.createElement('span');
      on.className = 'readonly';
      on.id = `subnet-${i}-activated`;
      on.dataset.where = `subnetData[${i}].activated`;
      on.tabIndex = -1;
      on.textContent = row.activated ? 'on' : 'off';
      active.append(tag, on, errorHolder(on));
    } else {
      const check = document.createElement('input');
      check.type = 'checkbox';
      check.id = `subnet-${i}-activated`;
      check.checked = row.activated;
      check.dataset.where = `subnetData[${i}].activated`;
      check.setAttribute('aria-label', `${name} active`);
      check.addEventListener('change', () => {
        row.activated = check.checked;
        tr.classList.toggle('inactive', !check.checked);
      });
      active.append(check, tag, errorHolder(check));
    }
    tr.append(active);

    for (const field of SUBNET_FIELDS) {
      const [key, label] = field;
      if (row.pxe) {
        // The PXE subnet's range is edited in the PXE section; here it is
        // shown, and sent back as it was read.
        const td = rowCell(label);
        const span = document.createElement('span');
        span.className = 'readonly';
        span.id = `subnet-${i}-${key}`;
        span.dataset.where = `subnetData[${i}].${key}`;
        span.tabIndex = -1;
        span.textContent = row[key];
        td.append(span, errorHolder(span));
        tr.append(td);
        continue;
      }
      tr.append(rowField(`subnet-${i}`, `subnetData[${i}]`, name, row, field));
    }

    const tools = document.createElement('td');
    tools.className = 'tools';
    tools.append(
      button('↑', `Move ${name.toLowerCase()} up`, () => moveSubnet(i, -1, 'up'), i === 0),
      button('↓', `Move ${name.toLowerCase()} down`, () => moveSubnet(i, 1, 'down'), i === state.subnets.length - 1),
    );
    if (!row.pxe) {
      tools.append(button('Remove', `Remove ${name.toLowerCase()}`, () => removeSubnet(i)));
    }
    tr.append(tools);
    body.append(tr);
  });
  $('subnets-empty').hidden = state.subnets.length > 0;
  showWarnings();
  if (focus) focus();
}

function moveSubnet(i, step, direction) {
  const j = i + step;
  if (j < 0 || j >= state.subnets.length) return;
  [state.subnets[i], state.subnets[j]] = [state.subnets[j], state.subnets[i]];
  markDirty();
  renderSubnets(() => {
    // Keep the keyboard on the moved row's button, or on its other one
    // when this one ends disabled at the table's edge.
    const buttons = $('subnet-rows').rows[j].querySelectorAll('.tools button');
    const wanted = direction === 'up' ? buttons[0] : buttons[1];
    (wanted && !wanted.disabled ? wanted : [...buttons].find((b) => !b.disabled) || $('add-subnet')).focus();
  });
}

function removeSubnet(i) {
  state.subnets.splice(i, 1);
  markDirty();
  renderSubnets(() => {
    const rows = $('subnet-rows').rows;
    const next = rows[Math.min(i, rows.length - 1)];
    const target = next && next.querySelector('.tools button:last-child');
    (target || $('add-subnet')).focus();
  });
}

function addSubnet() {
  // The first subnet of an interface is meant to be served.
  if (!state.subnets.some((r) => !r.pxe)) $('enable').checked = true;
  state.subnets.push({ activated: true, pxe: false, startip: '', endip: '', netmask: '255.255.255.0', gateway: '' });
  markDirty();
  const i = state.subnets.length - 1;
  renderSubnets(() => $(`subnet-${i}-startip`).focus());
}

// --- static reservations --------------------------------------------------------

async function loadReservations() {
  const answer = await call('loadStatic');
  // No reservation list at all also reads as a failure: an empty list.
  state.reservations = answer.success && Array.isArray(answer.staticData)
    ? answer.staticData.map((r) => ({ mac: r.mac || '', ip: r.ip || '', hostname: r.hostname || '' }))
    : [];
  renderReservations();
}

const RESERVATION_FIELDS = [
  ['mac', 'MAC address', '00:11:22:33:44:55'],
  ['ip', 'IP address', '192.168.1.10'],
  ['hostname', 'host name', 'optional'],
];

function renderReservations(focus) {
  const body = $('reservation-rows');
  body.textContent = '';
  state.reservations.forEach((row, i) => {
    const tr = document.createElement('tr');
    const name = `Reservation ${i + 1}`;
    for (const field of RESERVATION_FIELDS) {
      tr.append(rowField(`reservation-${i}`, `staticData[${i}]`, name, row, field));
    }
    const mac = tr.querySelector('input');
    mac.addEventListener('change', () => {
      row.mac = normalizeMac(mac.value.trim());
      mac.value = row.mac;
    });
    const tools = document.createElement('td');
    tools.className = 'tools';
    tools.append(button('Remove', `Remove ${name.toLowerCase()}`, () => removeReservation(i)));
    tr.append(tools);
    body.append(tr);
  });
  $('reservations-empty').hidden = state.reservations.length > 0;
  showWarnings();
  if (focus) focus();
}

function addReservation() {
  state.reservations.push({ mac: '', ip: '', hostname: '' });
  markDirty();
  const i = state.reservations.length - 1;
  renderReservations(() => $(`reservation-${i}-mac`).focus());
}

function removeReservation(i) {
  state.reservations.splice(i, 1);
  markDirty();
  renderReservations(() => {
    const rows = $('reservation-rows').rows;
    const next = rows[Math.min(i, rows.length - 1)];
    (next ? next.querySelector('.tools button') : $('add-reservation')).focus();
  });
}

// --- saving ------------------------------------------------------------------------

function markDirty() {
  if (state.dirty) return;
  state.dirty = true;
  setInline('save-message', 'Unsaved changes.');
}

function markClean() {
  state.dirty = false;
}

// What a changing action's answer says about the restart that followed it.
function restartText(answer) {
  if (answer.serviceRestarted === false) {
    return { ok: false, text: `the DHCP service did not restart: ${answer.serviceError || 'no reason given'}` };
  }
  return { ok: true, text: answer.serviceRestarted ? 'service restarted' : '' };
}

// Sends the interface's whole state as "applydata" takes it: the global
// settings, the complete subnet table (PXE row included) and the complete
// reservation list. Every value is checked first, with the program's rules.
async function save(event) {
  event.preventDefault();
  clearFieldErrors($('settings'));
  clearFieldErrors($('iface').parentElement);
  showMessage('');
  for (const row of state.reservations) row.mac = normalizeMac(row.mac);
  renderReservations();
  const global = globalData();
  const problems = settingsProblems(global, state.subnets, state.reservations, state.ap);
  if (problems.length > 0) {
    showMessage(showProblems(problems, 'Not saved'), 'error');
    setInline('save-message', 'Not saved: see the marked fields.', 'error');
    return;
  }
  if (state.storedEnable && !global.enable_check
      && !window.confirm(`Switch the DHCP service off on ${displayName(state.iface)}? `
        + 'Its clients get no address until it is switched on again.')) {
    setInline('save-message', 'Not saved.', 'error');
    return;
  }
  setInline('save-message', 'Saving…');
  const iface = state.iface;
  const answer = await call('applydata', {
    dataArray: JSON.stringify(global),
    subnetData: JSON.stringify(state.subnets),
    staticData: JSON.stringify(state.reservations),
  });
  if (iface !== state.iface) return;
  if (!answer.success) {
    if (answer.error) {
      showMessage(showProblems([splitError(answer.error)], 'Not saved'), 'error');
      setInline('save-message', 'Not saved.', 'error');
    } else if (answer.transportError) {
      setInline('save-message', 'Not saved.', 'error');
      showMessage(answer.transportError, 'error');
    } else if (!global.enable_check) {
      setInline('save-message', 'Saved, but the service could not be switched off.', 'error');
      showMessage('The service could not be switched off: this interface has no subnet to switch off.', 'error');
    } else {
      setInline('save-message', 'Not saved.', 'error');
      showMessage('The settings could not be saved.', 'error');
    }
    return;
  }
  if (answer.isSameApSubnet) {
    // The subnet table (and with it the global settings, which live in the
    // subnets' files) was refused whole; the reservations were stored.
    const ap = state.ap;
    const rows = [];
    state.subnets.forEach((row, i) => {
      if (row.pxe) return;
      const key = ['startip', 'endip', 'gateway'].find((k) => inApSubnet(row[k], row.netmask, ap));
      if (key) {
        markField($(`subnet-${i}-${key}`), `in the access point's subnet${ap ? ` ${ap.text}` : ''}`);
        rows.push(subnetName(i));
      }
    });
    setInline('save-message', 'Subnets not saved.', 'error');
    showMessage(`${rows.length ? rows.join(', ') : 'A subnet'} lies in the access point's subnet`
      + `${ap ? ` (${ap.text})` : ''}, so the subnet table and the settings of this interface `
      + 'were not saved. The reservations were saved.', 'warning');
    await loadReservations();
    return;
  }
  markClean();
  const restart = restartText(answer);
  const at = new Date().toLocaleTimeString();
  if (restart.ok) {
    setInline('save-message', `Saved${restart.text ? `; ${restart.text}` : ''} (${at}).`, 'ok');
  } else {
    setInline('save-message', `Saved, but ${restart.text}`, 'error');
    showMessage(`Saved, but ${restart.text}`, 'error');
  }
  await Promise.all([loadGlobal(), loadSubnets(), loadReservations(), loadPxeStatus(), loadStatus()]);
  refreshClients();
}

// --- service status ------------------------------------------------------------------

async function loadStatus() {
  const answer = await call('getServiceStatus');
  const el = $('service-status');
  if (!answer.success) {
    el.textContent = 'DHCP service: status unknown';
    el.className = 'service-status';
    return;
  }
  state.status = answer;
  state.ap = parseApSubnet(answer.apSubnet);
  const parts = [];
  if (answer.running) parts.push(answer.dnsOnly ? 'running (DHCP only: DNS is left to the name server)' : 'running');
  else parts.push('stopped');
  const here = answer.enabledSubnets && answer.enabledSubnets[state.iface];
  if (state.iface && here !== undefined) parts.push(`${here} subnet${here === 1 ? '' : 's'} on ${state.iface}`);
  const last = answer.lastRestart;
  let failed = false;
  if (last && last.time) {
    const when = new Date(last.time * 1000).toLocaleString();
    if (last.restarted) parts.push(`last restart ${when}`);
    else {
      parts.push(`last restart ${when} failed: ${last.serviceError || 'no reason given'}`);
      failed = true;
    }
  }
  el.textContent = `DHCP service: ${parts.join(' · ')}`;
  el.className = `service-status ${failed ? 'failed' : answer.running ? 'on' : 'off'}`;
}

// --- clients -----------------------------------------------------------------------

async function refreshClients() {
  const iface = state.iface;
  if (!iface) return;
  const [answer] = await Promise.all([call('loadClientList', { iftype: iface }), loadStatus()]);
  if (iface !== state.iface) return;
  state.clients = answer.success && Array.isArray(answer.clientList) ? answer.clientList : [];
  renderClients();
  $('clients-updated').textContent = `Last update ${new Date().toLocaleTimeString()}.`;
}

const isReserved = (client) => client.expire === 'unlimited'
  || state.reservations.some((r) => r.mac.toLowerCase() === String(client.mac).toLowerCase());

// Minutes left, for sorting: expired first, unlimited last.
function remainingMinutes(text) {
  const m = /^(\d+),(\d+),(\d+)$/.exec(text || '');
  if (m) return Number(m[1]) * 1440 + Number(m[2]) * 60 + Number(m[3]);
  return text === 'unlimited' ? Infinity : -1;
}

const CLIENT_KEYS = {
  mac: (c) => String(c.mac).toLowerCase(),
  ip: (c) => (parseIpv4(c.ip) === null ? -1 : parseIpv4(c.ip)),
  hostname: (c) => String(c.hostname || '').toLowerCase(),
  expire: (c) => remainingMinutes(c.expire),
};

// The clients that the filter lets through, in the chosen order; ties keep
// the order of the IP address, then of the MAC address, so that a refresh
// never reorders them.
function shownClients(clients, sort, filter) {
  const words = filter.trim().toLowerCase();
  const list = clients.filter((c) => !words
    || [c.mac, c.ip, c.hostname].some((t) => String(t || '').toLowerCase().includes(words)));
  const cmp = (a, b) => (a < b ? -1 : a > b ? 1 : 0);
  return list.sort((a, b) => sort.dir * cmp(CLIENT_KEYS[sort.key](a), CLIENT_KEYS[sort.key](b))
    || cmp(CLIENT_KEYS.ip(a), CLIENT_KEYS.ip(b)) || cmp(CLIENT_KEYS.mac(a), CLIENT_KEYS.mac(b)));
}

function renderClients() {
  const body = $('client-rows');
  const list = shownClients(state.clients, state.clientSort, $('client-filter').value);
  body.textContent = '';
  for (const client of list) {
    const tr = document.createElement('tr');
    const reserved = isReserved(client);
    const ipCell = rowCell('IP address');
    ipCell.textContent = client.ip;
    if (reserved) {
      const badge = document.createElement('span');
      badge.className = 'badge reserved';
      badge.textContent = 'reserved';
      ipCell.append(' ', badge);
    }
    const macCell = rowCell('MAC address');
    macCell.textContent = client.mac;
    const hostCell = rowCell('Host name');
    hostCell.textContent = client.hostname || '—';
    const leaseCell = rowCell('Remaining lease');
    leaseCell.textContent = formatRemaining(client.expire);
    const until = formatExpiry(client.expire);
    if (until) {
      const small = document.createElement('span');
      small.className = 'until';
      small.textContent = ` (${until})`;
      leaseCell.append(small);
    }
    const tools = rowCell('Actions');
    tools.classList.add('tools');
    if (!reserved) {
      tools.append(button('Reserve', `Reserve ${client.ip} for ${client.mac}`, () => reserveClient(client)));
    }
    if (client.expire !== 'expired') {
      tools.append(button('Release', `Release the lease of ${client.mac}`, () => releaseClient(client)));
    }
    tr.append(macCell, ipCell, hostCell, leaseCell, tools);
    if (client.expire === 'expired') tr.className = 'expired';
    if (reserved) tr.classList.add('reserved');
    body.append(tr);
  }
  $('clients-empty').hidden = list.length > 0;
  $('clients-empty').textContent = state.clients.length > 0 ? 'No client matches the filter.' : 'No clients.';
  for (const th of document.querySelectorAll('#clients th[data-sort]')) {
    const key = th.dataset.sort;
    th.setAttribute('aria-sort', key === state.clientSort.key
      ? (state.clientSort.dir > 0 ? 'ascending' : 'descending') : 'none');
  }
}

function sortClients(key) {
  const s = state.clientSort;
  state.clientSort = { key, dir: s.key === key ? -s.dir : 1 };
  renderClients();
}

// A dynamic client becomes a filled reservation row, to be saved.
function reserveClient(client) {
  const hostname = checkHostName(client.hostname || '') ? '' : (client.hostname || '');
  state.reservations.push({ mac: client.mac, ip: client.ip, hostname });
  markDirty();
  const i = state.reservations.length - 1;
  renderReservations(() => {
    const field = $(`reservation-${i}-hostname`);
    field.scrollIntoView({ block: 'center' });
    field.focus();
  });
  setInline('save-message', `Reservation of ${client.ip} for ${client.mac} added: save to keep it.`);
  renderClients();
}

async function releaseClient(client) {
  if (!window.confirm(`Release the lease of ${client.mac} (${client.ip})? `
      + 'The client loses its address and may be given another one when it asks again.')) return;
  const answer = await call('releaseLease', { iftype: state.iface, mac: client.mac, ip: client.ip });
  if (answer.success && answer.released) {
    showMessage(`The lease of ${client.mac} (${client.ip}) was released.`, 'ok');
  } else {
    const why = answer.releaseError || failureText(answer, 'no reason given');
    showMessage(`The lease of ${client.mac} (${client.ip}) was not released: ${why}`, 'error');
  }
  await refreshClients();
}

function startClientRefresh() {
  clearInterval(state.clientTimer);
  state.clientTimer = setInterval(() => {
    if (!document.hidden) refreshClients();
  }, CLIENT_REFRESH_MS);
}

// --- PXE -----------------------------------------------------------------------------

const PXE_FIELDS = ['pxe_start_ip', 'pxe_end_ip', 'pxe_netmask', 'pxe_gateway', 'pxe_dns'];

async function loadPxeSubnet() {
  const iface = state.iface;
  const answer = await call('loadpxesubnet', { if_name: iface });
  if (iface !== state.iface) return;
  const data = answer.success && answer.data ? answer.data : {};
  for (const key of [...PXE_FIELDS, 'pxe_bootloader']) $(key).value = data[key] || '';
  if (!data.pxe_start_ip) {
    // Suggestions for an interface without a PXE subnet.
    $('pxe_netmask').value = '255.255.255.0';
  }
}

function pxeHere() {
  return !!(state.pxe && state.pxe.pxe_enabled && state.pxe.pxe_interface_id === state.iface);
}

function renderPxeHere() {
  const el = $('pxe-here');
  const p = state.pxe;
  // Disabling is offered only where PXE is on.
  $('pxe-disable').hidden = !pxeHere();
  if (pxeHere()) {
    el.textContent = 'This interface serves PXE network boot.';
    $('pxe-enable').textContent = 'Save PXE settings';
  } else if (p && p.pxe_enabled && p.pxe_interface_id) {
    el.textContent = `PXE network boot is served on ${displayName(p.pxe_interface_id)}; `
      + 'enabling it here moves it to this interface.';
    $('pxe-enable').textContent = 'Move PXE to this interface';
  } else {
    el.textContent = 'PXE network boot is off.';
    $('pxe-enable').textContent = 'Enable PXE on this interface';
  }
}

// Every problem of the PXE form: [{where, why}].
function pxeProblems(params, ap) {
  const problems = [];
  for (const key of PXE_FIELDS) {
    const why = params[key] ? checkIpv4(params[key]) : 'missing';
    if (why) problems.push({ where: key, why });
  }
  if (problems.length === 0) {
    const maskWhy = checkNetmask(params.pxe_netmask);
    const rangeWhy = maskWhy ? null : checkRange(params.pxe_start_ip, params.pxe_end_ip, params.pxe_netmask);
    if (maskWhy) problems.push({ where: 'pxe_netmask', why: maskWhy });
    else if (rangeWhy) problems.push({ where: 'pxe_end_ip', why: rangeWhy });
    else {
      const key = ['pxe_start_ip', 'pxe_end_ip', 'pxe_gateway'].find((k) => inApSubnet(params[k], params.pxe_netmask, ap));
      if (key) problems.push({ where: key, why: `in the access point's subnet ${ap.text}` });
    }
  }
  const bootWhy = checkBootFile(params.pxe_bootloader);
  if (bootWhy) problems.push({ where: 'pxe_bootloader', why: bootWhy });
  return problems;
}

async function applyPxe(enable) {
  clearFieldErrors($('pxe-form'));
  const params = { pxe_interface: state.iface, pxe_enable: enable ? 'true' : 'false', orig_interface: '' };
  if (enable) {
    for (const key of [...PXE_FIELDS, 'pxe_bootloader']) params[key] = $(key).value.trim();
    const problems = pxeProblems(params, state.ap);
    if (problems.length > 0) {
      setInline('pxe-message', showProblems(problems, 'Not applied'), 'error');
      return;
    }
    // PXE is served on one interface: the one that served it before is
    // switched off once this one is written.
    if (state.pxe && state.pxe.pxe_enabled && state.pxe.pxe_interface_id
        && state.pxe.pxe_interface_id !== state.iface) {
      params.orig_interface = state.pxe.pxe_interface_id;
    }
  }
  setInline('pxe-message', 'Applying…');
  const answer = await call('applypxesubnet', params);
  const restart = restartText(answer);
  if (answer.isSameApSubnet) {
    setInline('pxe-message', 'The PXE range lies in the access point\'s subnet; nothing was saved.', 'error');
  } else if (!answer.success) {
    if (answer.error) {
      setInline('pxe-message', showProblems([splitError(answer.error)], 'Not applied'), 'error');
    } else {
      setInline('pxe-message', `Not applied: ${failureText(answer, 'the PXE settings could not be written.')}`, 'error');
    }
  } else {
    const done = enable ? 'PXE network boot enabled on this interface' : 'PXE network boot disabled on this interface';
    if (restart.ok) setInline('pxe-message', `${done}${restart.text ? `; ${restart.text}` : ''}.`, 'ok');
    else setInline('pxe-message', `${done}, but ${restart.text}`, 'error');
    // Enabling gave the PXE DNS server to every subnet of the interface;
    // the global settings show it, so that the next save keeps it.
    if (enable && params.pxe_dns) $('pdns').value = params.pxe_dns;
  }
  await Promise.all([loadPxeStatus(), loadStatus()]);
  await mergePxeRow();
}

// Takes the PXE row of the stored subnet list into the table without
// touching the edits of the ordinary rows.
async function mergePxeRow() {
  const iface = state.iface;
  const answer = await call('getIfData', { iftype: iface });
  if (!answer.success || iface !== state.iface) return;
  const stored = (answer.subnetList || []).find((r) => r.pxe);
  const at = state.subnets.findIndex((r) => r.pxe);
  if (stored) {
    const row = {
      activated: !!stored.activated, pxe: true, startip: stored.startip || '',
      endip: stored.endip || '', netmask: stored.netmask || '', gateway: stored.gateway || '',
    };
    if (at >= 0) state.subnets[at] = row; else state.subnets.push(row);
  } else if (at >= 0) {
    state.subnets.splice(at, 1);
  }
  renderSubnets();
}

// --- interface choice ----------------------------------------------------------------

async function chooseInterface(id) {
  state.iface = id;
  markClean();
  history.replaceState(null, '', `#if=${encodeURIComponent(id)}`);
  clearFieldErrors();
  showMessage('');
  setInline('save-message', '');
  setInline('pxe-message', '');
  $('client-rows').textContent = '';
  state.clients = [];
  const item = state.ifaces.find((i) => i.if_value === id);
  const addrs = item && Array.isArray(item.if_addrs) ? item.if_addrs : [];
  $('iface-addrs').textContent = addrs.length ? `Address ${addrs.join(', ')}` : 'No IPv4 address';
  await Promise.all([loadGlobal(), loadSubnets(), loadPxeSubnet(), loadPxeStatus(), loadStatus()]);
  await refreshClients();
}

// Another interface's settings replace the form: edits not saved yet are
// given up only when the user says so.
function switchTo(id) {
  if (state.dirty && !window.confirm('Discard the changes not saved yet?')) {
    $('iface').value = state.iface;
    history.replaceState(null, '', `#if=${encodeURIComponent(state.iface)}`);
    return;
  }
  $('iface').value = id;
  chooseInterface(id);
}

async function start() {
  $('settings').addEventListener('submit', save);
  $('revert').addEventListener('click', () => {
    markClean();
    showMessage('');
    setInline('save-message', '');
    clearFieldErrors($('settings'));
    return Promise.all([loadGlobal(), loadSubnets(), loadReservations()]);
  });
  $('add-subnet').addEventListener('click', addSubnet);
  $('client-filter').addEventListener('input', renderClients);
  for (const th of document.querySelectorAll('#clients th[data-sort]')) {
    th.querySelector('button').addEventListener('click', () => sortClients(th.dataset.sort));
  }
  // Edits not saved yet are not lost without a word.
  window.addEventListener('beforeunload', (e) => {
    if (!state.dirty) return;
    e.preventDefault();
    e.returnValue = '';
  });
  $('add-reservation').addEventListener('click', addReservation);
  $('iface').addEventListener('change', (e) => switchTo(e.target.value));
  const form = $('settings');
  form.addEventListener('input', markDirty);
  form.addEventListener('change', markDirty);
  $('pxe-form').addEventListener('submit', (e) => { e.preventDefault(); applyPxe(true); });
  $('pxe-disable').addEventListener('click', () => applyPxe(false));
  // Editing a field takes its error away.
  document.addEventListener('input', (e) => {
    const el = e.target;
    if (!el.dataset || !el.dataset.where) return;
    el.removeAttribute('aria-invalid');
    const holder = $(el.getAttribute('aria-describedby'));
    if (holder) holder.textContent = '';
    if (el.closest('#settings')) showWarnings();
  });

  // The address names the interface (#if=eth1), so it can be bookmarked
  // and followed back and forth.
  window.addEventListener('hashchange', () => {
    const wanted = new URLSearchParams(location.hash.slice(1)).get('if');
    if (wanted && wanted !== state.iface && state.ifaces.some((i) => i.if_value === wanted)) {
      switchTo(wanted);
    }
  });
  await loadInterfaces();
  await loadReservations();
  if (state.iface) await chooseInterface(state.iface);
  startClientRefresh();
  document.body.dataset.ready = 'true';
}

if (typeof window !== 'undefined') {
  window.addEventListener('DOMContentLoaded', start);
}
if (typeof module !== 'undefined') {
  module.exports = {
    formatRemaining, formatExpiry, normalizeMac, settingsProblems, settingsWarnings, parseNetworks,
    parseApSubnet, shownClients,
  };
}
