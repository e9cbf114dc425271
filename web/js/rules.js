// The program's rules, checked before sending. No DOM access.

import RULES from './ruletable.json' with { type: 'json' };
//
// The same rules and reasons as the program's request checks, so that every
// problem is shown at once; the program stays the judge.

// The address as a number, or null when the text is no dotted-quad IPv4
// address (no leading zeros, as the program reads it).
export function parseIpv4(text) {
  const m = /^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3})$/.exec(text || '');
  if (!m) return null;
  const parts = m.slice(1);
  if (parts.some((p) => Number(p) > 255 || (p.length > 1 && p[0] === '0'))) return null;
  return parts.reduce((acc, p) => acc * 256 + Number(p), 0);
}

export const checkIpv4 = (text) => (parseIpv4(text) === null ? 'not an IPv4 address' : null);

// A server's address (gateway, DNS server): 0.0.0.0 and 255.255.255.255
// are no host a client could reach.
export function checkServerIpv4(text) {
  const addr = parseIpv4(text);
  if (addr === null) return 'not an IPv4 address';
  return addr === 0 || addr === 0xffffffff ? 'not the address of a server' : null;
}

// The 16 bytes of an IPv6 address, or null when the text is none (as the
// program's inet_pton reads it: hexadecimal groups of one to four digits, one
// "::" at most, a dotted IPv4 address as the last 32 bits; no zone, no
// brackets, no blanks).
export function parseIpv6(text) {
  if (typeof text !== 'string' || text.length > 45 || !/^[0-9A-Fa-f:.]+$/.test(text)) return null;
  const halves = text.split('::');
  if (halves.length > 2) return null;
  const groupsOf = (part) => (part === '' ? [] : part.split(':'));
  const head = groupsOf(halves[0]);
  const tail = halves.length === 2 ? groupsOf(halves[1]) : [];
  const words = [];
  const last = halves.length === 2 ? tail : head;
  if (last.length && last[last.length - 1].includes('.')) {
    const v4 = parseIpv4(last.pop());
    if (v4 === null) return null;
    last.push((v4 >>> 16).toString(16), (v4 & 0xffff).toString(16));
  }
  for (const g of [...head, ...tail]) if (!/^[0-9A-Fa-f]{1,4}$/.test(g)) return null;
  const count = head.length + tail.length;
  if (halves.length === 1 ? count !== 8 : count > 7) return null;
  words.push(...head.map((g) => parseInt(g, 16)));
  for (let i = count; i < 8; i++) words.push(0);
  words.push(...tail.map((g) => parseInt(g, 16)));
  return words.flatMap((w) => [w >> 8, w & 0xff]);
}

// A server's IPv6 address: not "::" or "::1", multicast or link-local.
export function checkServerIpv6(text) {
  const b = parseIpv6(text);
  if (b === null) return 'not an IPv6 address';
  if (b[0] === 0xff) return 'a multicast address';
  if (b[0] === 0xfe && (b[1] & 0xc0) === 0x80) return 'a link-local address';
  if (b.slice(0, 15).every((x) => x === 0) && b[15] <= 1) return 'not the address of a server';
  return null;
}

// The host part of an address ("::100"): its first 64 bits zero, not "::".
export function checkIpv6HostPart(text) {
  const b = parseIpv6(text);
  if (b === null) return 'not an IPv6 address';
  if (b.slice(0, 8).some((x) => x !== 0)) return 'not a host part (such as ::100)';
  return b.every((x) => x === 0) ? 'not a host address' : null;
}

export function checkNetmask(text) {
  const mask = parseIpv4(text);
  if (mask === null) return 'not an IPv4 address';
  const host = 0xffffffff - mask;
  return (host & (host + 1)) !== 0 ? 'not a contiguous netmask' : null;
}

const networkOf = (addr, mask) => (addr & mask) >>> 0;

