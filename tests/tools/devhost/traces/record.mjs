// Records the golden traces that `make test` replays against every build:
//   node record.mjs --tool PATH/tav-devhost --scenarios DIR --out DIR
// (`make golden-traces` runs it with this build's tool). Each scenario's
// trace drives all of the module's routes with each implementation active
// and with none, errors the implementations answer, a Create, Update and
// Delete of every mirrored resource and a switch of the active
// implementation; the flow's trace is a whole champ select played on a
// stepped clock, with the local player's ban and trades.
import { rename } from 'node:fs/promises';
import { join } from 'node:path';
import { parseArgs, startTool, stopTool } from '../node/devhost_tool.mjs';

const args = parseArgs(process.argv);

// Every route of the module once; ids that exist in the scenarios.
const ROUTES = [
  ['GET', '/session'], ['GET', '/session/trades'], ['GET', '/session/trades/1'],
  ['POST', '/session/trades/1/request'], ['POST', '/session/trades/1/accept'],
  ['POST', '/session/trades/1/decline'], ['POST', '/session/trades/1/cancel'],
  ['PATCH', '/session/actions/3', { championId: 12 }], ['POST', '/session/actions/3/complete'],
  ['POST', '/session/my-selection/reroll'], ['POST', '/team-boost/purchase'],
  ['PATCH', '/session/my-selection', { spell1Id: 4, spell2Id: 14 }], ['GET', '/session/timer'],
  ['GET', '/pickable-champions'], ['GET', '/bannable-champions'], ['GET', '/disabled-champions'],
  ['GET', '/pickable-skins'], ['GET', '/team-boost'], ['POST', '/battle-training/launch'],
];

const MIRRORED = {
  'v1/pickable-champions': { championIds: [1, 12, 99] },
  'v1/bannable-champions': { championIds: [3, 7] },
  'v1/team-boost': {
    summonerName: 'Ally 2', skinUnlockMode: 'Unlocked', price: 80, ipReward: 10,
    ipRewardForPurchaser: 40, availableSkins: [1001], unlocked: true,
  },
};

// Runs drive({ api, control, state }) against the tool recording into out: api
// calls the module's routes, control the tool's; both answer the status.
async function record(scenario, out, extraArgs, drive) {
  const partial = `${out}.partial`;
  const started = await startTool(args.tool, join(args.scenarios, scenario), ['--record', partial, ...extraArgs]);
  const call = async (method, path, body, headers = {}) => {
    const json = body === undefined ? {} : { 'Content-Type': 'application/json' };
    const response = await fetch(new URL(path, started.url),
      { method, headers: { ...headers, ...json }, body: body === undefined ? undefined : JSON.stringify(body) });
    await response.arrayBuffer();
    return response.status;
  };
  const token = { 'X-Tav-Dev-Token': started.url.searchParams.get('token') };
  await drive({
    api: (method, path, body) => call(method, `/tav-champ-select/v1${path}`, body),
    control: (method, path, body) => call(method, `/_dev/${path}`, body, token),
    state: async () => (await fetch(new URL('/_dev/state', started.url), { headers: token })).json(),
  });
  const status = await stopTool(started.tool);
  if (status !== 0 && status !== 'SIGTERM') throw new Error(`the tool ended with ${status}:\n${started.stderr()}`);
  await rename(partial, out);
  console.log(`recorded ${out}`);
}

const everyRoute = async ({ api, control, state }) => {
  const routes = async () => {
    for (const [method, path, body] of ROUTES) await api(method, path, body);
  };
  const first = (await state()).activeImplementation;
  const second = first === 'legacy' ? 'team-builder' : 'legacy';
  await routes();
  // Requests the module refuses itself, and errors the implementation answers.
  await api('PATCH', '/session/actions/x', { championId: 1 });
  await api('PATCH', '/session/my-selection', '[not a selection]');
  await control('POST', 'answers', {
    implementation: first, method: 'GET', url: 'v1/session/timer', status: 503,
    message: 'The timer service is restarting',
  });
  await api('GET', '/session/timer');
  // Create, Update and Delete of each mirrored resource.
  for (const [path, value] of Object.entries(MIRRORED)) {
    await control('DELETE', `resources/${first}/${path}`);
    await control('PUT', `resources/${first}/${path}`, value);
    await control('PUT', `resources/${first}/${path}`, value);
  }
  await control('DELETE', `resources/${first}/v1/session`);
  await api('GET', '/session');
  await control('POST', 'reload');
  // The other implementation, then none.
  await control('POST', 'active', { implementation: second });
  await routes();
  await control('POST', 'active', { implementation: null });
  await routes();
  await control('POST', 'active', { implementation: first });
};

await record('demo.yaml', join(args.out, 'demo.jsonl'), [], everyRoute);
await record('team-builder.yaml', join(args.out, 'team-builder.jsonl'), [], everyRoute);
await record('flow.yaml', join(args.out, 'flow.jsonl'), ['--paused'], async ({ api, control }) => {
  const advance = (ms) => control('POST', 'clock', { advanceMs: ms });
  // Into the bans: the local player bans, and tries a pick out of turn.
  await advance(6500);
  await api('PATCH', '/session/actions/14', { championId: 99, completed: true });
  await api('PATCH', '/session/actions/3', { championId: 86, completed: true });
  // To finalization, where cell 1 offers a trade 5 s in: accepted; another
  // requested and answered.
  await advance(60000);
  await api('GET', '/session/trades/2');
  await api('POST', '/session/trades/2/accept');
  await api('POST', '/session/trades/3/request');
  await api('GET', '/session/trades/3');
  await advance(3000);
  await api('GET', '/session');
  await advance(60000);
  await api('GET', '/session');
});
