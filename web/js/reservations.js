// The static reservations, shared by all interfaces.

import { isBlocked, toggleBlock, wake } from './devices.js';
import { importReservations, judgeAgainst, reservationsCsv } from './csv.js';
import { call } from './request.js';
import { normalizeMac, parseIpv4, parseNetworks } from './rules.js';
import { state, $ } from './state.js';
import { button, markDirty, rowCell, rowField, showWarnings, storedWarnings } from './ui.js';

// No reservation list at all also reads as a failure: an empty list.
async function storedReservations(keep = false) {
  const answer = await call('loadStatic');
  if (keep) state.loadedAt.reservations = answer.revision ?? null;
  return answer.success && Array.isArray(answer.staticData)
    ? answer.staticData.map((r) => ({ mac: r.mac || '', ip: r.ip || '', hostname: r.hostname || '', ipv6: r.ipv6 || '' }))
    : [];
}

export async function loadReservations() {
  state.reservations = await storedReservations(true);
  renderReservations();
  await checkStoredReservations();
}

// The program's warnings about the stored reservations, kept by MAC and IP
// address so that they stay on their rows while the table is edited.
const warningKey = (mac, ip) => `${String(mac).toLowerCase()} ${ip}`;

export async function checkStoredReservations() {
  const answer = await call('checkReservations');
  state.reservationWarnings = new Map();
  for (const w of (answer.success && Array.isArray(answer.warnings) ? answer.warnings : [])) {
    const key = warningKey(w.mac, w.ip);
    const reasons = state.reservationWarnings.get(key) || [];
    state.reservationWarnings.set(key, [...reasons, w.reason]);
  }
  markReservationWarnings();
  showWarnings();
}

function markReservationWarnings() {
  const rows = $('reservation-rows').rows;
  state.reservations.forEach((row, i) => {
    const tr = rows[i];
    const reasons = storedWarnings(row);
    tr.classList.toggle('warned', !!reasons);
    const note = tr.querySelector('.row-warning');
    note.textContent = reasons ? `Warning: ${reasons.join('; ')}` : '';
  });
}

// The list is shared by all interfaces: the address example is the chosen
// interface's.
const RESERVATION_FIELDS = () => [
  ['mac', 'MAC address', '00:11:22:33:44:55'],
  ['ip', 'IP address', state.examples.ip || ''],
  ['hostname', 'host name', 'optional'],
  ['ipv6', 'IPv6 address', '::10 (optional)'],
];

export function renderReservations(focus) {
  const body = $('reservation-rows');
  body.textContent = '';
  // Built apart and put in at once: the list may hold thousands of rows.
  const rows = document.createDocumentFragment();
  state.reservations.forEach((row, i) => {
    const tr = document.createElement('tr');
    const name = `Reservation ${i + 1}`;
    for (const field of RESERVATION_FIELDS()) {
      tr.append(rowField(`reservation-${i}`, `staticData[${i}]`, name, row, field));
    }
    const mac = tr.querySelector('input');
    mac.addEventListener('change', () => {
      row.mac = normalizeMac(mac.value.trim());
      mac.value = row.mac;
    });
    const note = document.createElement('span');
    note.className = 'row-warning';
    note.id = `reservation-${i}-warning`;
    tr.cells[1].append(note);
    const tools = document.createElement('td');
    tools.className = 'tools';
    tools.append(button('Remove', `Remove ${name.toLowerCase()}`, () => removeReservation(i)));
    if (row.mac) {
      tools.append(button('Wake', `Wake ${name.toLowerCase()}`, () => wake(row.mac)));
      tools.append(button(isBlocked(row.mac) ? 'Unblock' : 'Block', `${isBlocked(row.mac) ? 'Unblock' : 'Block'} ${name.toLowerCase()}`,
        () => toggleBlock(row.mac, row.hostname || '').then(() => renderReservations())));
    }
    tr.append(tools);
    rows.append(tr);
  });
  body.append(rows);
  $('reservations-empty').hidden = state.reservations.length > 0;
  markReservationWarnings();
  showWarnings();
  if (focus) focus();
}

// ---- CSV files ----

// The stored reservations as a downloaded file.
export async function exportReservations() {
  const text = reservationsCsv(await storedReservations());
  const url = URL.createObjectURL(new Blob([text], { type: 'text/csv' }));
  const a = document.createElement('a');
  a.href = url;
  a.download = 'reservations.csv';
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 0);
}

