// The session page's clock and flow in headless Chromium, against the tool
// playing flow.yaml on a paused clock: the controls show the clock, a step
// runs the flow (planning ends 6 s in), the flow line names the phase, the
// turn and who is to act, and play lets the clock run. Saves a screenshot.
//
//   node flow_page_test.mjs --tool TAV_DEVHOST --scenario FLOW.yaml --screenshot OUT.png
//                           [--chromium PATH]
import {
  check, checkStopped, chromiumOf, failures, launchBrowser, parseArgs, report, startTool,
  STEP_TIMEOUT, until,
} from './devhost_tool.mjs';

const args = parseArgs(process.argv);
const textOf = (page, id) => page.$eval(`#${id}`, (node) => node.textContent);

let started = null;
try {
  started = await startTool(args.tool, args.scenario, ['--paused']);
  const { browser, close } = await launchBrowser(chromiumOf(args));
  try {
    const page = await browser.newPage();
    page.setDefaultTimeout(STEP_TIMEOUT);
    await page.setViewport({ width: 1400, height: 1000 });
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
    await page.goto(started.url.href, { waitUntil: 'domcontentloaded' });
    await until('the flow shows', page.waitForFunction(() =>
      !document.querySelector('#flow').hidden && document.querySelector('#flow-phase').textContent === 'PLANNING'));
    check((await textOf(page, 'clock-now')) === '0.0 s (paused)', `the clock reads ${await textOf(page, 'clock-now')}`);
    for (let second = 0; second < 7; ++second) {
      await page.click('#clock-step');
      await until(`step ${second + 1}`, page.waitForFunction((s) =>
        document.querySelector('#clock-now').textContent === `${s}.0 s (paused)`, {}, second + 1));
    }
    await until('the bans begin', page.waitForFunction(() =>
      document.querySelector('#flow-phase').textContent === 'BAN_PICK · turn 1 of 7'));
    const actors = await textOf(page, 'flow-actors');
    check(actors.split(', ').length === 10 && actors.includes('You'), `to act: ${actors}`);
    check((await textOf(page, 'timer-phase')) === 'BAN_PICK', 'the timer shows the bans');
    await page.screenshot({ path: args.screenshot, fullPage: true });
    await page.click('#clock-toggle');
    await until('the clock runs', page.waitForFunction(() =>
      !document.querySelector('#clock-now').textContent.includes('paused')));
    check(errors.length === 0, `errors in the page: ${errors.join('; ')}`);
  } finally {
    await close();
  }
} catch (error) {
  failures.push(error.stack || String(error));
} finally {
  if (started) await checkStopped(started);
}
report(started, `the flow page passed; screenshot in ${args.screenshot}`);
