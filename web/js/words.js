// The words of the screen for the program's answers, places and reasons.
// No DOM access.

import RULES from './ruletable.json' with { type: 'json' };

// Ordinary rows are numbered as the program numbers them: the PXE row takes
// no number.
export function subnetNumber(subnets, index) {
  return subnets.slice(0, index + 1).filter((r) => !r.pxe).length;
}

export function subnetName(subnets, i) {
  const row = subnets[i];
  return row && row.pxe ? 'PXE subnet' : `Subnet ${subnetNumber(subnets, i)}`;
}

// "subnetData[1].startip" is "Subnet 2, start address", counted as the
// table shows them.
const PLACE_WORDS = RULES.places;
const ROW_WORDS = RULES.rowPlaces;

export function placeWords(where, subnets) {
  let m = /^(?:dataArray\.)?(\w+)$/.exec(where);
  if (m && PLACE_WORDS[m[1]]) return PLACE_WORDS[m[1]];
  m = /^(subnetData|staticData)\[(\d+)\](?:\.(\w+))?$/.exec(where);
  if (!m) return where;
  const name = m[1] === 'subnetData' ? subnetName(subnets, Number(m[2])) : `Reservation ${Number(m[2]) + 1}`;
  return m[3] ? `${name}, ${ROW_WORDS[m[3]] || m[3]}` : name;
}

export function reasonWords(why, subnets) {
  return why
    .replace(/subnetData\[(\d+)\]/g, (_, j) => subnetName(subnets, Number(j)).replace(/^Subnet/, 'subnet'))
    .replace(/staticData\[(\d+)\]/g, (_, j) => `reservation ${Number(j) + 1}`);
}

// A refusal of the program as {where, why}: its place ("errorAt") and the
// reason that follows the place in its "error".
export function problemOf(answer) {
  const where = answer.errorAt || '';
  const error = answer.error || '';
  const why = where && error.startsWith(`${where}: `) ? error.slice(where.length + 2) : error;
  return { where, why };
}

// Text for a failed answer.
export function failureText(answer, fallback) {
  if (answer.transportError) return answer.transportError;
  if (answer.error) return answer.error;
  return fallback;
}

// A reason from the system in the screen's words: {text, details}. The
// exit status, the names of the scripts that passed it on and the files'
// full paths go to the details, which keep the reason as it came.
export function plainReason(reason) {
  const raw = String(reason || '');
  let text = raw.replace(/^exit status \d+:\s*/, '');
  while (/^[\w.-]+:\s/.test(text)) text = text.replace(/^[\w.-]+:\s*/, '');
  text = text.replace(/(?:\/[^\s/:,]+)+\/([^\s/:,]+)/g, '$1');
  if (!text) return { text: raw || 'no reason given', details: '' };
  return { text, details: text === raw ? '' : raw };
}

// What a changing action's answer says about the restart that followed it;
// "details" holds the reason as the system gave it.
export function restartText(answer) {
  if (answer.serviceRestarted === false) {
    const why = plainReason(answer.serviceError);
    return { ok: false, text: `the DHCP service did not restart: ${why.text}`, details: why.details };
  }
  return { ok: true, text: answer.serviceRestarted ? 'service restarted' : '', details: '' };
}

// "with 2 warnings" for a save whose values were allowed but cannot all
// work as meant.
export const warningsText = (count) => (count ? ` with ${count} warning${count === 1 ? '' : 's'}` : '');

// The start of a save's outcome line: the revision it was recorded as.
export function savedText(answer) {
  if (answer.revision) return `Saved as revision ${answer.revision}`;
  // No revision and no history error: the files were as asked already.
  return answer.historyError ? 'Saved' : 'Saved (nothing changed)';
}
