// Reservations as CSV files: "mac,ip,host[,ipv6]" lines under a header line, quoted
// as RFC 4180 says. No DOM access.
//
// Written here rather than taken from a package: the page is loaded as plain
// modules with no build or vendoring step, and the format needs little.

import { normalizeMac, reservationProblems } from './rules.js';
import { placeWords } from './words.js';

const HEADER = ['mac', 'ip', 'host'];

// A spreadsheet runs a field beginning with = + - @ (or a tab or CR) as a
// formula: such a field is written after an apostrophe, which a spreadsheet
// shows as text and the import takes off again.
const FORMULA = /^[=+\-@\t\r]/;

// A field as written: guarded against formulas; quoted when it holds a
// separator, a quote or a line break, its quotes doubled.
export function csvField(text) {
  let s = String(text ?? '');
  if (FORMULA.test(s)) s = `'${s}`;
  return /[",;\r\n]/.test(s) ? `"${s.replace(/"/g, '""')}"` : s;
}

// A field as read: the apostrophe of a guarded one taken off.
export const unguard = (s) => (/^'[=+\-@\t\r]/.test(s) ? s.slice(1) : s);

// What a spreadsheet would take a host name for, or null: "3-4" a date,
// "1e5" a number.
const MONTH = '(?:jan|feb|mar|apr|may|jun|jul|aug|sep|oct|nov|dec)[a-z]*';
const DATE = new RegExp(`^(?:\\d{1,4}[-/]\\d{1,2}(?:[-/]\\d{1,4})?|\\d{1,2}-${MONTH}(?:-\\d{2,4})?|${MONTH}-\\d{1,4})$`, 'i');
export function spreadsheetReading(text) {
  if (DATE.test(text)) return 'a date';
  if (/^[+-]?(?:\d+\.?\d*|\.\d+)(?:e[+-]?\d+)?$/i.test(text)) return 'a number';
  return null;
}

const toNum = (ip) => ip.split('.').reduce((n, b) => n * 256 + Number(b), 0);
// Both addresses lie in one of the networks ({addr, mask} as parseNetworks
// gives them).
export function sameSubnet(a, b, networks) {
  const x = toNum(a);
  const y = toNum(b);
  return networks.some((n) => ((x & n.mask) >>> 0) === ((n.addr & n.mask) >>> 0)
    && ((y & n.mask) >>> 0) === ((n.addr & n.mask) >>> 0));
}

// An accepted line against the list it would join: {why} for an address
// reserved for another MAC address; otherwise {replaces, same, notes},
// replaces being the index of the reservation of the same MAC address in the
// same subnet (dnsmasq would use only one of the two), or null; same: that
// reservation is this line already.
export function judgeAgainst(row, existing, networks) {
  const mac = row.mac.toLowerCase();
  const taken = existing.find((r) => r.ip === row.ip && r.mac.toLowerCase() !== mac);
  if (taken) return { why: `IP address: reserved already for ${taken.hostname || taken.mac}` };
  const i = existing.findIndex((r) => r.mac.toLowerCase() === mac && sameSubnet(r.ip, row.ip, networks));
  const notes = [];
  const reading = row.hostname && spreadsheetReading(row.hostname);
  if (reading) notes.push(`a spreadsheet reads the host name ${row.hostname} as ${reading}: check it was kept`);
  const same = i >= 0 && existing[i].ip === row.ip && existing[i].hostname === row.hostname;
  return { replaces: i >= 0 ? i : null, same, notes };
}

// The reservations as a file's text, lines ended by CRLF; an "ipv6" column
// only when a reservation has an IPv6 address.
export function reservationsCsv(reservations) {
  const v6 = reservations.some((r) => r.ipv6);
  const lines = [v6 ? [...HEADER, 'ipv6'] : HEADER,
    ...reservations.map((r) => (v6 ? [r.mac, r.ip, r.hostname, r.ipv6 || ''] : [r.mac, r.ip, r.hostname]))];
  return lines.map((fields) => fields.map(csvField).join(',')).join('\r\n') + '\r\n';
}

// The separator of a file: ";" when its first line has more of them outside
// quotes than ",".
function separatorOf(text) {
  let commas = 0;
  let semicolons = 0;
  let quoted = false;
  for (const c of text) {
    if (c === '"') quoted = !quoted;
    else if (!quoted && (c === '\n' || c === '\r')) break;
    else if (!quoted && c === ',') commas += 1;
    else if (!quoted && c === ';') semicolons += 1;
  }
  return semicolons > commas ? ';' : ',';
}

// The records of a CSV text as [{line, fields}], line being the number of
// the line the record begins on; a quoted field may span lines. Blank lines
// are left out. A quote left open runs to the end of the text.
export function parseCsv(text, separator = separatorOf(text)) {
  const records = [];
  let fields = [];
  let field = '';
  let quoted = false;
  let line = 1;
  let start = 1;
  const endRecord = () => {
    fields.push(field);
    if (fields.length > 1 || fields[0] !== '') records.push({ line: start, fields });
    fields = [];
    field = '';
  };
  const s = text.replace(/^\uFEFF/, '');
  for (let i = 0; i < s.length; i += 1) {
    const c = s[i];
    if (quoted) {
      if (c === '"' && s[i + 1] === '"') { field += '"'; i += 1; }
      else if (c === '"') quoted = false;
      else { if (c === '\n') line += 1; field += c; }
    } else if (c === '"') quoted = true;
    else if (c === separator) { fields.push(field); field = ''; }
    else if (c === '\r' || c === '\n') {
      if (c === '\r' && s[i + 1] === '\n') i += 1;
      endRecord();
      line += 1;
      start = line;
    } else field += c;
  }
  if (field !== '' || fields.length > 0) endRecord();
  return records;
}

// A header line names its first field "mac", in any letter case.
const isHeader = (record) => record.fields[0].trim().toLowerCase() === 'mac';

// The lines of an imported file, each with its verdict in the screen's
// words: [{line, mac, ip, hostname, why}], why being null for a line that is
// accepted. Lines are judged by the rules of a save, among themselves.
export function importReservations(text) {
  const records = parseCsv(text);
  if (records.length > 0 && isHeader(records[0])) records.shift();
  const rows = records.map(({ line, fields }) => ({
    line,
    mac: normalizeMac(unguard((fields[0] || '').trim())),
    ip: unguard((fields[1] || '').trim()),
    hostname: unguard((fields[2] || '').trim()),
    ipv6: unguard((fields[3] || '').trim()),
    why: fields.length > 4
      ? `${fields.length} fields; a line holds MAC address, IP address, host name and IPv6 address` : null,
  }));
  const words = (why) => why.replace(/staticData\[(\d+)\]/g, (_, j) => `line ${rows[Number(j)].line}`);
  for (const { where, why } of reservationProblems(rows)) {
    const i = Number(/^staticData\[(\d+)\]/.exec(where)[1]);
    const text = `${placeWords(where, []).replace(/^Reservation \d+, /, '')}: ${words(why)}`;
    rows[i].why = rows[i].why ? `${rows[i].why}; ${text}` : text;
  }
  return rows;
}
