// The static reservations, shared by all interfaces.

import { call } from './request.js';
import { normalizeMac } from './rules.js';
import { state, $ } from './state.js';
import { button, markDirty, rowField, showWarnings } from './ui.js';

export async function loadReservations() {
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

export function renderReservations(focus) {
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

export function addReservation() {
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
