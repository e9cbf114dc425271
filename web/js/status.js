// The header's two status lines: the service and PXE network boot, both
// from "getServiceStatus" together with the chosen interface's own rows, so
// that they follow the service as the client list refreshes them.

import { formatWhen } from './format.js';
import { displayName } from './interfaces.js';
import { call } from './request.js';
import { parseApSubnet } from './rules.js';
import { state, $ } from './state.js';
import { fillText, showMessage } from './ui.js';
import { failureText, plainReason, restartText } from './words.js';

const plural = (n, word) => `${n} ${word}${n === 1 ? '' : 's'}`;

// The service's state for the chosen interface: {kind, text, details, start}
// (start: the service is not running although it should be, and may be
// started again), one kind (and colour) per state.
export function serviceLine(status, iface, shownName = (x) => x) {
  const last = status.lastRestart && status.lastRestart.time ? status.lastRestart : null;
  const when = last ? formatWhen(new Date(last.time * 1000)) : '';
  if (last && !last.restarted) {
    const why = plainReason(last.serviceError);
    const text = status.running
      ? `running with the previous settings: the restart of ${when} failed (${why.text})`
      : `stopped: the restart of ${when} failed (${why.text})`;
    return { kind: 'failed', text, details: why.details, start: true };
  }
  const on = Object.values(status.enabledSubnets || {}).reduce((n, v) => n + Number(v || 0), 0);
  // Subnets switched on and no dnsmasq: it ended since its last start.
  if (!status.running && on > 0) {
    return { kind: 'failed', text: `stopped, though ${plural(on, 'subnet')} ${on === 1 ? 'is' : 'are'} switched on: the service has ended`, details: '', start: true };
  }
  if (!status.running) return { kind: 'off', text: 'stopped: no interface is served', details: '' };
  const since = when ? ` · last restart ${when}` : '';
  const dnsOnly = status.dnsOnly ? ' (DHCP only: DNS is left to the name server)' : '';
  const here = status.enabledSubnets ? Number(status.enabledSubnets[iface] || 0) : 0;
  const name = shownName(iface);
  if (here === 0) return { kind: 'idle', text: `running${dnsOnly}, but off on ${name}: no subnet served${since}`, details: '' };
  return { kind: 'on', text: `running${dnsOnly} · serving ${plural(here, 'subnet')} on ${name}${since}`, details: '' };
}

// PXE's state: set up is not served while the service is stopped or kept
// on its previous settings.
export function pxeLine(pxe, status, shownName) {
  if (!pxe || !pxe.success) return { kind: '', text: 'unknown' };
  if (!pxe.pxe_enabled || !pxe.pxe_interface_id) return { kind: '', text: 'off' };
  const where = shownName(pxe.pxe_interface_id);
  if (!status) return { kind: '', text: `set up on ${where}` };
  const last = status.lastRestart;
  if (last && last.time && !last.restarted) {
    return { kind: 'failed', text: `set up on ${where}; the last restart failed, the previous settings are served` };
  }
  if (!status.running) return { kind: 'off', text: `set up on ${where}, not served: the DHCP service is stopped` };
  return { kind: 'on', text: `served on ${where}` };
}

export function renderPxeLine() {
  const line = pxeLine(state.pxe, state.status, displayName);
  const el = $('pxe-status');
  el.textContent = `PXE network boot: ${line.text}`;
  el.className = `pxe-status ${line.kind}`.trim();
}

export async function loadStatus() {
  const answer = await call('getServiceStatus');
  const el = $('service-status');
  if (!answer.success) {
    state.status = null;
    el.textContent = `DHCP service: status unknown (${failureText(answer, 'no answer')})`;
    el.dataset.key = '';
    el.className = 'service-status';
    $('service-start').hidden = true;
    renderPxeLine();
    return;
  }
  state.status = answer;
  state.ap = parseApSubnet(answer.apSubnet);
  const line = serviceLine(answer, state.iface, displayName);
  $('service-start').hidden = !line.start;
  // Rewritten only when it changed, so that an open "Details" stays open.
  const key = `${line.kind}|${line.text}|${line.details}`;
  if (el.dataset.key !== key) {
    fillText(el, `DHCP service: ${line.text}`, line.details);
    el.dataset.key = key;
  }
  el.className = `service-status ${line.kind}`;
  renderPxeLine();
}

// Starts the service again without changing anything ("restartService"):
// where it ended or its last restart failed.
export async function startService() {
  const button = $('service-start');
  button.disabled = true;
  const answer = await call('restartService');
  button.disabled = false;
  const restart = restartText(answer);
  if (!answer.success) {
    showMessage(`The service was not started: ${failureText(answer, 'no answer')}`, 'error');
  } else if (!restart.ok) {
    showMessage(`The service was not started: ${restart.text.replace(/^the DHCP service did not restart: /, '')}`, 'error', restart.details);
  } else {
    showMessage(`The DHCP service was started (${formatWhen(new Date())}).`, 'ok');
  }
  await loadStatus();
}
