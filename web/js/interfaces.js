// The interface picker.

import { call } from './request.js';
import { state, $ } from './state.js';
import { showMessage } from './ui.js';
import { failureText } from './words.js';

export async function loadInterfaces() {
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

export function displayName(id) {
  const item = state.ifaces.find((i) => i.if_value === id);
  return item && item.if_display && item.if_display !== id ? `${item.if_display} (${id})` : id;
}
