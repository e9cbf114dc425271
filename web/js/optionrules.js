// The further options an interface may send, as the page offers them, and
// the checks of their values before a save, with the program's reasons. No
// DOM: unit-tested by node.

import RULES from './ruletable.json' with { type: 'json' };
import { checkBootFile, checkIpv4, checkKeywordPrefix, checkServerIpv4, normalizeMac } from './rules.js';

// The named options, the types another code may be sent as and the codes
// the system sets itself, as the rule table has them: "type" is the rule a
// value is held to.
export const NAMED_OPTIONS = RULES.namedOptions.map((o) => ({
  name: o.name, code: o.code, label: o.label, type: o.check, hint: o.hint,
}));

export const OTHER_TYPES = RULES.otherTypes;

const OWNED = Object.fromEntries(RULES.ownedCodes.map((o) => [o.code, o.why]));

const items = (value) => value.split(',').map((s) => s.trim());
const inRange = (value, low, high) => /^[0-9]{1,10}$/.test(value) && Number(value) >= low && Number(value) <= high;
const isName = (value) => /^(?=.{1,253}$)([A-Za-z0-9]([A-Za-z0-9_-]{0,61}[A-Za-z0-9])?)(\.[A-Za-z0-9]([A-Za-z0-9_-]{0,61}[A-Za-z0-9])?)*$/.test(value);

function checkText(value) {
  if (value === '') return 'empty';
  if (value.length > 255) return 'longer than 255 characters';
  if (!/^[\x20-\x7e]*$/.test(value) || /["\\]/.test(value)) {
    return 'holds a quote, a backslash or a character that is not printable';
  }
  return null;
}

function checkRoutes(value) {
  const parts = items(value);
  if (parts.length % 2 !== 0) return 'not a list of "a.b.c.d/len,gateway"';
  for (let i = 0; i < parts.length; i += 2) {
    const [dest, len] = parts[i].split('/');
    if (len === undefined || checkIpv4(dest) || !inRange(len, 0, 32) || checkIpv4(parts[i + 1])) {
      return 'not a list of "a.b.c.d/len,gateway"';
    }
    const host = dest.split('.').reduce((n, b) => n * 256 + Number(b), 0);
    const size = 2 ** (32 - Number(len));
    if (host % size !== 0) return 'not a network address before "/"';
  }
  return null;
}

// The reason a value does not fit its type, or null.
export function checkOptionValue(type, value) {
  switch (type) {
    case 'ipv4': return checkIpv4(value);
    case 'ipv4-list': return items(value).some((v) => checkIpv4(v)) ? 'not a list of IPv4 addresses' : null;
    case 'server-list': {
      if (items(value).some((v) => checkIpv4(v))) return 'not a list of IPv4 addresses';
      return items(value).map((v) => checkServerIpv4(v)).find((why) => why) || null;
    }
    case 'routes': return checkRoutes(value);
    case 'names': {
      const list = items(value);
      if (list.some((v) => checkIpv4(v) && !isName(v))) return 'not a list of IPv4 addresses or names';
      const addresses = list.filter((v) => !checkIpv4(v)).length;
      return addresses && addresses < list.length ? 'addresses and names cannot be mixed' : null;
    }
    case 'text': return checkText(value);
    case 'uint8': return inRange(value, 0, 255) ? null : 'not a number from 0 to 255';
    case 'uint16': return inRange(value, 0, 65535) ? null : 'not a number from 0 to 65535';
    case 'uint32': return inRange(value, 0, 4294967295) ? null : 'not a number from 0 to 4294967295';
    case 'mtu': return inRange(value, 68, 65535) ? null : 'not a number from 68 to 65535';
    case 'int32': return /^-?[0-9]{1,10}$/.test(value) && Number(value) >= -2147483648 && Number(value) <= 2147483647
      ? null : 'not a number of seconds from -2147483648 to 2147483647';
    case 'bool': return value === 'true' || value === 'false' ? null : 'not "true" or "false"';
    case 'hex': return /^[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){0,254}$/.test(value) ? null : 'not colon-separated hexadecimal bytes';
    case 'server-name': {
      const address = !checkServerIpv4(value);
      const name = value !== '' && checkIpv4(value) !== null && isName(value);
      return address || name ? checkKeywordPrefix(value) : 'not a host name or an IPv4 address';
    }
    case 'file-name':
      if (value === '') return 'empty';
      return checkBootFile(value) || (value.includes('\\') ? 'contains a backslash' : null);
    case 'url': {
      const why = checkText(value);
      if (why) return why;
      return /^https?:\/\/\S+$/.test(value) ? checkKeywordPrefix(value) : 'not an http or https URL';
    }
    default: return 'not a type of option';
  }
}

// Every problem of the options and overrides, in the program's numbering.
export function optionProblems(options, hosts) {
  const problems = [];
  const codes = new Set();
  options.forEach((o, i) => {
    const where = `options[${i}]`;
    const named = NAMED_OPTIONS.find((n) => n.name === o.name);
    const code = named ? named.code : Number(o.code);
    if (!named) {
      if (!inRange(String(o.code), 1, 254)) { problems.push({ where: `${where}.code`, why: 'not a code from 1 to 254' }); return; }
      if (OWNED[code]) { problems.push({ where: `${where}.code`, why: OWNED[code] }); return; }
      const same = NAMED_OPTIONS.find((n) => n.code === code);
      if (same) { problems.push({ where: `${where}.code`, why: `use the named option ${same.name}` }); return; }
    }
    if (codes.has(code)) { problems.push({ where: `${where}.code`, why: 'given twice' }); return; }
    codes.add(code);
    const type = named ? named.type : o.type;
    const value = ['ipv4-list', 'routes', 'names'].includes(type) ? items(o.value).join(',') : o.value.trim();
    const why = checkOptionValue(type, value);
    if (why) problems.push({ where: `${where}.value`, why });
  });
  const macs = new Set();
  hosts.forEach((h, i) => {
    const where = `hostOptions[${i}]`;
    const mac = normalizeMac(h.mac.trim()).toLowerCase();
    if (!/^[0-9a-f]{2}(:[0-9a-f]{2}){5}$/.test(mac)) { problems.push({ where: `${where}.mac`, why: 'not a MAC address' }); return; }
    if (macs.has(mac)) { problems.push({ where: `${where}.mac`, why: 'given twice' }); return; }
    macs.add(mac);
    if (!h.gateway && !h.dns) problems.push({ where, why: 'neither a gateway nor a DNS server' });
    const gatewayWhy = h.gateway && checkServerIpv4(h.gateway);
    const dnsWhy = h.dns && checkServerIpv4(h.dns);
    if (gatewayWhy) problems.push({ where: `${where}.gateway`, why: gatewayWhy });
    if (dnsWhy) problems.push({ where: `${where}.dns`, why: dnsWhy });
  });
  return problems;
}
