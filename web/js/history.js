// The History section: the saved changes, what one of them changed file by
// file, and restoring a version.

import { formatWhen } from './format.js';
import { call } from './request.js';
import { state, $ } from './state.js';
import { button, setInline } from './ui.js';
import { restartText } from './words.js';

const ACTION_WORDS = {
  applydata: 'Settings saved',
  disableServer: 'Service switched off',
  applypxesubnet: 'PXE network boot saved',
  initial: 'Settings before the first change',
};

// What a revision did, in the screen's words.
export function revisionWhat(rev) {
  if (rev.action === 'revertTo') return `Revision ${rev.revertOf} restored`;
  const words = ACTION_WORDS[rev.action] || rev.action;
  return rev.iftype ? `${words} on ${rev.iftype}` : words;
}

let reloadScreen = async () => {};
let chosen = 0; // the revision whose changes are shown

function cell(text) {
  const td = document.createElement('td');
  td.textContent = text;
  return td;
}

function historyRow(rev) {
  const tr = document.createElement('tr');
  tr.dataset.revision = String(rev.id);
  if (rev.id === chosen) tr.className = 'chosen';
  tr.append(cell(String(rev.id)), cell(formatWhen(new Date(rev.time * 1000))),
    cell(rev.user || '—'), cell(rev.addr || '—'), cell(revisionWhat(rev)), cell(rev.summary));
  const tools = document.createElement('td');
  tools.className = 'tools';
  tools.append(button('Show changes', `Show the changes of revision ${rev.id}`, () => showRevision(rev.id)));
  tr.append(tools);
  return tr;
}

export async function loadHistory() {
  const answer = await call('listHistory');
  const list = answer.success && Array.isArray(answer.revisions) ? answer.revisions : [];
  const rows = $('history-rows');
  rows.textContent = '';
  for (const rev of list) rows.append(historyRow(rev));
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
  for (const file of answer.files) {
    const title = document.createElement('h4');
    title.textContent = `${file.path} (${CHANGE_WORDS[file.change] || file.change})`;
    files.append(title, diffBlock(file.diff));
  }
  if (!answer.files.length) files.textContent = 'No file changed.';
  $('history-detail').hidden = false;
}

async function restoreChosen() {
  const id = chosen;
  if (!id) return;
  if (state.dirty && !window.confirm('Discard the changes not saved yet?')) return;
  if (!window.confirm(`Restore the settings of revision ${id}? All DHCP settings go back to that `
    + 'version and the DHCP service restarts.')) return;
  setInline('history-message', 'Restoring…');
  const answer = await call('revertTo', { id: String(id) });
  if (!answer.success) {
    setInline('history-message', `Not restored: ${answer.error || answer.transportError || 'no reason given'}`, 'error');
    return;
  }
  const restart = restartText(answer);
  const saved = answer.revision ? `Restored revision ${id} as revision ${answer.revision}` : `Revision ${id} is the current settings already`;
  setInline('history-message', restart.ok ? `${saved}${restart.text ? `; ${restart.text}` : ''}.`
    : `${saved}, but ${restart.text}`, restart.ok ? 'ok' : 'error', restart.details);
  await reloadScreen();
}

// onRestored reloads the other sections once a version was restored.
export function startHistory(onRestored) {
  reloadScreen = onRestored;
  $('history-restore').addEventListener('click', restoreChosen);
}
