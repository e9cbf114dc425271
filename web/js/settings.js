// The settings form: the interface's global settings, and saving them with
// the subnet table and the reservations.

import { refreshClients } from './clients.js';
import { displayName } from './interfaces.js';
import { loadPxeStatus } from './pxe.js';
import { call } from './request.js';
import { loadReservations, renderReservations } from './reservations.js';
import { inApSubnet, normalizeMac, settingsProblems } from './rules.js';
import { baseOf, ownSave, state, $ } from './state.js';
import { loadStatus } from './status.js';
import { loadSubnets, showServiceOff } from './subnets.js';
import { formatWhen } from './format.js';
import {
  clearFieldErrors, currentWarnings, markClean, markField, setInline, showMessage, showProblems, warnedCount,
} from './ui.js';
import { conflictText, loadHistory } from './history.js';
import { failureText, restartText, savedText, problemOf, subnetName, warningsText } from './words.js';

export async function loadGlobal() {
  const iface = state.iface;
  const answer = await call('loadGlobal', { iftype: iface });
  // An answer for an interface no longer chosen is dropped.
  if (iface !== state.iface) return;
  state.loadedAt.global = answer.revision ?? null;
  const stored = !!answer.success;
  $('global-note').hidden = stored;
  // Without any subnet the service is off; adding the first subnet ticks it.
  state.storedEnable = stored && !!answer.enable;
  $('enable').checked = state.storedEnable;
  showServiceOff();
  $('leasetime').value = stored ? String(answer.leasetime) : '1440';
  $('domain').value = stored ? answer.domain || '' : '';
  $('pdns').value = stored ? answer.pdns || '' : '';
  $('sdns').value = stored ? answer.sdns || '' : '';
  state.shownGlobal = globalData();
}

// The interface's settings live in its subnets' files: without a subnet
// there is nowhere to keep what was typed, and a save must not claim it.
function unkeptSettings(global) {
  if (state.subnets.length > 0 || !state.shownGlobal) return [];
  return ['leasetime', 'domain', 'pdns', 'sdns'].filter((k) => global[k] !== state.shownGlobal[k])
    .map((k) => ({ where: `dataArray.${k}`, why: 'kept only with a subnet of this interface: add a subnet first' }));
}

function globalData() {
  return {
    // An interface without any subnet has no service to switch off: the
    // program would refuse the switch-off after storing everything else.
    enable_check: $('enable').checked || state.subnets.length === 0,
    leasetime: $('leasetime').value.trim(),
    domain: $('domain').value.trim(),
    pdns: $('pdns').value.trim(),
    sdns: $('sdns').value.trim(),
    iftype: state.iface,
  };
}

