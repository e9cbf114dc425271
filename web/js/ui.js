// Messages, field errors and the pieces the row tables are built from.

import { parseNetworks, settingsWarnings } from './rules.js';
import { state, $ } from './state.js';
import { placeWords, reasonWords } from './words.js';

// The text, and below it the system's own words in a closed "Details"
// disclosure when there are any.
export function fillText(el, text, details) {
  el.textContent = text || '';
  if (!details) return;
  const box = document.createElement('details');
  const summary = document.createElement('summary');
  summary.textContent = 'Details';
  const body = document.createElement('code');
  body.textContent = details;
  box.append(summary, body);
  el.append(box);
}

export function showMessage(text, kind = 'info', details = '') {
  const el = $('message');
  fillText(el, text, details);
  el.className = `message ${kind}`;
  el.hidden = !text;
}

export function setInline(id, text, kind, details = '') {
  const el = $(id);
  fillText(el, text, details);
  el.className = `inline-message ${kind || ''}`;
}

export function markDirty() {
  if (state.dirty) return;
  state.dirty = true;
  setInline('save-message', 'Unsaved changes.');
}

export function markClean() {
  state.dirty = false;
}

export function clearFieldErrors(scope = document) {
  for (const el of scope.querySelectorAll('[aria-invalid="true"]')) el.removeAttribute('aria-invalid');
  for (const el of scope.querySelectorAll('.field-error')) el.textContent = '';
}

// The field that an "error" text names ("subnetData[1].startip: ..."): its
// place is matched against the data-where of the page's fields, also
// without the "dataArray." of the global settings; a place naming a whole
// row ("staticData[0]") falls on the row's first field.
function fieldFor(where) {
  const fields = [...document.querySelectorAll('[data-where]')];
  const plain = (w) => w.replace(/^dataArray\./, '');
  return fields.find((el) => el.dataset.where === where)
    || fields.find((el) => plain(el.dataset.where) === plain(where))
    || (where.endsWith(']') && fields.find((el) => el.dataset.where.startsWith(`${where}.`)))
    || null;
}

// Marks a field with a text in its holder; kind "warn" shows a warning.
export function markField(field, text, kind) {
  const holder = $(field.getAttribute('aria-describedby'));
  if (kind !== 'warn') field.setAttribute('aria-invalid', 'true');
  if (holder) {
    holder.textContent = text;
    holder.classList.toggle('warn', kind === 'warn');
  }
}

// Shows every problem at its field, in the words of the screen, and all of
// them in the message; the first marked field takes the focus. Returns the
// text shown.
export function showProblems(problems, verb) {
  let first = null;
  const lines = problems.map(({ where, why }) => {
    const words = reasonWords(why, state.subnets);
    const field = fieldFor(where);
    if (field) {
      markField(field, words);
      if (!first) first = field;
    }
    return words ? `${placeWords(where, state.subnets)}: ${words}` : placeWords(where, state.subnets);
  });
  if (first) {
    // Seen as well as focused, also where a sticky bar would cover it.
    first.scrollIntoView({ block: 'center' });
    first.focus({ preventScroll: true });
  }
  return problems.length === 1 ? `${verb}: ${lines[0]}`
    : `${verb}: ${problems.length} problems:\n${lines.join('\n')}`;
}

// The warnings of the settings as they stand: [{where, why}].
export function currentWarnings() {
  const item = state.ifaces.find((i) => i.if_value === state.iface);
  return settingsWarnings(state.subnets, state.reservations, parseNetworks(item && item.if_addrs));
}

// The program's warnings of a stored reservation, kept by MAC and IP
// address; undefined when it has none.
export const storedWarnings = (row) => (state.reservationWarnings
  ? state.reservationWarnings.get(`${String(row.mac).toLowerCase()} ${row.ip}`) : undefined);

// The page's warnings that the program does not already give on the row's
// own line: one text per fact.
function pageOnlyWarnings() {
  return currentWarnings().filter(({ where }) => {
    const m = /^staticData\[(\d+)\]/.exec(where);
    const row = m && state.reservations[Number(m[1])];
    return !row || !storedWarnings(row);
  });
}

// How many rows of the settings carry a warning, the page's or the program's.
export function warnedCount() {
  const rows = new Set(currentWarnings().map(({ where }) => where.replace(/\.\w+$/, '')));
  state.reservations.forEach((row, i) => { if (storedWarnings(row)) rows.add(`staticData[${i}]`); });
  return rows.size;
}

// Shows the warnings of the settings at their fields, where no error is.
export function showWarnings() {
  for (const el of document.querySelectorAll('#settings .field-error.warn')) {
    el.textContent = '';
    el.classList.remove('warn');
  }
  for (const { where, why } of pageOnlyWarnings()) {
    const field = fieldFor(where);
    if (field && field.getAttribute('aria-invalid') !== 'true') markField(field, `Warning: ${why}`, 'warn');
  }
}

// The holder of a field's error text, which the field names as its
// description.
export function errorHolder(field) {
  const holder = document.createElement('span');
  holder.className = 'field-error';
  holder.id = `${field.id}-error`;
  field.setAttribute('aria-describedby', holder.id);
  return holder;
}

// A cell of a row table, headed by label where the table is shown as a list
// on narrow screens.
export function rowCell(label) {
  const cell = document.createElement('td');
  cell.dataset.label = label.charAt(0).toUpperCase() + label.slice(1);
  return cell;
}

// The cell of a row's text field that edits row[key]: the input's id and
// data-where (the place an "error" names) extend the row's, its accessible
// name is the row's name and the field's label; its error holder follows it.
export function rowField(idBase, whereBase, rowName, row, [key, label, placeholder]) {
  const cell = rowCell(label);
  const input = document.createElement('input');
  input.id = `${idBase}-${key}`;
  input.value = row[key] ?? '';
  input.autocomplete = 'off';
  input.spellcheck = false;
  if (placeholder) input.placeholder = placeholder;
  input.dataset.where = `${whereBase}.${key}`;
  input.setAttribute('aria-label', `${rowName} ${label}`);
  input.addEventListener('input', () => { row[key] = input.value.trim(); });
  cell.append(input, errorHolder(input));
  return cell;
}

export function button(text, label, onClick, disabled = false) {
  const b = document.createElement('button');
  b.type = 'button';
  b.textContent = text;
  b.setAttribute('aria-label', label);
  b.title = label;
  b.disabled = disabled;
  b.addEventListener('click', onClick);
  return b;
}
