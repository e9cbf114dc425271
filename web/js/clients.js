// The client list: refreshed while the page is shown, sorted and filtered
// here; a client can be reserved or released.

import { isNewClient, isReserved, shownClients } from './clientlist.js';
import { isBlocked, toggleBlock, wake } from './devices.js';
import { formatExpiry, formatRemaining, formatWhen } from './format.js';
import { loadPxeStatus } from './pxe.js';
import { followHistory } from './history.js';
import { call } from './request.js';
import { renderReservations } from './reservations.js';
import { checkHostName } from './rules.js';
import { state, $ } from './state.js';
import { loadStatus } from './status.js';
import { refreshUsage } from './subnets.js';
import { button, markDirty, rowCell, setInline, showMessage } from './ui.js';
import { failureText, plainReason } from './words.js';

const CLIENT_REFRESH_MS = 5000;

let running = null;     // the refresh on its way: {iface, done}
let lastGood = null;    // when the list was last read

// One refresh at a time per interface: a slow server is not asked again
// before it has answered.
export function refreshClients() {
  const iface = state.iface;
  if (!iface) return Promise.resolve();
  if (running && running.iface === iface) return running.done;
  const done = readClients(iface).finally(() => { if (running && running.done === done) running = null; });
  running = { iface, done };
  return done;
}

async function readClients(iface) {
  const [answer, , , revision] = await Promise.all([call('loadClientList', { iftype: iface }), loadStatus(),
    loadPxeStatus(), refreshUsage()]);
  await followHistory(revision);
  if (iface !== state.iface) return;
  const note = $('clients-updated');
  if (!answer.success || !Array.isArray(answer.clientList)) {
    // The last list stays, marked as old: an unreachable program is no empty network.
    const since = lastGood ? `since ${formatWhen(lastGood)}` : 'yet';
    note.textContent = `Not updated ${since}: ${failureText(answer, 'the client list cannot be read.')}`;
    note.className = 'stale';
    $('client-rows').classList.add('stale');
    $('clients-empty').textContent = 'The client list cannot be read.';
    $('clients-empty').hidden = state.clients.length > 0;
    return;
  }
  state.clients = answer.clientList;
  lastGood = new Date();
  $('client-rows').classList.remove('stale');
  note.className = '';
  renderClients();
  renderClients6(answer.success && Array.isArray(answer.clientList6) ? answer.clientList6 : []);
  note.textContent = `Last update ${formatWhen(lastGood)}.`;
}

// Release works only where dnsmasq serves this interface now.
function servedHere() {
  const s = state.status;
  if (!s || !s.running) return false;
  const last = s.lastRestart;
  if (last && last.time && !last.restarted) return false;
  return Number((s.enabledSubnets || {})[state.iface] || 0) > 0;
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
  const now = Date.now() / 1000;
  const list = shownClients(state.clients, state.clientSort, $('client-filter').value, $('client-new').checked, now);
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
    // The name this service's DNS answers for the client, where it answers.
    if (client.dnsName) hostCell.title = `Resolves as ${client.dnsName}`;
    const leaseCell = rowCell('Remaining lease');
    leaseCell.textContent = formatRemaining(client.expire);
    const until = formatExpiry(client.expire);
    if (until) {
      const small = document.createElement('span');
      small.className = 'until';
      small.textContent = ` (${until})`;
      leaseCell.append(small);
    }
    // A private address is one the device chose itself: it names no maker.
    const makerCell = rowCell('Maker');
    makerCell.className = 'maker';
    makerCell.textContent = client.randomMac ? 'private address' : (client.vendor || '—');
    if (isNewClient(client, now)) {
      const badge = document.createElement('span');
      badge.className = 'badge new';
      badge.textContent = 'new';
      makerCell.append(' ', badge);
    }
    const tools = rowCell('Actions');
    tools.classList.add('tools');
    if (!reserved) {
      tools.append(button('Reserve', `Reserve ${client.ip} for ${client.mac}`, () => reserveClient(client)));
    }
    // A reserved client gets the same address back at once, and a stopped
    // service cannot release: Release is offered where it does something.
    if (client.expire !== 'expired' && !reserved && servedHere()) {
      tools.append(button('Release', `Release the lease of ${client.mac}`, () => releaseClient(client)));
    }
    if (client.expire === 'expired') {
      tools.append(button('Wake', `Wake ${client.mac}`, () => wake(client.mac)));
    }
    tools.append(button(isBlocked(client.mac) ? 'Unblock' : 'Block',
      `${isBlocked(client.mac) ? 'Unblock' : 'Block'} ${client.mac}`,
      () => toggleBlock(client.mac, client.hostname || client.vendor || '').then(renderClients)));
    tr.append(macCell, ipCell, hostCell, leaseCell, makerCell, tools);
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
  if (!window.confirm(`Release the lease of ${client.mac} (${client.ip})? The DHCP service forgets `
      + 'the lease and may give the address to another client. The client is not told: it keeps '
      + `using ${client.ip} until it renews its lease, and may then be given another address.`)) return;
  const answer = await call('releaseLease', { iftype: state.iface, mac: client.mac, ip: client.ip });
  if (answer.success && answer.released) {
    showMessage(`The lease of ${client.mac} (${client.ip}) was released: the DHCP service forgot it; the client keeps using ${client.ip} until it renews its lease.`, 'ok');
  } else {
    const why = plainReason(answer.releaseError || failureText(answer, 'no reason given'));
    showMessage(`The lease of ${client.mac} (${client.ip}) was not released: ${why.text}`, 'error', why.details);
  }
  await refreshClients();
}

// The next refresh is planned once the last one has answered.
export function startClientRefresh() {
  clearTimeout(state.clientTimer);
  const tick = async () => {
    if (!document.hidden) await refreshClients();
    state.clientTimer = setTimeout(tick, CLIENT_REFRESH_MS);
  };
  state.clientTimer = setTimeout(tick, CLIENT_REFRESH_MS);
}
