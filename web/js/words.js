// The words of the screen for the program's answers, places and reasons.
// No DOM access.

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
const PLACE_WORDS = {
  enable_check: 'DHCP service', leasetime: 'Lease time', domain: 'Domain', pdns: 'Primary DNS server',
  sdns: 'Secondary DNS server', iftype: 'Interface', mac: 'MAC address', ip: 'IP address',
  pxe_interface: 'PXE interface', pxe_start_ip: 'PXE start address', pxe_end_ip: 'PXE end address',
  pxe_netmask: 'PXE netmask', pxe_gateway: 'PXE gateway', pxe_dns: 'PXE DNS server',
  pxe_bootloader: 'Boot file', orig_interface: 'PXE interface',
};
const ROW_WORDS = {
  activated: 'active', startip: 'start address', endip: 'end address', netmask: 'netmask',
  gateway: 'gateway', mac: 'MAC address', ip: 'IP address', hostname: 'host name',
};

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

// "<where>: <why>" of an answer as {where, why}.
export function splitError(error) {
  const colon = error.indexOf(': ');
  return colon > 0 ? { where: error.slice(0, colon), why: error.slice(colon + 2) } : { where: error, why: '' };
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
  return answer.revision ? `Saved as revision ${answer.revision}` : 'Saved';
}
