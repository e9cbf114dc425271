// The subnet table of the chosen interface.

import { displayName } from './interfaces.js';
import { call } from './request.js';
import { state, $ } from './state.js';
import { button, errorHolder, markDirty, rowCell, rowField, showMessage, showWarnings } from './ui.js';
import { failureText, subnetNumber } from './words.js';

const SUBNET_FIELDS = [
  ['startip', 'start address'],
  ['endip', 'end address'],
  ['netmask', 'netmask'],
  ['gateway', 'gateway'],
];

// How full the stored ranges are, by "start-end", from a "getIfData"
// answer: a row whose range was edited has no figures until it is saved.
const rangeKey = (row) => `${row.startip}-${row.endip}`;

function keepUsage(answer) {
  state.usage = new Map();
  for (const row of (answer.success && answer.subnetList) || []) {
    if (Number.isFinite(row.size)) state.usage.set(rangeKey(row), { size: row.size, leased: row.leased || 0 });
  }
}

// "12 / 100 (12 %)", or '' without figures.
export function usageText(usage) {
  if (!usage || !usage.size) return '';
  return `${usage.leased} / ${usage.size} (${Math.floor((usage.leased * 100) / usage.size)} %)`;
}

// The bar's level: amber from 80 %, red from 90 %.
const usageLevel = (u) => (u.leased * 10 >= u.size * 9 ? 'full' : u.leased * 10 >= u.size * 8 ? 'high' : '');

function fillUsage(cell, usage) {
  cell.textContent = '';
  const text = usageText(usage);
  if (!text) { cell.textContent = '—'; return; }
  const bar = document.createElement('span');
  bar.className = `usage ${usageLevel(usage)}`.trim();
  const fill = document.createElement('span');
  fill.style.width = `${Math.min(100, (usage.leased * 100) / usage.size)}%`;
  bar.append(fill);
  const label = document.createElement('span');
  label.className = 'usage-text';
  label.textContent = text;
  cell.append(bar, label);
}

// Shows the figures at each row and their sum at the heading.
export function showUsage() {
  const rows = $('subnet-rows').rows;
  const sum = { size: 0, leased: 0 };
  state.subnets.forEach((row, i) => {
    const usage = state.usage.get(rangeKey(row));
    if (usage) { sum.size += usage.size; sum.leased += usage.leased; }
    const cell = rows[i] && rows[i].querySelector('.usage-cell');
    if (cell) fillUsage(cell, usage);
  });
  $('subnets-usage').textContent = sum.size ? `${usageText(sum)} leased` : '';
}

// Brings the figures up to date, as the client list is.
export async function refreshUsage() {
  const iface = state.iface;
  if (!iface) return null;
  const answer = await call('getIfData', { iftype: iface });
  if (iface !== state.iface || !answer.success) return null;
  keepUsage(answer);
  showUsage();
  return answer.revision;
}

export async function loadSubnets() {
  const iface = state.iface;
  const answer = await call('getIfData', { iftype: iface });
  if (iface !== state.iface) return;
  keepUsage(answer);
  state.loadedAt.subnets = answer.revision ?? null;
  if (!answer.success) {
    state.subnets = [];
    showMessage(failureText(answer, 'The subnets of this interface cannot be read.'), 'error');
  } else {
    // A row's own switch ("rowActive") stays while the service is off.
    state.subnets = (answer.subnetList || []).map((row) => ({
      activated: row.rowActive === undefined ? !!row.activated : !!row.rowActive,
      pxe: !!row.pxe,
      startip: row.startip || '',
      endip: row.endip || '',
      netmask: row.netmask || '',
      gateway: row.gateway || '',
    }));
  }
  renderSubnets();
}

export function renderSubnets(focus) {
  const body = $('subnet-rows');
  body.textContent = '';
  state.subnets.forEach((row, i) => {
    const tr = document.createElement('tr');
    const name = row.pxe ? 'PXE subnet' : `Subnet ${subnetNumber(state.subnets, i)}`;
    tr.className = [row.pxe ? 'pxe-row' : '', row.activated ? '' : 'inactive'].join(' ').trim();
    tr.dataset.index = String(i);

    const active = rowCell('active');
    const tag = document.createElement('span');
    tag.className = row.pxe ? 'badge pxe' : 'badge';
    tag.textContent = row.pxe ? 'PXE' : `#${subnetNumber(state.subnets, i)}`;
    if (row.pxe) {
      // PXE is switched in its own section below; here its state is shown.
      const on = document.createElement('span');
      on.className = 'readonly';
      on.id = `subnet-${i}-activated`;
      on.dataset.where = `subnetData[${i}].activated`;
      on.tabIndex = -1;
      on.textContent = row.activated ? 'on' : 'off';
      active.append(tag, on, errorHolder(on));
    } else {
      const check = document.createElement('input');
      check.type = 'checkbox';
      check.id = `subnet-${i}-activated`;
      check.checked = row.activated;
      check.dataset.where = `subnetData[${i}].activated`;
      check.setAttribute('aria-label', `${name} active`);
      check.addEventListener('change', () => {
        row.activated = check.checked;
        tr.classList.toggle('inactive', !check.checked);
      });
      // The badge beside it is the check box's label, to be tapped too.
      const label = document.createElement('label');
      label.className = 'check';
      label.append(check, tag);
      active.append(label, errorHolder(check));
    }
    tr.append(active);

    for (const [key, label] of SUBNET_FIELDS) {
      const field = [key, label, state.examples[key] || ''];
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
    const usage = rowCell('leased');
    usage.className = 'usage-cell';
    tr.append(usage);

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
  showServiceOff();
  showUsage();
  showWarnings();
  if (focus) focus();
}

// Rows switched on are not served while the interface's service is off, as
// stored: the table says so instead of looking active.
export function showServiceOff() {
  const off = !state.storedEnable && state.subnets.some((r) => !r.pxe && r.activated);
  $('subnets-off').hidden = !off;
  $('subnet-rows').classList.toggle('service-off', off);
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

// The interface's lease time, domain and DNS servers are kept in its
// subnets' files: removing the last subnet takes them along.
function removeSubnet(i) {
  const last = state.subnets.filter((r) => !r.pxe).length === 1;
  if (last && !window.confirm(`Remove the last subnet of ${displayName(state.iface)}? When saved, the interface's `
      + 'lease time, domain and DNS servers go with it, and no client of it is given an address.')) return;
  state.subnets.splice(i, 1);
  markDirty();
  renderSubnets(() => {
    const rows = $('subnet-rows').rows;
    const next = rows[Math.min(i, rows.length - 1)];
    const target = next && next.querySelector('.tools button:last-child');
    (target || $('add-subnet')).focus();
  });
}

export function addSubnet() {
  // The first subnet of an interface is meant to be served.
  if (!state.subnets.some((r) => !r.pxe)) $('enable').checked = true;
  state.subnets.push({ activated: true, pxe: false, startip: '', endip: '', netmask: '255.255.255.0', gateway: '' });
  markDirty();
  const i = state.subnets.length - 1;
  renderSubnets(() => $(`subnet-${i}-startip`).focus());
}
