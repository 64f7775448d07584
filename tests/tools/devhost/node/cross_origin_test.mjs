// Pages of another local origin in headless Chromium, against the real
// development host: whatever such a page sends (no-cors and form POSTs, cors
// reads and writes, image and script GETs with the token, an event stream) is
// refused with 403 and changes nothing. The verdict on each header a request
// may carry is the C++ tests' (OriginPolicy's table, the hostile requests);
// this adds what only a browser shows, the headers it sends for each way a
// page can reach the tool. An allowed origin's page is frontend_test.mjs's.
//
//   node cross_origin_test.mjs --tool TAV_DEVHOST --scenario DEMO.yaml [--chromium PATH]
import http from 'node:http';
import { once } from 'node:events';
import {
  check, checkStopped, chromiumOf, controlClient, failures, launchBrowser, parseArgs, report,
  startTool, STEP_TIMEOUT, until,
} from './devhost_tool.mjs';

const args = parseArgs(process.argv);
const chromiumPath = chromiumOf(args);

// The other origin: one page with a frame for forms to post into, under
// whichever name reaches it.
async function startOtherOrigin() {
  const server = http.createServer((request, response) => {
    if (request.url !== '/') {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
    response.end('<!doctype html><title>elsewhere</title><iframe name="sink"></iframe>');
  });
  server.listen(0, '127.0.0.1');
  await once(server, 'listening');
  return server;
}

// The tool's state and the team boost as the plugin serves them.
async function snapshot(url) {
  const state = await controlClient(url)('GET', 'state');
  const boost = await (await fetch(`${url.origin}/tav-champ-select/v1/team-boost`)).json();
  return { state, boost };
}

// Everything a page of any origin can send to the tool, each awaited; returns
// what the page saw of each.
async function attack({ base, token }) {
  const settle = (promise) => Promise.race([promise,
    new Promise((resolve) => { setTimeout(() => resolve('no outcome in 10 s'), 10_000); })]);
  const fetched = (path, init) => settle(fetch(base + path, init).then(
    (response) => (response.type === 'opaque' ? 'opaque' : `read ${response.status}`), () => 'refused'));
  const noCors = (path, body = '{}') => fetched(path,
    { method: 'POST', mode: 'no-cors', headers: { 'Content-Type': 'text/plain' }, body });
  const tag = (name, path) => settle(new Promise((resolve) => {
    const element = document.createElement(name);
    element.onload = () => resolve('loaded');
    element.onerror = () => resolve('error');
    element.src = base + path;
    document.body.append(element);
  }));
  const form = (path) => settle(new Promise((resolve) => {
    const element = document.createElement('form');
    Object.assign(element, { method: 'POST', enctype: 'text/plain', action: base + path, target: 'sink' });
    element.innerHTML = '<input name="x" value="1">';
    document.body.append(element);
    document.querySelector('iframe[name="sink"]').addEventListener('load', () => resolve('loaded'), { once: true });
    element.submit();
  }));
  const events = () => settle(new Promise((resolve) => {
    const source = new EventSource(`${base}/events`);
    source.onopen = () => { source.close(); resolve('open'); };
    source.onerror = () => {
      const closed = source.readyState === EventSource.CLOSED;
      source.close();
      resolve(closed ? 'failed' : 'retrying');
    };
  }));
  const switchToTeamBuilder = JSON.stringify({ implementation: 'team-builder' });
  return {
    purchaseNoCors: await noCors('/tav-champ-select/v1/team-boost/purchase'),
    purchaseForm: await form('/tav-champ-select/v1/team-boost/purchase'),
    sessionRead: await fetched('/tav-champ-select/v1/session'),
    activeCors: await fetched('/_dev/active', {
      method: 'POST',
      headers: { 'X-Tav-Dev-Token': token, 'Content-Type': 'application/json' },
      body: switchToTeamBuilder,
    }),
    activeNoCors: await noCors(`/_dev/active?token=${token}`, switchToTeamBuilder),
    stateImage: await tag('img', `/_dev/state?token=${token}`),
    events: await events(),
    shutdownNoCors: await noCors(`/%5Fdev/shutdown?token=${token}`, ''),
  };
}

// A page at pageUrl, with the statuses Chromium received from the tool at
// base, including the answers it kept from the page (CORS, ORB) and preflights.
async function openPage(browser, pageUrl, base) {
  const page = await browser.newPage();
  page.setDefaultTimeout(STEP_TIMEOUT);
  const network = await page.createCDPSession();
  // A request's status may be reported before the request itself.
  const requests = new Map();
  const codes = new Map();
  network.on('Network.requestWillBeSent', ({ requestId, request }) => {
    if (request.url.startsWith(`${base}/`)) requests.set(requestId, `${request.method} ${request.url.slice(base.length)}`);
  });
  network.on('Network.responseReceivedExtraInfo', ({ requestId, statusCode }) => {
    codes.set(requestId, [...(codes.get(requestId) ?? []), statusCode]);
  });
  await network.send('Network.enable');
  await until(`${pageUrl} loads`, page.goto(pageUrl, { waitUntil: 'load' }));
  const statuses = () => [...requests].flatMap(([id, request]) =>
    (codes.get(id) ?? []).map((code) => `${request} ${code}`));
  return { page, statuses };
}

// Without --allow-origin: a page of the other origin, under both of its names
// (same-site and cross-site to the tool), changes nothing and is answered 403.
async function refusesForeignPages(browser, { tool, url }, otherPort) {
  const base = url.origin;
  const token = url.searchParams.get('token');
  const before = await snapshot(url);

  const other = `http://127.0.0.1:${otherPort}`;
  for (const pageOrigin of [other, `http://localhost:${otherPort}`]) {
    const { page, statuses: answered } = await openPage(browser, `${pageOrigin}/`, base);
    const seen = await until(`the attempts from ${pageOrigin}`, page.evaluate(attack, { base, token }));
    await page.close();
    const statuses = answered();
    const where = `from ${pageOrigin}`;
    check(seen.sessionRead === 'refused', `${where}, the session was ${seen.sessionRead}`);
    check(seen.activeCors === 'refused', `${where}, the cors switch was ${seen.activeCors}`);
    check(seen.events === 'failed', `${where}, the event stream ${seen.events}`);
    const notRefused = statuses.filter((line) => !line.endsWith(' 403'));
    check(notRefused.length === 0, `${where}, answers other than 403: ${notRefused.join('; ')}`);
    check(statuses.length >= Object.keys(seen).length,
      `${where}, ${statuses.length} answers to ${Object.keys(seen).length} attempts: ${JSON.stringify(seen)}`);
  }

  if (tool.exitCode !== null || tool.signalCode !== null) {
    check(false, `the tool ended (${tool.signalCode ?? tool.exitCode}) under the attempts`);
    return;
  }
  const after = await snapshot(url);
  check(JSON.stringify(after) === JSON.stringify(before),
    `the tool's state or the team boost changed: ${JSON.stringify(after).slice(0, 300)}`);
}

let started = null;
let other = null;
let browser = null;
try {
  other = await startOtherOrigin();
  const otherPort = other.address().port;
  browser = await launchBrowser(chromiumPath);

  started = await startTool(args.tool, args.scenario);
  await refusesForeignPages(browser.browser, started, otherPort);
} catch (error) {
  failures.push(error.stack || String(error));
} finally {
  if (browser) await browser.close();
  if (other) {
    other.closeAllConnections();
    other.close();
  }
  if (started) {
    await checkStopped(started);
  }
}
report(started, 'foreign pages were refused');
