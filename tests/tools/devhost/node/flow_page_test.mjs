// The session page's clock and flow in headless Chromium, against the tool
// playing flow.yaml on a paused clock: the controls show the clock, a step
// runs the flow (planning ends 6 s in), the flow line names the phase, the
// turn and who is to act, and play lets the clock run. Saves a screenshot.
//
//   node flow_page_test.mjs --tool TAV_DEVHOST --scenario FLOW.yaml --screenshot OUT.png
//                           [--chromium PATH]
import { check, openPage, parseArgs, runTest, waitIn } from './devhost_tool.mjs';

const args = parseArgs(process.argv);
const textOf = (page, id) => page.$eval(`#${id}`, (node) => node.textContent);

await runTest(args, `the flow page passed; screenshot in ${args.screenshot}`, async (t) => {
  const started = await t.start(args.scenario, ['--paused']);
  const { page, errors } = await openPage(await t.browser());
  await page.goto(started.url.href, { waitUntil: 'domcontentloaded' });
  await waitIn(page, 'the flow shows', () =>
    !document.querySelector('#flow').hidden && document.querySelector('#flow-phase').textContent === 'PLANNING');
  check((await textOf(page, 'clock-now')) === '0.0 s (paused)', `the clock reads ${await textOf(page, 'clock-now')}`);
  for (let second = 1; second <= 7; ++second) {
    await page.click('#clock-step');
    await waitIn(page, `step ${second}`, (s) =>
      document.querySelector('#clock-now').textContent === `${s}.0 s (paused)`, second);
  }
  await waitIn(page, 'the bans begin', () =>
    document.querySelector('#flow-phase').textContent === 'BAN_PICK · turn 1 of 7');
  const actors = await textOf(page, 'flow-actors');
  check(actors.split(', ').length === 10 && actors.includes('You'), `to act: ${actors}`);
  check((await textOf(page, 'timer-phase')) === 'BAN_PICK', 'the timer shows the bans');
  await page.screenshot({ path: args.screenshot, fullPage: true });
  await page.click('#clock-toggle');
  await waitIn(page, 'the clock runs', () => !document.querySelector('#clock-now').textContent.includes('paused'));
  check(errors.length === 0, `errors in the page: ${errors.join('; ')}`);
});
