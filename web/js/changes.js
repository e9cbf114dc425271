// What revisions changed, in the screen's words: which interface and which
// part of its settings each file of the history is. No DOM access.

// A file of the history as {iface, part, item}: iface null for what all
// interfaces share; item tells files of one part apart (a subnet's number).
export function placeOf(path) {
  const file = String(path).replace(/^etc\/dhcpd\//, '');
  let m = /^dhcpd-([^-]+)-pxe\.\w+$/.exec(file);
  if (m) return { iface: m[1], part: 'PXE', item: '' };
  m = /^dhcpd-([^-]+)-options\.\w+$/.exec(file) || /^orvath-(.+)\.options$/.exec(file);
  if (m) return { iface: m[1], part: 'further options', item: '' };
  m = /^orvath-(.+)\.switches$/.exec(file);
  if (m) return { iface: m[1], part: 'subnets', item: 'switches' };
  m = /^dhcpd-([^-]+)-\1(\d+)\.\w+$/.exec(file);
  if (m) return { iface: m[1], part: 'subnets', item: `subnet ${Number(m[2]) + 1}` };
  if (/^dhcpdStatic\.ori$|^dhcpd-static-static\.\w+$/.test(file)) return { iface: null, part: 'reservations', item: '' };
  if (/quomoinfo\.conf#pxeenable$/.test(path)) return { iface: null, part: 'PXE switch', item: '' };
  return { iface: null, part: file, item: '' };
}

// The files a restore of a revision would write, from the changes of every
// revision after it (oldest first, each [{path, change}]): a file added
// after it is removed, one removed after it comes back, others change.
export function restoreChanges(revisions) {
  const first = new Map();
  const last = new Map();
  for (const files of revisions) {
    for (const f of files) {
      if (!first.has(f.path)) first.set(f.path, f.change);
      last.set(f.path, f.change);
    }
  }
  const out = [];
  for (const [path, change] of first) {
    const then = change !== 'added';
    const now = last.get(path) !== 'removed';
    if (then && now) out.push({ path, change: 'changed' });
    else if (then) out.push({ path, change: 'added' });
    else if (now) out.push({ path, change: 'removed' });
  }
  return out;
}

// Files as a list of lines, one per interface (shared parts last):
// "LAN 1 (eth0): subnet 1 changed, further options removed".
export function describeFiles(files, shownName = (x) => x) {
  const byIface = new Map();
  for (const f of files) {
    const place = placeOf(f.path);
    const key = place.iface || '';
    if (!byIface.has(key)) byIface.set(key, new Map());
    const what = place.item && place.item !== 'switches' ? place.item : place.part;
    const parts = byIface.get(key);
    const kinds = parts.get(what) || new Set();
    kinds.add(f.change);
    parts.set(what, kinds);
  }
  const line = (parts) => [...parts].map(([what, kinds]) => {
    const kind = kinds.size === 1 ? [...kinds][0] : 'changed';
    return `${what} ${kind === 'added' ? 'added' : kind === 'removed' ? 'removed' : 'changed'}`;
  }).join(', ');
  const lines = [];
  for (const [iface, parts] of byIface) if (iface) lines.push(`${shownName(iface)}: ${line(parts)}`);
  if (byIface.has('')) lines.push(`All interfaces: ${line(byIface.get(''))}`);
  return lines;
}

// The one interface that files touch, or null when they touch none or
// several; what all interfaces share is left out.
export function onlyInterface(files) {
  const names = new Set(files.map((f) => placeOf(f.path).iface).filter(Boolean));
  return names.size === 1 ? [...names][0] : null;
}
