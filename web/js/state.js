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
  revision: null,       // the history's revision the form was loaded from
  options: [],          // the interface's further options, as the Options section edits them
  hostOptions: [],      // clients' own gateway or DNS server
  access: { unknownClients: 'serve', blocked: [] }, // who the interface keeps off
};

export const $ = (id) => document.getElementById(id);
