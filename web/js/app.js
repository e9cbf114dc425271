// The DHCP administration page: talks to /cgi-bin/orvath with form posts and
// shows its JSON answers. No framework, no build step: the browser loads
// these modules as they are. This one chooses the interface and wires the
// page's controls to the sections.

import { loadAccess, serveReservedOnly } from './devices.js';
import { refreshClients, renderClients, sortClients, startClientRefresh } from './clients.js';
import { loadHistory, startHistory } from './history.js';
import { loadInterfaces } from './interfaces.js';
import { applyIpv6, loadIpv6, renderIpv6Modes } from './ipv6.js';
import { addHostOption, addOption, applyOptions, loadOptions, reloadOptions } from './options.js';
import { applyPxe, forcePxe, loadPxeStatus, loadPxeSubnet, reloadPxe } from './pxe.js';
import {
  addReservation, closeImport, exportReservations, finishImport, loadReservations, previewImport,
  renderReservations,
} from './reservations.js';
import { examplesFor, parseNetworks } from './rules.js';
import { loadGlobal, save } from './settings.js';
import { state, $ } from './state.js';
import { loadStatus, startService } from './status.js';
import { addSubnet, loadSubnets } from './subnets.js';
import { clearFieldErrors, markClean, markDirty, setInline, showMessage, showWarnings } from './ui.js';

async function chooseInterface(id) {
  state.iface = id;
  markClean();
  state.pxeDirty = false;
  history.replaceState(null, '', `#if=${encodeURIComponent(id)}`);
  clearFieldErrors();
  showMessage('');
  setInline('save-message', '');
  setInline('pxe-message', '');
  $('client-rows').textContent = '';
  state.clients = [];
  const item = state.ifaces.find((i) => i.if_value === id);
  const addrs = item && Array.isArray(item.if_addrs) ? item.if_addrs : [];
  $('iface-addrs').textContent = addrs.length ? `Address ${addrs.join(', ')}` : 'No IPv4 address';
  state.examples = examplesFor(parseNetworks(addrs)[0]);
  $('pdns').placeholder = state.examples.dns || '';
  renderReservations();
  await Promise.all([loadGlobal(), loadSubnets(), loadPxeSubnet(), loadPxeStatus(), loadStatus(), loadOptions(),
    loadAccess(), loadIpv6()]);
  await refreshClients();
}

// Edits of the settings (not already on their way) or of the PXE form.
const unsaved = () => (state.dirty && !state.saving) || state.pxeDirty || state.optionsDirty;

// Another interface's settings replace the form: edits not saved yet are
// given up only when the user says so. A save on its way is not asked
// about: its outcome is shown when it comes.
function switchTo(id) {
  if (unsaved() && !window.confirm('Discard the changes not saved yet?')) {
    $('iface').value = state.iface;
    history.replaceState(null, '', `#if=${encodeURIComponent(state.iface)}`);
    return;
  }
  $('iface').value = id;
  chooseInterface(id);
}

// The whole screen again, from what is stored: after a restore, and when a
// save met another one's change.
function reloadAll() {
  markClean();
  showMessage('');
  $('conflict').hidden = true;
  $('options-conflict').hidden = true;
  $('pxe-conflict').hidden = true;
  setInline('options-message', '');
  setInline('pxe-message', '');
  clearFieldErrors($('settings'));
  return Promise.all([loadGlobal(), loadSubnets(), loadReservations(), loadPxeSubnet(),
    loadPxeStatus(), loadStatus(), loadHistory(), loadOptions(), loadIpv6()]);
}

async function start() {
  $('settings').addEventListener('submit', (e) => save(e));
  $('conflict-reload').addEventListener('click', () => { setInline('save-message', ''); return reloadAll(); });
  $('conflict-force').addEventListener('click', () => save(null, true));
  startHistory(reloadAll);
  $('revert').addEventListener('click', () => {
    markClean();
    showMessage('');
    setInline('save-message', '');
    clearFieldErrors($('settings'));
    return Promise.all([loadGlobal(), loadSubnets(), loadReservations()]);
  });
  $('add-subnet').addEventListener('click', addSubnet);
  $('service-start').addEventListener('click', startService);
  $('client-filter').addEventListener('input', renderClients);
  $('client-new').addEventListener('change', renderClients);
  $('reserved-only').addEventListener('change', (e) => serveReservedOnly(e.target.checked).then(renderClients));
  for (const th of document.querySelectorAll('#clients th[data-sort]')) {
    th.querySelector('button').addEventListener('click', () => sortClients(th.dataset.sort));
  }
  // Edits not saved yet are not lost without a word.
  window.addEventListener('beforeunload', (e) => {
    if (!unsaved()) return;
    e.preventDefault();
    e.returnValue = '';
  });
  $('add-reservation').addEventListener('click', addReservation);
  $('export-csv').addEventListener('click', exportReservations);
  $('import-csv').addEventListener('click', () => $('import-file').click());
  // Choosing a file changes nothing yet: the form is not made dirty.
  $('import-file').addEventListener('input', (e) => e.stopPropagation());
  $('import-file').addEventListener('change', (e) => {
    e.stopPropagation();
    if (e.target.files.length) previewImport(e.target.files[0]);
  });
  $('import-add').addEventListener('click', () => finishImport(false));
  $('import-replace').addEventListener('click', () => finishImport(true));
  $('import-cancel').addEventListener('click', () => { closeImport(); $('import-csv').focus(); });
  $('iface').addEventListener('change', (e) => switchTo(e.target.value));
  const form = $('settings');
  form.addEventListener('input', markDirty);
  form.addEventListener('change', markDirty);
  $('pxe-form').addEventListener('input', () => { state.pxeDirty = true; });
  for (const type of ['input', 'change']) $('options-form').addEventListener(type, () => { state.optionsDirty = true; });
  $('pxe-form').addEventListener('submit', (e) => { e.preventDefault(); applyPxe(true); });
  // Enter in a field does not send a form: saving restarts the service,
  // which is done with the form's own button only.
  renderIpv6Modes();
  $('ipv6-form').addEventListener('submit', applyIpv6);
  for (const f of [form, $('pxe-form'), $('options-form'), $('ipv6-form')]) {
    f.addEventListener('keydown', (e) => {
      if (e.key === 'Enter' && e.target.tagName === 'INPUT' && e.target.type !== 'submit') e.preventDefault();
    });
  }
  $('pxe-disable').addEventListener('click', () => applyPxe(false));
  $('pxe-reload').addEventListener('click', reloadPxe);
  $('pxe-force').addEventListener('click', forcePxe);
  $('options-reload').addEventListener('click', reloadOptions);
  $('options-force').addEventListener('click', () => applyOptions(null, true));
  $('options-form').addEventListener('submit', applyOptions);
  $('add-option').addEventListener('click', addOption);
  $('add-host-option').addEventListener('click', addHostOption);
  // Editing a field takes its error away.
  document.addEventListener('input', (e) => {
    const el = e.target;
    if (!el.dataset || !el.dataset.where) return;
    el.removeAttribute('aria-invalid');
    const holder = $(el.getAttribute('aria-describedby'));
    if (holder) holder.textContent = '';
    if (el.closest('#settings')) showWarnings();
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
  await Promise.all([loadReservations(), loadHistory()]);
  if (state.iface) await chooseInterface(state.iface);
  startClientRefresh();
  document.body.dataset.ready = 'true';
}

window.addEventListener('DOMContentLoaded', start);
