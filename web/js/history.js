// The History section: the saved changes, what one of them changed file by
// file, and restoring a version.

import { describeFiles, onlyInterface, placeOf, restoreChanges } from './changes.js';
import { formatWhen, localTimes } from './format.js';
import { call } from './request.js';
import { state, $ } from './state.js';
import { displayName } from './interfaces.js';
import { button, rowCell, setInline } from './ui.js';
import { restartText } from './words.js';

const ACTION_WORDS = {
  applydata: 'Settings saved',
  disableServer: 'Service switched off',
  applypxesubnet: 'PXE network boot saved',
  applyOptions: 'Further options saved',
  outside: 'Changed outside this page',
  initial: 'Settings before the first change',
};

// What a revision did, in the screen's words.
export function revisionWhat(rev) {
  if (rev.action === 'revertTo') return `Revision ${rev.revertOf} restored`;
  const words = ACTION_WORDS[rev.action] || rev.action;
  return rev.iftype ? `${words} on ${displayName(rev.iftype)}` : words;
}

let reloadScreen = async () => {};
let chosen = 0; // the revision whose changes are shown
let chosenIface = null; // the one interface its change touched, or null
let newestShown = 0; // the newest revision the list shows

function cell(text, label) {
  const td = rowCell(label);
  td.textContent = text;
  return td;
}

function historyRow(rev) {
  const tr = document.createElement('tr');
  tr.dataset.revision = String(rev.id);
  if (rev.id === chosen) tr.className = 'chosen';
  tr.append(cell(String(rev.id), 'Revision'), cell(formatWhen(new Date(rev.time * 1000)), 'Time'),
    cell(rev.user || '—', 'Who'), cell(rev.addr || '—', 'From'), cell(revisionWhat(rev), 'What'),
    cell(rev.summary, 'Settings'));
  const tools = document.createElement('td');
  tools.className = 'tools';
  tools.append(button('Show changes', `Show changes of revision ${rev.id}`, () => showRevision(rev.id)));
  tr.append(tools);
  return tr;
}

export async function loadHistory() {
  const answer = await call('listHistory');
  const list = answer.success && Array.isArray(answer.revisions) ? answer.revisions : [];
  const rows = $('history-rows');
  rows.textContent = '';
  for (const rev of list) rows.append(historyRow(rev));
  if (answer.success) newestShown = list.length ? list[0].id : 0;
  $('history-empty').hidden = list.length > 0;
  if (!answer.success) setInline('history-message', answer.error || answer.transportError || 'The history cannot be read.', 'error');
}

// A unified diff with its added, removed and hunk lines marked.
function diffBlock(text) {
  const pre = document.createElement('pre');
  pre.className = 'diff';
  for (const line of text.split('\n')) {
    const span = document.createElement('span');
    if (line.startsWith('@@')) span.className = 'hunk';
    else if (line.startsWith('+') && !line.startsWith('+++')) span.className = 'add';
    else if (line.startsWith('-') && !line.startsWith('---')) span.className = 'del';
    span.textContent = `${line}\n`;
    pre.append(span);
  }
  return pre;
}

const CHANGE_WORDS = { added: 'added', removed: 'removed', changed: 'changed' };

// A newer revision than the list shows (another page's save): the list
// follows at the next refresh.
export function followHistory(revision) {
  if (typeof revision === 'number' && revision > newestShown) return loadHistory();
  return null;
}

async function showRevision(id) {
  const answer = await call('showRevision', { id: String(id) });
  if (!answer.success) {
    setInline('history-message', answer.error || answer.transportError || 'The revision cannot be read.', 'error');
    return;
  }
  chosen = id;
  for (const tr of $('history-rows').children) {
    tr.classList.toggle('chosen', tr.dataset.revision === String(id));
  }
  $('history-detail-title').textContent = `Revision ${answer.id}: ${revisionWhat(answer)}`
    + ` by ${answer.user || 'the system'}, ${formatWhen(new Date(answer.time * 1000))}`;
  const files = $('history-files');
  files.textContent = '';
  const words = describeFiles(answer.files, displayName);
  if (words.length) {
    const summary = document.createElement('p');
    summary.className = 'change-words';
    summary.textContent = words.join('\n');
    files.append(summary);
  }
  for (const file of answer.files) {
    const title = document.createElement('h4');
    title.textContent = `${file.path} (${CHANGE_WORDS[file.change] || file.change})`;
    files.append(title, diffBlock(file.diff));
  }
  if (!answer.files.length) files.textContent = 'No file changed.';
  chosenIface = onlyInterface(answer.files);
  const only = $('history-restore-iface');
  only.hidden = !chosenIface;
  if (chosenIface) only.textContent = `Restore only ${displayName(chosenIface)}`;
  $('history-detail').hidden = false;
  // The changes are shown where the eye is: the detail below the list.
  $('history-detail-title').scrollIntoView({ block: 'start' });
  $('history-detail-title').focus({ preventScroll: true });
}

