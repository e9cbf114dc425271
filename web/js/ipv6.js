// IPv6 on the chosen interface: the mode, the range where clients are given
// their addresses, the DNS servers, and the interface's prefixes.

import { loadHistory } from './history.js';
import { call } from './request.js';
import { IPV6_MODES, ipv6Problems } from './rules.js';
import { state, $ } from './state.js';
import { loadStatus } from './status.js';
import { clearFieldErrors, setInline, showProblems } from './ui.js';
import { failureText, problemOf, restartText } from './words.js';

const DNS_FIELDS = ['ipv6-dns0', 'ipv6-dns1', 'ipv6-dns2'];

// The four modes as plain choices, each saying what clients get.
export function renderIpv6Modes() {
  const holder = $('ipv6-modes');
  holder.textContent = '';
  for (const { mode, gives } of IPV6_MODES) {
    const label = document.createElement('label');
    label.className = 'choice';
    const input = document.createElement('input');
    input.type = 'radio';
    input.name = 'ipv6-mode';
    input.value = mode;
    input.dataset.where = 'ipv6.mode';
    input.addEventListener('change', showRange);
    const name = document.createElement('strong');
    name.textContent = mode;
    const text = document.createElement('span');
    text.textContent = ` — ${gives}`;
    label.append(input, name, text);
    holder.append(label);
  }
}

const chosenMode = () => {
  const checked = document.querySelector('input[name="ipv6-mode"]:checked');
  return checked ? checked.value : 'off';
};

// The range only where addresses are given from it; the rest only with
// IPv6 on.
function showRange() {
  const mode = chosenMode();
  $('ipv6-range').hidden = mode !== 'stateful';
  $('ipv6-on').hidden = mode === 'off';
}

export async function loadIpv6() {
  const iface = state.iface;
  const answer = await call('loadIPv6', { iftype: iface });
  if (iface !== state.iface) return;
  const v6 = answer.success && answer.ipv6 ? answer.ipv6 : { mode: 'off', dns: [] };
  for (const input of document.querySelectorAll('input[name="ipv6-mode"]')) input.checked = input.value === v6.mode;
  $('ipv6-start').value = v6.start || '::100';
  $('ipv6-end').value = v6.end || '::1ff';
  $('ipv6-leasetime').value = v6.leasetime || '1440';
  DNS_FIELDS.forEach((id, i) => { $(id).value = (v6.dns || [])[i] || ''; });
  $('ipv6-ranames').checked = !!v6.raNames;
  const prefixes = answer.prefixes || [];
  $('ipv6-prefixes').textContent = prefixes.length
    ? `Prefix ${prefixes.join(', ')}`
    : 'This interface has no IPv6 prefix: clients get nothing until it has one.';
  showRange();
}

function formSettings() {
  const mode = chosenMode();
  const v6 = { mode, leasetime: $('ipv6-leasetime').value.trim(), prefixLength: 64,
    dns: DNS_FIELDS.map((id) => $(id).value.trim()).filter((d) => d), raNames: $('ipv6-ranames').checked };
  if (mode === 'stateful') {
    v6.start = $('ipv6-start').value.trim();
    v6.end = $('ipv6-end').value.trim();
  }
  return v6;
}

export async function applyIpv6(e) {
  e.preventDefault();
  clearFieldErrors($('ipv6-form'));
  const v6 = formSettings();
  const problems = ipv6Problems(v6);
  if (problems.length > 0) {
    setInline('ipv6-message', showProblems(problems, 'Not applied'), 'error');
    return;
  }
  const params = { iftype: state.iface, ipv6: JSON.stringify(v6) };
  if (state.revision !== null) params.baseRevision = String(state.revision);
  setInline('ipv6-message', 'Applying…');
  const answer = await call('applyIPv6', params);
  if (answer.revision) state.revision = answer.revision;
  const restart = restartText(answer);
  if (answer.conflict) {
    setInline('ipv6-message', `Not applied: the settings were ${answer.error}; reload the page.`, 'error');
  } else if (!answer.success) {
    setInline('ipv6-message', answer.errorKind === 'invalid'
      ? showProblems([problemOf(answer)], 'Not applied')
      : `Not applied: ${failureText(answer, 'the IPv6 settings could not be written.')}`, 'error');
  } else if (restart.ok) {
    setInline('ipv6-message', `IPv6 settings saved${restart.text ? `; ${restart.text}` : ''}.`, 'ok');
  } else {
    setInline('ipv6-message', `IPv6 settings saved, but ${restart.text}`, 'error', restart.details);
  }
  await Promise.all([loadStatus(), loadHistory()]);
}
