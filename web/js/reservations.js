// The static reservations, shared by all interfaces.

import { importReservations, reservationsCsv } from './csv.js';
import { call } from './request.js';
import { normalizeMac } from './rules.js';
import { state, $ } from './state.js';
import { button, markDirty, rowField, showWarnings } from './ui.js';

// No reservation list at all also reads as a failure: an empty list.
async function storedReservations() {
  const answer = await call('loadStatic');
  return answer.success && Array.isArray(answer.staticData)
    ? answer.staticData.map((r) => ({ mac: r.mac || '', ip: r.ip || '', hostname: r.hostname || '', ipv6: r.ipv6 || '' }))
    : [];
}

export async function loadReservations() {
  state.reservations = await storedReservations();
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
}

function markReservationWarnings() {
  const rows = $('reservation-rows').rows;
  state.reservations.forEach((row, i) => {
    const tr = rows[i];
    const reasons = state.reservationWarnings.get(warningKey(row.mac, row.ip));
    tr.classList.toggle('warned', !!reasons);
    const note = tr.querySelector('.row-warning');
    note.textContent = reasons ? `Warning: ${reasons.join('; ')}` : '';
  });
}

const RESERVATION_FIELDS = [
  ['mac', 'MAC address', '00:11:22:33:44:55'],
  ['ip', 'IP address', '192.168.1.10'],
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
    for (const field of RESERVATION_FIELDS) {
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

let imported = []; // the accepted lines of the previewed file

// Reads the chosen file and shows each line's verdict; nothing changes
// until the administrator adds or replaces.
export async function previewImport(file) {
  const lines = importReservations(await file.text());
  imported = lines.filter((l) => !l.why).map(({ mac, ip, hostname, ipv6 }) => ({ mac, ip, hostname, ipv6 }));
  const body = $('import-rows');
  body.textContent = '';
  for (const l of lines) {
    const tr = document.createElement('tr');
    tr.className = l.why ? 'rejected' : '';
    for (const text of [`Line ${l.line}`, l.mac, l.ip, l.hostname, l.why || 'accepted']) {
      const td = document.createElement('td');
      td.textContent = text;
      tr.append(td);
    }
    body.append(tr);
  }
  const refused = lines.length - imported.length;
  $('import-summary').textContent = `${imported.length} of ${lines.length} lines accepted`
    + (refused ? `; ${refused} left out.` : '.');
  $('import-add').disabled = imported.length === 0;
  $('import-replace').disabled = lines.length > 0 && imported.length === 0;
  $('import-preview').hidden = false;
  $('import-summary').focus();
}

// Puts the accepted lines into the table, after its rows or instead of
// them; the next Save stores them.
export function finishImport(replace) {
  state.reservations = replace ? imported.slice() : state.reservations.concat(imported);
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
