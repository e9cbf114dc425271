// The Options section: further DHCP options of the chosen interface and
// host overrides (a gateway or DNS server of a reserved client's own),
// loaded with "loadOptions" and saved with "applyOptions".

import { NAMED_OPTIONS, OTHER_TYPES, optionProblems } from './optionrules.js';
import { call } from './request.js';
import { ownSave, state, $ } from './state.js';
import { loadStatus } from './status.js';
import { conflictText, loadHistory } from './history.js';
import { displayName } from './interfaces.js';
import { clearFieldErrors, errorHolder, markField, rowCell, setInline } from './ui.js';
import { failureText, problemOf, restartText } from './words.js';

const OTHER = '';

// "options[1].value" in the screen's words: "Option 2, value".
export function optionPlace(where) {
  const m = /^(options|hostOptions)\[(\d+)\](?:\.(\w+))?$/.exec(where);
  if (!m) return where;
  const name = `${m[1] === 'options' ? 'Option' : 'Client override'} ${Number(m[2]) + 1}`;
  const words = { value: 'value', code: 'code', type: 'type', name: 'option', mac: 'MAC address', gateway: 'gateway', dns: 'DNS server' };
  return m[3] ? `${name}, ${words[m[3]] || m[3]}` : name;
}

function input(id, where, label, value, onChange) {
  const el = document.createElement('input');
  el.id = id;
  el.value = value;
  el.autocomplete = 'off';
  el.dataset.where = where;
  el.setAttribute('aria-label', label);
  el.addEventListener('input', () => onChange(el.value));
  return el;
}

function select(id, where, label, choices, value, onChange) {
  const el = document.createElement('select');
  el.id = id;
  el.dataset.where = where;
  el.setAttribute('aria-label', label);
  for (const [v, text] of choices) {
    const o = document.createElement('option');
    o.value = v;
    o.textContent = text;
    el.append(o);
  }
  el.value = value;
  el.addEventListener('change', () => onChange(el.value));
  return el;
}

// A cell headed by its column's name on a phone; a field in it gets the
// holder of its error text.
function cell(label, ...children) {
  const td = rowCell(label);
  td.append(...children);
  for (const el of children) if (el.dataset && el.dataset.where) td.append(errorHolder(el));
  return td;
}

// Edits of the Options form not saved yet.
function edited() { state.optionsDirty = true; }

function removeButton(label, remove) {
  const b = document.createElement('button');
  b.type = 'button';
  b.textContent = 'Remove';
  b.setAttribute('aria-label', label);
  b.addEventListener('click', remove);
  return b;
}

export function renderOptions() {
  const body = $('option-rows');
  body.textContent = '';
  state.options.forEach((o, i) => {
    const tr = document.createElement('tr');
    const name = `Option ${i + 1}`;
    const named = NAMED_OPTIONS.find((n) => n.name === o.name);
    const kinds = [...NAMED_OPTIONS.map((n) => [n.name, n.label]), [OTHER, 'Other (code and type)']];
    tr.append(cell('Option', select(`option-${i}-name`, `options[${i}].name`, `${name}, option`, kinds, o.name, (v) => {
      o.name = v;
      edited();
      renderOptions();
    })));
    const code = input(`option-${i}-code`, `options[${i}].code`, `${name}, code`, named ? String(named.code) : String(o.code || ''), (v) => { o.code = v; });
    code.disabled = !!named;
    code.inputMode = 'numeric';
    tr.append(cell('Code', code));
    const type = select(`option-${i}-type`, `options[${i}].type`, `${name}, type`, OTHER_TYPES.map((t) => [t, t]), named ? OTHER_TYPES[0] : o.type || 'text', (v) => { o.type = v; });
    type.hidden = !!named;
    if (!named && !o.type) o.type = 'text';
    tr.append(cell('Type', type));
    const value = input(`option-${i}-value`, `options[${i}].value`, `${name}, value`, o.value, (v) => { o.value = v; });
    if (named) value.placeholder = named.hint;
    tr.append(cell('Value', value));
    const tools = cell('Actions', removeButton(`Remove ${name.toLowerCase()}`, () => { state.options.splice(i, 1); edited(); renderOptions(); }));
    tools.classList.add('tools');
    tr.append(tools);
    body.append(tr);
  });
  $('options-empty').hidden = state.options.length > 0;

  const hosts = $('host-option-rows');
  hosts.textContent = '';
  state.hostOptions.forEach((h, i) => {
    const tr = document.createElement('tr');
    const name = `Client override ${i + 1}`;
    for (const [key, label] of [['mac', 'MAC address'], ['gateway', 'gateway'], ['dns', 'DNS server']]) {
      tr.append(cell(label.charAt(0).toUpperCase() + label.slice(1), input(`host-option-${i}-${key}`, `hostOptions[${i}].${key}`, `${name}, ${label}`, h[key], (v) => { h[key] = v; })));
    }
    const tools = cell('Actions', removeButton(`Remove ${name.toLowerCase()}`, () => { state.hostOptions.splice(i, 1); edited(); renderOptions(); }));
    tools.classList.add('tools');
    tr.append(tools);
    hosts.append(tr);
  });
  $('host-options-empty').hidden = state.hostOptions.length > 0;
}

