// The client list: refreshed while the page is shown, sorted and filtered
// here; a client can be reserved or released.

import { isReserved, shownClients } from './clientlist.js';
import { formatExpiry, formatRemaining, formatWhen } from './format.js';
import { loadPxeStatus } from './pxe.js';
import { call } from './request.js';
import { renderReservations } from './reservations.js';
import { checkHostName } from './rules.js';
import { state, $ } from './state.js';
import { loadStatus } from './status.js';
import { refreshUsage } from './subnets.js';
import { button, markDirty, rowCell, setInline, showMessage } from './ui.js';
import { failureText, plainReason } from './words.js';

const CLIENT_REFRESH_MS = 5000;

export async function refreshClients() {
  const iface = state.iface;
  if (!iface) return;
  const [answer] = await Promise.all([call('loadClientList', { iftype: iface }), loadStatus(),
    loadPxeStatus(), refreshUsage()]);
  if (iface !== state.iface) return;
  state.clients = answer.success && Array.isArray(answer.clientList) ? answer.clientList : [];
  renderClients();
  renderClients6(answer.success && Array.isArray(answer.clientList6) ? answer.clientList6 : []);
  $('clients-updated').textContent = `Last update ${formatWhen(new Date())}.`;
}

// The DHCPv6 leases: named by their DUID where it is not made of a MAC
// address.
function renderClients6(list) {
  const body = $('client6-rows');
  body.textContent = '';
  for (const client of list) {
    const tr = document.createElement('tr');
    const cells = [['IPv6 address', client.ip], ['MAC address or DUID', client.mac || client.duid],
      ['Host name', client.hostname || '—'], ['Remaining lease', formatRemaining(client.expire)]];
    for (const [label, text] of cells) {
      const cell = rowCell(label);
      cell.textContent = text;
      tr.append(cell);
    }
    body.append(tr);
  }
  $('clients6-empty').hidden = list.length > 0;
}

export function renderClients() {
  const body = $('client-rows');
  const list = shownClients(state.clients, state.clientSort, $('client-filter').value);
  // The keyboard stays on the button it was on, across the refresh.
  const focused = body.contains(document.activeElement) ? document.activeElement.getAttribute('aria-label') : null;
  body.textContent = '';
  for (const client of list) {
    const tr = document.createElement('tr');
    const reserved = isReserved(client, state.reservations);
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
    // A reserved client gets the same address back at once, and a stopped
    // service cannot release: Release is offered where it does something.
    if (client.expire !== 'expired' && !reserved && state.status && state.status.running) {
      tools.append(button('Release', `Release the lease of ${client.mac}`, () => releaseClient(client)));
    }
    tr.append(macCell, ipCell, hostCell, leaseCell, tools);
    if (client.expire === 'expired') tr.className = 'expired';
    if (reserved) tr.classList.add('reserved');
    body.append(tr);
  }
  const again = focused && [...body.querySelectorAll('button')].find((b) => b.getAttribute('aria-label') === focused);
  if (again) again.focus();
  $('clients-empty').hidden = list.length > 0;
  $('clients-empty').textContent = state.clients.length > 0 ? 'No client matches the filter.' : 'No clients.';
  for (const th of document.querySelectorAll('#clients th[data-sort]')) {
    const key = th.dataset.sort;
    th.setAttribute('aria-sort', key === state.clientSort.key
      ? (state.clientSort.dir > 0 ? 'ascending' : 'descending') : 'none');
  }
}

export function sortClients(key) {
  const s = state.clientSort;
  state.clientSort = { key, dir: s.key === key ? -s.dir : 1 };
  renderClients();
}

// A dynamic client becomes a filled reservation row, to be saved.
function reserveClient(client) {
  const hostname = checkHostName(client.hostname || '') ? '' : (client.hostname || '');
  state.reservations.push({ mac: client.mac, ip: client.ip, hostname, ipv6: '' });
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
    const why = plainReason(answer.releaseError || failureText(answer, 'no reason given'));
    showMessage(`The lease of ${client.mac} (${client.ip}) was not released: ${why.text}`, 'error', why.details);
  }
  await refreshClients();
}

export function startClientRefresh() {
  clearInterval(state.clientTimer);
  state.clientTimer = setInterval(() => {
    if (!document.hidden) refreshClients();
  }, CLIENT_REFRESH_MS);
}