// Sends the interface's whole state as "applydata" takes it: the global
// settings, the complete subnet table (PXE row included) and the complete
// reservation list. Every value is checked first, with the program's rules.
export async function save(event, force = false) {
  if (event) event.preventDefault();
  $('conflict').hidden = true;
  clearFieldErrors($('settings'));
  clearFieldErrors($('iface').parentElement);
  showMessage('');
  for (const row of state.reservations) row.mac = normalizeMac(row.mac);
  renderReservations();
  const global = globalData();
  const problems = [...settingsProblems(global, state.subnets, state.reservations, state.ap),
    ...unkeptSettings(global)];
  if (problems.length > 0) {
    showMessage(showProblems(problems, 'Not saved'), 'error');
    setInline('save-message', 'Not saved: see the marked fields.', 'error');
    return;
  }
  if (state.storedEnable && !global.enable_check
      && !window.confirm(`Switch the DHCP service off on ${displayName(state.iface)}? `
        + 'Its clients get no address until it is switched on again.')) {
    setInline('save-message', 'Not saved.', 'error');
    return;
  }
  setInline('save-message', 'Saving…');
  const iface = state.iface;
  const warnings = currentWarnings().length;
  const params = {
    dataArray: JSON.stringify(global),
    subnetData: JSON.stringify(state.subnets),
    staticData: JSON.stringify(state.reservations),
  };
  // Another page or administrator may have saved since this form was
  // loaded: the program then refuses the save instead of undoing theirs.
  const base = baseOf('global', 'subnets', 'reservations');
  if (!force && base !== null) params.baseRevision = String(base);
  state.saving = true;
  const answer = await call('applydata', params);
  state.saving = false;
  if (iface !== state.iface) {
    await showElsewhere(iface, answer, warnings);
    return;
  }
  if (answer.conflict) {
    setInline('save-message', 'Not saved.', 'error');
    $('conflict-text').textContent = await conflictText(answer, base,
      (p) => p.part === 'reservations' || (p.iface === iface && p.part === 'subnets'),
      `the settings and subnets of ${displayName(iface)} and the whole reservation list`);
    $('conflict').hidden = false;
    $('conflict').scrollIntoView({ block: 'center' });
    return;
  }
  ownSave(answer.revision);
  if (!answer.success) {
    if (answer.error) {
      showMessage(showProblems([problemOf(answer)], 'Not saved'), 'error');
      setInline('save-message', 'Not saved.', 'error');
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
  if (answer.errorKind === 'apSubnet') {
    // The subnet table (and with it the global settings, which live in the
    // subnets' files) was refused whole at the row the program names; the
    // reservations were stored.
    const ap = state.ap;
    const rows = [];
    const at = /^subnetData\[(\d+)\]/.exec(answer.errorAt || '');
    if (at) {
      const i = Number(at[1]);
      const row = state.subnets[i] || {};
      const key = ['startip', 'endip', 'gateway'].find((k) => inApSubnet(row[k], row.netmask, ap)) || 'startip';
      markField($(`subnet-${i}-${key}`), `in the access point's subnet${ap ? ` ${ap.text}` : ''}`);
      rows.push(subnetName(state.subnets, i));
    }
    setInline('save-message', 'Subnets not saved.', 'error');
    showMessage(`${rows.length ? rows.join(', ') : 'A subnet'} lies in the access point's subnet`
      + `${ap ? ` (${ap.text})` : ''}, so the subnet table and the settings of this interface `
      + 'were not saved. The reservations were saved.', 'warning');
    await loadReservations();
    return;
  }
  markClean();
  await Promise.all([loadGlobal(), loadSubnets(), loadReservations(), loadPxeStatus(), loadStatus(),
    loadHistory()]);
  // Counted once the program's own warnings about what was stored are in.
  const outcome = saveOutcome(answer, warnedCount());
  // A restart that went well answers for the PXE form's last one too.
  if (outcome.ok) setInline('pxe-message', '');
  setInline('save-message', outcome.text, outcome.ok ? 'ok' : 'error', outcome.details);
  if (!outcome.ok) showMessage(outcome.text, 'error', outcome.details);
  refreshClients();
}

// The outcome line of a save that was stored: {ok, text, details}.
function saveOutcome(answer, warnings) {
  const saved = `${savedText(answer)}${warningsText(warnings)}`;
  const restart = restartText(answer);
  if (!restart.ok) return { ok: false, text: `${saved}, but ${restart.text}`, details: restart.details };
  return { ok: true, text: `${saved}${restart.text ? `; ${restart.text}` : ''} (${formatWhen(new Date())}).`, details: '' };
}

// The answer of a save for an interface no longer shown, told in the
// status area with the interface it was for.
async function showElsewhere(iface, answer, warnings) {
  const name = displayName(iface);
  if (answer.success && answer.errorKind !== 'apSubnet') {
    const outcome = saveOutcome(answer, warnings);
    showMessage(`${name}: ${outcome.text}`, outcome.ok ? 'ok' : 'error', outcome.details);
  } else if (answer.errorKind === 'apSubnet') {
    showMessage(`${name}: a subnet lies in the access point's subnet; only the reservations were saved.`, 'warning');
  } else {
    showMessage(`${name}: not saved: ${failureText(answer, 'the settings could not be saved.')}`, 'error');
  }
  // The reservations are shared: edits begun on this interface stay.
  await Promise.all([state.dirty ? null : loadReservations(), loadStatus(), loadHistory()]);
}