export async function loadOptions() {
  const iface = state.iface;
  const answer = await call('loadOptions', { iftype: iface });
  if (iface !== state.iface) return;
  const named = (o) => NAMED_OPTIONS.some((n) => n.name === o.name);
  state.options = (answer.success ? answer.options || [] : []).map((o) => ({
    name: named(o) ? o.name : OTHER, code: String(o.code), type: o.type, value: o.value,
  }));
  state.hostOptions = (answer.success ? answer.hostOptions || [] : []).map((h) => ({ ...h }));
  state.loadedAt.options = answer.revision ?? null;
  state.optionsDirty = false;
  renderOptions();
}

function showOptionProblems(problems, verb) {
  let first = null;
  const lines = problems.map(({ where, why }) => {
    const field = document.querySelector(`#options [data-where="${where}"]`)
      || document.querySelector(`#options [data-where^="${where}."]`);
    if (field) {
      markField(field, why);
      if (!first) first = field;
    }
    return `${optionPlace(where)}: ${why}`;
  });
  if (first) {
    // Seen with its reason, also on a phone where the message is far below.
    first.scrollIntoView({ block: 'center' });
    first.focus({ preventScroll: true });
  }
  return problems.length === 1 ? `${verb}: ${lines[0]}` : `${verb}: ${problems.length} problems:\n${lines.join('\n')}`;
}

export async function applyOptions(event, force = false) {
  if (event) event.preventDefault();
  $('options-conflict').hidden = true;
  clearFieldErrors($('options'));
  const options = state.options.map((o) => (o.name
    ? { name: o.name, value: o.value.trim() }
    : { code: Number(o.code), type: o.type, value: o.value.trim() }));
  const hosts = state.hostOptions.map((h) => ({ mac: h.mac.trim(), gateway: h.gateway.trim(), dns: h.dns.trim() }));
  const problems = optionProblems(state.options.map((o) => ({ ...o, value: o.value.trim() })), hosts);
  if (problems.length > 0) {
    setInline('options-message', showOptionProblems(problems, 'Not saved'), 'error');
    return;
  }
  setInline('options-message', 'Saving…');
  const params = { iftype: state.iface, options: JSON.stringify(options), hostOptions: JSON.stringify(hosts) };
  // Changed elsewhere since loaded: nothing is written, and the page says by whom.
  const base = state.loadedAt.options;
  if (base !== null && !force) params.baseRevision = String(base);
  const answer = await call('applyOptions', params);
  ownSave(answer.revision);
  const restart = restartText(answer);
  if (answer.conflict) {
    setInline('options-message', 'Not saved.', 'error');
    $('options-conflict-text').textContent = await conflictText(answer, base,
      (p) => p.iface === state.iface && p.part === 'further options',
      `the further options of ${displayName(state.iface)}`);
    $('options-conflict').hidden = false;
    $('options-conflict').scrollIntoView({ block: 'center' });
    return;
  } else if (!answer.success) {
    const text = answer.errorKind === 'invalid' ? showOptionProblems([problemOf(answer)], 'Not saved')
      : `Not saved: ${failureText(answer, 'the options could not be written.')}`;
    setInline('options-message', text, 'error');
  } else if (restart.ok) {
    setInline('options-message', `Options saved${restart.text ? `; ${restart.text}` : ''}.`, 'ok');
  } else {
    setInline('options-message', `Options saved, but ${restart.text}`, 'error', restart.details);
  }
  await Promise.all([loadStatus(), answer.revision ? loadHistory() : null]);
  if (answer.success) await loadOptions();
}

// Another change came first: this section only is read again.
export async function reloadOptions() {
  if (state.optionsDirty && !window.confirm('Discard the options not saved yet?')) return;
  $('options-conflict').hidden = true;
  setInline('options-message', '');
  clearFieldErrors($('options'));
  await loadOptions();
}

export function addOption() {
  edited();
  state.options.push({ name: NAMED_OPTIONS[0].name, code: '', type: 'text', value: '' });
  renderOptions();
  $(`option-${state.options.length - 1}-value`).focus();
}

export function addHostOption() {
  edited();
  state.hostOptions.push({ mac: '', gateway: '', dns: '' });
  renderOptions();
  $(`host-option-${state.hostOptions.length - 1}-mac`).focus();
}
