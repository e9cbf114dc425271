// Reservations as CSV files: "mac,ip,host[,ipv6]" lines under a header line, quoted
// as RFC 4180 says. No DOM access.
//
// Written here rather than taken from a package: the page is loaded as plain
// modules with no build or vendoring step, and the format needs little.

import { normalizeMac, reservationProblems } from './rules.js';
import { placeWords } from './words.js';

const HEADER = ['mac', 'ip', 'host'];

// A field as written: quoted when it holds a separator, a quote or a line
// break, its quotes doubled.
function csvField(text) {
  const s = String(text ?? '');
  return /[",;\r\n]/.test(s) ? `"${s.replace(/"/g, '""')}"` : s;
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
    mac: normalizeMac((fields[0] || '').trim()),
    ip: (fields[1] || '').trim(),
    hostname: (fields[2] || '').trim(),
    ipv6: (fields[3] || '').trim(),
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
