// The service status line of the header.

import { call } from './request.js';
import { parseApSubnet } from './rules.js';
import { state, $ } from './state.js';

export async function loadStatus() {
  const answer = await call('getServiceStatus');
  const el = $('service-status');
  if (!answer.success) {
    el.textContent = 'DHCP service: status unknown';
    el.className = 'service-status';
    return;
  }
  state.status = answer;
  state.ap = parseApSubnet(answer.apSubnet);
  const parts = [];
  if (answer.running) parts.push(answer.dnsOnly ? 'running (DHCP only: DNS is left to the name server)' : 'running');
  else parts.push('stopped');
  const here = answer.enabledSubnets && answer.enabledSubnets[state.iface];
  if (state.iface && here !== undefined) parts.push(`${here} subnet${here === 1 ? '' : 's'} on ${state.iface}`);
  const last = answer.lastRestart;
  let failed = false;
  if (last && last.time) {
    const when = new Date(last.time * 1000).toLocaleString();
    if (last.restarted) parts.push(`last restart ${when}`);
    else {
      parts.push(`last restart ${when} failed: ${last.serviceError || 'no reason given'}`);
      failed = true;
    }
  }
  el.textContent = `DHCP service: ${parts.join(' · ')}`;
  el.className = `service-status ${failed ? 'failed' : answer.running ? 'on' : 'off'}`;
}
