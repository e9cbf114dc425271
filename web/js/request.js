// Talking to the program: one form post per action, its JSON answer back.

const CGI = '/cgi-bin/orvath';

let pending = 0; // answers outstanding

// Posts one action with its parameters as application/x-www-form-urlencoded
// and gives the parsed answer; a transport failure gives {success: false}
// with its reason in "transportError".
export async function call(action, params = {}) {
  // The page is busy while any answer is outstanding (data-busy on the
  // body), so that scripted users can wait for it to settle.
  pending += 1;
  document.body.dataset.busy = 'true';
  try {
    return await request(action, params);
  } finally {
    pending -= 1;
    if (pending === 0) delete document.body.dataset.busy;
  }
}

async function request(action, params) {
  const body = new URLSearchParams({ action, ...params });
  let response;
  try {
    response = await fetch(CGI, {
      method: 'POST',
      headers: { 'Content-Type': 'application/x-www-form-urlencoded' },
      body,
      credentials: 'same-origin',
      cache: 'no-store',
    });
  } catch (e) {
    return { success: false, transportError: 'The server cannot be reached.' };
  }
  if (!response.ok) {
    return { success: false, transportError: `The server answered ${response.status} ${response.statusText}.` };
  }
  try {
    return await response.json();
  } catch (e) {
    return { success: false, transportError: 'The server gave no readable answer.' };
  }
}
