// The session page in headless Chromium, against the real development host:
// it renders the demo session, a resource change sent through the control
// routes appears without a reload (escaped) as one log entry naming both
// events, a pick through the page's form reaches the plugin's action route
// and shows in the traffic pane with the request it forwarded,
// the timer shows the simulation's answer (its clock: SimulationTimer's
// test), a new build of the module taken in
// place (--watch) is announced while the session stays, and the page fetches
// nothing from elsewhere. Saves a screenshot.
//
//   node page_test.mjs --tool TAV_DEVHOST --scenario DEMO.yaml --screenshot OUT.png
//                      [--module MODULE_FILE] [--chromium PATH]
// With --module, the tool serves a copy of it with --watch, and the test
// writes the copy again.
import {
  check, checkStopped, chromiumOf, controlClient, failures, launchBrowser, parseArgs, report,
  startTool, STEP_TIMEOUT, until,
} from './devhost_tool.mjs';
import { copyFile, mkdtemp, readdir, rename, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';

const args = parseArgs(process.argv);
const chromiumPath = chromiumOf(args);

const cellText = (page, cellId, field) => page.$eval(
  `[data-cell-id="${cellId}"] [data-field="${field}"]`, (node) => node.textContent);

async function run({ url }, watched) {
  const base = url.origin;
  const control = controlClient(url);
  const { browser, close } = await launchBrowser(chromiumPath);
  try {
    const page = await browser.newPage();
    page.setDefaultTimeout(STEP_TIMEOUT);
    await page.setViewport({ width: 1400, height: 1000 });
    const pageErrors = [];
    const foreign = [];
    page.on('pageerror', (error) => pageErrors.push(error.message));
    page.on('console', (message) => {
      if (message.type() === 'error') pageErrors.push(message.text());
    });
    page.on('request', (request) => {
      const target = request.url();
      if (!target.startsWith(`${base}/`) && !target.startsWith('data:')) foreign.push(target);
    });

    // The demo session: ten cells, the ban phase, the local player's ban in progress.
    await page.goto(url.href, { waitUntil: 'domcontentloaded' });
    await until('the session loads', page.waitForSelector('#session[data-loaded="true"]'));
    await until('the event stream connects', page.waitForFunction(() =>
      document.querySelector('#connection').dataset.state === 'live'));
    for (const team of ['#my-team', '#their-team']) {
      check(await page.$$eval(`${team} [data-cell-id]`, (n) => n.length) === 5, `five cells in ${team}`);
    }
    for (const [field, text] of [['displayName', 'Ally 1'], ['assignedPosition', 'top'], ['spells', '4 / 12'],
      ['summonerId', '1001']]) {
      check(await cellText(page, 0, field) === text, `cell 0's ${field}: ${await cellText(page, 0, field)}`);
    }
    check(await page.$eval('[data-cell-id="2"]', (n) => n.classList.contains('local')), 'cell 2 is the local player');
    await until('the implementation shows', page.waitForFunction(() =>
      document.querySelector('#active-implementation').textContent === 'legacy'));
    check(await page.$eval('#timer-phase', (n) => n.textContent) === 'BAN_PICK', 'the timer shows its phase');
    check(await page.$$eval('[data-action-id]', (n) => n.length) === 11, 'eleven actions');
    for (const [id, state] of [[1, 'completed'], [3, 'in-progress'], [7, 'pending']]) {
      check(await page.$eval(`[data-action-id="${id}"]`, (n) => n.dataset.state) === state, `action ${id} ${state}`);
    }

    // A resource change through the control routes reaches the page without
    // a reload, and markup in it stays text.
    await page.evaluate(() => { window.notReloaded = true; });
    const state = await control('GET', 'state');
    const session = state.implementations.legacy.resources['v1/session'];
    const renamed = 'Renamed <b>ally</b> & co';
    session.myTeam[0].displayName = renamed;
    session.myTeam[0].championId = 99;
    await control('PUT', 'resources/legacy/v1/session', session);
    await until('the renamed cell shows without a reload', page.waitForFunction((name) =>
      document.querySelector('[data-cell-id="0"] [data-field="displayName"]')?.textContent === name, {}, renamed));
    check(await cellText(page, 0, 'championId') === '#99', 'the changed champion shows');
    check(await page.$('[data-cell-id="0"] b') === null, 'markup from the session is not interpreted');
    check(await page.evaluate(() => window.notReloaded === true), 'the page was not reloaded');
    // One entry per publication, naming both events the stream carries for it.
    const sessionUpdates = () => [...document.querySelectorAll('#events [data-kind="plugin"] .summary')]
      .map((e) => e.textContent).filter((t) => t.startsWith('Update /tav-champ-select/v1/session '));
    const oneEntry = JSON.stringify(
      ['Update /tav-champ-select/v1/session (OnJsonApiEvent_tav-champ-select_v1_session, OnJsonApiEvent)']);
    const loggedOnce = await page.waitForFunction(
      `JSON.stringify((${sessionUpdates})()) === ${JSON.stringify(oneEntry)}`, { timeout: 10_000 })
      .then(() => true, () => false);
    check(loggedOnce, `the session update is logged once: ${JSON.stringify(await page.evaluate(sessionUpdates))}`);

    // A ban through the page's form goes through the plugin's action route.
    check(await page.$eval('#act-action', (n) => n.value) === '3', 'the form offers the local ban first');
    const banned = await page.$eval('#act-champion', (n) => [...n.options].map((o) => o.value).includes('103'));
    check(banned, 'champion 103 can be banned');
    const patch = page.waitForResponse((r) =>
      r.url() === `${base}/tav-champ-select/v1/session/actions/3` && r.request().method() === 'PATCH');
    await page.select('#act-champion', '103');
    await page.click('#act-lock');
    const response = await until('the page sends the ban', patch);
    check(response.ok(), `the action route answered ${response.status()}`);
    check(JSON.stringify(JSON.parse(response.request().postData())) === '{"championId":103,"completed":true}',
      `the page sent ${response.request().postData()}`);
    await until('the ban shows as completed', page.waitForFunction(() =>
      document.querySelector('[data-action-id="3"]')?.dataset.state === 'completed'));
    check(await page.$eval('[data-action-id="3"] [data-field="championId"]', (n) => n.textContent) === '#103',
      'the ban shows on the action');

    // The traffic pane lists the ban's request from its stream; the route
    // filter keeps its row alone, and the kind filter hides it. Expanded, it
    // shows the PATCH forwarded to the implementation with its answer.
    const banRow = (await until('the ban shows in the traffic pane', page.waitForFunction(() =>
      [...document.querySelectorAll('#traffic > [data-kind="api"]')].find((row) => row.querySelector('.traffic-summary')
        .textContent === 'PATCH /tav-champ-select/v1/session/actions/3 → 204')))).asElement();
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

    // The timer shown is what the simulation answers, not a count of the page's own.
    await control('POST', 'answers', {
      implementation: 'legacy', method: 'GET', url: 'v1/session/timer',
      value: { phase: 'FINALIZATION', adjustedTimeLeftInPhase: 12345, totalTimeInPhase: 30000, isInfinite: false },
    });
    await until('the scripted timer shows', page.waitForFunction(() =>
      document.querySelector('#timer-left').dataset.leftMs === '12345' &&
      document.querySelector('#timer-phase').textContent === 'FINALIZATION', { timeout: 10_000 }));
    // Listed beside the demo's own, and its button removes it.
    const listed = () => page.$$eval('#scripted-answers .what', (nodes) => nodes.map((n) => n.textContent));
    const timerLine = 'legacy GET v1/session/timer → value';
    await until('the scripted answer is listed', page.waitForFunction((line) =>
      [...document.querySelectorAll('#scripted-answers .what')].some((n) => n.textContent === line),
    { timeout: 10_000 }, timerLine));
    const row = (await listed()).indexOf(timerLine);
    await (await page.$$('#scripted-answers button'))[row].click();
    await until('the removal shows', page.waitForFunction((line) =>
      ![...document.querySelectorAll('#scripted-answers .what')].some((n) => n.textContent === line),
    { timeout: 10_000 }, timerLine));
    check(JSON.stringify((await control('GET', 'answers')).legacy.map((a) => a.url)) === '["v1/battle-training/launch"]',
      `the answer is gone: ${await listed()}`);

    // Switching the implementation shows on the page.
    await control('POST', 'active', { implementation: 'team-builder' });
    await until('the switch shows', page.waitForFunction(() =>
      document.querySelector('#active-implementation').textContent === 'team-builder'));
    await until('the team-builder session is read', page.waitForFunction(() =>
      document.querySelector('[data-cell-id="0"] [data-field="displayName"]')?.textContent === 'Ally 1'));

    // Asked for, the module's log lines join the event log. The reconnect
    // reads the session again: that read is held until a change's event has
    // shown, then answered with the session from before the change, which
    // must not undo it (a slow read overtaken by an event).
    const sessionUrl = `${base}/tav-champ-select/v1/session`;
    const earlier = await (await fetch(sessionUrl)).text();
    let held = null;
    const hold = (request) => {
      if (!held && request.method() === 'GET' && request.url() === sessionUrl) {
        held = request;
      } else {
        request.continue();
      }
    };
    await page.setRequestInterception(true);
    page.on('request', hold);
    await page.click('#log-lines');
    await until('the stream reconnects with log lines', page.waitForFunction(() =>
      document.querySelector('#connection').dataset.state === 'live'));
    await until('the reconnect reads the session', new Promise((resolve, reject) => {
      const deadline = Date.now() + STEP_TIMEOUT;
      const poll = () => (held ? resolve() : Date.now() > deadline
        ? reject(new Error('no read')) : setTimeout(poll, 20));
      poll();
    }));
    const teamBuilder = (await control('GET', 'state')).implementations['team-builder'].resources['v1/session'];
    teamBuilder.myTeam[1].displayName = 'Logged';
    await control('PUT', 'resources/team-builder/v1/session', teamBuilder);
    await until('a log line shows', page.waitForSelector('#events [data-kind="log"]'));
    await until('the renamed cell shows', page.waitForFunction(() =>
      document.querySelector('[data-cell-id="1"] [data-field="displayName"]')?.textContent === 'Logged'));
    const answered = page.waitForResponse((response) => response.request() === held);
    await held.respond({ status: 200, contentType: 'application/json', body: earlier });
    await until('the held read is answered', answered);
    await page.evaluate(() => new Promise((resolve) => setTimeout(resolve, 200)));
    check(await cellText(page, 1, 'displayName') === 'Logged', 'a read the event overtook does not undo it');
    page.off('request', hold);
    await page.setRequestInterception(false);

    // A new build written over the watched file: the page says so and keeps the session.
    if (watched) {
      await copyFile(args.module, `${watched}.new`);
      await rename(`${watched}.new`, watched);
      const reloaded = await until('the page says the module reloaded', page.waitForFunction(() =>
        [...document.querySelectorAll('#events [data-kind="devhost"] .summary')]
          .map((e) => e.textContent).find((t) => t.startsWith('module reloaded: version '))));
      check(/sha256 [0-9a-f]{64}$/.test(await reloaded.jsonValue()), `the reload line: ${await reloaded.jsonValue()}`);
      check(await cellText(page, 1, 'displayName') === 'Logged', 'the session stays through the reload');
    }

    // The page links the tool's generated document, which names this server.
    const openapi = await (await fetch(await page.$eval('a[href="/openapi.json"]', (a) => a.href))).json();
    check(openapi.openapi === '3.1.0' && openapi.servers?.[0]?.url === base,
      `the served OpenAPI document names the server: ${JSON.stringify(openapi.servers)}`);
    check(pageErrors.length === 0, `errors in the page: ${pageErrors.join('; ')}`);
    check(foreign.length === 0, `requests outside the tool: ${foreign.join(', ')}`);
  } finally {
    await close();
  }
}

let started = null;
let watchDir = null;
try {
  let watched = null;
  if (args.module) {
    watchDir = await mkdtemp(join(tmpdir(), 'tav-devhost-watch-'));
    watched = join(watchDir, basename(args.module));
    await copyFile(args.module, watched);
  }
  started = await startTool(args.tool, args.scenario, watched ? ['--watch', '--module', watched] : []);
  await run(started, watched);
} catch (error) {
  failures.push(error.stack || String(error));
} finally {
  if (started) {
    await checkStopped(started);
  }
  if (watchDir) {
    // The copies the tool loaded from are gone once it has stopped.
    const left = await readdir(watchDir);
    check(left.length === 1, `beside the watched module after the tool stopped: ${left.join(', ')}`);
    await rm(watchDir, { recursive: true, force: true });
  }
}
report(started, `the page passed; screenshot in ${args.screenshot}`);
