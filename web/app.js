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

// Shows an answer's "error" next to the field it names and returns whether
// a field was found.
function showFieldError(error) {
  const colon = error.indexOf(': ');
  const where = colon > 0 ? error.slice(0, colon) : error;
  const why = colon > 0 ? error.slice(colon + 2) : error;
  const field = fieldFor(where);
  if (!field) return false;
  field.setAttribute('aria-invalid', 'true');
  const holder = $(field.getAttribute('aria-describedby'));
  if (holder) holder.textContent = why;
  field.focus();
  return true;
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
  const answer = await call('loadGlobal', { iftype: state.iface });
  const stored = !!answer.success;
  $('global-note').hidden = stored;
  $('enable').checked = stored ? !!answer.enable : true;
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
  const answer = await call('getIfData', { iftype: state.iface });
  if (!answer.success) {
    state.subnets = [];
    showMessage(failureText(answer, 'The subnets of this interface cannot be read.'), 'error');
  } else {
    state.subnets = (answer.subnetList || []).map((row) => ({
      activated: !!row.activated,
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
    tr.className = row.pxe ? 'pxe-row' : '';
    tr.dataset.index = String(i);

    const active = rowCell('active');
    const check = document.createElement('input');
    check.type = 'checkbox';
    check.id = `subnet-${i}-activated`;
    check.checked = row.activated;
    check.dataset.where = `subnetData[${i}].activated`;
    check.setAttribute('aria-label', `${name} active`);
    check.addEventListener('change', () => { row.activated = check.checked; });
    const tag = document.createElement('span');
    tag.className = row.pxe ? 'badge pxe' : 'badge';
    tag.textContent = row.pxe ? 'PXE' : `#${subnetNumber(i)}`;
    active.append(check, tag, errorHolder(check));
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
    const tools = document.createElement('td');
    tools.className = 'tools';
    tools.append(button('Remove', `Remove ${name.toLowerCase()}`, () => removeReservation(i)));
    tr.append(tools);
    body.append(tr);
  });
  $('reservations-empty').hidden = state.reservations.length > 0;
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

// Sends the interface's whole state as "applydata" takes it: the global
// settings, the complete subnet table (PXE row included) and the complete
// reservation list.
async function save(event) {
  event.preventDefault();
  clearFieldErrors($('settings'));
  clearFieldErrors($('iface').parentElement);
  showMessage('');
  setInline('save-message', 'Saving…');
  const global = globalData();
  const answer = await call('applydata', {
    dataArray: JSON.stringify(global),
    subnetData: JSON.stringify(state.subnets),
    staticData: JSON.stringify(state.reservations),
  });
  if (!answer.success) {
    if (answer.error) {
      const shown = showFieldError(answer.error);
      setInline('save-message', shown ? 'Not saved: see the marked field.' : 'Not saved.', 'error');
      showMessage(`Not saved: ${answer.error}`, 'error');
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
    setInline('save-message', 'Subnets not saved.', 'error');
    showMessage('A subnet lies in the access point\'s subnet, so the subnet table and the global '
      + 'settings were not saved. The reservations were saved.', 'warning');
    await loadReservations();
    return;
  }
  markClean();
  setInline('save-message', `Saved at ${new Date().toLocaleTimeString()}.`, 'ok');
  await Promise.all([loadGlobal(), loadSubnets(), loadReservations(), loadPxeStatus()]);
  refreshClients();
}

// --- clients -----------------------------------------------------------------------

async function refreshClients() {
  const iface = state.iface;
  if (!iface) return;
  const answer = await call('loadClientList', { iftype: iface });
  if (iface !== state.iface) return;
  const body = $('client-rows');
  const list = answer.success && Array.isArray(answer.clientList) ? answer.clientList : [];
  body.textContent = '';
  for (const client of list) {
    const tr = document.createElement('tr');
    const cells = [
      ['MAC address', client.mac],
      ['IP address', client.ip],
      ['Host name', client.hostname || '—'],
      ['Remaining lease', formatRemaining(client.expire)],
    ];
    for (const [label, text] of cells) {
      const td = rowCell(label);
      td.textContent = text;
      tr.append(td);
    }
    if (client.expire === 'expired') tr.className = 'expired';
    body.append(tr);
  }
  $('clients-empty').hidden = list.length > 0;
  $('clients-updated').textContent = `Last update ${new Date().toLocaleTimeString()}.`;
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
  const answer = await call('loadpxesubnet', { if_name: state.iface });
  const data = answer.success && answer.data ? answer.data : {};
  for (const key of PXE_FIELDS) $(key).value = data[key] || '';
  // The boot file is not read back: it is entered each time PXE is applied.
  $('pxe_bootloader').value = '';
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

async function applyPxe(enable) {
  clearFieldErrors($('pxe-form'));
  setInline('pxe-message', 'Applying…');
  const params = { pxe_interface: state.iface, pxe_enable: enable ? 'true' : 'false', orig_interface: '' };
  if (enable) {
    for (const key of [...PXE_FIELDS, 'pxe_bootloader']) params[key] = $(key).value.trim();
    // PXE is served on one interface: the one that served it before is
    // switched off once this one is written.
    if (state.pxe && state.pxe.pxe_enabled && state.pxe.pxe_interface_id
        && state.pxe.pxe_interface_id !== state.iface) {
      params.orig_interface = state.pxe.pxe_interface_id;
    }
  }
  const answer = await call('applypxesubnet', params);
  if (answer.isSameApSubnet) {
    setInline('pxe-message', 'The PXE range lies in the access point\'s subnet; nothing was saved.', 'error');
  } else if (!answer.success) {
    if (answer.error && showFieldError(answer.error)) {
      setInline('pxe-message', `Not applied: ${answer.error}`, 'error');
    } else {
      setInline('pxe-message', `Not applied: ${failureText(answer, 'the PXE settings could not be written.')}`, 'error');
    }
  } else {
    setInline('pxe-message', enable ? 'PXE network boot enabled on this interface.'
      : 'PXE network boot disabled on this interface.', 'ok');
    // Enabling gave the PXE DNS server to every subnet of the interface;
    // the global settings show it, so that the next save keeps it.
    if (enable && params.pxe_dns) $('pdns').value = params.pxe_dns;
  }
  await loadPxeStatus();
  await mergePxeRow();
}

// Takes the PXE row of the stored subnet list into the table without
// touching the edits of the ordinary rows.
async function mergePxeRow() {
  const answer = await call('getIfData', { iftype: state.iface });
  if (!answer.success) return;
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
  await Promise.all([loadGlobal(), loadSubnets(), loadPxeSubnet(), loadPxeStatus()]);
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
  module.exports = { formatRemaining };
}