export function checkRange(start, end, netmask) {
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
export const normalizeMac = (text) => (/^([0-9A-Fa-f]{2}-){5}[0-9A-Fa-f]{2}$/.test(text) ? text.replace(/-/g, ':') : text);
export const checkMac = (text) => (/^([0-9A-Fa-f]{2}:){5}[0-9A-Fa-f]{2}$/.test(text || '') ? null : 'not a MAC address');

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

export const checkDomain = (text) => checkLabels(text, 'not a domain name');

// Why dnsmasq would read the text as a keyword where it stands first in a
// field, from the rule table's prefixes; null when it would not.
export function checkKeywordPrefix(text) {
  const lower = (text || '').toLowerCase();
  const hit = RULES.keywordPrefixes.find((p) => lower.startsWith(p.prefix));
  return hit ? hit.why : null;
}

export function checkInterfaceName(text) {
  if (!text) return 'missing';
  if (text.length > 15) return 'longer than 15 characters';
  if (text[0] === '.') return 'begins with "."';
  if (text[0] === '-') return 'begins with "-"';
  return /^[A-Za-z0-9_.-]+$/.test(text) ? null : 'not an interface name';
}

export function checkHostName(text) {
  if (!text) return null;
  const keyword = checkKeywordPrefix(text);
  if (keyword) return keyword;
  if (text.includes('*')) return 'read by dnsmasq as a wildcard';
  if (/^(infinite|ignore)$/i.test(text)) return 'read by dnsmasq as a keyword';
  if (/^\d+[smhdw]?$/i.test(text)) return 'read by dnsmasq as a lease time';
  if (/^[0-9.]+$/.test(text)) return 'read by dnsmasq as an address';
  return checkLabels(text, 'not a host name');
}

export function checkBootFile(text) {
  if (!text) return null;
  if (text.length > 255) return 'longer than 255 characters';
  if (/[^\x21-\x7e]/.test(text)) return 'contains a blank or an unprintable character';
  if (/[,"'#=]/.test(text)) return 'contains one of , " \' # =';
  if (text.split(/[/\\]/).includes('..')) return 'contains a ".." path element';
  return checkKeywordPrefix(text);
}

// The answer for a client already running iPXE: a boot file, or an http://
// or https:// URL held to the same rules.
export function checkIpxeAnswer(text) {
  const why = checkBootFile(text);
  if (why) return why;
  return text && text.includes('://') && !/^https?:\/\//i.test(text)
    ? 'not a file name or an http:// or https:// URL' : null;
}

// Lease time: whole minutes only, as many as fit the program's seconds.
export function checkLeaseMinutes(text) {
  if (!/^\d+$/.test(text || '')) return 'not a whole number of minutes';
  // dnsmasq takes anything shorter as 2 minutes without a word.
  if (Number(text) < 2) return 'shorter than 2 minutes';
  return Number(text) > Math.floor(2147483647 / 60) ? 'lease time too long' : null;
}

// "a.b.c.d/n" texts as {addr, mask}; others are left out.
export function parseNetworks(list) {
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
export function parseApSubnet(text) {
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
export function inApSubnet(ip, rowMask, ap) {
  const addr = parseIpv4(ip);
  if (!ap || addr === null) return false;
  const mask = parseIpv4(rowMask);
  return (mask !== null && networkOf(addr, mask) === networkOf(ap.addr, mask))
    || networkOf(addr, ap.mask) === networkOf(ap.addr, ap.mask);
}

// Every problem of a save: [{where, why}] with the program's places.
export function settingsProblems(global, subnets, reservations, ap) {
  const problems = [];
  const add = (where, why) => problems.push({ where, why });
  const optionalIp = (text) => (text ? checkServerIpv4(text) : null);
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
      const why = row[key] ? (key === 'gateway' ? checkServerIpv4 : checkIpv4)(row[key]) : 'missing';
      if (why) { add(`${at}.${key}`, why); complete = false; }
    }
    if (!complete) return;
    const maskWhy = checkNetmask(row.netmask);
    if (maskWhy) { add(`${at}.netmask`, maskWhy); return; }
    const rangeWhy = checkRange(row.startip, row.endip, row.netmask);
    if (rangeWhy) { add(`${at}.endip`, rangeWhy); return; }
    const touching = ['startip', 'endip', 'gateway'].find((k) => inApSubnet(row[k], row.netmask, ap));
    if (touching) { add(`${at}.${touching}`, `in the access point's subnet ${ap.text}`); return; }
    // Clients cannot reach a router outside their own subnet.
    const mask = parseIpv4(row.netmask);
    if (networkOf(parseIpv4(row.gateway), mask) !== networkOf(parseIpv4(row.startip), mask)) {
      add(`${at}.gateway`, 'outside its subnet');
    }
  });
  const ranges = subnets.map((row) => (row.activated && parseIpv4(row.startip) !== null
    && parseIpv4(row.endip) !== null && parseIpv4(row.startip) <= parseIpv4(row.endip)
    ? [parseIpv4(row.startip), parseIpv4(row.endip)] : null));
  ranges.forEach((r, i) => {
    if (!r) return;
    const j = ranges.findIndex((o, k) => k < i && o && r[0] <= o[1] && o[0] <= r[1]);
    if (j >= 0) add(`subnetData[${i}].startip`, `overlaps subnetData[${j}]`);
  });
  return problems.concat(reservationProblems(reservations));
}

// The problems of the reservations alone: [{where, why}].
export function reservationProblems(reservations) {
  const problems = [];
  const add = (where, why) => problems.push({ where, why });
  const seen = new Map();
  reservations.forEach((row, i) => {
    const at = `staticData[${i}]`;
    const macWhy = checkMac(row.mac);
    const ipWhy = checkIpv4(row.ip);
    const hostWhy = checkHostName(row.hostname);
    if (macWhy) add(`${at}.mac`, macWhy);
    if (ipWhy) add(`${at}.ip`, ipWhy);
    if (hostWhy) add(`${at}.hostname`, hostWhy);
    // A host part, or a whole address (the program also wants it inside an
    // interface's prefix).
    if (row.ipv6 && checkIpv6HostPart(row.ipv6) && checkServerIpv6(row.ipv6)) {
      add(`${at}.ipv6`, checkServerIpv6(row.ipv6));
    }
    if (ipWhy) return;
    const addr = parseIpv4(row.ip);
    if (seen.has(addr)) add(`${at}.ip`, `same address as staticData[${seen.get(addr)}]`);
    else seen.set(addr, i);
  });
  return problems;
}

// What is allowed but cannot work as meant: [{where, why}].
export function settingsWarnings(subnets, reservations, ifaceNetworks) {
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

// The address fields of the PXE form, as "applypxesubnet" names them.
export const PXE_FIELDS = ['pxe_start_ip', 'pxe_end_ip', 'pxe_netmask', 'pxe_gateway', 'pxe_dns'];
// The boot files: BIOS (and any client without a file of its own), then one
// per UEFI architecture.
export const PXE_BOOT_FIELDS = ['pxe_bootloader', 'pxe_bootloader_efi64', 'pxe_bootloader_efi32',
  'pxe_bootloader_arm64'];
// The texts of the PXE form that are sent as they are typed.
export const PXE_TEXT_FIELDS = [...PXE_BOOT_FIELDS, 'pxe_ipxe', 'pxe_tftp_server'];

// Every problem of the PXE form: [{where, why}].
export function pxeProblems(params, ap) {
  const problems = [];
  for (const key of PXE_FIELDS) {
    const check = key === 'pxe_gateway' || key === 'pxe_dns' ? checkServerIpv4 : checkIpv4;
    const why = params[key] ? check(params[key]) : 'missing';
    if (why) problems.push({ where: key, why });
  }
  if (problems.length === 0) {
    const maskWhy = checkNetmask(params.pxe_netmask);
    const rangeWhy = maskWhy ? null : checkRange(params.pxe_start_ip, params.pxe_end_ip, params.pxe_netmask);
    if (maskWhy) problems.push({ where: 'pxe_netmask', why: maskWhy });
    else if (rangeWhy) problems.push({ where: 'pxe_end_ip', why: rangeWhy });
    else {
      const key = ['pxe_start_ip', 'pxe_end_ip', 'pxe_gateway'].find((k) => inApSubnet(params[k], params.pxe_netmask, ap));
      const mask = parseIpv4(params.pxe_netmask);
      if (key) problems.push({ where: key, why: `in the access point's subnet ${ap.text}` });
      else if (networkOf(parseIpv4(params.pxe_gateway), mask) !== networkOf(parseIpv4(params.pxe_start_ip), mask)) {
        problems.push({ where: 'pxe_gateway', why: 'outside its subnet' });
      }
    }
  }
  for (const key of PXE_BOOT_FIELDS) {
    const why = checkBootFile(params[key]);
    if (why) problems.push({ where: key, why });
  }
  const ipxeWhy = checkIpxeAnswer(params.pxe_ipxe || '');
  if (ipxeWhy) problems.push({ where: 'pxe_ipxe', why: ipxeWhy });
  const tftp = params.pxe_tftp_server;
  const tftpWhy = tftp && (checkServerIpv4(tftp)
    || (![...PXE_BOOT_FIELDS, 'pxe_ipxe'].some((k) => params[k]) ? 'no boot file to serve' : null));
  if (tftpWhy) problems.push({ where: 'pxe_tftp_server', why: tftpWhy });
  return problems;
}

const ipText = (n) => [24, 16, 8, 0].map((b) => (n >>> b) & 255).join('.');

// Example values for an interface's fields, from its first IPv4 network
// ({addr, mask} as parseNetworks gives it): its own address as gateway and
// DNS server, .100 to .200 as the range, .10 as a reservation. Without a
// network none: an example of another network would mislead.
export function examplesFor(net) {
  if (!net || net.mask === 0 || (~net.mask >>> 0) < 254) return {};
  const base = (net.addr & net.mask) >>> 0;
  const at = (n) => ipText((base + n) >>> 0);
  const own = ipText(net.addr);
  return { startip: at(100), endip: at(200), netmask: ipText(net.mask), gateway: own, dns: own, ip: at(10) };
}

// The IPv6 settings of an interface as "applyIPv6" takes them: the
// program's checks, each problem at its place.
export const IPV6_MODES = RULES.ipv6Modes;

export function ipv6Problems(v6) {
  const problems = [];
  const add = (where, why) => problems.push({ where: `ipv6.${where}`, why });
  if (!IPV6_MODES.some((m) => m.mode === v6.mode)) {
    add('mode', `not one of ${IPV6_MODES.map((m) => m.mode).join(', ')}`);
    return problems;
  }
  if (v6.mode === 'off') return problems;
  const lease = checkLeaseMinutes(v6.leasetime);
  if (lease) add('leasetime', lease === 'shorter than 2 minutes' ? 'less than 2 minutes' : lease);
  if (v6.mode === 'stateful') {
    for (const key of ['start', 'end']) {
      const why = v6[key] ? checkIpv6HostPart(v6[key]) : 'missing';
      if (why) add(key, why);
    }
    const a = parseIpv6(v6.start);
    const b = parseIpv6(v6.end);
    if (a && b && !checkIpv6HostPart(v6.start) && !checkIpv6HostPart(v6.end)) {
      const i = a.findIndex((x, k) => x !== b[k]);
      if (i >= 0 && a[i] > b[i]) add('end', 'before the start');
    }
  }
  v6.dns.forEach((d, i) => {
    const why = checkServerIpv6(d);
    if (why) add(`dns[${i}]`, why);
  });
  return problems;
}