// The changes of every revision after id, oldest first: [[{path, change}]].
// Null when one cannot be read.
async function changesAfter(id) {
  const list = await call('listHistory', { limit: '500' });
  if (!list.success) return null;
  const later = list.revisions.filter((r) => r.id > id).map((r) => r.id).sort((a, b) => a - b);
  const answers = await Promise.all(later.map((r) => call('showRevision', { id: String(r) })));
  if (answers.some((a) => !a.success)) return null;
  return answers.map((a) => a.files);
}

// Restores revision `chosen`, of one interface only when iface is given,
// once the administrator has seen what it changes.
async function restoreChosen(iface = null) {
  const id = chosen;
  if (!id) return;
  if ((state.dirty || state.pxeDirty || state.optionsDirty)
      && !window.confirm('Discard the changes not saved yet?')) return;
  setInline('history-message', 'Reading what the restore changes…');
  const later = await changesAfter(id);
  let plan = later ? restoreChanges(later) : null;
  if (plan && iface) plan = plan.filter((f) => placeOf(f.path).iface === iface);
  const what = iface ? `the settings of ${displayName(iface)} (its subnets, PXE and further options; `
    + 'the reservations stay as they are)' : 'all DHCP settings';
  const lines = plan ? describeFiles(plan, displayName) : ['(what changes could not be read)'];
  if (plan && !plan.length) lines.push('Nothing changes: these are the current settings.');
  setInline('history-message', '');
  if (!window.confirm(`Restore ${what} of revision ${id}? This changes:\n${lines.join('\n')}\n`
    + 'The DHCP service restarts.')) return;
  setInline('history-message', 'Restoring…');
  const params = { id: String(id) };
  if (iface) params.iftype = iface;
  const answer = await call('revertTo', params);
  if (!answer.success) {
    setInline('history-message', `Not restored: ${answer.error || answer.transportError || 'no reason given'}`, 'error');
    return;
  }
  const restart = restartText(answer);
  const saved = answer.revision ? `Restored revision ${id}${iface ? ` on ${displayName(iface)}` : ''} as revision ${answer.revision}` : `Revision ${id} is the current settings already`;
  setInline('history-message', restart.ok ? `${saved}${restart.text ? `; ${restart.text}` : ''}.`
    : `${saved}, but ${restart.text}`, restart.ok ? 'ok' : 'error', restart.details);
  await reloadScreen();
}

// onRestored reloads the other sections once a version was restored.
export function startHistory(onRestored) {
  reloadScreen = onRestored;
  $('history-restore').addEventListener('click', () => restoreChosen());
  $('history-restore-iface').addEventListener('click', () => restoreChosen(chosenIface));
}

// A save refused because another change came in since `base`: what that
// change touched, and what "Save anyway" would write over, as text.
// `mine(place)` says whether a file's place is one this save writes.
export async function conflictText(answer, base, mine, writes) {
  const head = `Not saved: the settings were ${localTimes(answer.error)}.`;
  const later = base === null ? null : await changesAfter(base);
  if (!later) return `${head} Reload to see their change, or save yours over it (${writes}).`;
  const files = later.flat();
  const theirs = describeFiles(files, displayName);
  const over = describeFiles(files.filter((f) => mine(placeOf(f.path))), displayName);
  return `${head}\nTheir change: ${theirs.length ? theirs.join('; ') : 'no file'}.\n`
    + `Save anyway writes ${writes} as this page shows them, over ${over.length
      ? `their change to ${over.join('; ')}` : 'none of their change'}; the rest of their change stays.`;
}
