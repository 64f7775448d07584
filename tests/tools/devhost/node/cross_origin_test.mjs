// Pages of another local origin in headless Chromium, against the real
// development host, from both names of that origin (same-site and
// cross-site to the tool): each way a page can reach the tool is answered
// 403. The verdict on each header and that a refusal
// changes nothing are the C++ tests' (OriginPolicy's table, the hostile
// requests); this adds what only a browser shows, the headers it sends for
// each way: Origin on a no-cors POST, a cors read (of the event stream,
// answered apart) and a preflight, only Sec-Fetch-Site on a no-cors GET (as
// on an image's). An allowed origin's page is
// frontend_test.mjs's.
//
//   node cross_origin_test.mjs --tool TAV_DEVHOST --scenario DEMO.yaml [--chromium PATH]
import { check, parseArgs, runTest, until } from './devhost_tool.mjs';

const args = parseArgs(process.argv);

// Each way in turn, in the page; returns what the page saw of each.
async function attempt({ base, token }) {
  const settle = (promise) => Promise.race([promise,
    new Promise((resolve) => { setTimeout(() => resolve('no outcome in 10 s'), 10_000); })]);
  const fetched = (path, init) => settle(fetch(base + path, init).then(
    (response) => (response.type === 'opaque' ? 'opaque' : `read ${response.status}`), () => 'refused'));
  return {
    purchaseNoCors: await fetched('/tav-champ-select/v1/team-boost/purchase',
      { method: 'POST', mode: 'no-cors', headers: { 'Content-Type': 'text/plain' }, body: '{}' }),
    streamRead: await fetched('/events'),
    activeCors: await fetched('/_dev/active', {
      method: 'POST',
      headers: { 'X-Tav-Dev-Token': token, 'Content-Type': 'application/json' },
      body: JSON.stringify({ implementation: 'team-builder' }),
    }),
    stateNoCors: await fetched(`/_dev/state?token=${token}`, { mode: 'no-cors' }),
  };
}

await runTest(args, 'foreign pages were refused', async (t) => {
  const otherPort = await t.serve((request, response) => {
    response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
    response.end('<!doctype html><title>elsewhere</title>');
  });
  const { url } = await t.start();
  const browser = await t.browser();
  const base = url.origin;
  for (const pageOrigin of [`http://127.0.0.1:${otherPort}`, `http://localhost:${otherPort}`]) {
    const page = await browser.newPage();
    // The statuses Chromium received from the tool, including the answers
    // it kept from the page (CORS, ORB) and preflights; a status may be
    // reported before its request.
    const network = await page.createCDPSession();
    const requests = new Map();
    const codes = new Map();
    network.on('Network.requestWillBeSent', ({ requestId, request }) => {
      if (request.url.startsWith(`${base}/`)) {
        requests.set(requestId, `${request.method} ${request.url.slice(base.length)}`);
      }
    });
    network.on('Network.responseReceivedExtraInfo', ({ requestId, statusCode }) => {
      codes.set(requestId, [...(codes.get(requestId) ?? []), statusCode]);
    });
    await network.send('Network.enable');
    await until(`${pageOrigin} loads`, page.goto(`${pageOrigin}/`, { waitUntil: 'load' }));
    const seen = await until(`the attempts from ${pageOrigin}`,
      page.evaluate(attempt, { base, token: url.searchParams.get('token') }));
    await page.close();
    const statuses = [...requests].flatMap(([id, request]) =>
      (codes.get(id) ?? []).map((code) => `${request} ${code}`));
    const where = `from ${pageOrigin}`;
    const notRefused = statuses.filter((line) => !line.endsWith(' 403'));
    check(notRefused.length === 0, `${where}, answers other than 403: ${notRefused.join('; ')}`);
    check(statuses.length >= Object.keys(seen).length,
      `${where}, ${statuses.length} answers to ${Object.keys(seen).length} attempts: ${JSON.stringify(seen)}`);
  }
});
