// The session page in headless Chromium, against the real development host:
// it renders the demo session, a resource change sent through the control
// routes appears without a reload (escaped) as one log entry naming both
// events, a pick through the page's form reaches the plugin's action route
// and shows in the traffic pane with the request it forwarded, the timer
// shows the simulation's answer (its clock: SimulationTimer's test), a read
// overtaken by an event does not undo it, a new build of the module taken in
// place (--watch) is announced while the session stays, and the page fetches
// nothing from elsewhere. Saves a screenshot.
//
//   node page_test.mjs --tool TAV_DEVHOST --scenario DEMO.yaml --screenshot OUT.png
//                      --module MODULE_FILE [--chromium PATH]
// The tool serves a copy of the module with --watch, and the test writes the
// copy again.
import { copyFile, mkdtemp, readdir, rename, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { check, controlClient, openPage, parseArgs, runTest, until, waitIn } from './devhost_tool.mjs';

const args = parseArgs(process.argv);
const cell = (id, field) => `[data-cell-id="${id}"] [data-field="${field}"]`;
const textIs = ([selector, text]) => document.querySelector(selector)?.textContent === text;

// Rows of [selector, text of its first match, or how many match].
async function expectShown(page, rows) {
  const found = await page.evaluate((selectors) => selectors.map((selector) => {
    const all = document.querySelectorAll(selector);
    return [all.length, all[0]?.textContent];
  }), rows.map(([selector]) => selector));
  rows.forEach(([selector, expected], i) => {
    const [count, text] = found[i];
    check((typeof expected === 'number' ? count : text) === expected,
      `${selector}: ${count} × "${text}", not ${expected}`);
  });
}

await runTest(args, `the page passed; screenshot in ${args.screenshot}`, async (t) => {
  const watchDir = await mkdtemp(join(tmpdir(), 'tav-devhost-watch-'));
  // Once the tool has stopped, the copies it loaded from are gone.
  t.defer(async () => {
    const left = await readdir(watchDir);
    check(left.length === 1, `beside the watched module after the tool stopped: ${left.join(', ')}`);
    await rm(watchDir, { recursive: true, force: true });
  });
  const watched = join(watchDir, basename(args.module));
  await copyFile(args.module, watched);
  const { url } = await t.start(args.scenario, ['--watch', '--module', watched]);
  const base = url.origin;
  const control = controlClient(url);
  const { page, errors } = await openPage(await t.browser());
  const foreign = [];
  page.on('request', (request) => {
    const target = request.url();
    if (!target.startsWith(`${base}/`) && !target.startsWith('data:')) foreign.push(target);
  });

  // The demo session: ten cells, the ban phase, the local player's ban in progress.
  await page.goto(url.href, { waitUntil: 'domcontentloaded' });
  await until('the session loads', page.waitForSelector('#session[data-loaded="true"]'));
  await waitIn(page, 'the event stream connects', () => document.querySelector('#connection').dataset.state === 'live');
  await waitIn(page, 'the implementation shows', textIs, ['#active-implementation', 'legacy']);
  await expectShown(page, [
    ['#my-team [data-cell-id]', 5], ['#their-team [data-cell-id]', 5], ['[data-cell-id="2"].local', 1],
    [cell(0, 'displayName'), 'Ally 1'], [cell(0, 'assignedPosition'), 'top'], [cell(0, 'spells'), '4 / 12'],
    [cell(0, 'summonerId'), '1001'], ['#timer-phase', 'BAN_PICK'], ['[data-action-id]', 11],
    ['[data-action-id="1"][data-state="completed"]', 1], ['[data-action-id="3"][data-state="in-progress"]', 1],
    ['[data-action-id="7"][data-state="pending"]', 1],
  ]);

  // A resource change through the control routes reaches the page without
  // a reload, and markup in it stays text.
  await page.evaluate(() => { window.notReloaded = true; });
  const session = (await control('GET', 'state')).implementations.legacy.resources['v1/session'];
  const renamed = 'Renamed <b>ally</b> & co';
  session.myTeam[0].displayName = renamed;
  session.myTeam[0].championId = 99;
  await control('PUT', 'resources/legacy/v1/session', session);
  await waitIn(page, 'the renamed cell shows without a reload', textIs, [cell(0, 'displayName'), renamed]);
  await expectShown(page, [[cell(0, 'championId'), '#99'], ['[data-cell-id="0"] b', 0]]);
  check(await page.evaluate(() => window.notReloaded === true), 'the page was not reloaded');
  // One entry per publication, naming both events the stream carries for it.
  const oneEntry = 'Update /tav-champ-select/v1/session (OnJsonApiEvent_tav-champ-select_v1_session, OnJsonApiEvent)';
  await waitIn(page, 'the session update is logged once', (entry) => JSON.stringify([entry]) === JSON.stringify(
    [...document.querySelectorAll('#events [data-kind="plugin"] .summary')].map((e) => e.textContent)
      .filter((text) => text.startsWith('Update /tav-champ-select/v1/session '))), oneEntry, 10_000);

  // A ban through the page's form goes through the plugin's action route
  // (its answer and what it forwarded: the traffic pane below): the form
  // offers the local ban first.
  await expectShown(page, [['#act-action option[value="3"]:checked', 1], ['#act-champion option[value="103"]', 1]]);
  await page.select('#act-champion', '103');
  await page.click('#act-lock');
  await waitIn(page, 'the ban shows as completed', textIs, ['[data-action-id="3"] [data-field="championId"]', '#103']);
  await expectShown(page, [['[data-action-id="3"][data-state="completed"]', 1]]);

  // The traffic pane lists the ban's request from its stream; the route
  // filter keeps its row alone, and the kind filter hides it. Expanded, it
  // shows the PATCH forwarded to the implementation with its answer.
  const banRow = (await waitIn(page, 'the ban shows in the traffic pane', () =>
    [...document.querySelectorAll('#traffic > [data-kind="api"]')].find((row) => row.querySelector('.traffic-summary')
      .textContent === 'PATCH /tav-champ-select/v1/session/actions/3 → 204'))).asElement();
  const shownRows = () => page.$$eval('#traffic > li:not([hidden])', (rows) => rows.map((r) => r.dataset.seq));
  const banSeq = await banRow.evaluate((row) => row.dataset.seq);
  await page.type('#traffic-route', 'Session/Actions/3');
  check(JSON.stringify(await shownRows()) === JSON.stringify([banSeq]), `filtered by route: ${await shownRows()}`);
  await page.click('[data-traffic-kind="api"]');
  check((await shownRows()).length === 0, `without api: ${await shownRows()}`);
  await page.click('[data-traffic-kind="api"]');
  await page.$eval('#traffic-route', (input) => { input.value = ''; input.dispatchEvent(new Event('input')); });
  check(await page.$('#traffic > [data-kind="subscription"]') !== null, 'the traffic before the page loaded shows');
  await (await banRow.$('summary')).click();
  const forwarded = await until('the ban\'s row expands',
    banRow.waitForSelector('.traffic-caused > [data-kind="host-request"]'));
  await (await forwarded.$('summary')).click();
  await until('the forwarded request\'s JSON shows', forwarded.waitForSelector('pre:not(:empty)'));
  const [line, json] = await forwarded.evaluate((row) =>
    [row.querySelector('.traffic-summary').textContent, JSON.parse(row.querySelector('pre').textContent)]);
  check(line === 'PATCH /tav-champ-select-legacy/v1/session/actions/3 → 204', `the forwarded request: ${line}`);
  check(json.request.arguments[0].value.championId === 103 && json.answer.status === 204,
    `the forwarded request's JSON: ${JSON.stringify(json)}`);
  check((await banRow.$$('.traffic-caused > [data-kind="host-request"]')).length === 1, 'one request forwarded');
  await page.screenshot({ path: args.screenshot, fullPage: true });

  // The timer shown is what the simulation answers, not a count of the
  // page's own; the answer is listed beside the demo's own, and its button
  // removes it.
  await control('POST', 'answers', {
    implementation: 'legacy', method: 'GET', url: 'v1/session/timer',
    value: { phase: 'FINALIZATION', adjustedTimeLeftInPhase: 12345, totalTimeInPhase: 30000, isInfinite: false },
  });
  await waitIn(page, 'the scripted timer shows', () => document.querySelector('#timer-left').dataset.leftMs === '12345'
    && document.querySelector('#timer-phase').textContent === 'FINALIZATION', undefined, 10_000);
  const timerLine = 'legacy GET v1/session/timer → value';
  const rowOf = (line) => [...document.querySelectorAll('#scripted-answers li')]
    .find((row) => row.querySelector('.what').textContent === line);
  await waitIn(page, 'the scripted answer is listed', `(${rowOf})(${JSON.stringify(timerLine)})`, undefined, 10_000);
  await page.evaluate(`(${rowOf})(${JSON.stringify(timerLine)}).querySelector('button').click()`);
  await waitIn(page, 'the removal shows', `!(${rowOf})(${JSON.stringify(timerLine)})`, undefined, 10_000);
  const answers = JSON.stringify((await control('GET', 'answers')).legacy.map((a) => a.url));
  check(answers === '["v1/battle-training/launch"]', `the answers left: ${answers}`);

  // Switching the implementation shows on the page.
  await control('POST', 'active', { implementation: 'team-builder' });
  await waitIn(page, 'the switch shows', textIs, ['#active-implementation', 'team-builder']);
  await waitIn(page, 'the team-builder session is read', textIs, [cell(0, 'displayName'), 'Ally 1']);

  // Asked for, the module's log lines join the event log. The reconnect
  // reads the session again: that read is held until a change's event has
  // shown, then answered with the session from before the change, which
  // must not undo it (a slow read overtaken by an event).
  const sessionUrl = `${base}/tav-champ-select/v1/session`;
  const earlier = await (await fetch(sessionUrl)).text();
  const isRead = (request) => request.method() === 'GET' && request.url() === sessionUrl;
  let held = null;
  const hold = (request) => {
    if (held || !isRead(request)) return request.continue();
    held = request;
  };
  await page.setRequestInterception(true);
  page.on('request', hold);
  const read = page.waitForRequest(isRead);
  await page.click('#log-lines');
  await waitIn(page, 'the stream reconnects with log lines', () =>
    document.querySelector('#connection').dataset.state === 'live');
  await until('the reconnect reads the session', read);
  const teamBuilder = (await control('GET', 'state')).implementations['team-builder'].resources['v1/session'];
  teamBuilder.myTeam[1].displayName = 'Logged';
  await control('PUT', 'resources/team-builder/v1/session', teamBuilder);
  await until('a log line shows', page.waitForSelector('#events [data-kind="log"]'));
  await waitIn(page, 'the renamed cell shows', textIs, [cell(1, 'displayName'), 'Logged']);
  const answered = page.waitForResponse((r) => r.request() === held);
  await held.respond({ status: 200, contentType: 'application/json', body: earlier });
  await until('the held read is answered', answered);
  await page.evaluate(() => new Promise((resolve) => setTimeout(resolve, 200)));
  await expectShown(page, [[cell(1, 'displayName'), 'Logged']]);
  page.off('request', hold);
  await page.setRequestInterception(false);

  // A new build written over the watched file: the page says so and keeps the session.
  await copyFile(args.module, `${watched}.new`);
  await rename(`${watched}.new`, watched);
  const reloaded = await waitIn(page, 'the page says the module reloaded', () =>
    [...document.querySelectorAll('#events [data-kind="devhost"] .summary')]
      .map((e) => e.textContent).find((t) => t.startsWith('module reloaded: version ')));
  check(/sha256 [0-9a-f]{64}$/.test(await reloaded.jsonValue()), `the reload line: ${await reloaded.jsonValue()}`);
  await expectShown(page, [[cell(1, 'displayName'), 'Logged']]);

  // The page links the tool's generated document, which names this server.
  const openapi = await (await fetch(await page.$eval('a[href="/openapi.json"]', (a) => a.href))).json();
  check(openapi.openapi === '3.1.0' && openapi.servers?.[0]?.url === base,
    `the served OpenAPI document names the server: ${JSON.stringify(openapi.servers)}`);
  check(errors.length === 0, `errors in the page: ${errors.join('; ')}`);
  check(foreign.length === 0, `requests outside the tool: ${foreign.join(', ')}`);
});
