// What the page holds between answers, shared by its sections.

export const state = {
  iface: '',            // the chosen interface, as "iftype" takes it
  ifaces: [],           // [{if_value, if_display}]
  subnets: [],          // rows of "subnetData", in table order
  usage: new Map(),     // "start-end" -> {size, leased} of the stored ranges
  reservations: [],     // rows of "staticData"
  reservationWarnings: new Map(), // "mac ip" -> reasons of "checkReservations"
  pxe: null,            // answer of getEnablePXEConfig
  clientTimer: null,
  dirty: false,         // the settings form holds edits not saved yet
  pxeDirty: false,      // the PXE form holds edits not applied yet
  saving: false,        // a save's answer is outstanding
  storedEnable: false,  // the service of the interface is on, as stored
  status: null,         // answer of getServiceStatus
  ap: null,             // the access point's subnet {addr, mask, text}, or null
  clients: [],          // the last client list
  clientSort: { key: 'ip', dir: 1 },
  // The revision each section of the screen was loaded at: a save sends the
  // oldest of those it writes, so that a section reloaded later never makes
  // another section's older data look current.
  loadedAt: { global: null, subnets: null, reservations: null, options: null, pxe: null },
  optionsDirty: false,  // the Options form holds edits not saved yet
  examples: {},         // example values for the chosen interface's fields (rules.js examplesFor)
  options: [],          // the interface's further options, as the Options section edits them
  hostOptions: [],      // clients' own gateway or DNS server
  access: { unknownClients: 'serve', blocked: [] }, // who the interface keeps off
};

export const $ = (id) => document.getElementById(id);

// The base revision of a save that writes these sections, or null.
export function baseOf(...sections) {
  const revs = sections.map((p) => state.loadedAt[p]);
  return revs.some((r) => r === null || r === undefined) ? null : Math.min(...revs);
}

// A save of this page was recorded as rev: a section loaded at the revision
// just before it shows that save's outcome already; a section loaded earlier
// missed a change in between and keeps its base (its next save is checked).
export function ownSave(rev) {
  if (!rev) return;
  for (const k of Object.keys(state.loadedAt)) if (state.loadedAt[k] === rev - 1) state.loadedAt[k] = rev;
}
