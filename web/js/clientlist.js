// Which clients the list shows, and in which order. No DOM access.

import { parseIpv4 } from './rules.js';

// A client with an unlimited lease or with a reserved MAC address.
export const isReserved = (client, reservations) => client.expire === 'unlimited'
  || reservations.some((r) => r.mac.toLowerCase() === String(client.mac).toLowerCase());

// Minutes left, for sorting: expired first, unlimited last.
function remainingMinutes(text) {
  const m = /^(\d+),(\d+),(\d+)$/.exec(text || '');
  if (m) return Number(m[1]) * 1440 + Number(m[2]) * 60 + Number(m[3]);
  return text === 'unlimited' ? Infinity : -1;
}

const CLIENT_KEYS = {
  mac: (c) => String(c.mac).toLowerCase(),
  ip: (c) => (parseIpv4(c.ip) === null ? -1 : parseIpv4(c.ip)),
  hostname: (c) => String(c.hostname || '').toLowerCase(),
  expire: (c) => remainingMinutes(c.expire),
};

// A device is new for a day after the lease hook first saw it.
export const NEW_FOR_SECONDS = 24 * 3600;
export const isNewClient = (client, nowSeconds) => Number(client.firstSeen) > 0
  && nowSeconds - Number(client.firstSeen) < NEW_FOR_SECONDS;

// The clients that the filter lets through (with onlyNew, only the new
// ones), in the chosen order; ties keep the order of the IP address, then of
// the MAC address, so that a refresh never reorders them.
export function shownClients(clients, sort, filter, onlyNew = false, nowSeconds = Date.now() / 1000) {
  const words = filter.trim().toLowerCase();
  const list = clients.filter((c) => (!onlyNew || isNewClient(c, nowSeconds)) && (!words
    || [c.mac, c.ip, c.hostname, c.vendor].some((t) => String(t || '').toLowerCase().includes(words))));
  const cmp = (a, b) => (a < b ? -1 : a > b ? 1 : 0);
  return list.sort((a, b) => sort.dir * cmp(CLIENT_KEYS[sort.key](a), CLIENT_KEYS[sort.key](b))
    || cmp(CLIENT_KEYS.ip(a), CLIENT_KEYS.ip(b)) || cmp(CLIENT_KEYS.mac(a), CLIENT_KEYS.mac(b)));
}
