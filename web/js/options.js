// The Options section: further DHCP options of the chosen interface and
// host overrides (a gateway or DNS server of a reserved client's own),
// loaded with "loadOptions" and saved with "applyOptions".

import { NAMED_OPTIONS, OTHER_TYPES, optionProblems } from './optionrules.js';
import { call } from './request.js';
import { state, $ } from './state.js';
import { loadStatus } from './status.js';
import { clearFieldErrors, setInline } from './ui.js';
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

function cell(...children) {
  const td = document.createElement('td');
  td.append(...children);
  return td;
}

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
    tr.append(cell(select(`option-${i}-name`, `options[${i}].name`, `${name}, option`, kinds, o.name, (v) => {
      o.name = v;
      renderOptions();
    })));
    const code = input(`option-${i}-code`, `options[${i}].code`, `${name}, code`, named ? String(named.code) : String(o.code || ''), (v) => { o.code = v; });
    code.disabled = !!named;
    code.inputMode = 'numeric';
    tr.append(cell(code));
    const type = select(`option-${i}-type`, `options[${i}].type`, `${name}, type`, OTHER_TYPES.map((t) => [t, t]), named ? OTHER_TYPES[0] : o.type || 'text', (v) => { o.type = v; });
    type.hidden = !!named;
    if (!named && !o.type) o.type = 'text';
    tr.append(cell(type));
    const value = input(`option-${i}-value`, `options[${i}].value`, `${name}, value`, o.value, (v) => { o.value = v; });
    if (named) value.placeholder = named.hint;
    const error = document.createElement('span');
    error.className = 'field-error';
    error.id = `option-${i}-value-error`;
    value.setAttribute('aria-describedby', error.id);
    tr.append(cell(value, error));
    tr.append(cell(removeButton(`Remove ${name.toLowerCase()}`, () => { state.options.splice(i, 1); renderOptions(); })));
    body.append(tr);
  });
  $('options-empty').hidden = state.options.length > 0;

  const hosts = $('host-option-rows');
  hosts.textContent = '';
  state.hostOptions.forEach((h, i) => {
    const tr = document.createElement('tr');
    const name = `Client override ${i + 1}`;
    for (const [key, label] of [['mac', 'MAC address'], ['gateway', 'gateway'], ['dns', 'DNS server']]) {
      tr.append(cell(input(`host-option-${i}-${key}`, `hostOptions[${i}].${key}`, `${name}, ${label}`, h[key], (v) => { h[key] = v; })));
    }
    tr.append(cell(removeButton(`Remove ${name.toLowerCase()}`, () => { state.hostOptions.splice(i, 1); renderOptions(); })));
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
  if (answer.revision !== undefined) state.revision = answer.revision;
  renderOptions();
}

function showOptionProblems(problems, verb) {
  let first = null;
  const lines = problems.map(({ where, why }) => {
    const field = document.querySelector(`#options [data-where="${where}"]`)
      || document.querySelector(`#options [data-where^="${where}."]`);
    if (field) {
      field.setAttribute('aria-invalid', 'true');
      if (!first) first = field;
    }
    return `${optionPlace(where)}: ${why}`;
  });
  if (first) first.focus();
  return problems.length === 1 ? `${verb}: ${lines[0]}` : `${verb}: ${problems.length} problems:\n${lines.join('\n')}`;
}

export async function applyOptions(event) {
  event.preventDefault();
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
  if (state.revision !== null) params.baseRevision = String(state.revision);
  const answer = await call('applyOptions', params);
  if (answer.revision) state.revision = answer.revision;
  const restart = restartText(answer);
  if (answer.conflict) {
    setInline('options-message', `Not saved: the settings were ${answer.error}; reload the page to see them.`, 'error');
  } else if (!answer.success) {
    const text = answer.errorKind === 'invalid' ? showOptionProblems([problemOf(answer)], 'Not saved')
      : `Not saved: ${failureText(answer, 'the options could not be written.')}`;
    setInline('options-message', text, 'error');
  } else if (restart.ok) {
    setInline('options-message', `Options saved${restart.text ? `; ${restart.text}` : ''}.`, 'ok');
  } else {
    setInline('options-message', `Options saved, but ${restart.text}`, 'error', restart.details);
  }
  await loadStatus();
  if (answer.success) await loadOptions();
}

export function addOption() {
  state.options.push({ name: NAMED_OPTIONS[0].name, code: '', type: 'text', value: '' });
  renderOptions();
  $(`option-${state.options.length - 1}-value`).focus();
}

export function addHostOption() {
  state.hostOptions.push({ mac: '', gateway: '', dns: '' });
  renderOptions();
  $(`host-option-${state.hostOptions.length - 1}-mac`).focus();
}
