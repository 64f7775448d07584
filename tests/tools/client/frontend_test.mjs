// The front-end example (examples/frontend) as a front-end developer runs it:
// bundled with the generated client and served from a local origin of its
// own, against the real tool started with --allow-origin for that origin. In
// headless Chromium the page must list the session, then show a ban made with
// docs/devhost.md's PATCH from the event stream alone (the page never reads again).
// The PATCH is sent from the page, so that it takes the browser's preflight;
// the same page may not use /_dev/ (an allowed origin never may). This is the
// allowed origin's browser test; cross_origin_test.mjs has the foreign ones.
//
//   node frontend_test.mjs --tool TAV_DEVHOST --scenario DEMO.yaml --client DIR \
//        --page EXAMPLES/frontend --work DIR [--screenshot FILE.png] [--chromium PATH]
import { copyFile, mkdir, readFile } from 'node:fs/promises';
import { extname, join } from 'node:path';
import { bundle } from '../../../tools/client/bundle.mjs';
import { check, openPage, parseArgs, runTest, until, waitIn } from '../devhost/node/devhost_tool.mjs';

const args = parseArgs(process.argv);
const TYPES = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.map': 'application/json' };

await runTest(args, 'the front-end example showed the session and followed its events', async (t) => {
  const site = join(args.work, 'frontend');
  await mkdir(site, { recursive: true });
  await bundle({ entry: join(args.page, 'src', 'main.ts'), client: args.client, outfile: join(site, 'main.js') });
  await copyFile(join(args.page, 'index.html'), join(site, 'index.html'));
  // The dev server: the folder's files, nothing else.
  const port = await t.serve(async (request, response) => {
    const name = new URL(request.url, 'http://x').pathname.slice(1) || 'index.html';
    const body = /^[\w.-]+$/.test(name) ? await readFile(join(site, name)).catch(() => null) : null;
    if (body === null) return response.writeHead(404).end();
    response.writeHead(200, { 'Content-Type': TYPES[extname(name)] ?? 'application/octet-stream' }).end(body);
  });
  const pageOrigin = `http://localhost:${port}`;
  const { url } = await t.start(args.scenario, ['--allow-origin', pageOrigin]);
  const { page, errors } = await openPage(await t.browser());
  await until('the page loads', page.goto(`${pageOrigin}/?api=${encodeURIComponent(url.origin)}`));
  // The devhost event comes first on a new stream: once it shows, the page listens.
  await waitIn(page, 'the session and the stream', () =>
    document.querySelectorAll('#my-team li').length === 5 && document.body.dataset.implementation === 'legacy');
  const action3 = () => page.$eval('li[data-action-id="3"]', (li) => ({ text: li.textContent, done: li.className }));
  const before = await action3();
  check(before.text === 'ban by cell 2: …' && before.done === '', `action 3 at first: ${JSON.stringify(before)}`);
  check((await page.$$('#their-team li')).length === 5, 'their team has 5 players');

  const fromPage = (path, init) => page.evaluate((target, init) => fetch(target, init)
    .then((response) => response.status, () => 'refused'), `${url.origin}${path}`, init);
  const patched = await fromPage('/tav-champ-select/v1/session/actions/3', {
    method: 'PATCH', headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify({ championId: 99, completed: true }),
  });
  check(patched === 204, `the page's PATCH answered ${patched}`);
  // Vary, which no browser checks: a cache must not give one origin's answer to another.
  const read = await fetch(`${url.origin}/tav-champ-select/v1/session`, { headers: { Origin: pageOrigin } });
  check(read.headers.get('access-control-allow-origin') === pageOrigin && /\bOrigin\b/.test(read.headers.get('vary')),
    `CORS headers: ${read.headers.get('access-control-allow-origin')}, Vary ${read.headers.get('vary')}`);
  await waitIn(page, 'the ban from the event stream', () =>
    document.querySelector('li[data-action-id="3"]')?.textContent === 'ban by cell 2: champion 99'
      && Number(document.body.dataset.updates) >= 1);
  check((await action3()).done === 'done', 'action 3 shows as done');
  check(/from the event stream/.test(await page.$eval('#status', (p) => p.textContent)), 'the status names the event');
  if (args.screenshot) await page.screenshot({ path: args.screenshot, fullPage: true });
  check(errors.length === 0, `the page reported errors: ${errors.join('; ')}`);
  const control = await fromPage(`/_dev/state?token=${url.searchParams.get('token')}`);
  check(control === 'refused' || control === 403, `the page's /_dev/state: ${control}`);
});
