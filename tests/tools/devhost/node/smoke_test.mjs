// A short pass through the tool as a user takes it: start, the session, a
// PATCH of an action, the module's event for it read from the stream, then
// the stop (under TAV_DEVHOST_COMMAND Ctrl-C: SIGINT, under Wine the console
// handler) and exit status 0. Used for builds whose full suite cannot drive
// the tool, such as the 32-bit Windows one under 32-bit Wine; prints how long
// each step took.
//   node smoke_test.mjs --tool PATH --scenario FILE   (TAV_DEVHOST_COMMAND may replace the tool)
import { check, parseArgs, runTest, until } from './devhost_tool.mjs';

const args = parseArgs(process.argv);
const begun = Date.now();
const steps = [];
const step = (name) => steps.push(`${name} ${((Date.now() - begun) / 1000).toFixed(1)} s`);

await runTest(args, () => `devhost smoke passed: ${steps.join(', ')}`, async (t) => {
  t.defer(() => step('stopped'));
  const api = `${(await t.start()).url.origin}/tav-champ-select/v1`;
  step('serving');
  const session = await fetch(`${api}/session`);
  const body = await session.json();
  check(session.status === 200 && Array.isArray(body.actions), `GET session: ${session.status}`);
  step('session');

  // The stream first, so the event the PATCH causes cannot pass unseen.
  const stream = await fetch(new URL('/events', api), { signal: AbortSignal.timeout(60_000) });
  const patch = await fetch(`${api}/session/actions/3`, {
    method: 'PATCH',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify({ championId: 99, completed: true }),
  });
  check(patch.status === 204, `PATCH action 3: ${patch.status} ${await patch.text()}`);
  step('patch');

  // Leaving the loop closes the stream.
  let text = '';
  const event = await until('an event of the module on /events', (async () => {
    for await (const chunk of stream.body.pipeThrough(new TextDecoderStream())) {
      text += chunk;
      const match = /event: plugin\ndata: (.*)\n/.exec(text);
      if (match) return JSON.parse(match[1]);
    }
    throw new Error(`the stream ended after:\n${text}`);
  })());
  check(event.eventType === 'Update' && /session$/.test(event.uri),
    `first event: ${JSON.stringify(event).slice(0, 200)}`);
  step('event');
});
