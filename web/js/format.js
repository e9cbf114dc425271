// Lease times as the client list shows them. No DOM access.

// "1,2,3" (days, hours, minutes) reads "1 d 2 h 3 min"; leading zero parts
// are left out; "unlimited" and "expired" stay as they are.
export function formatRemaining(text) {
  const m = /^(\d+),(\d+),(\d+)$/.exec(text || '');
  if (!m) return text || '';
  const [d, h, min] = [Number(m[1]), Number(m[2]), Number(m[3])];
  if (d === 0 && h === 0 && min === 0) return 'less than 1 min';
  const parts = [];
  if (d > 0) parts.push(`${d} d`);
  if (d > 0 || h > 0) parts.push(`${h} h`);
  parts.push(`${min} min`);
  return parts.join(' ');
}

// "until 14:05" (today) or "until Tue 9 December, 14:05": when a lease
// with this remaining time ("days,hours,minutes") ends, seen from now; ""
// for other texts.
export function formatExpiry(text, now = new Date()) {
  const m = /^(\d+),(\d+),(\d+)$/.exec(text || '');
  if (!m) return '';
  const minutes = Number(m[1]) * 1440 + Number(m[2]) * 60 + Number(m[3]);
  const end = new Date(now.getTime() + minutes * 60000);
  if (end.toDateString() === now.toDateString()) return `until ${TIME.format(end)}`;
  return `until ${formatWhen(end, now)}`;
}

// A moment in one form that reads the same everywhere: the browser's words
// for weekday and month, and its own 12- or 24-hour clock
// ("Tue 8 December, 11:38"); the year is added when it is not this one's.
const PARTS = { weekday: 'short', day: 'numeric', month: 'long', hour: 'numeric', minute: '2-digit' };
const WHEN = new Intl.DateTimeFormat(undefined, PARTS);
const WHEN_YEAR = new Intl.DateTimeFormat(undefined, { ...PARTS, year: 'numeric' });
const TIME = new Intl.DateTimeFormat(undefined, { hour: 'numeric', minute: '2-digit' });
export const formatWhen = (date, now = new Date()) =>
  (date.getFullYear() === now.getFullYear() ? WHEN : WHEN_YEAR).format(date);

// The program's "at 2026-12-08 09:14:03 UTC" in the page's own form.
export const localTimes = (text) => String(text || '').replace(/\b(\d{4}-\d\d-\d\d) (\d\d:\d\d:\d\d) UTC\b/g,
  (_, d, t) => formatWhen(new Date(`${d}T${t}Z`)));
