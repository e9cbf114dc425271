// Keeping devices off an interface and waking them: the interface's access
// rules as loadAccess answers them, changed whole by applyAccess.

import { call } from './request.js';
import { state, $ } from './state.js';
import { showMessage } from './ui.js';
import { failureText, plainReason } from './words.js';

const sameMac = (a, b) => String(a).toLowerCase().replace(/-/g, ':') === String(b).toLowerCase().replace(/-/g, ':');

export const isBlocked = (mac) => state.access.blocked.some((b) => sameMac(b.mac, mac));

export async function loadAccess() {
  const iface = state.iface;
  const answer = await call('loadAccess', { iftype: iface });
  if (iface !== state.iface) return;
  state.access = answer.success && answer.access ? answer.access : { unknownClients: 'serve', blocked: [] };
  $('reserved-only').checked = state.access.unknownClients === 'ignore';
}

async function applyAccess(next, done) {
  const answer = await call('applyAccess', { iftype: state.iface, access: JSON.stringify(next) });
  if (answer.success) {
    state.access = next;
    showMessage(done, 'ok');
  } else {
    const why = plainReason(failureText(answer, 'no reason given'));
    showMessage(`Not changed: ${why.text}`, 'error', why.details);
  }
  $('reserved-only').checked = state.access.unknownClients === 'ignore';
  return answer.success;
}

export function serveReservedOnly(on) {
  if (on && !window.confirm('Serve only devices with a reservation on this interface? '
      + 'Devices without a reservation lose their address when their lease comes up for renewal.')) {
    $('reserved-only').checked = false;
    return Promise.resolve(false);
  }
  return applyAccess({ ...state.access, unknownClients: on ? 'ignore' : 'serve' },
    on ? 'Only devices with a reservation are served on this interface.'
      : 'Every device is served on this interface again.');
}

export function toggleBlock(mac, label) {
  const blocked = isBlocked(mac);
  const rest = state.access.blocked.filter((b) => !sameMac(b.mac, mac));
  const next = { ...state.access, blocked: blocked ? rest : [...rest, { mac, note: label.slice(0, 64) }] };
  return applyAccess(next, blocked ? `${mac} is served again.` : `${mac} gets no address on this interface any more.`);
}

export async function wake(mac) {
  const answer = await call('wakeClient', { iftype: state.iface, mac });
  if (answer.success && answer.sent) {
    showMessage(`The wake-up packet was sent to ${mac}.`, 'ok');
  } else {
    const why = plainReason(failureText(answer, 'no reason given'));
    showMessage(`No wake-up packet was sent to ${mac}: ${why.text}`, 'error', why.details);
  }
}
