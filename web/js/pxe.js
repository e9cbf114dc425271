// PXE network boot: the header's status, and the form that serves it on the
// chosen interface.

import { displayName } from './interfaces.js';
import { conflictText, loadHistory } from './history.js';
import { call } from './request.js';
import { PXE_FIELDS, PXE_TEXT_FIELDS, pxeProblems } from './rules.js';
import { baseOf, ownSave, state, $ } from './state.js';
import { loadStatus, renderPxeLine } from './status.js';
import { renderSubnets } from './subnets.js';
import { clearFieldErrors, setInline, showProblems } from './ui.js';
import { failureText, problemOf, restartText } from './words.js';

export async function loadPxeStatus() {
  state.pxe = await call('getEnablePXEConfig');
  renderPxeLine();
  renderPxeHere();
}

export async function loadPxeSubnet() {
  const iface = state.iface;
  const answer = await call('loadpxesubnet', { if_name: iface });
  if (iface !== state.iface) return;
  const data = answer.success && answer.data ? answer.data : {};
  state.loadedAt.pxe = answer.revision ?? null;
  state.pxeDirty = false;
  for (const key of [...PXE_FIELDS, ...PXE_TEXT_FIELDS]) $(key).value = data[key] || '';
  $('pxe_range_only').checked = !!data.pxe_range_only;
  if (!data.pxe_start_ip) {
    // Suggestions for an interface without a PXE subnet. A range enabled
    // anew is kept for network boot: otherwise laptops and phones draw from
    // it and are told to boot.
    $('pxe_netmask').value = '255.255.255.0';
    $('pxe_range_only').checked = true;
  }
}

function pxeHere() {
  return !!(state.pxe && state.pxe.pxe_enabled && state.pxe.pxe_interface_id === state.iface);
}

function renderPxeHere() {
  const el = $('pxe-here');
  const p = state.pxe;
  // Disabling is offered only where PXE is on.
  $('pxe-disable').hidden = !pxeHere();
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

let lastEnable = true; // what the last apply asked, for "Save anyway"

export async function applyPxe(enable, force = false) {
  lastEnable = enable;
  $('pxe-conflict').hidden = true;
  clearFieldErrors($('pxe-form'));
  const params = { pxe_interface: state.iface, pxe_enable: enable ? 'true' : 'false', orig_interface: '' };
  if (enable) {
    for (const key of [...PXE_FIELDS, ...PXE_TEXT_FIELDS]) params[key] = $(key).value.trim();
    params.pxe_range_only = $('pxe_range_only').checked ? 'true' : 'false';
    const problems = pxeProblems(params, state.ap);
    if (problems.length > 0) {
      setInline('pxe-message', showProblems(problems, 'Not applied'), 'error');
      return;
    }
    // PXE is served on one interface: the one that served it before is
    // switched off once this one is written.
    if (state.pxe && state.pxe.pxe_enabled && state.pxe.pxe_interface_id
        && state.pxe.pxe_interface_id !== state.iface) {
      params.orig_interface = state.pxe.pxe_interface_id;
    }
  }
  const base = baseOf('pxe', 'global', 'subnets');
  if (base !== null && !force) params.baseRevision = String(base);
  setInline('pxe-message', 'Applying…');
  const answer = await call('applypxesubnet', params);
  ownSave(answer.revision);
  const restart = restartText(answer);
  if (answer.conflict) {
    setInline('pxe-message', 'Not applied.', 'error');
    $('pxe-conflict-text').textContent = await conflictText(answer, base,
      (p) => p.part === 'PXE switch' || (p.part === 'PXE' && [state.iface, params.orig_interface].includes(p.iface)),
      `the PXE settings of ${displayName(state.iface)}`);
    $('pxe-conflict').hidden = false;
    $('pxe-conflict').scrollIntoView({ block: 'center' });
    return;
  } else if (answer.errorKind === 'apSubnet') {
    setInline('pxe-message', 'The PXE range lies in the access point\'s subnet; nothing was saved.', 'error');
  } else if (!answer.success) {
    if (answer.errorKind === 'invalid') {
      setInline('pxe-message', showProblems([problemOf(answer)], 'Not applied'), 'error');
    } else {
      setInline('pxe-message', `Not applied: ${failureText(answer, 'the PXE settings could not be written.')}`, 'error');
    }
  } else {
    state.pxeDirty = false;
    const done = enable ? 'PXE network boot enabled on this interface' : 'PXE network boot disabled on this interface';
    if (restart.ok) setInline('pxe-message', `${done}${restart.text ? `; ${restart.text}` : ''}.`, 'ok');
    else setInline('pxe-message', `${done}, but ${restart.text}`, 'error', restart.details);
    // Enabling gave the PXE DNS server to every subnet of the interface;
    // the global settings show it, so that the next save keeps it.
    if (enable && params.pxe_dns) $('pdns').value = params.pxe_dns;
  }
  await Promise.all([loadPxeStatus(), loadStatus(), loadHistory()]);
  await mergePxeRow();
}

// Takes the PXE row of the stored subnet list into the table without
// touching the edits of the ordinary rows.
async function mergePxeRow() {
  const iface = state.iface;
  const answer = await call('getIfData', { iftype: iface });
  if (!answer.success || iface !== state.iface) return;
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

// "Save anyway" after a conflict: the same apply without the check.
export const forcePxe = () => applyPxe(lastEnable, true);

// Another change came first: this section only is read again.
export async function reloadPxe() {
  if (state.pxeDirty && !window.confirm('Discard the PXE settings not saved yet?')) return;
  $('pxe-conflict').hidden = true;
  setInline('pxe-message', '');
  clearFieldErrors($('pxe-form'));
  await Promise.all([loadPxeSubnet(), loadPxeStatus()]);
}