// The accepted lines of the previewed file: {mac, ip, hostname, replaces,
// replace}; replaces is the index of the reservation of the same MAC address
// in the same subnet, which "Add to the list" replaces when replace is ticked.
let imported = [];

// Every network a reservation may lie in: the interfaces' and the subnets'.
function knownNetworks() {
  const nets = state.ifaces.flatMap((i) => parseNetworks(i.if_addrs));
  for (const row of state.subnets) {
    const addr = parseIpv4(row.startip);
    const mask = parseIpv4(row.netmask);
    if (addr !== null && mask !== null) nets.push({ addr, mask });
  }
  return nets;
}

// Reads the chosen file and shows each line's verdict, also against the
// list it would join; nothing changes until the administrator adds or
// replaces.
export async function previewImport(file) {
  const lines = importReservations(await file.text());
  const networks = knownNetworks();
  for (const l of lines) {
    if (l.why) continue;
    const judged = judgeAgainst(l, state.reservations, networks);
    if (judged.why) l.why = judged.why;
    else Object.assign(l, { replaces: judged.replaces, notes: judged.same ? ['in the list already', ...judged.notes] : judged.notes, same: judged.same });
  }
  imported = lines.filter((l) => !l.why)
    .map(({ mac, ip, hostname, ipv6, replaces, same }) => ({ mac, ip, hostname, ipv6, replaces, same, replace: true }));
  const body = $('import-rows');
  body.textContent = '';
  let k = 0;
  for (const l of lines) {
    const tr = document.createElement('tr');
    tr.className = l.why ? 'rejected' : '';
    const cells = [['Line', `Line ${l.line}`], ['MAC address', l.mac], ['IP address', l.ip], ['Host name', l.hostname]];
    for (const [label, text] of cells) {
      const td = rowCell(label);
      td.textContent = text;
      tr.append(td);
    }
    const verdict = rowCell('Verdict');
    if (l.why) verdict.textContent = l.why;
    else {
      const row = imported[k];
      k += 1;
      verdict.textContent = ['accepted', ...l.notes].join('; ');
      if (row.replaces !== null && !row.same) verdict.append(replaceChoice(row, l.line));
    }
    tr.append(verdict);
    body.append(tr);
  }
  const refused = lines.length - imported.length;
  const replacing = imported.filter((r) => r.replaces !== null && !r.same).length;
  const noted = lines.filter((l) => l.notes && l.notes.some((n) => n.startsWith('a spreadsheet'))).length;
  $('import-summary').textContent = `${imported.length} of ${lines.length} lines accepted`
    + (replacing ? `; ${replacing} replace${replacing === 1 ? 's' : ''} a reservation of the same MAC address` : '')
    + (noted ? `; ${noted} with a note` : '')
    + (refused ? `; ${refused} left out.` : '.');
  $('import-add').disabled = imported.length === 0;
  $('import-replace').disabled = lines.length > 0 && imported.length === 0;
  $('import-preview').hidden = false;
  $('import-summary').focus();
}

// "replaces printer 192.168.50.10", with the choice to keep that one and
// leave the line out instead.
function replaceChoice(row, line) {
  const old = state.reservations[row.replaces];
  const label = document.createElement('label');
  label.className = 'check';
  const box = document.createElement('input');
  box.type = 'checkbox';
  box.checked = true;
  box.id = `import-${line}-replace`;
  box.addEventListener('change', () => { row.replace = box.checked; });
  label.append(box, `replaces ${old.hostname || old.mac} ${old.ip} (untick to keep it and leave this line out)`);
  const wrap = document.createElement('span');
  wrap.className = 'replace-choice';
  wrap.append('; ', label);
  return wrap;
}

// Puts the accepted lines into the table, after its rows or instead of
// them; the next Save stores them. Added, a line of a MAC address already
// reserved in its subnet takes that reservation's place, or is left out.
export function finishImport(replace) {
  const plain = ({ mac, ip, hostname }) => ({ mac, ip, hostname });
  if (replace) state.reservations = imported.map(plain);
  else {
    for (const row of imported) {
      if (row.replaces === null) state.reservations.push(plain(row));
      else if (row.replace) state.reservations[row.replaces] = plain(row);
    }
  }
  imported = [];
  closeImport();
  markDirty();
  renderReservations(() => $('import-csv').focus());
}

export function closeImport() {
  $('import-preview').hidden = true;
  $('import-rows').textContent = '';
  $('import-file').value = '';
}

export function addReservation() {
  state.reservations.push({ mac: '', ip: '', hostname: '', ipv6: '' });
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
